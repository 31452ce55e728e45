// Microsoft Video 1 ("CRAM"/"MSVC") encoder and decoder.
//
// Pictures on both sides are device-independent bitmaps as the AVI streams
// carry them: bottom-up rows, each row padded to a multiple of 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/avi_format.h"

namespace media {

// Encodes bottom-up DIBs of 32 (B,G,R,unused), 24 (B,G,R) or 16 (5-5-5) bits per
// pixel into the 16-bit Video 1 variant. Keeps its own reconstruction of the
// previous frame, so delta frames are chosen against what a decoder will show.
class Video1Encoder {
  public:
    static constexpr int kMaxQuality = 10000;

    // quality: 0 (smallest) to 10000 (best); see video1_encoder.cpp for the
    // mapping to error thresholds.
    Video1Encoder(int width, int height, int quality);
    ~Video1Encoder();
    Video1Encoder(const Video1Encoder&) = delete;
    Video1Encoder& operator=(const Video1Encoder&) = delete;

    int width() const;
    int height() const;
    int quality() const;

    // Encodes one picture into `out` (cleared first). A key frame codes every
    // block; a delta frame may skip blocks that did not change. The first
    // frame after construction or reset() is always a key frame, whatever
    // `key` says. Returns true when the frame is a key frame. bitCount must be
    // 32, 24 or 16; `dib` holds height rows of dibRowBytes(width, bitCount).
    bool encode(const std::uint8_t* dib, int bitCount, bool key, std::vector<std::uint8_t>& out);

    // Forgets the previous picture: the next frame is a key frame.
    void reset();

  private:
    struct Impl;
    Impl* impl_;
};

// A delta frame of a width x height picture that shows the previous picture
// again: skip codes for every block, the same bytes for every such frame, so
// it is made once per size and needs no encoder.
std::vector<std::uint8_t> video1SkipFrame(int width, int height);

// Decodes both Video 1 variants: 16-bit (output 16-bit 5-5-5 DIB) and 8-bit
// palettised (output 8-bit DIB with the current palette).
class Video1Decoder {
  public:
    // bitCount: 16 (or anything but 8) selects the 16-bit variant, 8 the
    // palettised one. `palette` holds up to 256 B,G,R,0 quads (8-bit only).
    Video1Decoder(int width, int height, int bitCount,
                  const std::vector<std::uint32_t>& palette = {});
    ~Video1Decoder();
    Video1Decoder(const Video1Decoder&) = delete;
    Video1Decoder& operator=(const Video1Decoder&) = delete;

    int width() const;
    int height() const;
    int outputBitCount() const;  // 16 or 8

    // Decodes one frame chunk on top of the previous picture. Returns 0, or a
    // nonzero status when the data is damaged (the picture then holds what
    // could be decoded; nothing outside it is touched).
    int decode(const std::uint8_t* data, std::size_t size);

    // Applies an AVI palette-change chunk ('xxpc'): first entry, count (0 means
    // 256), flags, then count PALETTEENTRY quads in red, green, blue, flags
    // order (as FFmpeg reads them). Returns nonzero for a malformed chunk
    // (short, past entry 255, or a 16-bit decoder); nothing is changed then.
    int applyPaletteChange(const std::uint8_t* data, std::size_t size);

    // The current picture: bottom-up rows of dibRowBytes(width, outputBitCount()).
    const std::vector<std::uint8_t>& picture() const;
    const std::vector<std::uint32_t>& palette() const;

  private:
    struct Impl;
    Impl* impl_;
};

}  // namespace media
