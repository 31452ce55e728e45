// Which frame geometries are refused, and the conversion of every server
// pixel layout into frame pixels. None of this needs a display; row padding
// and the frame layout are checked against real servers by the screen
// source's test, and odd sizes recorded and decoded by the recorder's.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "platform/screen_source.h"
#include "platform/x11_pixel_format.h"
#include "platform/x11_screen_source.h"

namespace {

using Pixel = std::array<std::uint8_t, 4>;  // blue, green, red, unused

std::vector<Pixel> convertAll(const ServerPixelFormat& format, const std::vector<std::uint8_t>& in,
                              int count) {
    PixelRowConverter converter;
    EXPECT_TRUE(converter.configure(format));
    std::vector<std::uint8_t> out(4 * static_cast<std::size_t>(count), 0xEE);
    converter.convert(in.data(), count, out.data());
    std::vector<Pixel> pixels(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        for (int b = 0; b < 4; ++b)
            pixels[i][b] = out[4 * i + b];
    return pixels;
}

ServerPixelFormat format(int bpp, bool msbFirst, std::uint32_t r, std::uint32_t g,
                         std::uint32_t b) {
    ServerPixelFormat f;
    f.bitsPerPixel = bpp;
    f.scanlinePad = 32;
    f.msbFirst = msbFirst;
    f.redMask = r;
    f.greenMask = g;
    f.blueMask = b;
    return f;
}

TEST(FrameHeader, UnusableGeometriesAreRecognised) {
    EXPECT_FALSE(isUsableGeometry({0, 1080, 1, 32}));
    EXPECT_FALSE(isUsableGeometry({1920, -1, 1, 32}));
    EXPECT_FALSE(isUsableGeometry({1920, 1080, 1, 8}));  // would need a colour table
    EXPECT_FALSE(isUsableGeometry({1920, 1080, 2, 32}));
    EXPECT_FALSE(isUsableGeometry({40000, 1080, 1, 32}));
    EXPECT_TRUE(isUsableGeometry({32767, 32767, 1, 32}));  // 4 GiB less a little: still fits
}

TEST(PixelConversion, CommonLayoutClearsTheUnusedByte) {
    const ServerPixelFormat f = format(32, false, 0xFF0000, 0xFF00, 0xFF);
    PixelRowConverter converter;
    ASSERT_TRUE(converter.configure(f));
    EXPECT_TRUE(converter.isDirectCopy());
    // A row that is not a multiple of any block size, every byte different
    // and no unused byte zero.
    constexpr int kCount = 37;
    std::vector<std::uint8_t> row(4 * kCount);
    for (std::size_t i = 0; i < row.size(); ++i)
        row[i] = static_cast<std::uint8_t>(i * 7 + 1);
    const auto all = convertAll(f, row, kCount);
    for (int i = 0; i < kCount; ++i) {
        const Pixel want{row[4 * i], row[4 * i + 1], row[4 * i + 2], 0};
        EXPECT_EQ(all[i], want) << "pixel " << i;
    }
}

struct LayoutCase {
    const char* what;
    ServerPixelFormat format;
    std::vector<std::uint8_t> in;
    std::vector<Pixel> out;
};

// Every layout an X server may use, as frame pixels. The 16-bit one is also
// read from a real server by the screen source's test.
TEST(PixelConversion, EveryServerLayoutGivesBlueGreenRedZero) {
    // Ten bits a channel keep their top eight.
    const std::uint32_t deep = (0x3FFu << 20) | (0x200u << 10) | 0x004u;
    const LayoutCase cases[] = {
        {"32 bits, most significant byte first",
         format(32, true, 0xFF0000, 0xFF00, 0xFF),
         {0x00, 0x33, 0x66, 0xCC},
         {{0xCC, 0x66, 0x33, 0}}},
        {"32 bits, blue in the high bits",
         format(32, false, 0xFF, 0xFF00, 0xFF0000),
         {0x33, 0x66, 0xCC, 0x00},
         {{0xCC, 0x66, 0x33, 0}}},
        {"10 bits a channel",
         format(32, false, 0x3FF00000, 0x000FFC00, 0x000003FF),
         {static_cast<std::uint8_t>(deep), static_cast<std::uint8_t>(deep >> 8),
          static_cast<std::uint8_t>(deep >> 16), static_cast<std::uint8_t>(deep >> 24)},
         {{0x01, 0x80, 0xFF, 0}}},
        {"packed 24 bits",
         format(24, false, 0xFF0000, 0xFF00, 0xFF),
         {0xCC, 0x66, 0x33, 0x01, 0x02, 0x03},
         {{0xCC, 0x66, 0x33, 0}, {0x01, 0x02, 0x03, 0}}},
        {"packed 24 bits, most significant byte first",
         format(24, true, 0xFF0000, 0xFF00, 0xFF),
         {0x33, 0x66, 0xCC},
         {{0xCC, 0x66, 0x33, 0}}},
        // Red 16/31, green 32/63, blue 8/31 are nearest to 132, 130 and 66.
        {"5-6-5 scaled to the full range",
         format(16, false, 0xF800, 0x07E0, 0x001F),
         {0xFF, 0xFF, 0x00, 0x00, 0x00, 0xF8, 0x08, 0x84},
         {{255, 255, 255, 0}, {0, 0, 0, 0}, {0, 0, 255, 0}, {66, 130, 132, 0}}},
        {"5-5-5, most significant byte first",
         format(16, true, 0x7C00, 0x03E0, 0x001F),
         {0x7C, 0x00, 0x03, 0xE0},
         {{0, 0, 255, 0}, {0, 255, 0, 0}}},
        {"3-3-2 true colour: 1/3 blue, 2/7 red and green last",
         format(8, false, 0xE0, 0x1C, 0x03),
         {0xE0, 0x1C, 0x03, 0x49},
         {{0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}, {85, 73, 73, 0}}},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(convertAll(c.format, c.in, static_cast<int>(c.out.size())), c.out);
    }
}

TEST(PixelConversion, RefusesLayoutsItCannotRead) {
    PixelRowConverter c;
    EXPECT_FALSE(c.configure(format(4, false, 0x8, 0x4, 0x2)));            // below 8 bits
    EXPECT_FALSE(c.configure(format(32, false, 0xFF0000, 0xFF00, 0)));     // no blue
    EXPECT_FALSE(c.configure(format(32, false, 0xFF0F00, 0xFF00, 0xFF)));  // overlap
    EXPECT_FALSE(c.configure(format(32, false, 0xF0F000, 0xF, 0xF00)));    // holes
    EXPECT_FALSE(c.configure(format(16, false, 0xFF0000, 0xFF00, 0xFF)));  // masks too wide
    ServerPixelFormat badPad = format(32, false, 0xFF0000, 0xFF00, 0xFF);
    badPad.scanlinePad = 0;
    EXPECT_FALSE(c.configure(badPad));
    // A refused format converts nothing.
    std::array<std::uint8_t, 4> in{1, 2, 3, 4};
    std::array<std::uint8_t, 4> out{9, 9, 9, 9};
    c.convert(in.data(), 1, out.data());
    EXPECT_EQ(out, (std::array<std::uint8_t, 4>{9, 9, 9, 9}));
}

}  // namespace
