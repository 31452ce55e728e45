// FFmpeg as an independent Video 1 decoder and encoder: our frames decode to
// the same pixels in FFmpeg and in our decoder, and FFmpeg's files, and
// random well-formed streams of every block kind, decode in ours exactly as
// in FFmpeg.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/video1.h"
#include "tests/media/media_test_support.h"

namespace {

using namespace mediatest;

// Our decoder's frames (16-bit output) of a one-stream file, top-down 5-5-5.
std::vector<std::vector<std::uint16_t>> decodeOurs16(const fs::path& file, int width, int height) {
    std::vector<AviChunk> chunks;
    EXPECT_TRUE(readAviChunks(file, chunks));
    media::Video1Decoder decoder(width, height, 16);
    std::vector<std::vector<std::uint16_t>> frames;
    for (const AviChunk& chunk : chunks) {
        EXPECT_EQ(decoder.decode(chunk.data.data(), chunk.data.size()), 0);
        frames.push_back(dib16TopDown(decoder.picture(), width, height));
    }
    return frames;
}

void expectSameFrames(const fs::path& file, int width, int height, std::size_t count) {
    const auto ours = decodeOurs16(file, width, height);
    const auto theirs = ffmpegFrames555(file, width, height);
    ASSERT_EQ(theirs.size(), count);
    ASSERT_EQ(ours.size(), count);
    for (std::size_t f = 0; f < count; ++f)
        EXPECT_EQ(ours[f], theirs[f]) << "frame " << f;
}

// Random but well-formed streams: skip runs, fills (for 8 bits both of their
// ranges), 2- and 8-colour blocks, colours with bit 15 set anywhere.
Bytes randomStream(Lcg& lcg, int blocks, int bitCount) {
    Bytes out;
    auto colours = [&](int n) {
        for (int c = 0; c < n; ++c) {
            if (bitCount == 8)
                out.push_back(static_cast<std::uint8_t>(lcg.next()));
            else
                put16(out, lcg.next() & 0xFFFF);
        }
    };
    for (int done = 0; done < blocks; ++done) {
        const std::uint32_t kind = lcg.next() % 8;
        if (kind == 0) {
            const int run = 1 + static_cast<int>(lcg.next() % static_cast<std::uint32_t>(
                                                                  std::min(blocks - done, 40)));
            put16(out, 0x8400u + static_cast<unsigned>(run));
            done += run - 1;
        } else if (kind <= 2 && bitCount == 8) {
            put16(out, (kind == 1 ? 0x8000 : 0x8800) | (lcg.next() & 0x3FF));
        } else if (kind <= 2) {
            std::uint16_t word;
            do {
                word = static_cast<std::uint16_t>(0x8000 | (lcg.next() & 0x7FFF));
            } while ((word & 0xFC00) == 0x8400);
            put16(out, word);
        } else if (bitCount == 8) {
            const bool eight = kind >= 6;
            put16(out, eight ? 0x9000 + lcg.next() % 0x7000 : lcg.next() & 0x7FFF);
            colours(eight ? 8 : 2);
        } else {
            const bool eight = kind >= 6;
            put16(out, lcg.next() & 0x7FFF);
            put16(out, (lcg.next() & 0x7FFF) | (eight ? 0x8000 : 0));
            colours(eight ? 7 : 1);
        }
    }
    put16(out, 0);
    return out;
}

class Video1Ffmpeg : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!haveTool("ffmpeg"))
            GTEST_SKIP() << "ffmpeg not installed";
        dir_ = scratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    fs::path dir_;
};

// Key and delta frames of moving screen content, the repeat frame, at sizes
// that are and are not multiples of 4 (1366x768 leaves two columns outside
// the block grid, 38x22 also two rows, 41x17 and 7x9 one), then random
// well-formed streams.
TEST_F(Video1Ffmpeg, OurFramesDecodeIdenticallyInFfmpegAndOurDecoder) {
    const int sizes[][2] = {{64, 48}, {38, 22}, {41, 17}, {4, 4}, {7, 9}, {1366, 768}};
    for (const auto& size : sizes) {
        const int width = size[0], height = size[1];
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        media::Video1Encoder encoder(width, height, 7500);
        std::vector<AviFrame> frames(8);
        for (int f = 0; f < 8; ++f) {
            frames[static_cast<std::size_t>(f)].key =
                encoder.encode(toDib(screenScene(width, height, f), 32).data(), 32, f == 4,
                               frames[static_cast<std::size_t>(f)].data);
        }
        frames.push_back({media::video1SkipFrame(width, height), false, {}});
        writeVideo1Avi(dir_ / "ours.avi", width, height, 16, frames);
        expectSameFrames(dir_ / "ours.avi", width, height, frames.size());
    }
    Lcg lcg(12345);
    std::vector<AviFrame> random;
    for (int f = 0; f < 10; ++f)
        random.push_back({randomStream(lcg, (38 / 4) * (22 / 4), 16), f == 0, {}});
    writeVideo1Avi(dir_ / "random16.avi", 38, 22, 16, random);
    expectSameFrames(dir_ / "random16.avi", 38, 22, random.size());
}

