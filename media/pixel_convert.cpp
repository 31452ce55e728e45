#include "pixel_convert.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace media {
namespace {

// Eight pixels per step with SSE2 (part of every x86-64 CPU): the encoder
// converts each whole frame before it can tell which blocks changed, so this
// loop sets the floor of a still screen's cost.
#if defined(__SSE2__)
inline __m128i pack555Lanes(__m128i bgrx) {
    const __m128i red = _mm_and_si128(_mm_srli_epi32(bgrx, 9), _mm_set1_epi32(0x7C00));
    const __m128i green = _mm_and_si128(_mm_srli_epi32(bgrx, 6), _mm_set1_epi32(0x03E0));
    const __m128i blue = _mm_and_si128(_mm_srli_epi32(bgrx, 3), _mm_set1_epi32(0x001F));
    return _mm_or_si128(_mm_or_si128(red, green), blue);
}
#endif

void convert32(const std::uint8_t* row, int count, std::uint16_t* out) {
    int i = 0;
#if defined(__SSE2__)
    for (; i + 8 <= count; i += 8) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 4 * i));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 4 * i + 16));
        // Every lane is at most 0x7FFF, so the signed saturating pack is exact.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_packs_epi32(pack555Lanes(low), pack555Lanes(high)));
    }
#endif
    for (; i < count; ++i) {
        std::uint32_t v;
        std::memcpy(&v, row + 4 * i, 4);  // B | G << 8 | R << 16
        out[i] = static_cast<std::uint16_t>(((v >> 9) & 0x7C00) | ((v >> 6) & 0x03E0) |
                                            ((v >> 3) & 0x001F));
    }
}

void convert24(const std::uint8_t* row, int count, std::uint16_t* out) {
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* p = row + 3 * i;
        out[i] = pack555(p[2] >> 3, p[1] >> 3, p[0] >> 3);
    }
}

void convert16(const std::uint8_t* row, int count, std::uint16_t* out) {
    int i = 0;
#if defined(__SSE2__)
    for (; i + 8 <= count; i += 8) {
        const __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 2 * i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_and_si128(words, _mm_set1_epi16(0x7FFF)));
    }
#endif
    for (; i < count; ++i) {
        out[i] = static_cast<std::uint16_t>((row[2 * i] | (row[2 * i + 1] << 8)) & 0x7FFF);
    }
}

}  // namespace

bool convertRowTo555(const std::uint8_t* row, int bitCount, int count, std::uint16_t* out) {
    switch (bitCount) {
        case 32:
            convert32(row, count, out);
            return true;
        case 24:
            convert24(row, count, out);
            return true;
        case 16:
            convert16(row, count, out);
            return true;
        default:
            return false;
    }
}

}  // namespace media
