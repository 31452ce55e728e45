// Our encoder through our decoder: the error bound of every quality, delta
// frames of still and slowly changing screens, the repeat frame, input
// depths, key frames, the block grid of sizes that are not multiples of 4;
// and the decoder on damaged data.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "media/video1.h"
#include "media/video1_block_fit.h"
#include "media/video1_quality.h"
#include "tests/media/media_test_support.h"

namespace {

using namespace mediatest;
namespace v1 = media::video1;

// The 16 pixels of block (bx, k) (k counted from the bottom of the grid, as
// the stream orders them) of a top-down picture of 5-5-5 words.
void blockPixels(const std::vector<std::uint16_t>& picture, int width, int height, int bx, int k,
                 std::uint16_t out[16]) {
    for (int y = 0; y < 4; ++y) {
        const int row = height - 1 - (height % 4 + 4 * k + y);
        for (int x = 0; x < 4; ++x)
            out[4 * y + x] = picture[static_cast<std::size_t>(row * width + 4 * bx + x)];
    }
}

// The bound documented with the quality mapping, for every block: squared
// error <= (least squared error of any one coding) + 18 x lambda.
void expectWithinBound(const Picture& source, const media::Video1Decoder& decoder, int quality) {
    const auto wanted = to555(source);
    const auto shown = dib16TopDown(decoder.picture(), source.width, source.height);
    const std::int64_t scaledLambda = v1::scaledLambdaForQuality(quality);
    int failures = 0;
    for (int k = 0; k < source.height / 4; ++k) {
        for (int bx = 0; bx < source.width / 4; ++bx) {
            std::uint16_t a[16], b[16];
            blockPixels(wanted, source.width, source.height, bx, k, a);
            blockPixels(shown, source.width, source.height, bx, k, b);
            v1::BlockFit best;
            ASSERT_TRUE(v1::fitBlock(a, 0, std::numeric_limits<std::int64_t>::max(), best));
            const std::int64_t error = v1::kCostScale * v1::blockSquaredError(a, b);
            if (error > best.cost + v1::kBoundBytes * scaledLambda && ++failures < 5) {
                ADD_FAILURE() << "block " << bx << "," << k << " error " << error << " best "
                              << best.cost << " quality " << quality;
            }
        }
    }
}

std::int64_t totalError(const std::vector<std::uint16_t>& a, const std::vector<std::uint16_t>& b) {
    std::int64_t error = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        for (int shift : {0, 5, 10}) {
            const int d = ((a[i] >> shift) & 31) - ((b[i] >> shift) & 31);
            error += d * d;
        }
    }
    return error;
}

// Moving content at every quality, then a slow fade that changes each block
// by less than a threshold step per frame: delta frames compared against the
// last picture shown, not the last source, keep the error bounded.
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
    media::Video1Encoder encoder(width, height, 5000);
    media::Video1Decoder decoder(width, height, 16);
    Bytes frame;
    for (int f = 0; f < 60; ++f) {
        Picture source = screenScene(width, height, 0);
        for (auto& c : source.rgb)
            c = (c & 0xFFFF00) |
                std::min<std::uint32_t>(255, (c & 0xFF) + 2 * static_cast<std::uint32_t>(f));
        encoder.encode(toDib(source, 32).data(), 32, false, frame);
        ASSERT_EQ(decoder.decode(frame.data(), frame.size()), 0);
        expectWithinBound(source, decoder, 5000);
    }
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
            error += totalError(to555(source), dib16TopDown(decoder.picture(), width, height));
        }
        EXPECT_GE(bytes, previousBytes);
        EXPECT_LE(error, previousError);
        previousBytes = bytes;
        previousError = error;
    }
}

TEST(Video1RoundTrip, StillScreenGivesTheRepeatFrameAndStableKeyFrames) {
    const int width = 320, height = 240;
    const Bytes dib = toDib(screenScene(width, height, 3), 32);
    media::Video1Encoder encoder(width, height, 8500);
    media::Video1Decoder decoder(width, height, 16);
    Bytes first, frame;
    EXPECT_TRUE(encoder.encode(dib.data(), 32, false, first));
    ASSERT_EQ(decoder.decode(first.data(), first.size()), 0);
    const Bytes shown = decoder.picture();
    // The repeat frame, made without an encoder, is the encoder's own delta
    // frame of an unchanged screen: skip runs of at most 1023 blocks.
    const Bytes repeat = media::video1SkipFrame(width, height);
    EXPECT_EQ(repeat.size(), 2 * ((width / 4 * height / 4 + 1022) / 1023) + 2);
    for (int f = 0; f < 3; ++f) {
        EXPECT_FALSE(encoder.encode(dib.data(), 32, false, frame));
        EXPECT_EQ(frame, repeat);
        ASSERT_EQ(decoder.decode(frame.data(), frame.size()), 0);
        EXPECT_EQ(decoder.picture(), shown);
    }
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
        if (key) {
            media::Video1Decoder fresh(width, height, 16);
            ASSERT_EQ(fresh.decode(frame.data(), frame.size()), 0);
            EXPECT_EQ(fresh.picture(), used.picture()) << f;
        }
    }
    encoder.reset();
    EXPECT_TRUE(encoder.encode(toDib(screenScene(width, height, 9), 32).data(), 32, false, frame));
}

