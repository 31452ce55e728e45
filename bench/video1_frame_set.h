// Frame sets of the Video 1 benchmarks: raw top-down BGRA files (one per
// kind, frames back to back, as FFmpeg's rawvideo bgra reads them), written
// by video1_make_frames and loaded as bottom-up 32-bit DIBs.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "media/avi_format.h"

namespace video1bench {

constexpr int kBenchWidth = 1920;
constexpr int kBenchHeight = 1080;
// Enough frames for several key-frame periods and steady delta frames, small
// enough that three sets fit in memory (16 x 8 MB each).
constexpr int kBenchFrames = 16;

inline std::string frameSetPath(const std::string& dir, const std::string& kind) {
    return dir + "/" + kind + ".bgra";
}

// Loads every frame of a raw BGRA file as a bottom-up DIB (row order flipped).
inline bool loadFrameSet(const std::string& path, int width, int height,
                         std::vector<std::vector<std::uint8_t>>& dibs) {
    dibs.clear();
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    // 32-bit rows need no padding: a raw BGRA row is a DIB row.
    const auto rowBytes = static_cast<std::size_t>(media::dibRowBytes(width, 32));
    std::vector<std::uint8_t> frame(rowBytes * height);
    while (std::fread(frame.data(), 1, frame.size(), file) == frame.size()) {
        std::vector<std::uint8_t> dib(frame.size());
        for (int y = 0; y < height; ++y) {
            std::copy_n(frame.data() + rowBytes * y, rowBytes,
                        dib.data() + rowBytes * (height - 1 - y));
        }
        dibs.push_back(std::move(dib));
    }
    std::fclose(file);
    return !dibs.empty();
}

}  // namespace video1bench
