// Shared helpers of the Video 1 tests (header only, so that every
// video1_*_test.cpp can use them): synthetic screen pictures, a minimal
// AVI file maker (one Video 1 stream, so FFmpeg can read our frames without
// depending on the library's own writer) and FFmpeg as an independent decoder.
// bench/video1_encode_file.cpp uses the AVI maker too.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "media/video1.h"

namespace video1test {

using Bytes = std::vector<std::uint8_t>;

// A 32-bit picture held top-down as 0x00RRGGBB words; converted to DIBs on demand.
struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> rgb;

    Picture(int w, int h, std::uint32_t fill = 0)
        : width(w), height(h), rgb(std::size_t(w) * h, fill) {}
    std::uint32_t& at(int x, int y) { return rgb[std::size_t(y) * width + x]; }
    std::uint32_t at(int x, int y) const { return rgb[std::size_t(y) * width + x]; }
    void fillRect(int x0, int y0, int w, int h, std::uint32_t colour) {
        for (int y = std::max(0, y0); y < std::min(height, y0 + h); ++y) {
            for (int x = std::max(0, x0); x < std::min(width, x0 + w); ++x)
                at(x, y) = colour;
        }
    }
};

// Bottom-up DIB of the picture at 32, 24 or 16 (5-5-5) bits per pixel.
inline Bytes toDib(const Picture& picture, int bitCount);

// The picture reduced to 5-5-5 words, top-down, w x h.
inline std::vector<std::uint16_t> to555(const Picture& picture);

// A decoded bottom-up 16-bit DIB as top-down 5-5-5 words (bit 15 cleared).
inline std::vector<std::uint16_t> dib16TopDown(const Bytes& dib, int width, int height);

// Deterministic screen-like scenes: a desktop with windows, text, gradients and
// a photographic-like patch whose position moves with `frame`.
inline Picture screenScene(int width, int height, int frame);

// A small deterministic random generator (tests must not depend on std::rand).
struct Lcg {
    std::uint32_t state;
    explicit Lcg(std::uint32_t seed) : state(seed) {}
    std::uint32_t next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
};

// ----------------------------------------------------------------- AVI

struct AviFrame {
    Bytes data;
    bool key = false;
    Bytes paletteChange;  // when not empty, an 'xxpc' chunk written before the frame
};

// Writes a one-stream AVI: strh 'MSVC', strf 'CRAM' with biBitCount 16 or 8
// (8: the palette, B,G,R,0 quads, follows the 40-byte header), 5 fps, idx1.
inline void writeVideo1Avi(const std::filesystem::path& path, int width, int height, int bitCount,
                           const std::vector<AviFrame>& frames,
                           const std::vector<std::uint32_t>& palette = {});

// The frame chunks ('00dc' / '00db') and palette changes ('00pc') of a
// one-stream AVI, in file order; enough to read FFmpeg's own Video 1 files.
struct AviChunk {
    std::string tag;
    Bytes data;
};
inline bool readAviChunks(const std::filesystem::path& path, std::vector<AviChunk>& chunks);

// ---------------------------------------------------------------- tools

// Runs a shell command; returns its exit status and collects its stdout.
inline int runCommand(const std::string& command, Bytes& output);

inline bool haveFfmpeg();

// Decodes every frame of `path` with FFmpeg into raw pixels of `pixelFormat`
// (e.g. rgb555le, rgb24, pal8). Returns false when FFmpeg fails.
inline bool ffmpegDecode(const std::filesystem::path& path, const std::string& pixelFormat,
                         Bytes& out);

// A fresh directory for one test's files in the temporary directory.
inline std::filesystem::path scratchDir(const std::string& name);

// ------------------------------------------------------------ definitions

