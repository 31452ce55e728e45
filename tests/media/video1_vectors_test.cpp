// The hand-checked Video 1 frames of the format notes, decoded by our decoder
// and, as a cross-check of the expectations themselves, by FFmpeg.
#include <gtest/gtest.h>

#include <vector>

#include "media/video1.h"
#include "video1_test_support.h"

namespace {

using namespace video1test;

constexpr std::uint16_t kRed = 0x7C00, kGreen = 0x03E0, kBlue = 0x001F, kWhite = 0x7FFF,
                        kYellow = 0x7FE0, kCyan = 0x03FF, kMagenta = 0x7C1F, kBlack = 0;

// Expected top-down picture from a function of (x, y).
template <typename F>
std::vector<std::uint16_t> expect(int width, int height, F colourAt) {
    std::vector<std::uint16_t> out;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            out.push_back(colourAt(x, y));
    }
    return out;
}

struct Vector {
    int width, height;
    std::vector<Bytes> frames;
    std::vector<std::vector<std::uint16_t>> expected;
};

std::vector<Vector> vectors() {
    std::vector<Vector> v;
    v.push_back(
        {8,
         8,
         {{0x01, 0x00, 0x00, 0x7C, 0x1F, 0x00, 0xE0, 0x83, 0xFF, 0xFF, 0xE0, 0x83, 0x00, 0x00},
          {0x03, 0x84, 0x00, 0xFC, 0x00, 0x00}},
         {expect(8, 8,
                 [](int x, int y) {
                     if (y < 4)
                         return x < 4 ? kWhite : kGreen;
                     if (x >= 4)
                         return kGreen;
                     return (x == 0 && y == 7) ? kRed : kBlue;
                 }),
          expect(8, 8, [](int x, int y) {
              if (y < 4)
                  return x < 4 ? kWhite : kRed;
              if (x >= 4)
                  return kGreen;
              return (x == 0 && y == 7) ? kRed : kBlue;
          })}});
    // Mask, then c0..c7: red|0x8000, green, blue, white, yellow, cyan, magenta, black.
    const Bytes second = {0x00, 0x00, 0x00, 0xFC, 0xE0, 0x03, 0x1F, 0x00, 0xFF, 0x7F,
                          0xE0, 0x7F, 0xFF, 0x03, 0x1F, 0x7C, 0x00, 0x00, 0x00, 0x00};
    Bytes first = second;
    first[0] = 0xFF, first[1] = 0x7F;
    v.push_back({4, 4, {second}, {expect(4, 4, [](int x, int y) {
                     if (y >= 2)
                         return x < 2 ? kGreen : kWhite;
                     return x < 2 ? kCyan : kBlack;
                 })}});
    v.push_back({4, 4, {first}, {expect(4, 4, [](int x, int y) {
                     if (y >= 2)
                         return x < 2 ? kRed : kBlue;
                     if (x < 2)
                         return kYellow;
                     return (x == 3 && y == 0) ? kBlack : kMagenta;
                 })}});
    v.push_back({6, 6, {{0x00, 0xFC, 0x00, 0x00}}, {expect(6, 6, [](int x, int y) {
                     return (x < 4 && y < 4) ? kRed : kBlack;
                 })}});
    return v;
}

TEST(Video1Vectors, DecodeAsDocumented) {
    for (const Vector& v : vectors()) {
        SCOPED_TRACE(std::to_string(v.width) + "x" + std::to_string(v.height));
        media::Video1Decoder decoder(v.width, v.height, 16);
        for (std::size_t f = 0; f < v.frames.size(); ++f) {
            ASSERT_EQ(decoder.decode(v.frames[f].data(), v.frames[f].size()), 0);
            EXPECT_EQ(dib16TopDown(decoder.picture(), v.width, v.height), v.expected[f]) << f;
        }
    }
}

TEST(Video1Vectors, FfmpegAgreesWithTheExpectations) {
    if (!haveFfmpeg())
        GTEST_SKIP() << "ffmpeg not installed";
    const auto dir = scratchDir("vectors");
    for (const Vector& v : vectors()) {
        SCOPED_TRACE(std::to_string(v.width) + "x" + std::to_string(v.height));
        std::vector<AviFrame> frames;
        for (std::size_t f = 0; f < v.frames.size(); ++f)
            frames.push_back({v.frames[f], f == 0, {}});
        writeVideo1Avi(dir / "v.avi", v.width, v.height, 16, frames);
        Bytes raw;
        ASSERT_TRUE(ffmpegDecode(dir / "v.avi", "rgb555le", raw));
        const std::size_t words = std::size_t(v.width) * v.height;
        ASSERT_EQ(raw.size(), 2 * words * v.frames.size());
        for (std::size_t f = 0; f < v.frames.size(); ++f) {
            std::vector<std::uint16_t> picture(words);
            for (std::size_t i = 0; i < words; ++i) {
                const std::size_t at = 2 * (f * words + i);
                picture[i] = static_cast<std::uint16_t>((raw[at] | (raw[at + 1] << 8)) & 0x7FFF);
            }
            EXPECT_EQ(picture, v.expected[f]) << f;
        }
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
