#include "platform/x11_pixel_format.h"

#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::uint32_t kDirectRed = 0xFF0000;
constexpr std::uint32_t kDirectGreen = 0x00FF00;
constexpr std::uint32_t kDirectBlue = 0x0000FF;
constexpr std::uint32_t kColourBits = 0x00FFFFFF;  // a frame pixel's unused byte is 0

inline void storeFramePixel(std::uint8_t* out, std::uint32_t pixel) {
    out[0] = static_cast<std::uint8_t>(pixel);
    out[1] = static_cast<std::uint8_t>(pixel >> 8);
    out[2] = static_cast<std::uint8_t>(pixel >> 16);
    out[3] = 0;
}

template <int Bytes, bool MsbFirst>
inline std::uint32_t loadServerPixel(const std::uint8_t* p) {
    std::uint32_t value = 0;
    for (int i = 0; i < Bytes; ++i) {
        const int shift = MsbFirst ? 8 * (Bytes - 1 - i) : 8 * i;
        value |= static_cast<std::uint32_t>(p[i]) << shift;
    }
    return value;
}

}  // namespace

std::size_t serverRowBytes(const ServerPixelFormat& format, int width) {
    if (width <= 0 || format.scanlinePad <= 0 || format.scanlinePad % 8 != 0)
        return 0;
    const std::size_t bits = static_cast<std::size_t>(width) * format.bitsPerPixel;
    const std::size_t pad = static_cast<std::size_t>(format.scanlinePad);
    return (bits + pad - 1) / pad * (pad / 8);
}

bool PixelRowConverter::describe(std::uint32_t mask, int bitsPerPixel, Channel& channel) {
    if (mask == 0)
        return false;
    if (bitsPerPixel < 32 && (mask >> bitsPerPixel) != 0)
        return false;
    channel.shift = std::countr_zero(mask);
    const std::uint32_t field = mask >> channel.shift;
    if ((field & (field + 1)) != 0)
        return false;  // holes in the mask
    channel.bits = std::popcount(field);
    if (channel.bits <= 8) {
        const unsigned largest = field;
        for (unsigned v = 0; v <= largest; ++v)
            channel.scaled[v] = static_cast<std::uint8_t>((v * 255 + largest / 2) / largest);
    }
    return true;
}

bool PixelRowConverter::configure(const ServerPixelFormat& format) {
    rowFunction_ = nullptr;
    const int bpp = format.bitsPerPixel;
    if (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return false;
    if (serverRowBytes(format, 1) == 0)
        return false;
    if ((format.redMask & format.greenMask) || (format.redMask & format.blueMask) ||
        (format.greenMask & format.blueMask))
        return false;
    if (!describe(format.redMask, bpp, red_) || !describe(format.greenMask, bpp, green_) ||
        !describe(format.blueMask, bpp, blue_))
        return false;

    if (bpp == 32 && !format.msbFirst && format.redMask == kDirectRed &&
        format.greenMask == kDirectGreen && format.blueMask == kDirectBlue) {
        rowFunction_ = &PixelRowConverter::convertDirect;
        return true;
    }
    const bool msb = format.msbFirst;
    switch (bpp) {
        case 8:
            rowFunction_ = &PixelRowConverter::convertGeneric<1, false>;
            break;
        case 16:
            rowFunction_ = msb ? &PixelRowConverter::convertGeneric<2, true>
                               : &PixelRowConverter::convertGeneric<2, false>;
            break;
        case 24:
            rowFunction_ = msb ? &PixelRowConverter::convertGeneric<3, true>
                               : &PixelRowConverter::convertGeneric<3, false>;
            break;
        default:
            rowFunction_ = msb ? &PixelRowConverter::convertGeneric<4, true>
                               : &PixelRowConverter::convertGeneric<4, false>;
            break;
    }
    return true;
}

void PixelRowConverter::convert(const std::uint8_t* in, int count, std::uint8_t* out) const {
    if (rowFunction_ == nullptr || count <= 0)
        return;
    (this->*rowFunction_)(in, count, out);
}

std::uint32_t PixelRowConverter::toFramePixel(std::uint32_t raw) const {
    auto component = [raw](const Channel& c) -> std::uint32_t {
        const std::uint32_t v = (raw >> c.shift) & ((c.bits >= 32) ? ~0u : ((1u << c.bits) - 1));
        return c.bits <= 8 ? c.scaled[v] : (v >> (c.bits - 8));
    };
    return component(blue_) | component(green_) << 8 | component(red_) << 16;
}

void PixelRowConverter::convertDirect(const std::uint8_t* in, int count, std::uint8_t* out) const {
    int i = 0;
#if defined(__SSE2__)
    // Four pixels per step: this path runs over every pixel of every frame,
    // and the compiler leaves the plain loop below unvectorised at -O2.
    const __m128i colour = _mm_set1_epi32(static_cast<int>(kColourBits));
    for (; i + 4 <= count; i += 4) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i), _mm_and_si128(pixels, colour));
    }
#endif
    for (; i < count; ++i)
        storeFramePixel(out + 4 * i, loadServerPixel<4, false>(in + 4 * i));
}

template <int Bytes, bool MsbFirst>
void PixelRowConverter::convertGeneric(const std::uint8_t* in, int count, std::uint8_t* out) const {
    for (int i = 0; i < count; ++i)
        storeFramePixel(out + 4 * i,
                        toFramePixel(loadServerPixel<Bytes, MsbFirst>(in + Bytes * i)));
}
