// Our encoder through our decoder: error bounds per quality, delta frames of
// still and slowly changing screens, repeat frames, input depths, key frames
// and the block grid of sizes that are not multiples of 4.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "media/video1.h"
#include "media/video1_block_fit.h"
#include "media/video1_quality.h"
#include "video1_test_support.h"

namespace {

using namespace video1test;

// 16 pixels of block (bx, k) (k counted in stream order, from the bottom of the
// grid) of a top-down w x h 5-5-5 picture, in flag-bit order.
void blockPixels(const std::vector<std::uint16_t>& picture, int width, int height, int bx, int k,
                 std::uint16_t out[16]) {
    const int offset = height % 4;
    for (int y = 0; y < 4; ++y) {
        const int topDownRow = height - 1 - (offset + 4 * k + y);
        for (int x = 0; x < 4; ++x)
            out[4 * y + x] = picture[std::size_t(topDownRow) * width + 4 * bx + x];
    }
}

// Checks every block against the bound documented with the quality mapping:
// squared error <= (least squared error of any one coding) + 18 x lambda.
void expectWithinBound(const Picture& source, const media::Video1Decoder& decoder, int quality) {
    const auto wanted = to555(source);
    const auto shown = dib16TopDown(decoder.picture(), source.width, source.height);
    const std::int64_t scaledLambda = media::video1::scaledLambdaForQuality(quality);
    int failures = 0;
    for (int k = 0; k < source.height / 4; ++k) {
        for (int bx = 0; bx < source.width / 4; ++bx) {
            std::uint16_t a[16], b[16];
            blockPixels(wanted, source.width, source.height, bx, k, a);
            blockPixels(shown, source.width, source.height, bx, k, b);
            media::video1::BlockFit best;
            ASSERT_TRUE(
                media::video1::fitBlock(a, 0, std::numeric_limits<std::int64_t>::max(), best));
            const std::int64_t error =
                media::video1::kCostScale * media::video1::blockSquaredError(a, b);
            if (error > best.cost + media::video1::kBoundBytes * scaledLambda && ++failures < 5) {
                ADD_FAILURE() << "block " << bx << "," << k << " error " << error << " best "
                              << best.cost << " quality " << quality;
            }
        }
    }
}

std::int64_t totalError(const Picture& source, const media::Video1Decoder& decoder) {
    const auto wanted = to555(source);
    const auto shown = dib16TopDown(decoder.picture(), source.width, source.height);
    std::int64_t error = 0;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        for (int shift : {0, 5, 10}) {
            const int d = ((wanted[i] >> shift) & 31) - ((shown[i] >> shift) & 31);
            error += d * d;
        }
    }
    return error;
}

TEST(Video1RoundTrip, EveryBlockStaysWithinTheQualitysBound) {
    const int width = 96, height = 64;
    for (int quality : {0, 2500, 5000, 7500, 8500, 10000}) {
        SCOPED_TRACE(quality);
        media::Video1Encoder encoder(width, height, quality);
        media::Video1Decoder decoder(width, height, 16);
        Bytes frame;
        for (int f = 0; f < 8; ++f) {
            const Picture source = screenScene(width, height, f);
            encoder.encode(toDib(source, 32).data(), 32, f == 5, frame);
            ASSERT_EQ(decoder.decode(frame.data(), frame.size()), 0);
            expectWithinBound(source, decoder, quality);
        }
    }
}

// A slow fade changes every block by less than one step of the threshold per
// frame; comparing against the reconstruction keeps the error bounded.
TEST(Video1RoundTrip, SlowChangesDoNotAccumulateError) {
    const int width = 64, height = 32;
    media::Video1Encoder encoder(width, height, 5000);
    media::Video1Decoder decoder(width, height, 16);
    Bytes frame;
    for (int f = 0; f < 60; ++f) {
        Picture source = screenScene(width, height, 0);
        for (auto& c : source.rgb)
            c = (c & 0xFFFF00) | std::min<std::uint32_t>(255, (c & 0xFF) + 2 * f);
        encoder.encode(toDib(source, 32).data(), 32, false, frame);
        ASSERT_EQ(decoder.decode(frame.data(), frame.size()), 0);
        expectWithinBound(source, decoder, 5000);
    }
}

