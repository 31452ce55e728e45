// Video 1: our encoder through our decoder (the error bound of every quality,
// the repeat frame, input depths, key frames, sizes off the block grid), the
// decoder on damaged data, and FFmpeg as the independent decoder and reader of
// every kind of Video 1 file: ours, FFmpeg's own, random well-formed streams.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "media/avi_file.h"
#include "media/avi_reader.h"
#include "media/video1.h"
#include "media/video1_block_fit.h"
#include "media/video1_quality.h"
#include "tests/media/media_test_files.h"

namespace {

using namespace media;
using namespace mediatest;
using Words = std::vector<std::uint16_t>;

// A bottom-up 16-bit DIB as top-down 5-5-5 words (bit 15 cleared: FFmpeg
// keeps the colour words' unused top bit, which our decoder clears).
Words dib16TopDown(const std::uint8_t* dib, int width, int height) {
    Words out;
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x)
            out.push_back(le16(dib + dibRowBytes(width, 16) * y + 2 * x) & 0x7FFF);
    }
    return out;
}
Words shown(const Video1Decoder& d) {
    return dib16TopDown(d.picture().data(), d.width(), d.height());
}

// makeFrame24's picture as a DIB of 32 or 16 (5-5-5) bits per pixel.
Bytes frameAt(int width, int height, int frame, int bitCount, int addBlue = 0) {
    const Bytes in = makeFrame24(width, height, frame);
    const std::size_t inRow = dibRowBytes(width, 24), outRow = dibRowBytes(width, bitCount);
    Bytes dib(outRow * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = &in[inRow * y + 3 * x];
            const auto b = static_cast<std::uint8_t>(std::min(255, p[0] + addBlue));
            const unsigned w = (p[2] >> 3) << 10 | (p[1] >> 3) << 5 | b >> 3;
            const std::uint8_t pixel[] = {b, p[1], p[2], 0x5A};
            const std::uint8_t word[] = {std::uint8_t(w), std::uint8_t(w >> 8)};
            std::copy_n(bitCount == 16 ? word : pixel, bitCount / 8,
                        &dib[outRow * y + x * bitCount / 8]);
        }
    }
    return dib;
}
Words source555(int width, int height, int frame, int addBlue = 0) {
    return dib16TopDown(frameAt(width, height, frame, 16, addBlue).data(), width, height);
}

// The bound documented with the quality mapping, for every block: squared
// error <= (least squared error of any one coding) + 18 x lambda. (Pixels
// outside the block grid are compared with FFmpeg's in the oracle test.)
void expectWithinBound(const Words& wanted, const Video1Decoder& decoder, int quality) {
    const Words got = shown(decoder);
    const int w = decoder.width(), h = decoder.height();
    auto block = [&](const Words& picture, int bx, int k, std::uint16_t out[16]) {
        for (int i = 0; i < 16; ++i)  // rows counted from the bottom, as the stream orders them
            out[i] = picture[(h - 1 - (h % 4 + 4 * k + i / 4)) * w + 4 * bx + i % 4];
    };
    int failures = 0;
    for (int k = 0; k < h / 4; ++k) {
        for (int bx = 0; bx < w / 4; ++bx) {
            std::uint16_t a[16], b[16];
            block(wanted, bx, k, a);
            block(got, bx, k, b);
            video1::BlockFit best;
            ASSERT_TRUE(video1::fitBlock(a, 0, std::numeric_limits<std::int64_t>::max(), best));
            const std::int64_t error = video1::kCostScale * video1::blockSquaredError(a, b);
            const std::int64_t slack =
                video1::kBoundBytes * video1::scaledLambdaForQuality(quality);
            EXPECT_TRUE(error <= best.cost + slack || ++failures > 4)
                << "block " << bx << "," << k << " error " << error << " best " << best.cost;
        }
    }
}

