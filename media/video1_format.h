// Bitstream constants of Microsoft Video 1 shared by the encoder and decoder.
#pragma once

#include <cstdint>

namespace media::video1 {

// Pictures are cut into 4x4 blocks; partial blocks at the right edge and at the
// bottom of a bottom-up DIB are not coded (see blockRowOffset()).
constexpr int kBlockSize = 4;
constexpr int kPixelsPerBlock = 16;

// A word 0x8400 + n (n = 1..1023) skips n blocks, the current one included.
constexpr std::uint16_t kSkipBase = 0x8400;
constexpr std::uint16_t kSkipLimit = 0x87FF;
constexpr int kMaxSkipRun = 1023;

// Words at or above this value that are not skip codes fill the block with one
// colour (16-bit variant) or one palette index (8-bit variant).
constexpr std::uint16_t kFillFlag = 0x8000;

// In the 16-bit variant, bit 15 of the first colour after the mask selects the
// eight-colour block; in the 8-bit variant a mask word of 0x9000 or above does.
constexpr std::uint16_t kEightColourFlag = 0x8000;
constexpr std::uint16_t kEightColourMask8Bit = 0x9000;

constexpr std::uint16_t kColourBits = 0x7FFF;

inline bool isSkipWord(std::uint16_t word) {
    return word >= kSkipBase && word <= kSkipLimit;
}

// FFmpeg (and every player built on it) places the block grid at the top of the
// picture: the first coded block row covers the lowest four rows of the
// top-aligned grid, so in a bottom-up DIB the grid starts h mod 4 rows above the
// bottom row. The uncovered bottom rows and the rightmost w mod 4 columns are
// never painted by any decoder; our encoder and decoder use the same grid so a
// file looks the same everywhere.
constexpr int blockRowOffset(int height) {
    return height > 0 ? height % kBlockSize : 0;
}

// Largest width or height we accept: twice an 8K screen, and small enough that
// the encoder's state (about 5.5 bytes per pixel) stays allocatable and no size
// computation comes near overflow. Larger sizes are clamped (encoder) or
// refused (decoder).
constexpr int kMaxDimension = 1 << 14;

}  // namespace media::video1
