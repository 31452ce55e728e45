#include "editing/edit_output.h"

#include "editing/edit_steps.h"
#include "platform/native_path.h"

namespace editing {
namespace {

// The encoder's input: 16-bit 5-5-5, what Video 1 stores anyway, so every
// source depth meets one format and a merge of mixed sources needs no second
// encoder.
constexpr std::uint16_t kPictureBitCount = 16;

media::AviStreamInfo videoInfo(int width, int height, std::uint32_t fps) {
    media::AviStreamInfo info;
    info.fccType = media::kFccVids;
    info.scale = 1;
    info.rate = fps;
    info.frame = media::AviRect{0, 0, width, height};
    return info;
}

media::AviCompressOptions video1Options(std::uint32_t fps) {
    media::AviCompressOptions options;
    options.fccType = media::kFccVids;
    options.fccHandler = media::kFccMsvc;
    options.keyFrameEvery = fps;
    options.quality = kEditVideoQuality;
    options.flags = media::kCompressInterleave;
    return options;
}

media::AviStreamInfo soundInfo() {
    const media::WaveFormatEx format = media::recordingAudioFormat();
    media::AviStreamInfo info;
    info.fccType = media::kFccAuds;
    info.scale = 1;
    info.rate = format.samplesPerSec;
    info.suggestedBufferSize = media::kSoundBlockBytes;
    info.sampleSize = format.blockAlign;
    return info;
}

}  // namespace

EditOutput::~EditOutput() {
    finish();
}

int EditOutput::create(const QString& path, int width, int height, std::uint32_t fps,
                       bool withSound) {
    path_ = path;
    if (int rc = media::aviFileOpen(file_, platform::encodePathStd(path),
                                    media::kOpenCreate | media::kOpenWrite))
        return rc;
    created_ = true;
    if (int rc = media::aviFileCreateStream(file_, video_, videoInfo(width, height, fps)))
        return rc;
    if (int rc = media::aviMakeCompressedStream(compressed_, video_, video1Options(fps)))
        return rc;
    media::BitmapInfoHeader picture;
    picture.width = width;
    picture.height = height;
    picture.bitCount = kPictureBitCount;
    frameBytes_ = static_cast<std::int32_t>(media::dibImageBytes(picture));
    std::uint8_t raw[media::kBitmapInfoHeaderBytes];
    media::storeBitmapInfoHeader(picture, raw);
    if (int rc = media::aviStreamSetFormat(compressed_, 0, raw, sizeof raw))
        return rc;
    if (!withSound)
        return 0;
    if (int rc = media::aviFileCreateStream(file_, sound_, soundInfo()))
        return rc;
    std::uint8_t wave[media::kWaveFormatExBytes];
    media::storeWaveFormat(media::recordingAudioFormat(), wave);
    return media::aviStreamSetFormat(sound_, 0, wave, sizeof wave);
}

int EditOutput::writeFrame(const std::uint8_t* picture555) {
    const std::uint32_t flags = frames_ == 0 ? media::kAviifKeyFrame : 0;
    if (int rc = media::aviStreamWrite(compressed_, static_cast<std::int32_t>(frames_), 1,
                                       picture555, frameBytes_, flags))
        return rc;
    ++frames_;
    // One fstat a frame: a deleted file or directory ends the job at once
    // instead of after hours of frames written into nothing.
    return file_->writer()->fileIsGone() ? kEditErrFileGone : 0;
}

int EditOutput::writeSound(const std::vector<std::uint8_t>& samples) {
    if (!sound_ || samples.empty())
        return 0;
    return media::aviStreamWrite(
        sound_, media::kAppend,
        static_cast<std::int32_t>(samples.size() / media::kSoundSampleBytes), samples.data(),
        static_cast<std::int32_t>(samples.size()), media::kAviifKeyFrame);
}

int EditOutput::finish() {
    media::aviStreamRelease(compressed_);
    media::aviStreamRelease(video_);
    media::aviStreamRelease(sound_);
    const int status = media::aviFileRelease(file_);
    compressed_.reset();
    video_.reset();
    sound_.reset();
    file_.reset();
    return status;
}

}  // namespace editing
