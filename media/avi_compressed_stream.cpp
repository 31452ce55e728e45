#include "media/avi_compressed_stream.h"

#include <algorithm>

#include "media/avi_file.h"

namespace media {
namespace {

// Quality used when the options leave it open (0xFFFFFFFF = "default").
constexpr int kDefaultVideo1Quality = 7500;
constexpr std::uint32_t kDefaultQualityMarker = 0xFFFFFFFFu;
// Largest side a stream header's 16-bit frame rectangle can hold.
constexpr std::int32_t kMaxPictureSide = 32767;
// Video 1 codes 16-bit 5-5-5 pixels.
constexpr std::uint16_t kVideo1BitCount = 16;

}  // namespace

int AviCompressedStream::info(AviStreamInfo& info) const {
    const int rc = target_->info(info);
    info.fccHandler = options_.fccHandler;
    info.quality = options_.quality;
    return rc;
}

int AviCompressedStream::encoderQuality() const {
    if (options_.quality == kDefaultQualityMarker)
        return kDefaultVideo1Quality;
    return static_cast<int>(std::min<std::uint32_t>(options_.quality, Video1Encoder::kMaxQuality));
}

int AviCompressedStream::setFormat(std::int32_t, const void* format, std::int32_t size) {
    if (!format || size < static_cast<std::int32_t>(kBitmapInfoHeaderBytes))
        return kAviErrBadParam;
    const BitmapInfoHeader in = loadBitmapInfoHeader(static_cast<const std::uint8_t*>(format));
    if (in.compression != kBiRgb)
        return kAviErrUnsupported;
    if (in.bitCount != 16 && in.bitCount != 24 && in.bitCount != 32)
        return kAviErrBadFormat;
    // Top-down pictures (negative height) are not what the encoder reads.
    if (in.width <= 0 || in.height <= 0 || in.width > kMaxPictureSide ||
        in.height > kMaxPictureSide)
        return kAviErrBadFormat;
    if (encoder_) {
        const bool same = in.width == input_.width && in.height == input_.height &&
                          in.bitCount == input_.bitCount;
        return same ? kAviOk : kAviErrUnsupported;
    }
    BitmapInfoHeader out;
    out.width = in.width;
    out.height = in.height;
    out.planes = 1;
    out.bitCount = kVideo1BitCount;
    out.compression = options_.fccHandler;
    out.sizeImage = static_cast<std::uint32_t>(dibImageBytes(out));
    std::uint8_t raw[kBitmapInfoHeaderBytes];
    storeBitmapInfoHeader(out, raw);
    if (int rc = target_->setFormat(0, raw, sizeof raw); rc != kAviOk)
        return rc;
    encoder_ = std::make_unique<Video1Encoder>(in.width, in.height, encoderQuality());
    input_ = in;
    return kAviOk;
}

bool AviCompressedStream::wantKeyFrame(std::int64_t frame, std::uint32_t flags) const {
    if (lastKey_ < 0 || (flags & kAviifKeyFrame))
        return true;
    if (options_.keyFrameEvery > 0)
        return frame - lastKey_ >= options_.keyFrameEvery;
    return (options_.flags & kCompressKeyFrames) == 0;
}

int AviCompressedStream::write(std::int32_t start, std::int32_t, const void* data,
                               std::int32_t bytes, std::uint32_t flags,
                               std::int32_t* samplesWritten, std::int32_t* bytesWritten) {
    reportCount(samplesWritten, 0);
    reportCount(bytesWritten, 0);
    if (!encoder_)
        return kAviErrBadFormat;
    // Exactly one picture of the format set: a frame of another size (a merge
    // source of different dimensions) is refused rather than misread.
    if (!data || bytes < 0 || static_cast<std::uint64_t>(bytes) != dibImageBytes(input_))
        return kAviErrBadSize;
    const std::int64_t frame = start == kAppend ? target_->start() + target_->length() : start;
    const bool key = encoder_->encode(static_cast<const std::uint8_t*>(data), input_.bitCount,
                                      wantKeyFrame(frame, flags), encoded_);
    const int rc =
        target_->appendAt(start, encoded_.data(), static_cast<std::uint32_t>(encoded_.size()), key);
    if (rc != kAviOk) {
        // The picture never reached the file: the next frame must not refer to it.
        encoder_->reset();
        lastKey_ = -1;
        return rc;
    }
    if (key)
        lastKey_ = frame;
    reportCount(samplesWritten, 1);
    reportCount(bytesWritten, saturatedInt32(encoded_.size()));
    return kAviOk;
}

int aviMakeCompressedStream(AviStreamPtr& compressed, const AviStreamPtr& source,
                            const AviCompressOptions& options) {
    compressed.reset();
    auto target = std::dynamic_pointer_cast<AviWriteStream>(source);
    if (!target)
        return kAviErrBadHandle;
    AviStreamInfo info;
    target->info(info);
    if (info.fccType != kFccVids || (options.fccType != 0 && options.fccType != kFccVids))
        return kAviErrUnsupported;
    if (!isVideo1Fourcc(options.fccHandler))
        return kAviErrNoCompressor;
    if (int rc =
            target->writer().setHandler(target->streamIndex(), options.fccHandler, options.quality);
        rc != kAviOk)
        return rc;
    compressed = std::make_shared<AviCompressedStream>(std::move(target), options);
    return kAviOk;
}

}  // namespace media