// 38x22 has the two columns of 1366x768 and two rows outside the grid: those
// stay black; at top quality the rest keeps well under a step per component.
TEST(Video1RoundTrip, SizesNotMultipleOfFourLeaveTheEdgesBlack) {
    const int width = 38, height = 22;
    const Picture source = screenScene(width, height, 1);
    media::Video1Encoder encoder(width, height, 10000);
    media::Video1Decoder decoder(width, height, 16);
    Bytes frame;
    encoder.encode(toDib(source, 32).data(), 32, true, frame);
    ASSERT_EQ(decoder.decode(frame.data(), frame.size()), 0);
    auto shown = dib16TopDown(decoder.picture(), width, height);
    auto wanted = to555(source);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y * width + x);
            if (x >= 36 || y >= 20) {
                EXPECT_EQ(shown[i], 0) << x << "," << y;
                wanted[i] = shown[i];
            }
        }
    }
    EXPECT_LT(double(totalError(wanted, shown)) / (36 * 20 * 3), 0.5);
}

TEST(Video1RoundTrip, RefusedInputAndPicturesSmallerThanABlock) {
    media::Video1Encoder encoder(16, 16, 7500);
    Bytes frame{1, 2, 3};
    const Bytes dib8(media::dibRowBytes(16, 8) * 16);
    EXPECT_FALSE(encoder.encode(dib8.data(), 8, true, frame));
    EXPECT_TRUE(frame.empty());
    EXPECT_FALSE(encoder.encode(nullptr, 32, true, frame));
    EXPECT_TRUE(frame.empty());
    // No whole block: a valid empty frame, and every frame a key frame.
    for (auto [w, h] : {std::pair{0, 0}, {3, 5}, {5, 3}, {1, 1}}) {
        media::Video1Encoder tiny(w, h, 7500);
        const Bytes dib(media::dibRowBytes(w, 24) * static_cast<std::size_t>(h) + 1, 0x77);
        for (int f = 0; f < 2; ++f) {
            EXPECT_TRUE(tiny.encode(dib.data(), 24, false, frame));
            EXPECT_EQ(frame, (Bytes{0, 0}));
        }
    }
}

// Damaged data: a nonzero status, the decoded part kept, nothing outside the
// picture touched (the fuzz target tries arbitrary bytes).
TEST(Video1Decoder, DamagedFramesReportFailureAndKeepTheDecodedPart) {
    const int width = 40, height = 28;
    media::Video1Encoder encoder(width, height, 9000);
    Bytes frame;
    encoder.encode(toDib(screenScene(width, height, 2), 32).data(), 32, true, frame);
    media::Video1Decoder whole(width, height, 16);
    ASSERT_EQ(whole.decode(frame.data(), frame.size()), 0);
    // The end marker is optional; anything shorter than the blocks is damage.
    for (std::size_t size = 0; size + 2 < frame.size(); ++size) {
        media::Video1Decoder decoder(width, height, 16);
        EXPECT_NE(decoder.decode(frame.data(), size), 0) << size;
    }
    media::Video1Decoder decoder(width, height, 16);
    EXPECT_EQ(decoder.decode(frame.data(), frame.size() - 2), 0);
    EXPECT_EQ(decoder.picture(), whole.picture());

    // A skip of zero blocks is damage; the blocks before it stay.
    media::Video1Decoder small(8, 4, 16);
    const Bytes red = {0x00, 0xFC, 0x00, 0xFC, 0x00, 0x00};
    ASSERT_EQ(small.decode(red.data(), red.size()), 0);
    const Bytes zeroSkip = {0x00, 0x84, 0xE0, 0x83, 0x00, 0x00};
    EXPECT_NE(small.decode(zeroSkip.data(), zeroSkip.size()), 0);
    EXPECT_EQ(dib16TopDown(small.picture(), 8, 4), std::vector<std::uint16_t>(32, 0x7C00));

    const Bytes end = {0x00, 0x00};
    for (auto [w, h] : {std::pair{0, 8}, {8, -4}, {100000, 4}, {4, 1 << 20}}) {
        media::Video1Decoder bad(w, h, 16);
        EXPECT_NE(bad.decode(end.data(), end.size()), 0);
        EXPECT_TRUE(bad.picture().empty());
    }
    EXPECT_NE(decoder.decode(nullptr, 100), 0);
}

TEST(Video1Decoder, PaletteChangesAreCheckedAndReadAsRedGreenBlue) {
    media::Video1Decoder decoder(4, 4, 8, {0x010203});
    const Bytes good = {5, 2, 0, 0, 0x11, 0x22, 0x33, 0, 0x44, 0x55, 0x66, 0};
    ASSERT_EQ(decoder.applyPaletteChange(good.data(), good.size()), 0);
    EXPECT_EQ(decoder.palette()[0], 0x010203u);
    EXPECT_EQ(decoder.palette()[5], 0x112233u);  // stored as B | G << 8 | R << 16
    EXPECT_EQ(decoder.palette()[6], 0x445566u);
    const Bytes shortChunk = {5, 2, 0, 0, 0x11, 0x22, 0x33, 0};
    EXPECT_NE(decoder.applyPaletteChange(shortChunk.data(), shortChunk.size()), 0);
    const Bytes pastEnd = {255, 2, 0, 0, 1, 2, 3, 0, 4, 5, 6, 0};
    EXPECT_NE(decoder.applyPaletteChange(pastEnd.data(), pastEnd.size()), 0);
    EXPECT_NE(decoder.applyPaletteChange(good.data(), 3), 0);
    media::Video1Decoder rgb(4, 4, 16);
    EXPECT_NE(rgb.applyPaletteChange(good.data(), good.size()), 0);
}

}  // namespace
