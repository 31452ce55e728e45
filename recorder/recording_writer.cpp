#include "recorder/recording_writer.h"

#include <algorithm>
#include <limits>

#include "media/avi_writer.h"
#include "media/sound_format.h"
#include "media/video1.h"

namespace recorder {
namespace {

// Bytes of one uncompressed frame as the header describes it (bottom-up rows
// only); 0 for a header no frame can have.
std::uint64_t frameBytesOf(const media::BitmapInfoHeader& h) {
    return h.height > 0 ? media::dibImageBytes(h) : 0;
}

media::AviStreamInfo videoInfoFor(const media::BitmapInfoHeader& frame) {
    media::AviStreamInfo info;
    info.fccType = media::kFccVids;
    info.fccHandler = 0;  // the compressing stream supplies the encoder's
    info.scale = 1;
    info.rate = kVideoFramesPerSecond;
    // Room for one uncompressed frame: no Video 1 frame of it is larger.
    info.suggestedBufferSize = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(frameBytesOf(frame), std::numeric_limits<std::uint32_t>::max()));
    info.frame = media::AviRect{0, 0, frame.width, frame.height};
    return info;
}

media::AviCompressOptions video1Options() {
    media::AviCompressOptions options;
    options.fccType = media::kFccVids;
    options.fccHandler = media::kFccMsvc;
    options.keyFrameEvery = kKeyFrameEvery;
    options.quality = kVideoQuality;
    options.bytesPerSecond = 0;
    options.flags = media::kCompressInterleave;
    options.interleaveEvery = 0;
    return options;
}

media::AviStreamInfo audioInfoFor(const media::WaveFormatEx& format) {
    media::AviStreamInfo info;
    info.fccType = media::kFccAuds;
    info.fccHandler = 0;
    info.scale = 1;
    info.rate = format.samplesPerSec;
    info.start = 0;
    info.suggestedBufferSize = media::kSoundBlockBytes;
    info.sampleSize = format.blockAlign;
    return info;
}

}  // namespace

RecordingWriter::RecordingWriter(const Clock& clock) : clock_(clock) {}

RecordingWriter::~RecordingWriter() {
    closeAviFile();
}

int RecordingWriter::createAviFile(const std::string& path,
                                   const media::BitmapInfoHeader& frameHeader, bool withAudio) {
    // Made before the lock: the sound thread never waits for it.
    std::vector<std::uint8_t> repeatFrame =
        media::video1SkipFrame(frameHeader.width, frameHeader.height);
    std::lock_guard lock(mutex_);
    // A file left open by an earlier recording is completed, never dropped.
    closeLocked();
    recordFilePath_ = path;
    repeatFrame_ = std::move(repeatFrame);
    refreshedOnce_ = false;
    soundStatus_ = media::kAviOk;
    if (int rc = media::aviFileOpen(aviFile_, path, media::kOpenCreate | media::kOpenWrite);
        rc != media::kAviOk)
        return rc;
    videoStreamInfo_ = videoInfoFor(frameHeader);
    if (int rc = media::aviFileCreateStream(aviFile_, aviVideoStream_, videoStreamInfo_);
        rc != media::kAviOk)
        return rc;
    compressOptions_ = video1Options();
    if (int rc =
            media::aviMakeCompressedStream(aviCompressedStream_, aviVideoStream_, compressOptions_);
        rc != media::kAviOk)
        return rc;
    std::uint8_t raw[media::kBitmapInfoHeaderBytes];
    media::storeBitmapInfoHeader(frameHeader, raw);
    if (int rc = media::aviStreamSetFormat(aviCompressedStream_, 0, raw, sizeof raw);
        rc != media::kAviOk)
        return rc;
    if (withAudio) {
        const media::WaveFormatEx format = media::recordingAudioFormat();
        if (int rc = media::aviFileCreateStream(aviFile_, audioStream_, audioInfoFor(format));
            rc != media::kAviOk)
            return rc;
        std::uint8_t wave[media::kWaveFormatExBytes];
        media::storeWaveFormat(format, wave);
        if (int rc = media::aviStreamSetFormat(audioStream_,
                                               static_cast<std::int32_t>(frameCount_ & 0xFFFFFFFFu),
                                               wave, sizeof wave);
            rc != media::kAviOk)
            return rc;
    }
    return media::kAviOk;
}

int RecordingWriter::writeAviFrame(const std::uint8_t* pixels,
                                   const media::BitmapInfoHeader& frameHeader) {
    const std::uint64_t bytes = frameBytesOf(frameHeader);
    if (bytes == 0 || bytes > 0x7FFFFFFFu)
        return media::kAviErrBadFormat;
    std::lock_guard lock(mutex_);
    return writeFrameLocked(pixels, static_cast<std::uint32_t>(bytes));
}

