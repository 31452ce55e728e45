// Conversions of DIB rows to 5-5-5 RGB words (red in bits 14-10, green 9-5,
// blue 4-0). Each 8-bit component keeps its top five bits.
#pragma once

#include <cstdint>

namespace media {

// Converts `count` pixels of one DIB row of 32 (B,G,R,x), 24 (B,G,R) or 16
// (5-5-5, bit 15 ignored) bits per pixel. Returns false for other depths.
bool convertRowTo555(const std::uint8_t* row, int bitCount, int count, std::uint16_t* out);

inline std::uint16_t pack555(unsigned red5, unsigned green5, unsigned blue5) {
    return static_cast<std::uint16_t>((red5 << 10) | (green5 << 5) | blue5);
}
inline unsigned red555(std::uint16_t c) {
    return (c >> 10) & 0x1F;
}
inline unsigned green555(std::uint16_t c) {
    return (c >> 5) & 0x1F;
}
inline unsigned blue555(std::uint16_t c) {
    return c & 0x1F;
}

}  // namespace media