TEST(Video1RoundTrip, TwoColourTextIsLosslessAtTopQuality) {
    const int width = 60, height = 40;
    Picture text(width, height, 0xF8F8F8);
    detail::drawText(text, 1, 2, 9, 0x000000, 3);
    detail::drawText(text, 1, 20, 9, 0x0000F8, 4);
    media::Video1Encoder encoder(width, height, 10000);
    media::Video1Decoder decoder(width, height, 16);
    Bytes frame;
    encoder.encode(toDib(text, 24).data(), 24, true, frame);
    ASSERT_EQ(decoder.decode(frame.data(), frame.size()), 0);
    EXPECT_EQ(dib16TopDown(decoder.picture(), width, height), to555(text));
}

TEST(Video1RoundTrip, HigherQualityNeverCostsFewerBytesOrShowsMoreError) {
    const int width = 96, height = 64;
    std::size_t previousBytes = 0;
    std::int64_t previousError = std::numeric_limits<std::int64_t>::max();
    for (int quality = 0; quality <= 10000; quality += 500) {
        SCOPED_TRACE(quality);
        media::Video1Encoder encoder(width, height, quality);
        media::Video1Decoder decoder(width, height, 16);
        std::size_t bytes = 0;
        std::int64_t error = 0;
        Bytes frame;
        for (int f = 0; f < 4; ++f) {  // key frames only: each block decides alone
            const Picture source = screenScene(width, height, f * 7);
            encoder.encode(toDib(source, 32).data(), 32, true, frame);
            ASSERT_EQ(decoder.decode(frame.data(), frame.size()), 0);
            bytes += frame.size();
            error += totalError(source, decoder);
        }
        EXPECT_GE(bytes, previousBytes);
        EXPECT_LE(error, previousError);
        previousBytes = bytes;
        previousError = error;
    }
}

TEST(Video1RoundTrip, StillScreenGivesNearEmptyDeltaFramesAndStableKeyFrames) {
    const int width = 320, height = 240;
    const Picture still = screenScene(width, height, 3);
    const Bytes dib = toDib(still, 32);
    media::Video1Encoder encoder(width, height, 8500);
    media::Video1Decoder decoder(width, height, 16);
    Bytes first, frame;
    EXPECT_TRUE(encoder.encode(dib.data(), 32, false, first));
    ASSERT_EQ(decoder.decode(first.data(), first.size()), 0);
    const Bytes shown = decoder.picture();
    const std::size_t blocks = (width / 4) * (height / 4);
    const std::size_t emptyDelta = 2 * ((blocks + 1022) / 1023) + 2;
    for (int f = 0; f < 3; ++f) {
        EXPECT_FALSE(encoder.encode(dib.data(), 32, false, frame));
        EXPECT_EQ(frame.size(), emptyDelta);
        ASSERT_EQ(decoder.decode(frame.data(), frame.size()), 0);
        EXPECT_EQ(decoder.picture(), shown);
    }
    // The repeat frame made without an encoder is the encoder's own delta
    // frame of an unchanged screen.
    const Bytes repeat = media::video1SkipFrame(width, height);
    EXPECT_EQ(repeat, frame);
    ASSERT_EQ(decoder.decode(repeat.data(), repeat.size()), 0);
    EXPECT_EQ(decoder.picture(), shown);

    // A key frame of the unchanged screen repeats the first frame's coding.
    EXPECT_TRUE(encoder.encode(dib.data(), 32, true, frame));
    EXPECT_EQ(frame, first);
}

TEST(Video1RoundTrip, InputDepthsGiveIdenticalStreams) {
    const int width = 70, height = 46;  // odd strides for 24 and 16 bits
    media::Video1Encoder e32(width, height, 7500), e24(width, height, 7500),
        e16(width, height, 7500);
    Bytes a, b, c;
    for (int f = 0; f < 5; ++f) {
        const Picture source = screenScene(width, height, f);
        e32.encode(toDib(source, 32).data(), 32, false, a);
        e24.encode(toDib(source, 24).data(), 24, false, b);
        e16.encode(toDib(source, 16).data(), 16, false, c);
        EXPECT_EQ(a, b) << f;
        EXPECT_EQ(a, c) << f;
    }
}