inline Bytes toDib(const Picture& picture, int bitCount) {
    const std::size_t stride = media::dibRowBytes(picture.width, bitCount);
    Bytes dib(stride * picture.height, 0);
    for (int y = 0; y < picture.height; ++y) {
        std::uint8_t* row = dib.data() + stride * (picture.height - 1 - y);
        for (int x = 0; x < picture.width; ++x) {
            const std::uint32_t c = picture.at(x, y);
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

inline std::vector<std::uint16_t> to555(const Picture& picture) {
    std::vector<std::uint16_t> out(picture.rgb.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::uint32_t c = picture.rgb[i];
        out[i] = static_cast<std::uint16_t>((((c >> 19) & 0x1F) << 10) | (((c >> 11) & 0x1F) << 5) |
                                            ((c >> 3) & 0x1F));
    }
    return out;
}

inline std::vector<std::uint16_t> dib16TopDown(const Bytes& dib, int width, int height) {
    const std::size_t stride = media::dibRowBytes(width, 16);
    std::vector<std::uint16_t> out(std::size_t(width) * height);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = dib.data() + stride * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            out[std::size_t(y) * width + x] =
                static_cast<std::uint16_t>((row[2 * x] | (row[2 * x + 1] << 8)) & 0x7FFF);
        }
    }
    return out;
}

namespace detail {

inline std::uint32_t rgb(int r, int g, int b) {
    auto c = [](int v) { return static_cast<std::uint32_t>(std::clamp(v, 0, 255)); };
    return (c(r) << 16) | (c(g) << 8) | c(b);
}

// Pseudo text: 5x7 glyph cells (one pixel strokes) picked by a hash of the
// character position, on a line of `count` characters.
inline void drawText(Picture& p, int x0, int y0, int count, std::uint32_t ink, std::uint32_t seed) {
    for (int ch = 0; ch < count; ++ch) {
        Lcg lcg(seed * 977u + static_cast<std::uint32_t>(ch) * 131u + 7u);
        const std::uint32_t bits = lcg.next() ^ (lcg.next() << 12);
        for (int gy = 0; gy < 7; ++gy) {
            for (int gx = 0; gx < 5; ++gx) {
                const int x = x0 + ch * 6 + gx, y = y0 + gy;
                if (x < 0 || y < 0 || x >= p.width || y >= p.height)
                    continue;
                if ((bits >> ((gy * 5 + gx) % 31)) & 1u)
                    p.at(x, y) = ink;
            }
        }
    }
}

}  // namespace detail

inline Picture screenScene(int width, int height, int frame) {
    Picture p(width, height);
    // Desktop: a vertical gradient.
    for (int y = 0; y < height; ++y) {
        const std::uint32_t c =
            detail::rgb(30 + y * 60 / std::max(1, height), 60 + y * 80 / std::max(1, height), 140);
        for (int x = 0; x < width; ++x)
            p.at(x, y) = c;
    }
    // A text window with a title bar; one more character is typed per frame.
    const int wx = width / 12, wy = height / 10, ww = width * 2 / 3, wh = height * 2 / 3;
    p.fillRect(wx - 1, wy - 1, ww + 2, wh + 2, detail::rgb(80, 80, 80));
    p.fillRect(wx, wy, ww, wh, detail::rgb(250, 250, 250));
    p.fillRect(wx, wy, ww, 9, detail::rgb(20, 70, 170));
    detail::drawText(p, wx + 2, wy + 1, ww / 6 - 1, detail::rgb(255, 255, 255), 1);
    const int lines = (wh - 12) / 9;
    for (int line = 0; line < lines; ++line) {
        int count = ww / 6 - 1;
        if (line == lines - 1)
            count = std::min(count, frame);
        detail::drawText(p, wx + 2, wy + 12 + line * 9, count, detail::rgb(10, 10, 10), 100 + line);
    }
    // A photographic-like patch (smooth shading plus fine texture) that moves.
    const int pw = std::max(4, width / 4), ph = std::max(4, height / 4);
    const int px = (width / 2 + frame * 3) % std::max(1, width - pw), py = height / 2;
    for (int y = 0; y < ph && py + y < height; ++y) {
        for (int x = 0; x < pw && px + x < width; ++x) {
            const double u = x * 0.21 + frame * 0.1, v = y * 0.17;
            const int noise =
                static_cast<int>((Lcg(std::uint32_t(x * 7919 + y * 104729)).next() >> 5) % 24);
            p.at(px + x, py + y) =
                detail::rgb(static_cast<int>(120 + 90 * std::sin(u) + noise),
                            static_cast<int>(110 + 80 * std::cos(v + u * 0.3)),
                            static_cast<int>(90 + 70 * std::sin(v * 1.7) + noise / 2));
        }
    }
    return p;
}

inline void put16(Bytes& b, unsigned v) {
    b.push_back(v & 0xFF);
    b.push_back((v >> 8) & 0xFF);
}
inline void put32(Bytes& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
inline void putTag(Bytes& b, const char* tag) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(tag[i]));
}
inline void patch32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void writeVideo1Avi(const std::filesystem::path& path, int width, int height, int bitCount,
                           const std::vector<AviFrame>& frames,
                           const std::vector<std::uint32_t>& palette) {
    std::size_t largest = 0;
    for (const AviFrame& f : frames)
        largest = std::max(largest, f.data.size());
    Bytes b;
    putTag(b, "RIFF");
    put32(b, 0);
    putTag(b, "AVI ");
    putTag(b, "LIST");
    const std::size_t hdrlSize = b.size();
    put32(b, 0);
    putTag(b, "hdrl");
    putTag(b, "avih");
    put32(b, 56);
    put32(b, 200000), put32(b, 0), put32(b, 0), put32(b, 0x10);
    put32(b, static_cast<std::uint32_t>(frames.size())), put32(b, 0), put32(b, 1);
    put32(b, static_cast<std::uint32_t>(largest)), put32(b, width), put32(b, height);
    for (int i = 0; i < 4; ++i)
        put32(b, 0);
    putTag(b, "LIST");
    const std::size_t strlSize = b.size();
    put32(b, 0);
    putTag(b, "strl");
    putTag(b, "strh");
    put32(b, 56);
    putTag(b, "vids"), putTag(b, "MSVC");
    put32(b, 0), put32(b, 0), put32(b, 0), put32(b, 1), put32(b, 5), put32(b, 0);
    put32(b, static_cast<std::uint32_t>(frames.size())),
        put32(b, static_cast<std::uint32_t>(largest));
    put32(b, 0xFFFFFFFFu), put32(b, 0);
    put16(b, 0), put16(b, 0), put16(b, width), put16(b, height);
    const bool paletted = bitCount == 8;
    putTag(b, "strf");
    put32(b, paletted ? 40 + 1024 : 40);
    put32(b, 40), put32(b, width), put32(b, height), put16(b, 1), put16(b, bitCount);
    putTag(b, "CRAM");
    put32(b, static_cast<std::uint32_t>(media::dibRowBytes(width, bitCount) * height));
    put32(b, 0), put32(b, 0), put32(b, paletted ? 256 : 0), put32(b, 0);
    if (paletted) {
        for (int i = 0; i < 256; ++i)
            put32(b, i < int(palette.size()) ? palette[i] : 0);
    }
    patch32(b, strlSize, static_cast<std::uint32_t>(b.size() - strlSize - 4));
    patch32(b, hdrlSize, static_cast<std::uint32_t>(b.size() - hdrlSize - 4));
    putTag(b, "LIST");
    const std::size_t moviSize = b.size();
    put32(b, 0);
    const std::size_t moviTag = b.size();
    putTag(b, "movi");
    Bytes index;
    auto chunk = [&](const char* tag, const Bytes& data, std::uint32_t flags) {
        putTag(index, tag);
        put32(index, flags);
        put32(index, static_cast<std::uint32_t>(b.size() - moviTag));
        put32(index, static_cast<std::uint32_t>(data.size()));
        putTag(b, tag);
        put32(b, static_cast<std::uint32_t>(data.size()));
        b.insert(b.end(), data.begin(), data.end());
        if (data.size() % 2)
            b.push_back(0);
    };
    for (const AviFrame& f : frames) {
        if (!f.paletteChange.empty())
            chunk("00pc", f.paletteChange, 0x100);
        chunk("00dc", f.data, f.key ? 0x10 : 0);
    }
    patch32(b, moviSize, static_cast<std::uint32_t>(b.size() - moviSize - 4));
    putTag(b, "idx1");
    put32(b, static_cast<std::uint32_t>(index.size()));
    b.insert(b.end(), index.begin(), index.end());
    patch32(b, 4, static_cast<std::uint32_t>(b.size() - 8));
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
}

