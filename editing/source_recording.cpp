#include "editing/source_recording.h"

#include "editing/edit_steps.h"
#include "media/pixel_convert.h"
#include "platform/native_path.h"

namespace editing {
namespace {

constexpr std::uint16_t kWaveFormatExtensible = 0xFFFE;
// WAVEFORMATEXTENSIBLE: 18-byte WAVEFORMATEX, then 22 bytes; the sub-format
// GUID starts at byte 24 and its first two bytes are the format tag.
constexpr std::size_t kExtensibleBytes = 40;
constexpr std::size_t kSubFormatOffset = 24;
// The converter takes interleaved sound of up to 8 channels (7.1).
constexpr std::uint16_t kMaxChannels = 8;

bool isPcm(const std::vector<std::uint8_t>& format, const media::WaveFormatEx& w) {
    if (w.formatTag == media::kWaveFormatPcm)
        return true;
    return w.formatTag == kWaveFormatExtensible && format.size() >= kExtensibleBytes &&
           media::le16(format.data() + kSubFormatOffset) == media::kWaveFormatPcm;
}

bool convertible(const media::WaveFormatEx& w) {
    const bool depthOk = w.bitsPerSample == 8 || w.bitsPerSample == 16 || w.bitsPerSample == 24 ||
                         w.bitsPerSample == 32;
    return depthOk && w.channels >= 1 && w.channels <= kMaxChannels && w.samplesPerSec > 0 &&
           w.blockAlign == w.channels * w.bitsPerSample / 8;
}

}  // namespace

int SourceRecording::open(const QString& path, QString& reason) {
    close();
    path_ = path;
    if (!platform::pathEntryExists(path)) {
        reason = QStringLiteral("%1 does not exist.").arg(shown(path));
        return media::kAviErrFileOpen;
    }
    if (int rc = media::aviFileOpen(file_, platform::encodePathStd(path), media::kOpenRead)) {
        reason = QStringLiteral("%1 cannot be read as an AVI file (%2).")
                     .arg(shown(path), QString::fromUtf8(media::aviErrorName(rc)));
        return rc;
    }
    int rc = openVideo(reason);
    if (rc == 0)
        rc = checkSound(reason);
    if (rc != 0 && reason.isEmpty())
        reason = QStringLiteral("%1 cannot be read (%2).")
                     .arg(shown(path), QString::fromUtf8(media::aviErrorName(rc)));
    return rc;
}

int SourceRecording::openVideo(QString& reason) {
    if (int rc = media::aviFileGetStream(file_, video_, media::kFccVids, 0)) {
        reason = QStringLiteral("%1 has no video.").arg(shown(path_));
        return rc;
    }
    media::AviStreamInfo info;
    if (int rc = media::aviStreamInfo(video_, info))
        return rc;
    rate_ = info.rate;
    scale_ = info.scale;
    if (scale_ == 0 || rate_ < scale_) {
        reason = QStringLiteral("%1 has a frame rate below one frame a second (%2/%3).")
                     .arg(shown(path_))
                     .arg(rate_)
                     .arg(scale_);
        return media::kAviErrBadFormat;
    }
    frames_ = media::aviStreamGetFrameOpen(video_);
    if (!frames_) {
        std::vector<std::uint8_t> format;
        media::aviStreamReadFormat(video_, format);
        const QString codec = format.size() >= media::kBitmapInfoHeaderBytes
                                  ? QString::fromStdString(media::fourccText(
                                        media::loadBitmapInfoHeader(format.data()).compression))
                                  : QStringLiteral("unknown");
        reason = QStringLiteral(
                     "%1: its video cannot be decoded (codec '%2'); Microsoft Video 1 and "
                     "uncompressed RGB can.")
                     .arg(shown(path_), codec);
        return kEditErrNoDecoder;
    }
    width_ = frames_->outputFormat().width;
    height_ = frames_->outputFormat().height;
    videoStart_ = media::aviStreamStart(video_);
    frameCount_ = media::aviStreamLength(video_);
    return 0;
}

int SourceRecording::checkSound(QString& reason) {
    // A recording without sound is not a failure: its stretch is silent.
    if (media::aviFileGetStream(file_, sound_, media::kFccAuds, 0) != media::kAviOk)
        return 0;
    std::vector<std::uint8_t> format;
    media::aviStreamReadFormat(sound_, format);
    if (format.size() < media::kPcmWaveFormatBytes) {
        reason = QStringLiteral("%1: the format of its sound cannot be read.").arg(shown(path_));
        return kEditErrSoundFormat;
    }
    soundFormat_ = media::loadWaveFormat(format.data(), format.size());
    if (!isPcm(format, soundFormat_)) {
        reason = QStringLiteral(
                     "%1: its sound is not PCM (format tag 0x%2); only PCM sound can be cut or "
                     "merged.")
                     .arg(shown(path_))
                     .arg(soundFormat_.formatTag, 4, 16, QLatin1Char('0'));
        return kEditErrSoundFormat;
    }
    if (!convertible(soundFormat_)) {
        reason = QStringLiteral(
                     "%1: its PCM sound (%2 channels, %3 bits, %4 Hz) cannot be "
                     "converted.")
                     .arg(shown(path_))
                     .arg(soundFormat_.channels)
                     .arg(soundFormat_.bitsPerSample)
                     .arg(soundFormat_.samplesPerSec);
        return kEditErrSoundFormat;
    }
    return 0;
}

void SourceRecording::close() {
    media::aviStreamGetFrameClose(frames_);
    media::aviStreamRelease(sound_);
    media::aviStreamRelease(video_);
    media::aviFileRelease(file_);
    sound_.reset();
    video_.reset();
    file_.reset();
}

const std::uint8_t* SourceRecording::picture(std::int64_t index) {
    if (!frames_ || index < 0 || index >= frameCount_)
        return nullptr;
    const std::uint8_t* dib =
        media::aviStreamGetFrame(frames_.get(), static_cast<std::int32_t>(videoStart_ + index));
    return dib ? to555(dib) : nullptr;
}

const std::uint8_t* SourceRecording::to555(const std::uint8_t* dib) {
    const media::BitmapInfoHeader& h = frames_->outputFormat();
    const std::uint8_t* pixels = dib + media::kBitmapInfoHeaderBytes + 4 * h.clrUsed;
    if (h.bitCount == 16)
        return pixels;
    const std::size_t inRow = media::dibRowBytes(width_, h.bitCount);
    const std::size_t outRow = media::dibRowBytes(width_, 16);
    picture555_.resize(outRow * static_cast<std::size_t>(height_));
    std::uint16_t palette[256] = {};
    if (h.bitCount == 8) {
        const std::uint8_t* quads = dib + media::kBitmapInfoHeaderBytes;
        for (std::uint32_t i = 0; i < h.clrUsed && i < 256; ++i) {
            palette[i] =
                media::pack555(quads[4 * i + 2] >> 3, quads[4 * i + 1] >> 3, quads[4 * i] >> 3);
        }
    }
    for (int y = 0; y < height_; ++y) {
        const std::uint8_t* in = pixels + inRow * static_cast<std::size_t>(y);
        auto* out = reinterpret_cast<std::uint16_t*>(picture555_.data() +
                                                     outRow * static_cast<std::size_t>(y));
        if (h.bitCount == 8) {
            for (int x = 0; x < width_; ++x)
                out[x] = palette[in[x]];
        } else {
            media::convertRowTo555(in, h.bitCount, width_, out);
        }
    }
    return picture555_.data();
}

}  // namespace editing
