// Deterministic 32-bit screen pictures for the Video 1 benchmarks: a desktop
// with an editor, a terminal, a dialog and a video player, in three kinds of
// sequences (still, desktop work, playing video). Header only; shared by the
// frame-set generator and the benchmark's built-in fallback.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "media/avi_format.h"

namespace video1bench {

enum class SceneKind { Still, Desktop, Video };

inline bool sceneKindFromName(const std::string& name, SceneKind& kind) {
    if (name == "still")
        kind = SceneKind::Still;
    else if (name == "desktop")
        kind = SceneKind::Desktop;
    else if (name == "video")
        kind = SceneKind::Video;
    else
        return false;
    return true;
}

class SceneGenerator {
  public:
    SceneGenerator(int width, int height) : width_(width), height_(height) { makeTexture(); }

    int width() const { return width_; }
    int height() const { return height_; }

    // Frame `frame` of the sequence as top-down 0x00RRGGBB words.
    void render(SceneKind kind, int frame, std::vector<std::uint32_t>& out) {
        out.assign(static_cast<std::size_t>(width_) * height_, 0);
        pixels_ = out.data();
        const int f = kind == SceneKind::Still ? 0 : frame;
        wallpaper();
        editor(kind == SceneKind::Desktop ? f : 0);
        terminal(kind == SceneKind::Desktop ? f : 0);
        if (kind == SceneKind::Video)
            player(f);
        if (kind != SceneKind::Video)
            dialog(kind == SceneKind::Desktop ? f : 0);
        taskbar();
        pixels_ = nullptr;
    }

    // Bottom-up 32-bit DIB (B, G, R, 0) of a top-down picture.
    static void toDib32(const std::vector<std::uint32_t>& picture, int width, int height,
                        std::vector<std::uint8_t>& dib) {
        const auto rowBytes = static_cast<std::size_t>(media::dibRowBytes(width, 32));
        dib.resize(rowBytes * static_cast<std::size_t>(height));
        for (int y = 0; y < height; ++y) {
            const std::uint32_t* src = picture.data() + static_cast<std::size_t>(y) * width;
            std::uint8_t* dst = dib.data() + static_cast<std::size_t>(height - 1 - y) * rowBytes;
            for (int x = 0; x < width; ++x) {
                dst[4 * x] = src[x] & 0xFF;
                dst[4 * x + 1] = (src[x] >> 8) & 0xFF;
                dst[4 * x + 2] = (src[x] >> 16) & 0xFF;
                dst[4 * x + 3] = 0;
            }
        }
    }

  private:
    static std::uint32_t hash(std::uint32_t x) {
        x ^= x >> 16;
        x *= 0x7feb352dU;
        x ^= x >> 15;
        x *= 0x846ca68bU;
        x ^= x >> 16;
        return x;
    }
    static std::uint32_t rgb(int r, int g, int b) {
        auto c = [](int v) { return static_cast<std::uint32_t>(std::clamp(v, 0, 255)); };
        return (c(r) << 16) | (c(g) << 8) | c(b);
    }
    static std::uint32_t blend(std::uint32_t a, std::uint32_t b, int alpha256) {
        auto ch = [&](int s) {
            const int x = (a >> s) & 0xFF, y = (b >> s) & 0xFF;
            return (x * (256 - alpha256) + y * alpha256) >> 8;
        };
        return rgb(ch(16), ch(8), ch(0));
    }
    void put(int x, int y, std::uint32_t c) {
        if (x >= 0 && y >= 0 && x < width_ && y < height_)
            pixels_[static_cast<std::size_t>(y) * width_ + x] = c;
    }
    std::uint32_t get(int x, int y) const {
        return pixels_[static_cast<std::size_t>(y) * width_ + x];
    }
    void rect(int x0, int y0, int w, int h, std::uint32_t c) {
        for (int y = std::max(0, y0); y < std::min(height_, y0 + h); ++y)
            for (int x = std::max(0, x0); x < std::min(width_, x0 + w); ++x)
                put(x, y, c);
    }

