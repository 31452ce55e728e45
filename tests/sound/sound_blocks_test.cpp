// Assembly of delivered sound into the file's 0.4-second blocks, with the
// steady times given by hand. Sound dropped while paused is the sound
// recordings' part (a paused recording's sound keeps to its picture).
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "platform/sound_source.h"

using namespace sound;

namespace {

struct BlockCase {
    const char* what;
    std::int64_t beginMs;
    std::int64_t pausedFromMs, pausedToMs;  // equal: no pause
    std::size_t pieceBytes, pieces;         // delivered at firstMs, firstMs + 30, ...
    std::int64_t firstMs;
    std::size_t silenceMs;  // put before the first piece
};

// Blocks are whole but the last; every byte arrives in order, after silence
// only where the sound started late (a monitor of an idle output), not for
// ordinary latency or paused time; finish keeps whole samples only.
TEST(SoundBlocks, BlocksCarryEveryByteInOrderAndOnlyALateStartIsFilled) {
    const std::size_t ms30 = kSoundBytesPerSecond * 30 / 1000;
    const BlockCase cases[] = {
        {"blocks spanning deliveries", 0, 0, 0, ms30, 34, 30, 0},
        {"first sound 2 s after the start", 1000, 0, 0, ms30, 1, 3000, 1970},
        {"30 ms after a resume, paused before any sound", 0, 10, 5010, ms30, 1, 5040, 0},
        {"an odd number of bytes", 0, 0, 0, 7, 1, 0, 0},
    };
    for (const BlockCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::size_t> sizes;
        std::vector<std::uint8_t> got;
        SoundBlockAssembler blocks([&](const std::uint8_t* data, std::size_t n) {
            sizes.push_back(n);
            got.insert(got.end(), data, data + n);
        });
        blocks.begin(c.beginMs);
        if (c.pausedFromMs != c.pausedToMs) {
            blocks.setPaused(true, c.pausedFromMs);
            blocks.setPaused(false, c.pausedToMs);
        }
        std::vector<std::uint8_t> sent(c.pieceBytes * c.pieces);
        std::iota(sent.begin(), sent.end(), 1);  // counting bytes: order and losses show
        for (std::size_t i = 0; i < c.pieces; ++i)
            blocks.append(sent.data() + i * c.pieceBytes, c.pieceBytes, c.firstMs + 30 * i);
        blocks.finish();
        blocks.finish();  // nothing left: no empty block
        sent.resize(sent.size() / 4 * 4);
        sent.insert(sent.begin(), kSoundBytesPerSecond * c.silenceMs / 1000, 0);
        EXPECT_EQ(got, sent);
        ASSERT_FALSE(sizes.empty());
        EXPECT_TRUE(std::all_of(sizes.begin(), sizes.end() - 1,
                                [](std::size_t n) { return n == kSoundBlockBytes; }));
        EXPECT_GT(sizes.back(), 0u);
    }
}

}  // namespace