namespace detail {

inline std::uint32_t le32(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t(b[at + 3]) << 24);
}

// Walks the chunks of [begin, end), descending into LIST 'movi' and 'rec '.
inline void walkChunks(const Bytes& b, std::size_t begin, std::size_t end, bool inMovi,
                       std::vector<AviChunk>& chunks) {
    std::size_t at = begin;
    while (at + 8 <= end) {
        const std::string tag(b.begin() + at, b.begin() + at + 4);
        const std::size_t size = le32(b, at + 4);
        const std::size_t dataEnd = std::min(end, at + 8 + size);
        if ((tag == "LIST" || tag == "RIFF") && at + 12 <= dataEnd) {
            const std::string type(b.begin() + at + 8, b.begin() + at + 12);
            walkChunks(b, at + 12, dataEnd, inMovi || type == "movi", chunks);
        } else if (inMovi && tag.size() == 4 && tag[0] == '0' && tag[1] == '0') {
            chunks.push_back({tag, Bytes(b.begin() + at + 8, b.begin() + dataEnd)});
        }
        at = static_cast<std::size_t>(media::nextChunkPos(at, size));
    }
}

}  // namespace detail

inline bool readAviChunks(const std::filesystem::path& path, std::vector<AviChunk>& chunks) {
    std::ifstream in(path, std::ios::binary);
    const Bytes b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    chunks.clear();
    if (b.size() < 12)
        return false;
    detail::walkChunks(b, 0, b.size(), false, chunks);
    return !chunks.empty();
}

inline int runCommand(const std::string& command, Bytes& output) {
    output.clear();
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return -1;
    std::uint8_t buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.insert(output.end(), buffer, buffer + n);
    }
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline bool haveFfmpeg() {
    Bytes out;
    return runCommand("ffmpeg -hide_banner -version 2>/dev/null", out) == 0;
}

inline bool ffmpegDecode(const std::filesystem::path& path, const std::string& pixelFormat,
                         Bytes& out) {
    const std::string command = "ffmpeg -hide_banner -loglevel error -i '" + path.string() +
                                "' -f rawvideo -pix_fmt " + pixelFormat + " - 2>/dev/null";
    return runCommand(command, out) == 0;
}

inline std::filesystem::path scratchDir(const std::string& name) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("tessaly-video1-" + name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace video1test
