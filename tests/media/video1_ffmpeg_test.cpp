// FFmpeg as an independent Video 1 decoder and encoder: our frames must decode
// to the same pixels in FFmpeg and in our decoder, and FFmpeg's own files must
// decode in our decoder exactly as FFmpeg decodes them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "media/video1.h"
#include "video1_test_support.h"

namespace {

using namespace video1test;

// Decodes the chunks with our decoder; returns every frame top-down as 5-5-5.
std::vector<std::vector<std::uint16_t>> decodeOurs16(const std::vector<AviChunk>& chunks, int width,
                                                     int height) {
    media::Video1Decoder decoder(width, height, 16);
    std::vector<std::vector<std::uint16_t>> frames;
    for (const AviChunk& chunk : chunks) {
        if (chunk.tag == "00pc")
            continue;
        EXPECT_EQ(decoder.decode(chunk.data.data(), chunk.data.size()), 0);
        frames.push_back(dib16TopDown(decoder.picture(), width, height));
    }
    return frames;
}

// FFmpeg's rgb555le frames, bit 15 cleared (FFmpeg keeps the colour words'
// unused top bit, which our decoder clears).
std::vector<std::vector<std::uint16_t>> decodeFfmpeg555(const std::filesystem::path& file,
                                                        int width, int height) {
    Bytes raw;
    EXPECT_TRUE(ffmpegDecode(file, "rgb555le", raw));
    const std::size_t frameWords = std::size_t(width) * height;
    std::vector<std::vector<std::uint16_t>> frames(raw.size() / (2 * frameWords));
    for (std::size_t f = 0; f < frames.size(); ++f) {
        frames[f].resize(frameWords);
        for (std::size_t i = 0; i < frameWords; ++i) {
            const std::size_t at = 2 * (f * frameWords + i);
            frames[f][i] = static_cast<std::uint16_t>((raw[at] | (raw[at + 1] << 8)) & 0x7FFF);
        }
    }
    return frames;
}

class Video1Ffmpeg : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!haveFfmpeg())
            GTEST_SKIP() << "ffmpeg not installed";
        dir_ = scratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override {
        if (!dir_.empty())
            std::filesystem::remove_all(dir_);
    }
    std::filesystem::path dir_;
};

// Key and delta frames of moving screen content, at sizes that are and are not
// multiples of 4: 1366x768 leaves two columns outside the block grid, 38x22
// also two rows, 41x17 and 7x9 one row.
TEST_F(Video1Ffmpeg, OurEncodedFramesDecodeIdenticallyInFfmpegAndOurDecoder) {
    const int sizes[][2] = {{64, 48}, {38, 22}, {41, 17}, {4, 4}, {7, 9}, {1366, 768}};
    for (const auto& size : sizes) {
        const int width = size[0], height = size[1];
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        media::Video1Encoder encoder(width, height, 7500);
        std::vector<AviFrame> frames;
        for (int f = 0; f < 8; ++f) {
            AviFrame frame;
            frame.key = encoder.encode(toDib(screenScene(width, height, f), 32).data(), 32, f == 4,
                                       frame.data);
            frames.push_back(frame);
        }
        AviFrame repeat;
        repeat.data = media::video1SkipFrame(width, height);
        frames.push_back(repeat);
        const auto file = dir_ / "ours.avi";
        writeVideo1Avi(file, width, height, 16, frames);

        std::vector<AviChunk> chunks;
        ASSERT_TRUE(readAviChunks(file, chunks));
        const auto ours = decodeOurs16(chunks, width, height);
        const auto theirs = decodeFfmpeg555(file, width, height);
        ASSERT_EQ(theirs.size(), frames.size());
        for (std::size_t f = 0; f < frames.size(); ++f) {
            EXPECT_EQ(ours[f], theirs[f]) << "frame " << f;
        }
    }
}

TEST_F(Video1Ffmpeg, FfmpegEncodedFilesDecodeIdenticallyInOurDecoder) {
    const int sizes[][2] = {{64, 48}, {176, 144}};
    for (const auto& size : sizes) {
        const int width = size[0], height = size[1];
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        const auto file = dir_ / "theirs.avi";
        Bytes log;
        // A moving test pattern gives both key and delta frames (key every 4).
        const std::string command =
            "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc=size=" +
            std::to_string(width) + "x" + std::to_string(height) +
            ":rate=5 -frames:v 12 -pix_fmt rgb555le -c:v msvideo1 -keyint_min 4 '" + file.string() +
            "' 2>&1";
        ASSERT_EQ(runCommand(command, log), 0) << std::string(log.begin(), log.end());
        std::vector<AviChunk> chunks;
        ASSERT_TRUE(readAviChunks(file, chunks));
        bool sawSkip = false;
        for (const AviChunk& chunk : chunks) {
            for (std::size_t i = 0; i + 1 < chunk.data.size(); i += 2) {
                sawSkip = sawSkip || (chunk.data[i + 1] & 0xFC) == 0x84;
            }
        }
        EXPECT_TRUE(sawSkip) << "FFmpeg made no delta frames; the test lost its point";
        const auto ours = decodeOurs16(chunks, width, height);
        const auto theirs = decodeFfmpeg555(file, width, height);
        ASSERT_EQ(theirs.size(), 12u);
        ASSERT_EQ(ours.size(), 12u);
        for (std::size_t f = 0; f < ours.size(); ++f) {
            EXPECT_EQ(ours[f], theirs[f]) << "frame " << f;
        }
    }
}

