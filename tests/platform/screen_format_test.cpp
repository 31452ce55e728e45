// Frame geometry and header, the conversion of every server pixel layout into
// frame pixels, and the rule that decides whether a display gives access to
// the screen. None of this needs a display.
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

TEST(FrameHeader, FullHdAt32BitsIsBottomUpUncompressed) {
    const ScreenGeometry g{1920, 1080, 1, 32};
    ASSERT_TRUE(isUsableGeometry(g));
    const media::BitmapInfoHeader h = frameFormatHeader(g);
    EXPECT_EQ(h.size, 40u);
    EXPECT_EQ(h.width, 1920);
    EXPECT_EQ(h.height, 1080);  // positive: the bottom row comes first
    EXPECT_EQ(h.planes, 1);
    EXPECT_EQ(h.bitCount, 32);
    EXPECT_EQ(h.compression, 0u);
    EXPECT_EQ(h.sizeImage, 8294400u);
    EXPECT_EQ(h.xPelsPerMeter, 0);
    EXPECT_EQ(h.yPelsPerMeter, 0);
    EXPECT_EQ(h.clrUsed, 0u);
    EXPECT_EQ(h.clrImportant, 0u);
    EXPECT_EQ(frameBytes(g), 8294400u);
}

TEST(FrameHeader, RowsArePaddedToFourBytes) {
    const ScreenGeometry g{1366, 768, 1, 24};
    EXPECT_EQ(frameRowBytes(g), 4100u);
    EXPECT_EQ(frameFormatHeader(g).sizeImage, 4100u * 768u);
}

TEST(FrameHeader, UnusableGeometriesAreRecognised) {
    EXPECT_FALSE(isUsableGeometry({0, 1080, 1, 32}));
    EXPECT_FALSE(isUsableGeometry({1920, -1, 1, 32}));
    EXPECT_FALSE(isUsableGeometry({1920, 1080, 1, 8}));  // would need a colour table
    EXPECT_FALSE(isUsableGeometry({1920, 1080, 2, 32}));
    EXPECT_FALSE(isUsableGeometry({40000, 1080, 1, 32}));
    EXPECT_TRUE(isUsableGeometry({32767, 32767, 1, 32}));  // 4 GiB less a little: still fits
}

TEST(ServerRows, PaddedToTheServersScanlinePad) {
    ServerPixelFormat f = format(24, false, 0xFF0000, 0xFF00, 0xFF);
    EXPECT_EQ(serverRowBytes(f, 5), 16u);  // 15 bytes padded to 32 bits
    f.scanlinePad = 8;
    EXPECT_EQ(serverRowBytes(f, 5), 15u);
    f = format(16, false, 0xF800, 0x07E0, 0x001F);
    EXPECT_EQ(serverRowBytes(f, 3), 8u);
}