    // A smooth multi-octave value-noise texture, coloured like a landscape
    // photograph; the video frames pan across it.
    void makeTexture() {
        texW_ = width_ + 512;
        texH_ = height_ + 256;
        texture_.resize(static_cast<std::size_t>(texW_) * texH_);
        for (int y = 0; y < texH_; ++y) {
            for (int x = 0; x < texW_; ++x) {
                double v = 0, amp = 0.5;
                for (int octave = 0, cell = 128; octave < 5; ++octave, cell /= 2, amp *= 0.5) {
                    v += amp * valueNoise(x, y, cell, static_cast<std::uint32_t>(octave));
                }
                const double sky = std::clamp(1.0 - y / (texH_ * 0.45), 0.0, 1.0);
                const int r = static_cast<int>(70 + 120 * v + 60 * sky);
                const int g = static_cast<int>(90 + 110 * v + 70 * sky);
                const int b = static_cast<int>(50 + 60 * v + 150 * sky);
                texture_[static_cast<std::size_t>(y) * texW_ + x] = rgb(r, g, b);
            }
        }
    }
    static double valueNoise(int x, int y, int cell, std::uint32_t seed) {
        const int cx = x / cell, cy = y / cell;
        const double fx = double(x % cell) / cell, fy = double(y % cell) / cell;
        auto corner = [&](int i, int j) {
            return (hash(static_cast<std::uint32_t>((cx + i) * 73856093) ^
                         static_cast<std::uint32_t>((cy + j) * 19349663) ^ (seed * 83492791u)) &
                    0xFFFF) /
                   65535.0;
        };
        const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
        const double top = corner(0, 0) + (corner(1, 0) - corner(0, 0)) * sx;
        const double bottom = corner(0, 1) + (corner(1, 1) - corner(0, 1)) * sx;
        return top + (bottom - top) * sy;
    }

