// Microsoft Video 1 decoder, both variants.
//
// Follows FFmpeg's reading of the format so our pictures match what players
// show: blocks run bottom-up and left to right on the grid of blockRowOffset();
// a skip word 0x8400 + n leaves n blocks (the current one included) as they
// were; reading stops, keeping what was decoded, when the chunk ends early.
// 16-bit output clears bit 15, which 5-5-5 DIBs leave unused.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "video1.h"
#include "video1_format.h"

namespace media {
namespace {

// Decode statuses (0 = success).
constexpr int kTruncated = 1;    // the chunk ended before every block was decoded
constexpr int kZeroSkip = 2;     // a skip of 0 blocks; the rest of the frame is kept
constexpr int kBadGeometry = 3;  // width or height out of range: nothing decoded
constexpr int kBadPaletteChange = 4;

constexpr int kPaletteSize = 256;
constexpr std::size_t kPaletteChangeHeader = 4;
constexpr std::size_t kPaletteEntryBytes = 4;

bool validGeometry(int width, int height) {
    return width > 0 && height > 0 && width <= video1::kMaxDimension &&
           height <= video1::kMaxDimension;
}

class Reader {
  public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(data ? size : 0) {}
    bool has(std::size_t n) const { return size_ - pos_ >= n; }
    std::uint8_t byte() { return data_[pos_++]; }
    std::uint16_t word() {
        const std::uint16_t w = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return w;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace

struct Video1Decoder::Impl {
    int width, height;
    bool paletted;
    int blocksWide = 0, blocksHigh = 0, rowOffset = 0;
    std::size_t stride = 0;
    bool valid;
    std::vector<std::uint8_t> picture;
    std::vector<std::uint32_t> palette;

    Impl(int w, int h, int bitCount, const std::vector<std::uint32_t>& initialPalette)
        : width(w), height(h), paletted(bitCount == 8), valid(validGeometry(w, h)) {
        if (paletted) {
            palette.assign(kPaletteSize, 0);
            std::copy_n(initialPalette.begin(),
                        std::min<std::size_t>(initialPalette.size(), kPaletteSize),
                        palette.begin());
        }
        if (!valid)
            return;
        blocksWide = w / video1::kBlockSize;
        blocksHigh = h / video1::kBlockSize;
        rowOffset = video1::blockRowOffset(h);
        stride = dibRowBytes(w, paletted ? 8 : 16);
        picture.assign(stride * static_cast<std::size_t>(h), 0);
    }

    // Byte offset of pixel (x, y) of block (bx, by), y counted from the block's bottom row.
    std::size_t pixelOffset(int bx, int by, int x, int y, int bytesPerPixel) const {
        const std::size_t row = static_cast<std::size_t>(rowOffset + by * 4 + y);
        return row * stride + static_cast<std::size_t>(bx * 4 + x) * bytesPerPixel;
    }

    void put16(int bx, int by, int i, std::uint16_t colour) {
        const std::size_t at = pixelOffset(bx, by, i & 3, i >> 2, 2);
        picture[at] = static_cast<std::uint8_t>(colour & 0xFF);
        picture[at + 1] = static_cast<std::uint8_t>((colour >> 8) & 0x7F);
    }
    void put8(int bx, int by, int i, std::uint8_t index) {
        picture[pixelOffset(bx, by, i & 3, i >> 2, 1)] = index;
    }

    // colours[(quadrant pair) + (bit ^ 1)]; two-colour blocks use pair 0 only.
    static int colourIndex(int i, unsigned mask, bool eight) {
        const int bit = (mask >> i) & 1;
        if (!eight)
            return bit ^ 1;
        const int x = i & 3, y = i >> 2;
        return ((y & 2) << 1) + (x & 2) + (bit ^ 1);
    }

    // Returns false when the data ran out before the block's colours.
    bool block16(Reader& in, std::uint16_t w, int bx, int by) {
        if (w >= video1::kFillFlag) {
            for (int i = 0; i < 16; ++i)
                put16(bx, by, i, w);
            return true;
        }
        std::uint16_t colours[8];
        if (!in.has(4))
            return false;
        colours[0] = in.word();
        colours[1] = in.word();
        const bool eight = (colours[0] & video1::kEightColourFlag) != 0;
        if (eight) {
            if (!in.has(12))
                return false;
            for (int c = 2; c < 8; ++c)
                colours[c] = in.word();
        }
        for (int i = 0; i < 16; ++i)
            put16(bx, by, i, colours[colourIndex(i, w, eight)]);
        return true;
    }

    bool block8(Reader& in, std::uint16_t w, int bx, int by) {
        std::uint8_t colours[8];
        if (w < video1::kFillFlag || w >= video1::kEightColourMask8Bit) {
            const bool eight = w >= video1::kEightColourMask8Bit;
            const int count = eight ? 8 : 2;
            if (!in.has(count))
                return false;
            for (int c = 0; c < count; ++c)
                colours[c] = in.byte();
            for (int i = 0; i < 16; ++i)
                put8(bx, by, i, colours[colourIndex(i, w, eight)]);
            return true;
        }
        for (int i = 0; i < 16; ++i)
            put8(bx, by, i, static_cast<std::uint8_t>(w & 0xFF));
        return true;
    }

    int decode(const std::uint8_t* data, std::size_t size) {
        if (!valid)
            return kBadGeometry;
        Reader in(data, size);
        long skip = 0;  // blocks still to leave untouched; negative: all the rest
        for (int by = 0; by < blocksHigh; ++by) {
            for (int bx = 0; bx < blocksWide; ++bx) {
                if (skip != 0) {
                    if (skip < 0)
                        return kZeroSkip;
                    --skip;
                    continue;
                }
                if (!in.has(2))
                    return kTruncated;
                const std::uint16_t w = in.word();
                if (video1::isSkipWord(w)) {
                    skip = static_cast<long>(w - video1::kSkipBase) - 1;
                    continue;
                }
                if (!(paletted ? block8(in, w, bx, by) : block16(in, w, bx, by))) {
                    return kTruncated;
                }
            }
        }
        return skip < 0 ? kZeroSkip : 0;
    }

    // 'xxpc' chunk: first entry, count (0 = 256), flags, then count
    // PALETTEENTRY quads (red, green, blue, flags), as FFmpeg reads them.
    int applyPaletteChange(const std::uint8_t* data, std::size_t size) {
        if (!paletted || data == nullptr || size < kPaletteChangeHeader)
            return kBadPaletteChange;
        const int first = data[0];
        const int count = data[1] == 0 ? kPaletteSize : data[1];
        if (first + count > kPaletteSize ||
            size < kPaletteChangeHeader + kPaletteEntryBytes * count) {
            return kBadPaletteChange;
        }
        const std::uint8_t* entry = data + kPaletteChangeHeader;
        for (int i = 0; i < count; ++i, entry += kPaletteEntryBytes) {
            palette[first + i] = static_cast<std::uint32_t>(entry[2]) |
                                 (static_cast<std::uint32_t>(entry[1]) << 8) |
                                 (static_cast<std::uint32_t>(entry[0]) << 16);
        }
        return 0;
    }
};

Video1Decoder::Video1Decoder(int width, int height, int bitCount,
                             const std::vector<std::uint32_t>& palette)
    : impl_(new Impl(width, height, bitCount, palette)) {}

Video1Decoder::~Video1Decoder() {
    delete impl_;
}

int Video1Decoder::width() const {
    return impl_->width;
}
int Video1Decoder::height() const {
    return impl_->height;
}
int Video1Decoder::outputBitCount() const {
    return impl_->paletted ? 8 : 16;
}

int Video1Decoder::decode(const std::uint8_t* data, std::size_t size) {
    return impl_->decode(data, size);
}

int Video1Decoder::applyPaletteChange(const std::uint8_t* data, std::size_t size) {
    return impl_->applyPaletteChange(data, size);
}

const std::vector<std::uint8_t>& Video1Decoder::picture() const {
    return impl_->picture;
}
const std::vector<std::uint32_t>& Video1Decoder::palette() const {
    return impl_->palette;
}

}  // namespace media