// Moving content at every quality and at a size off the block grid (38x22
// has the two columns of 1366x768 and two rows outside it); a higher quality
// never gives a smaller first (key) frame. Then a slow fade that
// changes each block by less than a threshold step per frame: delta frames
// compared against the last picture shown, not the last source, keep the
// error bounded.
TEST(Video1RoundTrip, EveryBlockStaysWithinTheQualitysBound) {
    for (auto [width, height] : {std::pair{96, 64}, {38, 22}}) {
        std::size_t previousBytes = 0;
        for (int quality : {0, 5000, 8500, 10000}) {
            SCOPED_TRACE(testing::Message() << width << "x" << height << " quality " << quality);
            Video1Encoder encoder(width, height, quality);
            Video1Decoder decoder(width, height, 16);
            Bytes frame;
            for (int f = 0; f < 8; ++f) {
                encoder.encode(frameAt(width, height, f, 32).data(), 32, f == 5, frame);
                ASSERT_EQ(decoder.decode(frame.data(), frame.size()), 0);
                expectWithinBound(source555(width, height, f), decoder, quality);
                EXPECT_TRUE(f || frame.size() >= previousBytes);
                previousBytes = f ? previousBytes : frame.size();
            }
        }
    }
    Video1Encoder encoder(96, 64, 5000);
    Video1Decoder decoder(96, 64, 16);
    Bytes frame;
    for (int f = 0; f < 60; ++f) {
        encoder.encode(frameAt(96, 64, 0, 32, 2 * f).data(), 32, false, frame);
        ASSERT_EQ(decoder.decode(frame.data(), frame.size()), 0);
        expectWithinBound(source555(96, 64, 0, 2 * f), decoder, 5000);
    }
}

TEST(Video1RoundTrip, StillScreenGivesTheRepeatFrameAndStableKeyFrames) {
    const int width = 320, height = 240;
    const Bytes dib = frameAt(width, height, 3, 32);
    Video1Encoder encoder(width, height, 8500);
    Video1Decoder decoder(width, height, 16);
    Bytes first, frame;
    EXPECT_TRUE(encoder.encode(dib.data(), 32, false, first));
    ASSERT_EQ(decoder.decode(first.data(), first.size()), 0);
    const Bytes picture = decoder.picture();
    // The repeat frame, made without an encoder, is the encoder's own delta
    // frame of an unchanged screen.
    const Bytes repeat = video1SkipFrame(width, height);
    for (int f = 0; f < 3; ++f) {
        EXPECT_FALSE(encoder.encode(dib.data(), 32, false, frame));
        EXPECT_EQ(frame, repeat);
        ASSERT_EQ(decoder.decode(frame.data(), frame.size()), 0);
        EXPECT_EQ(decoder.picture(), picture);
    }
    // One pixel changes: the blocks beside it are still skipped, and only its
    // block is coded (at most 18 bytes, and a skip word to resume the run).
    Bytes changed = dib;
    changed[dibRowBytes(width, 32) * 100 + 4 * 160] ^= 0xFF;
    EXPECT_FALSE(encoder.encode(changed.data(), 32, false, frame));
    EXPECT_LE(frame.size(), repeat.size() + 2 + 18);
    EXPECT_TRUE(encoder.encode(dib.data(), 32, true, frame));
    EXPECT_EQ(frame, first);
}

// 32-, 24- and 16-bit input (70 pixels give odd strides) give one stream,
// whose key frames decode the same over any earlier picture.
TEST(Video1RoundTrip, InputDepthsGiveOneStreamWhoseKeyFramesStandAlone) {
    const int w = 70, h = 46;
    Video1Encoder e32(w, h, 7500), e24(w, h, 7500), e16(w, h, 7500);
    Video1Decoder used(w, h, 16);
    Bytes a, b, c;
    for (int f = 0; f < 6; ++f) {
        const bool key = e32.encode(frameAt(w, h, f, 32).data(), 32, f == 3, a);
        e24.encode(makeFrame24(w, h, f).data(), 24, f == 3, b);
        e16.encode(frameAt(w, h, f, 16).data(), 16, f == 3, c);
        EXPECT_TRUE(a == b && a == c && key == (f == 0 || f == 3)) << f;
        Video1Decoder fresh(w, h, 16);
        ASSERT_EQ(used.decode(a.data(), a.size()) | fresh.decode(a.data(), a.size()), 0);
        EXPECT_EQ(fresh.picture() == used.picture(), key) << f;
    }
    e32.reset();
    EXPECT_TRUE(e32.encode(frameAt(w, h, 9, 32).data(), 32, false, a));
    // Refused input.
    EXPECT_FALSE(e32.encode(makeFrame24(w, h, 0).data(), 8, true, a));
    EXPECT_TRUE(a.empty());
    EXPECT_FALSE(e32.encode(nullptr, 32, true, a));
    Video1Encoder tiny(3, 5, 7500);  // no whole block: an empty frame, always a key frame
    EXPECT_TRUE(tiny.encode(Bytes(dibRowBytes(3, 24) * 5).data(), 24, false, a));
    EXPECT_EQ(a, (Bytes{0, 0}));
}

