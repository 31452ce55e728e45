// Conversion of X server image rows (ZPixmap, TrueColor) into frame rows of
// 32-bit pixels stored as blue, green, red, 0. Kept free of xcb so that every
// layout a server may announce can be checked without such a server.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// How the server lays out one pixel and one row of a ZPixmap image.
struct ServerPixelFormat {
    int bitsPerPixel = 32;  // 8, 16, 24 or 32 are understood
    int scanlinePad = 32;   // rows are padded to a multiple of this many bits
    bool msbFirst = false;  // the image byte order of multi-byte pixels
    std::uint32_t redMask = 0xFF0000;
    std::uint32_t greenMask = 0x00FF00;
    std::uint32_t blueMask = 0x0000FF;
};

// Bytes in one server row of `width` pixels, or 0 for a format without a
// usable pad.
std::size_t serverRowBytes(const ServerPixelFormat& format, int width);

class PixelRowConverter {
  public:
    // Prepares for rows of `format`. Returns false (and converts nothing
    // afterwards) when the format is not one this class can read: a depth
    // below 8 bits per pixel, empty, overlapping or non-contiguous masks.
    bool configure(const ServerPixelFormat& format);

    // Converts `count` server pixels at `in` into `count` 4-byte pixels at
    // `out` (blue, green, red, 0). Channels narrower than 8 bits are scaled so
    // that their largest value becomes 255; wider ones keep their top 8 bits.
    void convert(const std::uint8_t* in, int count, std::uint8_t* out) const;

    // The common layout (32 bits, blue in the low byte, little endian), which
    // needs only the unused byte cleared.
    bool isDirectCopy() const { return rowFunction_ == &PixelRowConverter::convertDirect; }

  private:
    struct Channel {
        int shift = 0;
        int bits = 0;
        std::array<std::uint8_t, 256> scaled{};  // for bits <= 8
    };
    using RowFunction = void (PixelRowConverter::*)(const std::uint8_t*, int, std::uint8_t*) const;

    static bool describe(std::uint32_t mask, int bitsPerPixel, Channel& channel);
    std::uint32_t toFramePixel(std::uint32_t raw) const;
    void convertDirect(const std::uint8_t* in, int count, std::uint8_t* out) const;
    template <int Bytes, bool MsbFirst>
    void convertGeneric(const std::uint8_t* in, int count, std::uint8_t* out) const;

    Channel red_;
    Channel green_;
    Channel blue_;
    RowFunction rowFunction_ = nullptr;
};