    void wallpaper() {
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                const std::uint32_t t =
                    texture_[static_cast<std::size_t>(y / 2 + 40) * texW_ + x / 2 + 100];
                put(x, y, blend(t, rgb(20, 40, 90), 150));
            }
        }
    }

    // Anti-aliased pseudo text: each glyph is a 5x7 bit pattern drawn into an
    // 8x13 cell with 4x4 supersampling, like hinted screen fonts.
    void text(int x0, int y0, const std::uint32_t seed, int count, std::uint32_t ink,
              int clipRight) {
        for (int ch = 0; ch < count; ++ch) {
            const std::uint32_t code = hash(seed * 131u + static_cast<std::uint32_t>(ch));
            if (code % 7 == 0)
                continue;  // a space
            const std::uint32_t bits = hash(code % 64 + 1000);
            const int cx = x0 + ch * 8;
            if (cx + 8 > clipRight)
                break;
            for (int py = 0; py < 13; ++py) {
                for (int px = 0; px < 8; ++px) {
                    int cover = 0;
                    for (int s = 0; s < 16; ++s) {
                        const double gx = (px + ((s & 3) + 0.5) / 4 - 1.0) * 5.0 / 6.0;
                        const double gy = (py + ((s >> 2) + 0.5) / 4 - 2.0) * 7.0 / 9.0;
                        if (gx < 0 || gy < 0 || gx >= 5 || gy >= 7)
                            continue;
                        const int bit = int(gy) * 5 + int(gx);
                        cover += (bits >> (bit % 32)) & 1u;
                    }
                    if (cover)
                        put(cx + px, y0 + py, blend(get(cx + px, y0 + py), ink, cover * 16));
                }
            }
        }
    }

    void window(int x, int y, int w, int h, const std::string& title, std::uint32_t body) {
        rect(x - 1, y - 1, w + 2, h + 2, rgb(60, 60, 60));
        for (int row = 0; row < 28; ++row)
            rect(x, y + row, w, 1, rgb(30 + row, 80 + row, 160 + row));
        text(x + 10, y + 8, static_cast<std::uint32_t>(title.size() * 977),
             static_cast<int>(title.size()), rgb(255, 255, 255), x + w);
        rect(x, y + 28, w, h - 28, body);
    }

    // Editor: one more character typed per frame on the last line, and the
    // text above scrolls up by a line every second frame.
    void editor(int frame) {
        const int x = 80, y = 60, w = 1000, h = 640;
        window(x, y, w, h, "notes.txt - Editor", rgb(252, 252, 250));
        rect(x, y + 28, 48, h - 28, rgb(235, 235, 235));
        const int lines = (h - 40) / 16;
        const int scroll = frame / 2;
        for (int line = 0; line < lines; ++line) {
            const auto n = static_cast<std::uint32_t>(line + scroll);
            text(x + 6, y + 34 + line * 16, 7000u + n, 4, rgb(120, 120, 120), x + 46);
            int count = 40 + static_cast<int>(hash(n) % 70);
            if (line == lines - 1)
                count = 10 + frame % 60;
            text(x + 56, y + 34 + line * 16, n, count, rgb(20, 20, 30), x + w - 4);
        }
    }

    // Terminal: scrolls by one line per frame.
    void terminal(int frame) {
        const int x = 1100, y = 70, w = 790, h = 760;
        window(x, y, w, h, "bash", rgb(24, 24, 28));
        const int lines = (h - 36) / 16;
        for (int line = 0; line < lines; ++line) {
            const std::uint32_t n = static_cast<std::uint32_t>(line + frame);
            const std::uint32_t ink = n % 5 == 0 ? rgb(110, 220, 110) : rgb(200, 200, 200);
            text(x + 6, y + 32 + line * 16, 50000u + n, 20 + static_cast<int>(hash(n) % 60), ink,
                 x + w - 4);
        }
    }

    // A dialog box dragged across the screen, 32 pixels per frame.
    void dialog(int frame) {
        const int x = 300 + (frame * 32) % 800, y = 330 + (frame * 8) % 200, w = 700, h = 420;
        window(x, y, w, h, "Save changes?", rgb(240, 240, 240));
        text(x + 20, y + 60, 333, 40, rgb(0, 0, 0), x + w - 10);
        text(x + 20, y + 80, 334, 36, rgb(0, 0, 0), x + w - 10);
        text(x + 20, y + 100, 335, 50, rgb(0, 0, 0), x + w - 10);
        text(x + 20, y + 120, 336, 44, rgb(0, 0, 0), x + w - 10);
        rect(x + w - 200, y + h - 50, 80, 28, rgb(60, 120, 220));
        rect(x + w - 100, y + h - 50, 80, 28, rgb(200, 200, 200));
    }

    // Video player: a 1344x756 picture panning over the texture with moving
    // bright objects and film grain, so every pixel changes every frame.
    void player(int frame) {
        const int x = 300, y = 120, w = 1344, h = 756;
        window(x, y - 28, w, h + 28 + 40, "movie.avi - Player", rgb(16, 16, 16));
        const int ox = (frame * 9) % 500, oy = (frame * 4) % 250;
        for (int py = 0; py < h; ++py) {
            for (int px = 0; px < w; ++px) {
                std::uint32_t c = texture_[static_cast<std::size_t>(py + oy) * texW_ + px + ox];
                const int grain =
                    static_cast<int>(hash(static_cast<std::uint32_t>(px * 7919 + py * 104729 +
                                                                     frame * 15485863)) %
                                     9) -
                    4;
                const int r = int((c >> 16) & 0xFF) + grain, g = int((c >> 8) & 0xFF) + grain,
                          b = int(c & 0xFF) + grain;
                put(x + px, y + py, rgb(r, g, b));
            }
        }
        for (int ball = 0; ball < 3; ++ball) {
            const int bx = x + 200 + ball * 400 + int(120 * std::sin(frame * 0.3 + ball));
            const int by = y + 300 + int(150 * std::cos(frame * 0.2 + ball * 2));
            for (int dy = -60; dy <= 60; ++dy)
                for (int dx = -60; dx <= 60; ++dx)
                    if (dx * dx + dy * dy < 3600)
                        put(bx + dx, by + dy,
                            blend(get(bx + dx, by + dy), rgb(250, 200 - ball * 60, 80 + ball * 60),
                                  180));
        }
        rect(x + 20, y + h + 16, w - 40, 6, rgb(90, 90, 90));
        rect(x + 20, y + h + 16, (w - 40) * (frame % 100) / 100, 6, rgb(230, 60, 60));
    }

    void taskbar() {
        rect(0, height_ - 40, width_, 40, rgb(32, 36, 44));
        for (int i = 0; i < 8; ++i)
            rect(60 + i * 56, height_ - 34, 28, 28, rgb(80 + i * 20, 140, 200 - i * 15));
        text(width_ - 90, height_ - 28, 4242, 5, rgb(230, 230, 230), width_);
    }

    int width_, height_;
    int texW_ = 0, texH_ = 0;
    std::vector<std::uint32_t> texture_;
    std::uint32_t* pixels_ = nullptr;
};

}  // namespace video1bench