// Damaged data: a nonzero status, the decoded part kept, nothing outside the
// picture touched (the fuzz target tries arbitrary bytes).
TEST(Video1Decoder, DamagedFramesAndPaletteChangesAreRefusedKeepingWhatWasDecoded) {
    Video1Encoder encoder(40, 28, 9000);
    Bytes frame;
    encoder.encode(frameAt(40, 28, 2, 32).data(), 32, true, frame);
    Video1Decoder whole(40, 28, 16), decoder(40, 28, 16);
    ASSERT_EQ(whole.decode(frame.data(), frame.size()), 0);
    // The end marker is optional; anything shorter than the blocks is damage.
    for (std::size_t size = 0; size + 2 < frame.size(); ++size)
        EXPECT_NE(Video1Decoder(40, 28, 16).decode(frame.data(), size), 0) << size;
    EXPECT_EQ(decoder.decode(frame.data(), frame.size() - 2), 0);
    EXPECT_EQ(decoder.picture(), whole.picture());
    EXPECT_NE(decoder.decode(nullptr, 100), 0);
    // A skip of zero blocks is damage; the blocks before it stay.
    Video1Decoder small(8, 4, 16);
    const Bytes red = {0x00, 0xFC, 0x00, 0xFC, 0x00, 0x00},
                zeroSkip = {0x00, 0x84, 0xE0, 0x83, 0, 0};
    ASSERT_EQ(small.decode(red.data(), red.size()), 0);
    EXPECT_NE(small.decode(zeroSkip.data(), zeroSkip.size()), 0);
    EXPECT_EQ(shown(small), Words(32, 0x7C00));
    for (auto [w, h] : {std::pair{0, 8}, {8, -4}, {100000, 4}, {4, 1 << 20}}) {
        Video1Decoder bad(w, h, 16);
        EXPECT_NE(bad.decode(red.data() + 4, 2), 0);
        EXPECT_TRUE(bad.picture().empty());
    }
    // Palette changes: first entry, count, flags, then R,G,B,flags quads.
    Video1Decoder paletted(4, 4, 8, {0x010203});
    const Bytes good = {5, 2, 0, 0, 0x11, 0x22, 0x33, 0, 0x44, 0x55, 0x66, 0},
                pastEnd = {255, 2, 0, 0, 1, 2, 3, 0, 4, 5, 6, 0};
    EXPECT_NE(paletted.applyPaletteChange(good.data(), 8), 0);
    EXPECT_NE(paletted.applyPaletteChange(pastEnd.data(), pastEnd.size()), 0);
    EXPECT_NE(whole.applyPaletteChange(good.data(), good.size()), 0);  // a 16-bit picture
    EXPECT_EQ(paletted.palette()[5], 0u);  // applied changes: the 8-bit oracle file
}

// ---- FFmpeg as the oracle ------------------------------------------------------

