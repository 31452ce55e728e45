// Helpers of the media tests: scratch files, screen-like test pictures and
// the comparison of our frame decompressor with FFmpeg's decoding.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "media/avi_file.h"
#include "media/video1.h"
#include "tests/support/programs.h"
#include "tests/support/recordings.h"

namespace mediatest {

using namespace testsupport;
namespace fs = std::filesystem;

// A fresh directory per name, removed when the test program ends.
class ScratchCleanup : public ::testing::Environment {
  public:
    static std::vector<fs::path>& dirs() {
        static std::vector<fs::path> list;
        return list;
    }
    void TearDown() override {
        std::error_code ignored;
        for (const fs::path& d : dirs())
            fs::remove_all(d, ignored);
    }
};
inline const bool kScratchCleanupRegistered =
    (::testing::AddGlobalTestEnvironment(new ScratchCleanup), true);

inline fs::path scratchDir(const std::string& name) {
    const fs::path dir =
        fs::temp_directory_path() / ("tessaly_media_" + name + "_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    ScratchCleanup::dirs().push_back(dir);
    return dir;
}

inline Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
inline void writeFile(const fs::path& path, const Bytes& bytes, std::size_t count) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(count));
}
inline void writeFile(const fs::path& path, const Bytes& bytes) {
    writeFile(path, bytes, bytes.size());
}
// A recording as the recorder writes it: Video 1 at 5 fps, a key frame every 5.
inline RecordingResult writeRecording(const fs::path& path, int width, int height, int frames,
                                      bool withSound,
                                      std::uint64_t segmentLimit = media::kDefaultSegmentLimit) {
    RecordingShape shape;
    shape.frames = frames;
    shape.width = width;
    shape.height = height;
    shape.video1 = true;
    shape.keyFrameEvery = 5;
    shape.withSound = withSound;
    shape.segmentLimit = segmentLimit;
    return testsupport::writeRecording(path, shape);
}
inline std::uint32_t get32(const Bytes& b, std::size_t at) {
    return media::le32(b.data() + at);
}
inline void put16(Bytes& b, unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v & 0xFF));
    b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

// FFmpeg's rgb555le frames as top-down 5-5-5 words, bit 15 cleared (FFmpeg
// keeps the colour words' unused top bit, which our decoder clears).
inline std::vector<std::vector<std::uint16_t>> ffmpegFrames555(const fs::path& file, int width,
                                                               int height) {
    const Bytes raw = ffmpegDecode(file, "rgb555le");
    const std::size_t words = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<std::vector<std::uint16_t>> frames(words ? raw.size() / (2 * words) : 0);
    for (std::size_t f = 0; f < frames.size(); ++f) {
        for (std::size_t i = 0; i < words; ++i)
            frames[f].push_back(
                static_cast<std::uint16_t>(media::le16(&raw[2 * (f * words + i)]) & 0x7FFF));
    }
    return frames;
}

// A decoded bottom-up 16-bit DIB as top-down 5-5-5 words (bit 15 cleared).
inline std::vector<std::uint16_t> dib16TopDown(const std::uint8_t* dib, int width, int height) {
    const std::size_t stride = media::dibRowBytes(width, 16);
    std::vector<std::uint16_t> out;
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x)
            out.push_back(static_cast<std::uint16_t>(
                media::le16(dib + static_cast<std::size_t>(y) * stride + 2 * x) & 0x7FFF));
    }
    return out;
}
inline std::vector<std::uint16_t> dib16TopDown(const Bytes& dib, int width, int height) {
    return dib16TopDown(dib.data(), width, height);
}

// Every frame FFmpeg decodes equals what our frame decompressor gives for it
// through the file services.
inline void expectSameDecodeAsFfmpeg(const fs::path& file, int expectedFrames) {
    media::AviFilePtr f;
    ASSERT_EQ(media::aviFileOpen(f, file.string(), media::kOpenRead), media::kAviOk);
    media::AviStreamPtr video;
    ASSERT_EQ(media::aviFileGetStream(f, video, media::kFccVids, 0), media::kAviOk);
    media::AviStreamInfo info;
    ASSERT_EQ(media::aviStreamInfo(video, info), media::kAviOk);
    const int w = info.frame.right, h = info.frame.bottom;
    const auto theirs = ffmpegFrames555(file, w, h);
    ASSERT_EQ(theirs.size(), static_cast<std::size_t>(expectedFrames));
    auto gf = media::aviStreamGetFrameOpen(video);
    ASSERT_TRUE(gf);
    for (int n = 0; n < expectedFrames; ++n) {
        const std::uint8_t* dib = media::aviStreamGetFrame(gf.get(), n);
        ASSERT_NE(dib, nullptr);
        ASSERT_EQ(dib16TopDown(dib + media::kBitmapInfoHeaderBytes, w, h),
                  theirs[static_cast<std::size_t>(n)])
            << "frame " << n;
    }
}