int RecordingWriter::writeFrameLocked(const std::uint8_t* pixels, std::uint32_t bytes) {
    if (!aviCompressedStream_)
        return media::kAviErrBadHandle;
    // The first frame must be a key frame for the file to play at all; the
    // encoder would choose one anyway, the flag makes it certain.
    const std::uint32_t flags = frameCount_ == 0 ? media::kAviifKeyFrame : 0;
    const int rc = media::aviStreamWrite(aviCompressedStream_,
                                         static_cast<std::int32_t>(frameCount_ & 0xFFFFFFFFu), 1,
                                         pixels, static_cast<std::int32_t>(bytes), flags);
    if (rc != media::kAviOk)
        return rc;
    ++frameCount_;
    return afterFrameLocked();
}

int RecordingWriter::afterFrameLocked() {
    // One fstat a frame: a deleted file is noticed at once, not after
    // minutes of frames written into nothing.
    if (aviFile_ && aviFile_->writer() && aviFile_->writer()->fileIsGone())
        return kRecordErrFileGone;
    const int refreshed = refreshIfDue(driveIsLow());
    // The sound thread has no caller to tell: its failure ends the recording
    // here, with the frame written.
    return soundStatus_ != media::kAviOk ? soundStatus_ : refreshed;
}

bool RecordingWriter::driveIsLow() const {
    if (!freeSpaceProbe_)
        return false;
    const std::int64_t freeBytes = freeSpaceProbe_();
    return freeBytes >= 0 && freeBytes < kLowSpaceBytes;
}

void RecordingWriter::setFreeSpaceProbe(std::function<std::int64_t()> probe) {
    std::lock_guard lock(mutex_);
    freeSpaceProbe_ = std::move(probe);
}

int RecordingWriter::writeRepeatFrame() {
    std::lock_guard lock(mutex_);
    if (!aviVideoStream_ || frameCount_ == 0)
        return media::kAviErrBadHandle;
    // Straight into the file's stream as a delta frame: the encoder's picture
    // stays what the decoder shows, so the next delta frame still refers to
    // the right one.
    const int rc = media::aviStreamWrite(aviVideoStream_, media::kAppend, 1, repeatFrame_.data(),
                                         static_cast<std::int32_t>(repeatFrame_.size()), 0);
    if (rc != media::kAviOk)
        return rc;
    ++frameCount_;
    return afterFrameLocked();
}

void RecordingWriter::writeAviAudio(const void* data, std::int32_t byteCount) {
    std::lock_guard lock(mutex_);
    // After a failed block none is written any more: later sound after a gap
    // would drift from the picture. The next frame reports the failure.
    if (!audioStream_ || soundStatus_ != media::kAviOk)
        return;
    soundStatus_ = media::aviStreamWrite(audioStream_, media::kAppend, 1, data, byteCount,
                                         media::kAviifKeyFrame);
    if (soundStatus_ == media::kAviOk)
        soundStatus_ = refreshIfDue();
}

int RecordingWriter::refreshIfDue(bool force) {
    const std::int64_t now = clock_.monotonicMs();
    if (!force && refreshedOnce_ && now - lastRefreshMs_ < kHeaderRefreshIntervalMs)
        return media::kAviOk;
    // Time moves on even when the refresh fails, so a full drive is not hit
    // again on every block.
    refreshedOnce_ = true;
    lastRefreshMs_ = now;
    return media::aviFileFlush(aviFile_);
}

int RecordingWriter::refreshNow() {
    std::lock_guard lock(mutex_);
    if (!aviFile_ || frameCount_ == 0)
        return media::kAviOk;
    return refreshIfDue(true);
}

int RecordingWriter::closeAviFile() {
    std::lock_guard lock(mutex_);
    return closeLocked();
}

int RecordingWriter::closeLocked() {
    media::aviStreamRelease(audioStream_);
    media::aviStreamRelease(aviVideoStream_);
    media::aviStreamRelease(aviCompressedStream_);
    const int status = media::aviFileRelease(aviFile_);
    audioStream_.reset();
    aviVideoStream_.reset();
    aviCompressedStream_.reset();
    aviFile_.reset();
    return status;
}

std::uint64_t RecordingWriter::frameCount() const {
    std::lock_guard lock(mutex_);
    return frameCount_;
}

void RecordingWriter::resetFrameCount() {
    std::lock_guard lock(mutex_);
    frameCount_ = 0;
}

bool RecordingWriter::hasFile() const {
    std::lock_guard lock(mutex_);
    return aviFile_ != nullptr;
}

bool RecordingWriter::hasAudioStream() const {
    std::lock_guard lock(mutex_);
    return audioStream_ != nullptr;
}

std::string RecordingWriter::recordFilePath() const {
    std::lock_guard lock(mutex_);
    return recordFilePath_;
}

}  // namespace recorder
