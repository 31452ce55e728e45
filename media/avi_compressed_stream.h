// The compressing layer over a video write stream: takes uncompressed
// bottom-up pictures, encodes them with Microsoft Video 1 and writes the
// frames into the stream below, choosing key frames by the options.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "media/avi_stream.h"
#include "media/avi_write_stream.h"
#include "media/video1.h"

namespace media {

class AviCompressedStream final : public AviStream {
  public:
    AviCompressedStream(std::shared_ptr<AviWriteStream> target, const AviCompressOptions& options)
        : target_(std::move(target)), options_(options) {}

    int info(AviStreamInfo& info) const override;
    int format(std::vector<std::uint8_t>& out) const override { return target_->format(out); }
    // `format` is the encoder's input; the stream below gets the output format.
    int setFormat(std::int32_t pos, const void* format, std::int32_t size) override;
    int write(std::int32_t start, std::int32_t samples, const void* data, std::int32_t bytes,
              std::uint32_t flags, std::int32_t* samplesWritten,
              std::int32_t* bytesWritten) override;
    std::int32_t start() const override { return target_->start(); }
    std::int32_t length() const override { return target_->length(); }
    int streamIndex() const override { return target_->streamIndex(); }

  private:
    bool wantKeyFrame(std::int64_t frame, std::uint32_t flags) const;
    int encoderQuality() const;

    std::shared_ptr<AviWriteStream> target_;
    AviCompressOptions options_;
    BitmapInfoHeader input_;
    std::unique_ptr<Video1Encoder> encoder_;
    std::vector<std::uint8_t> encoded_;
    std::int64_t lastKey_ = -1;
};

}  // namespace media