// Random but well-formed 16-bit streams: every block kind, skip runs, fills
// with any colour word, colours with bit 15 set in every position.
Bytes randomStream16(Lcg& lcg, int blocks) {
    Bytes out;
    for (int done = 0; done < blocks;) {
        const std::uint32_t kind = lcg.next() % 8;
        if (kind == 0) {
            const int run = 1 + static_cast<int>(lcg.next() % std::min(blocks - done, 40));
            put16(out, 0x8400 + run);
            done += run;
            continue;
        }
        if (kind <= 2) {
            std::uint16_t word;
            do {
                word = static_cast<std::uint16_t>(0x8000 | (lcg.next() & 0x7FFF));
            } while ((word & 0xFC00) == 0x8400);
            put16(out, word);
        } else {
            put16(out, lcg.next() & 0x7FFF);
            const bool eight = kind >= 6;
            put16(out, (lcg.next() & 0x7FFF) | (eight ? 0x8000 : 0));
            for (int c = 1; c < (eight ? 8 : 2); ++c)
                put16(out, lcg.next() & 0xFFFF);
        }
        ++done;
    }
    put16(out, 0);
    return out;
}

TEST_F(Video1Ffmpeg, RandomWellFormedStreamsDecodeIdentically) {
    const int width = 38, height = 22;
    Lcg lcg(12345);
    std::vector<AviFrame> frames;
    for (int f = 0; f < 10; ++f) {
        frames.push_back({randomStream16(lcg, (width / 4) * (height / 4)), f == 0, {}});
    }
    const auto file = dir_ / "random16.avi";
    writeVideo1Avi(file, width, height, 16, frames);
    std::vector<AviChunk> chunks;
    ASSERT_TRUE(readAviChunks(file, chunks));
    const auto ours = decodeOurs16(chunks, width, height);
    const auto theirs = decodeFfmpeg555(file, width, height);
    ASSERT_EQ(theirs.size(), frames.size());
    for (std::size_t f = 0; f < frames.size(); ++f) {
        EXPECT_EQ(ours[f], theirs[f]) << "frame " << f;
    }
}

// The 8-bit variant: FFmpeg's encoder only writes 16-bit streams, so the
// frames are built from the bitstream rules: 2-colour, 8-colour (mask >=
// 0x9000), both 1-colour ranges, skips, and palette changes between frames.
Bytes randomStream8(Lcg& lcg, int blocks) {
    Bytes out;
    for (int done = 0; done < blocks;) {
        const std::uint32_t kind = lcg.next() % 8;
        if (kind == 0) {
            const int run = 1 + static_cast<int>(lcg.next() % std::min(blocks - done, 40));
            put16(out, 0x8400 + run);
            done += run;
            continue;
        }
        if (kind == 1) {
            put16(out, 0x8000 | (lcg.next() & 0x3FF));  // 0x8000-0x83FF: fill
        } else if (kind == 2) {
            put16(out, 0x8800 | (lcg.next() & 0x7FF));  // 0x8800-0x8FFF: fill
        } else if (kind <= 4) {
            put16(out, lcg.next() & 0x7FFF);
            out.push_back(lcg.next() & 0xFF), out.push_back(lcg.next() & 0xFF);
        } else {
            put16(out, 0x9000 + lcg.next() % 0x7000);
            for (int c = 0; c < 8; ++c)
                out.push_back(lcg.next() & 0xFF);
        }
        ++done;
    }
    put16(out, 0);
    return out;
}

TEST_F(Video1Ffmpeg, PalettedStreamsWithPaletteChangesDecodeIdentically) {
    const int width = 38, height = 22;
    Lcg lcg(777);
    std::vector<std::uint32_t> palette(256);
    for (auto& entry : palette)
        entry = lcg.next() & 0xFFFFFF;
    std::vector<AviFrame> frames;
    for (int f = 0; f < 8; ++f) {
        AviFrame frame{randomStream8(lcg, (width / 4) * (height / 4)), f == 0, {}};
        if (f == 3 || f == 6) {
            // Change entries 10..(10+count-1): first, count, flags, R,G,B,flags quads.
            const int count = f == 3 ? 40 : 200;
            frame.paletteChange = {10, static_cast<std::uint8_t>(count), 0, 0};
            for (int i = 0; i < count; ++i) {
                for (int c = 0; c < 3; ++c)
                    frame.paletteChange.push_back(lcg.next() & 0xFF);
                frame.paletteChange.push_back(0);
            }
        }
        frames.push_back(frame);
    }
    const auto file = dir_ / "random8.avi";
    writeVideo1Avi(file, width, height, 8, frames, palette);

    Bytes raw;
    ASSERT_TRUE(ffmpegDecode(file, "rgb24", raw));
    const std::size_t frameBytes = std::size_t(width) * height * 3;
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
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const std::uint8_t index = decoder.picture()[stride * (height - 1 - y) + x];
                const std::uint32_t c = decoder.palette()[index];
                ours.push_back((c >> 16) & 0xFF), ours.push_back((c >> 8) & 0xFF),
                    ours.push_back(c & 0xFF);
            }
        }
        const Bytes theirs(raw.begin() + frame * frameBytes,
                           raw.begin() + (frame + 1) * frameBytes);
        EXPECT_EQ(ours, theirs) << "frame " << frame;
        ++frame;
    }
    EXPECT_EQ(frame, frames.size());
}

}  // namespace