// Random but well-formed streams: skip runs (not in key frames), fills (for 8
// bits both of their ranges), 2- and 8-colour blocks, colours with bit 15 set.
Bytes randomStream(std::uint32_t& seed, int blocks, int bitCount, bool key) {
    auto next = [&] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
    Bytes out;
    auto put16 = [&](unsigned v) {
        out.insert(out.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
    };
    for (int done = 0; done < blocks; ++done) {
        const std::uint32_t kind = key ? 1 + next() % 7 : next() % 8;
        const int colours = kind < 3 ? 0 : kind < 6 ? 2 : 8;
        if (kind == 0) {
            const auto run = 1 + next() % static_cast<std::uint32_t>(std::min(blocks - done, 40));
            put16(0x8400u + run);
            done += static_cast<int>(run) - 1;
        } else if (colours == 0) {
            unsigned word;
            do {
                word = bitCount == 8 ? (kind == 1 ? 0x8000 : 0x8800) | (next() & 0x3FF)
                                     : 0x8000 | (next() & 0x7FFF);
            } while ((word & 0xFC00) == 0x8400);
            put16(word);
        } else if (bitCount == 8) {
            put16(colours == 8 ? 0x9000 + next() % 0x7000 : next() & 0x7FFF);
            for (int c = 0; c < colours; ++c)
                out.push_back(static_cast<std::uint8_t>(next()));
        } else {
            put16(next() & 0x7FFF);
            put16((next() & 0x7FFF) | (colours == 8 ? 0x8000 : 0));
            for (int c = 1; c < colours; ++c)
                put16(next() & 0xFFFF);
        }
    }
    put16(0);
    return out;
}

// One Video 1 file of the table, made by `make`.
struct OracleFile {
    std::string name;
    int width, height, bitCount;
    std::function<void(const fs::path&)> make;
    std::vector<std::uint32_t> palette = {};
};

// A picture as FFmpeg hands it out: rgb555le words (bit 15 cleared) for
// 16-bit streams, rgb24 through the palette for 8-bit ones; top row first.
Bytes ourPixels(const Video1Decoder& d) {
    Bytes out;
    for (std::uint16_t w : d.outputBitCount() == 16 ? shown(d) : Words{})
        out.insert(out.end(), {std::uint8_t(w), std::uint8_t(w >> 8)});
    for (int y = d.height() - 1; d.outputBitCount() == 8 && y >= 0; --y) {
        for (int x = 0; x < d.width(); ++x) {
            const std::uint32_t c = d.palette()[d.picture()[dibRowBytes(d.width(), 8) * y + x]];
            out.insert(out.end(), {std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c)});
        }
    }
    return out;
}

// Every frame decodes in our decoder (fed the file's chunks in order, palette
// changes included) to FFmpeg's pixels; our reader lists ffprobe's packets
// with their sizes and key flags; for 16-bit files the
// file services, asked for the frames backwards, give the same pictures.
void expectAsFfmpeg(const fs::path& file, const OracleFile& o) {
    Bytes theirs = ffmpegDecode(file, o.bitCount == 8 ? "rgb24" : "rgb555le");
    for (std::size_t i = 1; o.bitCount == 16 && i < theirs.size(); i += 2)
        theirs[i] &= 0x7F;
    const Bytes b = readFile(file);
    Layout l;
    walk(b, 0, b.size(), l);
    Video1Decoder decoder(o.width, o.height, o.bitCount, o.palette);
    std::vector<Bytes> ours;
    for (const std::size_t pos : l[0]) {  // stream 0's frames and palette changes, in file order
        const std::uint32_t id = get32(b, pos);
        const Bytes c(b.begin() + pos + 8, b.begin() + pos + 8 + get32(b, pos + 4));
        if (chunkStreamNumber(id) || id == fourcc("00pc")) {
            ASSERT_TRUE(chunkStreamNumber(id) || !decoder.applyPaletteChange(c.data(), c.size()));
            continue;
        }
        ASSERT_EQ(decoder.decode(c.data(), c.size()), 0);
        const std::size_t at = ours.size() * ourPixels(decoder).size();
        ours.push_back(ourPixels(decoder));
        ASSERT_LE(at + ours.back().size(), theirs.size());
        EXPECT_TRUE(std::equal(ours.back().begin(), ours.back().end(), theirs.begin() + at))
            << "frame " << ours.size() - 1;
    }
    EXPECT_EQ(theirs.size(), ours.size() * ours.front().size());

    AviFilePtr f;
    ASSERT_EQ(aviFileOpen(f, file.string(), kOpenRead), kAviOk);
    const AviReader& r = *f->reader();
    const std::vector<std::uint32_t> sizes = ffprobePacketSizes(file, 0);
    const std::vector<int> keys = ffprobeKeyFrames(file);
    ASSERT_EQ(r.stream(0).chunks.size(), sizes.size());
    for (std::size_t n = 0; n < sizes.size(); ++n) {
        EXPECT_TRUE(r.stream(0).chunks[n].size == sizes[n] &&
                    r.stream(0).chunks[n].key ==
                        (std::count(keys.begin(), keys.end(), int(n)) == 1))
            << "packet " << n;
    }
    AviStreamPtr stream;
    ASSERT_EQ(aviFileGetStream(f, stream, kFccVids, 0), kAviOk);
    auto frames = aviStreamGetFrameOpen(stream);
    ASSERT_TRUE(frames);
    for (int n = o.bitCount == 8 ? -1 : static_cast<int>(ours.size()) - 1; n >= 0; --n) {
        const std::uint8_t* dib = aviStreamGetFrame(frames.get(), n);
        ASSERT_NE(dib, nullptr) << n;
        const Words w = dib16TopDown(dib + kBitmapInfoHeaderBytes, o.width, o.height);
        EXPECT_EQ(0, std::memcmp(w.data(), ours[n].data(), ours[n].size())) << "frame " << n;
    }
    EXPECT_EQ(aviStreamGetFrame(frames.get(), static_cast<int>(ours.size())), nullptr);
    EXPECT_EQ(aviStreamGetFrame(frames.get(), -1), nullptr);
}