// A small deterministic random generator (tests must not depend on std::rand).
struct Lcg {
    std::uint32_t state;
    explicit Lcg(std::uint32_t seed) : state(seed) {}
    std::uint32_t next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
};

// A 32-bit picture held top-down as 0x00RRGGBB words.
struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> rgb;
    Picture(int w, int h, std::uint32_t fill = 0)
        : width(w),
          height(h),
          rgb(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill) {}
    std::uint32_t& at(int x, int y) { return rgb[static_cast<std::size_t>(y * width + x)]; }
};

// Bottom-up DIB of the picture at 32, 24 or 16 (5-5-5) bits per pixel.
inline Bytes toDib(const Picture& p, int bitCount) {
    const std::size_t stride = media::dibRowBytes(p.width, bitCount);
    Bytes dib(stride * static_cast<std::size_t>(p.height), 0);
    for (int y = 0; y < p.height; ++y) {
        std::uint8_t* row = dib.data() + stride * static_cast<std::size_t>(p.height - 1 - y);
        for (int x = 0; x < p.width; ++x) {
            const std::uint32_t c = p.rgb[static_cast<std::size_t>(y * p.width + x)];
            const std::uint8_t b = c & 0xFF, g = (c >> 8) & 0xFF, r = (c >> 16) & 0xFF;
            if (bitCount == 32) {
                row[4 * x] = b, row[4 * x + 1] = g, row[4 * x + 2] = r, row[4 * x + 3] = 0x5A;
            } else if (bitCount == 24) {
                row[3 * x] = b, row[3 * x + 1] = g, row[3 * x + 2] = r;
            } else {
                const unsigned w = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
                row[2 * x] = w & 0xFF, row[2 * x + 1] = static_cast<std::uint8_t>(w >> 8);
            }
        }
    }
    return dib;
}

// The picture reduced to 5-5-5 words, top-down.
inline std::vector<std::uint16_t> to555(const Picture& p) {
    std::vector<std::uint16_t> out;
    for (std::uint32_t c : p.rgb)
        out.push_back(static_cast<std::uint16_t>((((c >> 19) & 0x1F) << 10) |
                                                 (((c >> 11) & 0x1F) << 5) | ((c >> 3) & 0x1F)));
    return out;
}

// A screen-like scene: a desktop gradient, a window of pseudo text that gains
// a character per frame, and a photographic patch that moves with `frame`.
inline Picture screenScene(int width, int height, int frame) {
    auto rgb = [](int r, int g, int b) {
        auto c = [](int v) { return static_cast<std::uint32_t>(std::clamp(v, 0, 255)); };
        return (c(r) << 16) | (c(g) << 8) | c(b);
    };
    Picture p(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            p.at(x, y) = rgb(30 + y * 60 / height, 60 + y * 80 / height, 140);
    }
    const int wx = width / 12, wy = height / 10, ww = width * 2 / 3, wh = height * 2 / 3;
    for (int y = wy; y < wy + wh; ++y) {
        for (int x = wx; x < wx + ww; ++x) {
            const int line = (y - wy) / 9, column = (x - wx) / 6;
            Lcg glyph(static_cast<std::uint32_t>(line * 977 + column * 131 + 7));
            const bool typed = line < wh / 9 - 1 || column < frame;
            const bool ink = typed && (x - wx) % 6 < 5 && (y - wy) % 9 < 7 &&
                             ((glyph.next() >> (((y - wy) % 9 * 5 + (x - wx) % 6) % 24)) & 1u);
            p.at(x, y) = ink ? rgb(10, 10, 10) : rgb(250, 250, 250);
        }
    }
    const int pw = std::max(4, width / 4), ph = std::max(4, height / 4);
    const int px = (width / 2 + frame * 3) % std::max(1, width - pw), py = height / 2;
    for (int y = 0; y < ph && py + y < height; ++y) {
        for (int x = 0; x < pw && px + x < width; ++x) {
            const double u = x * 0.21 + frame * 0.1, v = y * 0.17;
            const int noise = static_cast<int>(
                (Lcg(static_cast<std::uint32_t>(x * 7919 + y * 104729)).next() >> 5) % 24);
            p.at(px + x, py + y) = rgb(static_cast<int>(120 + 90 * std::sin(u) + noise),
                                       static_cast<int>(110 + 80 * std::cos(v + u * 0.3)),
                                       static_cast<int>(90 + 70 * std::sin(v * 1.7) + noise / 2));
        }
    }
    return p;
}

}  // namespace mediatest