TEST(PixelConversion, CommonLayoutClearsTheUnusedByte) {
    const ServerPixelFormat f = format(32, false, 0xFF0000, 0xFF00, 0xFF);
    PixelRowConverter converter;
    ASSERT_TRUE(converter.configure(f));
    EXPECT_TRUE(converter.isDirectCopy());
    const std::vector<std::uint8_t> in{0xCC, 0x66, 0x33, 0xFF, 0x01, 0x02, 0x03, 0x80};
    const auto px = convertAll(f, in, 2);
    EXPECT_EQ(px[0], (Pixel{0xCC, 0x66, 0x33, 0}));
    EXPECT_EQ(px[1], (Pixel{0x01, 0x02, 0x03, 0}));
    // A longer row, not a multiple of any block size, with every byte different.
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

TEST(PixelConversion, ThirtyTwoBitsInOtherOrders) {
    // Most significant byte first, red in the top byte after the pad.
    const std::vector<std::uint8_t> msb{0x00, 0x33, 0x66, 0xCC};
    EXPECT_EQ(convertAll(format(32, true, 0xFF0000, 0xFF00, 0xFF), msb, 1)[0],
              (Pixel{0xCC, 0x66, 0x33, 0}));
    // Blue in the high bits (a BGR visual), little endian.
    const std::vector<std::uint8_t> bgr{0x33, 0x66, 0xCC, 0x00};
    EXPECT_EQ(convertAll(format(32, false, 0xFF, 0xFF00, 0xFF0000), bgr, 1)[0],
              (Pixel{0xCC, 0x66, 0x33, 0}));
    // Ten bits a channel keep their top eight.
    const std::uint32_t deep = (0x3FFu << 20) | (0x200u << 10) | 0x004u;
    const std::vector<std::uint8_t> d{
        static_cast<std::uint8_t>(deep), static_cast<std::uint8_t>(deep >> 8),
        static_cast<std::uint8_t>(deep >> 16), static_cast<std::uint8_t>(deep >> 24)};
    EXPECT_EQ(convertAll(format(32, false, 0x3FF00000, 0x000FFC00, 0x000003FF), d, 1)[0],
              (Pixel{0x01, 0x80, 0xFF, 0}));
}

TEST(PixelConversion, PackedTwentyFourBits) {
    const std::vector<std::uint8_t> lsb{0xCC, 0x66, 0x33, 0x01, 0x02, 0x03};
    const auto px = convertAll(format(24, false, 0xFF0000, 0xFF00, 0xFF), lsb, 2);
    EXPECT_EQ(px[0], (Pixel{0xCC, 0x66, 0x33, 0}));
    EXPECT_EQ(px[1], (Pixel{0x01, 0x02, 0x03, 0}));
    const std::vector<std::uint8_t> msb{0x33, 0x66, 0xCC};
    EXPECT_EQ(convertAll(format(24, true, 0xFF0000, 0xFF00, 0xFF), msb, 1)[0],
              (Pixel{0xCC, 0x66, 0x33, 0}));
}

TEST(PixelConversion, SixteenBitsScaleToTheFullRange) {
    const ServerPixelFormat f565 = format(16, false, 0xF800, 0x07E0, 0x001F);
    // White, black, pure red, and red 16/31, green 32/63, blue 8/31, which are
    // nearest to 132, 130 and 66 out of 255.
    const std::vector<std::uint8_t> in{0xFF, 0xFF, 0x00, 0x00, 0x00, 0xF8, 0x08, 0x84};
    const auto px = convertAll(f565, in, 4);
    EXPECT_EQ(px[0], (Pixel{255, 255, 255, 0}));
    EXPECT_EQ(px[1], (Pixel{0, 0, 0, 0}));
    EXPECT_EQ(px[2], (Pixel{0, 0, 255, 0}));
    EXPECT_EQ(px[3], (Pixel{66, 130, 132, 0}));
    // 5-5-5 (depth 15) and the big-endian byte order.
    const std::vector<std::uint8_t> be555{0x7C, 0x00, 0x03, 0xE0};
    const auto px555 = convertAll(format(16, true, 0x7C00, 0x03E0, 0x001F), be555, 2);
    EXPECT_EQ(px555[0], (Pixel{0, 0, 255, 0}));
    EXPECT_EQ(px555[1], (Pixel{0, 255, 0, 0}));
}

TEST(PixelConversion, EightBitTrueColour) {
    const std::vector<std::uint8_t> in{0xE0, 0x1C, 0x03, 0x49};  // 3-3-2
    const auto px = convertAll(format(8, false, 0xE0, 0x1C, 0x03), in, 4);
    EXPECT_EQ(px[0], (Pixel{0, 0, 255, 0}));
    EXPECT_EQ(px[1], (Pixel{0, 255, 0, 0}));
    EXPECT_EQ(px[2], (Pixel{255, 0, 0, 0}));
    EXPECT_EQ(px[3], (Pixel{85, 73, 73, 0}));  // 1/3 blue, 2/7 red and green
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

TEST(DisplayAccess, WaylandSessionIsRecognisedFromEitherVariable) {
    EXPECT_TRUE(isWaylandSession("wayland", nullptr));
    EXPECT_TRUE(isWaylandSession(nullptr, "wayland-0"));
    EXPECT_TRUE(isWaylandSession("x11", "wayland-1"));
    EXPECT_FALSE(isWaylandSession("x11", nullptr));
    EXPECT_FALSE(isWaylandSession("tty", ""));
    EXPECT_FALSE(isWaylandSession(nullptr, nullptr));
}

TEST(DisplayAccess, XWaylandInputDevicesAreRecognisedByName) {
    EXPECT_TRUE(isXWaylandDeviceName("xwayland-pointer:17"));
    EXPECT_TRUE(isXWaylandDeviceName("xwayland-keyboard:17"));
    EXPECT_FALSE(isXWaylandDeviceName("Virtual core pointer"));  // Xorg, Xvfb
    EXPECT_FALSE(isXWaylandDeviceName("Virtual core XTEST pointer"));
    EXPECT_FALSE(isXWaylandDeviceName("xwayland"));
}

TEST(DisplayAccess, OnlyXWaylandInsideAWaylandSessionOrNoDisplayThereNeedsX11) {
    EXPECT_EQ(x11AccessStatus(false, false, false), kScreenErrNoDisplay);
    EXPECT_EQ(x11AccessStatus(false, false, true), kScreenErrNeedsX11);
    EXPECT_EQ(x11AccessStatus(true, true, true), kScreenErrNeedsX11);
    EXPECT_EQ(x11AccessStatus(true, false, true), kScreenOk);  // e.g. Xvfb from a Wayland shell
    EXPECT_EQ(x11AccessStatus(true, true, false), kScreenOk);  // rootful XWayland desktop
    EXPECT_EQ(x11AccessStatus(true, false, false), kScreenOk);
}

}  // namespace
