// Damaged Video 1 data: the decoder must stay inside its picture, keep what it
// could decode and report a nonzero status.
#include <gtest/gtest.h>

#include <vector>

#include "media/video1.h"
#include "video1_test_support.h"

namespace {

using namespace video1test;

Bytes encodedScene(int width, int height) {
    media::Video1Encoder encoder(width, height, 9000);
    Bytes frame;
    encoder.encode(toDib(screenScene(width, height, 2), 32).data(), 32, true, frame);
    return frame;
}

TEST(Video1DecoderRobustness, TruncatedFramesReportFailureAndKeepTheDecodedPart) {
    const int width = 40, height = 28;
    const Bytes frame = encodedScene(width, height);
    media::Video1Decoder whole(width, height, 16);
    ASSERT_EQ(whole.decode(frame.data(), frame.size()), 0);
    // The end marker is optional; anything shorter than the blocks is damage.
    for (std::size_t size = 0; size + 2 < frame.size(); ++size) {
        media::Video1Decoder decoder(width, height, 16);
        EXPECT_NE(decoder.decode(frame.data(), size), 0) << size;
        ASSERT_EQ(decoder.picture().size(), whole.picture().size());
    }
    media::Video1Decoder decoder(width, height, 16);
    EXPECT_EQ(decoder.decode(frame.data(), frame.size() - 2), 0);
    EXPECT_EQ(decoder.picture(), whole.picture());
}

TEST(Video1DecoderRobustness, RandomMutationsNeverEscapeThePicture) {
    const int width = 40, height = 28;
    const Bytes frame = encodedScene(width, height);
    Lcg lcg(99);
    for (int bitCount : {16, 8}) {
        media::Video1Decoder decoder(width, height, bitCount,
                                     std::vector<std::uint32_t>(256, 0x123456));
        const std::size_t pictureSize = decoder.picture().size();
        for (int round = 0; round < 3000; ++round) {
            Bytes damaged = frame;
            const int edits = 1 + static_cast<int>(lcg.next() % 8);
            for (int e = 0; e < edits; ++e)
                damaged[lcg.next() % damaged.size()] = lcg.next() & 0xFF;
            damaged.resize(lcg.next() % (damaged.size() + 1));
            decoder.decode(damaged.data(), damaged.size());
            ASSERT_EQ(decoder.picture().size(), pictureSize);
            Bytes garbage(lcg.next() % 64);
            for (auto& b : garbage)
                b = lcg.next() & 0xFF;
            decoder.decode(garbage.data(), garbage.size());
            decoder.applyPaletteChange(garbage.data(), garbage.size());
            ASSERT_EQ(decoder.picture().size(), pictureSize);
        }
    }
}

TEST(Video1DecoderRobustness, ZeroSkipKeepsTheRestOfThePicture) {
    media::Video1Decoder decoder(8, 4, 16);
    const Bytes fill = {0x00, 0xFC, 0x00, 0xFC, 0x00, 0x00};  // two red blocks
    ASSERT_EQ(decoder.decode(fill.data(), fill.size()), 0);
    const Bytes zeroSkip = {0x00, 0x84, 0xE0, 0x83, 0x00, 0x00};
    EXPECT_NE(decoder.decode(zeroSkip.data(), zeroSkip.size()), 0);
    for (std::uint16_t c : dib16TopDown(decoder.picture(), 8, 4))
        EXPECT_EQ(c, 0x7C00);
}

TEST(Video1DecoderRobustness, BadGeometryAndMissingDataAreRefused) {
    const Bytes end = {0x00, 0x00};
    for (auto [w, h] : {std::pair{0, 8}, {8, -4}, {100000, 4}, {4, 1 << 20}}) {
        media::Video1Decoder decoder(w, h, 16);
        EXPECT_NE(decoder.decode(end.data(), end.size()), 0);
        EXPECT_TRUE(decoder.picture().empty());
    }
    media::Video1Decoder tiny(3, 3, 16);  // no whole block: nothing to decode
    EXPECT_EQ(tiny.decode(end.data(), end.size()), 0);
    media::Video1Decoder decoder(8, 8, 16);
    EXPECT_NE(decoder.decode(nullptr, 100), 0);
}

TEST(Video1DecoderRobustness, PaletteChangesAreCheckedAndReadAsRedGreenBlue) {
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