TEST_F(Video1Ffmpeg, FfmpegEncodedFilesDecodeIdenticallyInOurDecoder) {
    for (const auto& size : {std::pair{64, 48}, std::pair{176, 144}}) {
        const auto [width, height] = size;
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        const auto file = dir_ / "theirs.avi";
        std::string log;
        // A moving test pattern gives both key and delta frames (key every 4).
        ASSERT_EQ(runCommand("ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc=size=" +
                                 std::to_string(width) + "x" + std::to_string(height) +
                                 ":rate=5 -frames:v 12 -pix_fmt rgb555le -c:v msvideo1 "
                                 "-keyint_min 4 '" +
                                 file.string() + "' 2>&1",
                             log),
                  0)
            << log;
        std::vector<AviChunk> chunks;
        ASSERT_TRUE(readAviChunks(file, chunks));
        bool sawSkip = false;
        for (const AviChunk& chunk : chunks) {
            for (std::size_t i = 0; i + 1 < chunk.data.size(); i += 2)
                sawSkip = sawSkip || (chunk.data[i + 1] & 0xFC) == 0x84;
        }
        EXPECT_TRUE(sawSkip) << "FFmpeg made no delta frames; the test lost its point";
        expectSameFrames(file, width, height, 12);
    }
}

// FFmpeg's encoder writes only 16-bit streams: the 8-bit ones are random
// well-formed streams, with palette changes between frames.
TEST_F(Video1Ffmpeg, PalettedStreamsWithPaletteChangesDecodeIdentically) {
    const int width = 38, height = 22;
    Lcg lcg(777);
    std::vector<std::uint32_t> palette(256);
    for (auto& entry : palette)
        entry = lcg.next() & 0xFFFFFF;
    std::vector<AviFrame> frames;
    for (int f = 0; f < 8; ++f) {
        AviFrame frame{randomStream(lcg, (width / 4) * (height / 4), 8), f == 0, {}};
        if (f == 3 || f == 6) {
            // Entries 10..10+count-1: first, count, flags, then R,G,B,flags quads.
            const int count = f == 3 ? 40 : 200;
            frame.paletteChange = {10, static_cast<std::uint8_t>(count), 0, 0};
            for (int i = 0; i < 4 * count; ++i)
                frame.paletteChange.push_back(i % 4 == 3 ? 0 : lcg.next() & 0xFF);
        }
        frames.push_back(frame);
    }
    const auto file = dir_ / "random8.avi";
    writeVideo1Avi(file, width, height, 8, frames, palette);
    const Bytes raw = ffmpegDecode(file, "rgb24");
    const std::size_t frameBytes = static_cast<std::size_t>(width * height * 3);
    ASSERT_EQ(raw.size(), frameBytes * frames.size());

    std::vector<AviChunk> chunks;
    ASSERT_TRUE(readAviChunks(file, chunks));
    media::Video1Decoder decoder(width, height, 8, palette);
    ASSERT_EQ(decoder.outputBitCount(), 8);
    const std::size_t stride = media::dibRowBytes(width, 8);
    std::size_t frame = 0;
    for (const AviChunk& chunk : chunks) {
        if (chunk.tag == "00pc") {
            ASSERT_EQ(decoder.applyPaletteChange(chunk.data.data(), chunk.data.size()), 0);
            continue;
        }
        ASSERT_EQ(decoder.decode(chunk.data.data(), chunk.data.size()), 0);
        Bytes ours;
        for (int y = height - 1; y >= 0; --y) {
            for (int x = 0; x < width; ++x) {
                const std::uint32_t c =
                    decoder.palette()[decoder.picture()[stride * static_cast<std::size_t>(y) +
                                                        static_cast<std::size_t>(x)]];
                ours.insert(ours.end(),
                            {static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 8),
                             static_cast<std::uint8_t>(c)});
            }
        }
        EXPECT_TRUE(std::equal(ours.begin(), ours.end(),
                               raw.begin() + static_cast<std::ptrdiff_t>(frame * frameBytes)))
            << "frame " << frame;
        ++frame;
    }
    EXPECT_EQ(frame, frames.size());
}

}  // namespace