// Our encoder's key and delta frames of moving content and the repeat frame.
OracleFile ourFrames(int width, int height) {
    return {"ours", width, height, 16, [=](const fs::path& file) {
                Video1Encoder encoder(width, height, 7500);
                std::vector<AviFrame> frames(8);
                for (int f = 0; f < 8; ++f) {
                    const Bytes dib = frameAt(width, height, f, 32);
                    frames[f].key = encoder.encode(dib.data(), 32, f == 4, frames[f].data);
                }
                frames.push_back({video1SkipFrame(width, height), false, {}});
                writeVideo1Avi(file, width, height, 16, frames);
            }};
}

// FFmpeg's encoder writes only 16-bit streams: 8-bit ones are random, with
// palette changes of entries 10..10+count-1 between frames.
OracleFile randomFrames(int bitCount) {
    std::uint32_t seed = 77u + bitCount;
    std::vector<std::uint32_t> palette;
    for (int i = 0; bitCount == 8 && i < 256; ++i)
        palette.push_back((seed = seed * 1664525u + 1013904223u) >> 8);
    auto make = [=](const fs::path& file) mutable {
        std::vector<AviFrame> frames;
        for (int f = 0; f < 10; ++f) {
            frames.push_back({randomStream(seed, 9 * 5, bitCount, f == 0), f == 0, {}});
            const int count = bitCount == 16 ? 0 : f == 3 ? 40 : f == 6 ? 200 : 0;
            if (count)
                frames.back().paletteChange = {10, static_cast<std::uint8_t>(count), 0, 0};
            for (int i = 0; i < 4 * count; ++i)
                frames.back().paletteChange.push_back(i % 4 == 3 ? 0 : seed >> (i % 24));
        }
        writeVideo1Avi(file, 38, 22, bitCount, frames, palette);
    };
    return {"random", 38, 22, bitCount, make, palette};
}

TEST(Video1Ffmpeg, EveryFileDecodesAndIndexesAsInFfmpeg) {
    if (!haveTool("ffmpeg") || !haveTool("ffprobe"))
        GTEST_SKIP() << "FFmpeg not installed";
    const fs::path dir = scratchDir("video1-ffmpeg");
    // 38x22 leaves two columns and two rows outside the block grid.
    std::vector<OracleFile> files = {
        randomFrames(16), randomFrames(8), {"ffmpeg", 64, 48, 16, [](const fs::path& file) {
                                                ffmpegVideo1File(file, "-t 2.4 -keyint_min 4");
                                            }}};
    files.push_back(ourFrames(38, 22));
    for (const OracleFile& o : files) {
        SCOPED_TRACE(testing::Message() << o.name << " " << o.width << "x" << o.height);
        const fs::path file =
            dir / (o.name + std::to_string(o.width) + "-" + std::to_string(o.bitCount) + ".avi");
        o.make(file);
        if (!testing::Test::HasFatalFailure())
            expectAsFfmpeg(file, o);
    }
}

}  // namespace