// A key frame depends on nothing: it decodes the same over any earlier picture.
TEST(Video1RoundTrip, KeyFramesStandAlone) {
    const int width = 64, height = 48;
    media::Video1Encoder encoder(width, height, 7500);
    media::Video1Decoder used(width, height, 16);
    Bytes frame;
    for (int f = 0; f < 6; ++f) {
        const bool key =
            encoder.encode(toDib(screenScene(width, height, f), 32).data(), 32, f == 3, frame);
        EXPECT_EQ(key, f == 0 || f == 3) << f;
        ASSERT_EQ(used.decode(frame.data(), frame.size()), 0);
        if (f == 0 || f == 3) {
            media::Video1Decoder fresh(width, height, 16);
            ASSERT_EQ(fresh.decode(frame.data(), frame.size()), 0);
            EXPECT_EQ(fresh.picture(), used.picture()) << f;
        }
    }
    encoder.reset();
    EXPECT_TRUE(encoder.encode(toDib(screenScene(width, height, 9), 32).data(), 32, false, frame));
}

// 38x22 has the edges of 1366x768 (two columns) plus two rows outside the
// grid: those stay black, the rest follows the source.
TEST(Video1RoundTrip, SizesNotMultipleOfFourLeaveTheEdgesBlack) {
    const int width = 38, height = 22;
    const Picture source = screenScene(width, height, 1);
    media::Video1Encoder encoder(width, height, 10000);
    media::Video1Decoder decoder(width, height, 16);
    Bytes frame;
    encoder.encode(toDib(source, 32).data(), 32, true, frame);
    ASSERT_EQ(decoder.decode(frame.data(), frame.size()), 0);
    const auto shown = dib16TopDown(decoder.picture(), width, height);
    const auto wanted = to555(source);
    std::int64_t error = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint16_t c = shown[std::size_t(y) * width + x];
            if (x >= 36 || y >= 20) {
                EXPECT_EQ(c, 0) << x << "," << y;
            } else {
                const std::uint16_t w = wanted[std::size_t(y) * width + x];
                for (int shift : {0, 5, 10}) {
                    const int d = ((c >> shift) & 31) - ((w >> shift) & 31);
                    error += d * d;
                }
            }
        }
    }
    // Quality 10000 keeps the least error any coding can give; on this scene
    // that is a small fraction of a step per component.
    EXPECT_LT(double(error) / (36 * 20 * 3), 0.5);
}

TEST(Video1RoundTrip, RefusesUnsupportedInput) {
    media::Video1Encoder encoder(16, 16, 7500);
    Bytes frame{1, 2, 3};
    const Bytes dib(media::dibRowBytes(16, 8) * 16);
    EXPECT_FALSE(encoder.encode(dib.data(), 8, true, frame));
    EXPECT_TRUE(frame.empty());
    EXPECT_FALSE(encoder.encode(nullptr, 32, true, frame));
    EXPECT_TRUE(frame.empty());
}

// Pictures without a whole block still give a valid (empty) frame.
TEST(Video1RoundTrip, PicturesSmallerThanABlockGiveEmptyFrames) {
    for (auto [w, h] : {std::pair{0, 0}, {3, 5}, {5, 3}, {1, 1}}) {
        media::Video1Encoder encoder(w, h, 7500);
        const video1test::Bytes dib(media::dibRowBytes(w, 24) * h + 1, 0x77);
        video1test::Bytes frame;
        EXPECT_TRUE(encoder.encode(dib.data(), 24, false, frame));
        EXPECT_EQ(frame, (video1test::Bytes{0, 0}));
        // A later frame has nothing to skip either, so it is a key frame too.
        EXPECT_TRUE(encoder.encode(dib.data(), 24, false, frame));
        EXPECT_EQ(frame.size(), 2u);
    }
}

}  // namespace
