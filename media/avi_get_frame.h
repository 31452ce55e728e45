// The frame decompressor of a video stream being read: hands out each frame as
// a packed DIB (BITMAPINFOHEADER, palette for 8 bits, bottom-up rows). It
// works on the file's reader alone and keeps that reader alive.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "media/avi_format.h"

namespace media {

class AviReader;
class Video1Decoder;

class AviGetFrame {
  public:
    // The decompressor of stream `stream` of `reader`. Null when that is not
    // a video stream we can decode, or `wanted` asks for a format other than
    // the decoder's own.
    static std::unique_ptr<AviGetFrame> open(std::shared_ptr<AviReader> reader, int stream,
                                             const BitmapInfoHeader* wanted);
    ~AviGetFrame();
    AviGetFrame(const AviGetFrame&) = delete;
    AviGetFrame& operator=(const AviGetFrame&) = delete;

    // The frame at `pos` (stream positions start at the stream's start), or
    // null. Sequential calls decode one frame each; a jump decodes from the
    // nearest key frame at or before `pos` (or continues from the last decoded
    // frame when that is nearer).
    const std::uint8_t* frame(std::int32_t pos);
    const BitmapInfoHeader& outputFormat() const { return out_; }
    std::size_t frameBytes() const { return dib_.size(); }

  private:
    AviGetFrame() = default;
    bool decodeTo(std::size_t index);
    const std::uint8_t* uncompressedFrame(std::size_t index);

    std::shared_ptr<AviReader> reader_;
    int streamIndex_ = 0;
    std::int64_t start_ = 0;
    BitmapInfoHeader in_;
    BitmapInfoHeader out_;
    std::size_t paletteBytes_ = 0;
    std::size_t pixelBytes_ = 0;
    std::unique_ptr<Video1Decoder> decoder_;
    std::vector<std::uint8_t> dib_;
    std::vector<std::uint8_t> chunk_;
    std::int64_t decoded_ = -1;
};

}  // namespace media
