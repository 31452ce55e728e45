// Assembly of delivered sound into the file's 0.4-second blocks, with the
// steady times given by hand. Sound dropped while paused is the sound
// recordings' part (a paused recording's sound keeps to its picture).
#include <gtest/gtest.h>

#include <numeric>

#include "platform/sound_source.h"

using namespace sound;

namespace {

struct Collected {
    std::vector<std::size_t> sizes;
    std::vector<std::uint8_t> bytes;
    SoundBlockSink sink() {
        return [this](const std::uint8_t* data, std::size_t n) {
            sizes.push_back(n);
            bytes.insert(bytes.end(), data, data + n);
        };
    }
};

// `ms` of sound whose bytes count up, so order and losses show.
std::vector<std::uint8_t> soundOf(int ms, std::uint8_t first = 1) {
    std::vector<std::uint8_t> v(kSoundBytesPerSecond * ms / 1000);
    std::iota(v.begin(), v.end(), first);
    return v;
}

}  // namespace

TEST(SoundBlocks, FullBlocksThenThePartlyFilledLastAtFinish) {
    Collected got;
    SoundBlockAssembler blocks(got.sink());
    blocks.begin(0);
    std::vector<std::uint8_t> sent;
    // Deliveries of 10 ms each, as the server hands them over, for 1 s.
    for (int t = 10; t <= 1000; t += 10) {
        const auto piece = soundOf(10, static_cast<std::uint8_t>(t));
        sent.insert(sent.end(), piece.begin(), piece.end());
        blocks.append(piece.data(), piece.size(), t);
    }
    EXPECT_EQ(got.sizes, (std::vector<std::size_t>{kSoundBlockBytes, kSoundBlockBytes}));
    blocks.finish();
    ASSERT_EQ(got.sizes.size(), 3u);
    EXPECT_EQ(got.sizes[2], kSoundBytesPerSecond / 5);  // the last 0.2 s
    EXPECT_EQ(got.bytes, sent);
    EXPECT_EQ(blocks.bytesDelivered(), sent.size());
}

struct StartCase {
    const char* what;
    std::int64_t beginMs;
    std::int64_t pausedFromMs, pausedToMs;  // equal: no pause
    std::int64_t firstSoundMs;              // when the first 20 ms arrive
    std::size_t silenceMs;                  // put before them
};

// Sound that starts late (a monitor of an idle output) is preceded by silence
// so it stays with the picture; ordinary latency and paused time are not.
TEST(SoundBlocks, OnlyALateStartIsFilledWithSilence) {
    const StartCase cases[] = {
        {"first sound 2 s after the start", 1000, 0, 0, 3000, 1980},
        {"30 ms after a resume, paused before any sound", 0, 10, 5010, 5040, 0},
    };
    for (const StartCase& c : cases) {
        SCOPED_TRACE(c.what);
        Collected got;
        SoundBlockAssembler blocks(got.sink());
        blocks.begin(c.beginMs);
        if (c.pausedFromMs != c.pausedToMs) {
            blocks.setPaused(true, c.pausedFromMs);
            blocks.setPaused(false, c.pausedToMs);
        }
        const auto first = soundOf(20, 7);
        blocks.append(first.data(), first.size(), c.firstSoundMs);
        blocks.finish();
        const std::size_t silence = kSoundBytesPerSecond * c.silenceMs / 1000;
        ASSERT_EQ(got.bytes.size(), silence + first.size());
        EXPECT_TRUE(std::all_of(got.bytes.begin(), got.bytes.begin() + silence,
                                [](std::uint8_t b) { return b == 0; }));
        EXPECT_TRUE(std::equal(first.begin(), first.end(), got.bytes.begin() + silence));
    }
}

TEST(SoundBlocks, FinishKeepsOnlyWholeSamples) {
    Collected got;
    SoundBlockAssembler blocks(got.sink());
    blocks.begin(0);
    const std::uint8_t odd[7] = {1, 2, 3, 4, 5, 6, 7};
    blocks.append(odd, sizeof odd, 0);
    blocks.finish();
    EXPECT_EQ(got.sizes, (std::vector<std::size_t>{4}));
    blocks.finish();  // nothing left: no empty block
    EXPECT_EQ(got.sizes.size(), 1u);
}
