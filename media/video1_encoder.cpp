// Microsoft Video 1 encoder (16-bit variant).
//
// Quality: see video1_quality.h. Each block takes the coding with the least
// squared error + lambda x bytes, lambda falling from about 285 at quality 0
// to 0 at 10000.
//
// Picture sizes that are not multiples of 4: the stream keeps the picture's
// size and codes floor(w/4) x floor(h/4) blocks on the grid every decoder uses
// (see blockRowOffset() in video1_format.h): the rightmost w mod 4 columns and
// the bottom h mod 4 rows cannot be coded and show black.
//
// Speed: the source rows are converted to 5-5-5 one block row at a time and
// compared with the previous source; an unchanged block row costs a compare
// and nothing else. Unchanged blocks are skipped in delta frames and re-emit
// their stored code in key frames, so a still screen costs little either way.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "pixel_convert.h"
#include "video1.h"
#include "video1_block_fit.h"
#include "video1_format.h"
#include "video1_quality.h"

namespace media {

using video1::BlockCode;
using video1::BlockFit;

namespace {

constexpr int kSkipRunBytes = 2;  // one skip word opens a run of up to 1023 blocks

int clampDimension(int value) {
    return std::clamp(value, 0, video1::kMaxDimension);
}

// Collects skip runs and block words into a preallocated buffer.
class StreamWriter {
  public:
    explicit StreamWriter(std::uint8_t* begin) : begin_(begin), pos_(begin) {}

    void skip() {
        if (++pendingSkips_ == video1::kMaxSkipRun)
            flushSkips();
    }
    void block(const BlockCode& code) {
        flushSkips();
        for (int i = 0; i < code.count; ++i) {
            word(code.words[i]);
        }
    }
    std::size_t finish() {
        flushSkips();
        word(0);
        return static_cast<std::size_t>(pos_ - begin_);
    }
    bool runOpen() const { return pendingSkips_ > 0; }
    bool skipped() const { return skippedAny_; }

  private:
    void word(std::uint16_t w) {
        pos_[0] = static_cast<std::uint8_t>(w & 0xFF);
        pos_[1] = static_cast<std::uint8_t>(w >> 8);
        pos_ += 2;
    }
    void flushSkips() {
        if (pendingSkips_ == 0)
            return;
        word(static_cast<std::uint16_t>(video1::kSkipBase + pendingSkips_));
        pendingSkips_ = 0;
        skippedAny_ = true;
    }

    std::uint8_t* begin_;
    std::uint8_t* pos_;
    int pendingSkips_ = 0;
    bool skippedAny_ = false;
};

}  // namespace

struct Video1Encoder::Impl {
    int width, height, quality;
    int blocksWide, blocksHigh, rowOffset;
    std::int64_t scaledLambda;
    bool havePrevious = false;

    // Previous source, 5-5-5, row by row over the block grid (the layout of
    // `strip`, so unchanged block rows are found with a few long compares).
    // Reconstruction and stored codes go block by block (16 words each, pixel
    // 4*y + x). codeMatchesSource marks blocks whose stored code was made for
    // the current source block (false after a skip of a changed block).
    std::vector<std::uint16_t> previousSource;
    std::vector<std::uint16_t> recon;
    std::vector<BlockCode> codes;
    std::vector<std::uint8_t> codeMatchesSource;
    std::vector<std::uint16_t> strip;  // four converted rows of the current block row
    std::vector<std::uint8_t> stream;  // worst-case sized output scratch

    Impl(int w, int h, int q)
        : width(clampDimension(w)),
          height(clampDimension(h)),
          quality(std::clamp(q, 0, kMaxQuality)),
          blocksWide(width / video1::kBlockSize),
          blocksHigh(height / video1::kBlockSize),
          rowOffset(video1::blockRowOffset(height)),
          scaledLambda(video1::scaledLambdaForQuality(quality)) {
        const std::size_t blocks = static_cast<std::size_t>(blocksWide) * blocksHigh;
        previousSource.resize(blocks * video1::kPixelsPerBlock);
        recon.resize(blocks * video1::kPixelsPerBlock);
        codes.resize(blocks);
        codeMatchesSource.resize(blocks);
        strip.resize(stripWords());
        // Eight-colour blocks take 18 bytes; a skip word always stands for at
        // least one block, so it never costs more; plus the end marker.
        stream.resize(blocks * 18 + 2);
    }

    std::size_t columns() const {
        return static_cast<std::size_t>(blocksWide) * video1::kBlockSize;
    }
    std::size_t stripWords() const { return columns() * video1::kBlockSize; }
    std::uint16_t* previousStrip(int blockRow) {
        return previousSource.data() + stripWords() * blockRow;
    }

    void convertStrip(const std::uint8_t* dib, int bitCount, int blockRow) {
        const std::size_t stride = dibRowBytes(width, bitCount);
        for (int y = 0; y < video1::kBlockSize; ++y) {
            const int dibRow = rowOffset + blockRow * video1::kBlockSize + y;
            convertRowTo555(dib + stride * dibRow, bitCount, static_cast<int>(columns()),
                            strip.data() + columns() * y);
        }
    }

    bool stripUnchanged(int blockRow) {
        return havePrevious && std::memcmp(previousStrip(blockRow), strip.data(),
                                           stripWords() * sizeof(std::uint16_t)) == 0;
    }

    // Gathers block `bx` of the strip into pixel order and reports whether it
    // equals the same block of the previous source.
    bool gatherBlock(int bx, const std::uint16_t* previous, std::uint16_t pixels[16]) const {
        std::uint64_t differs = 0;
        for (int y = 0; y < video1::kBlockSize; ++y) {
            const std::size_t at = columns() * y + static_cast<std::size_t>(bx) * 4;
            std::uint64_t now, before;
            std::memcpy(&now, strip.data() + at, 8);
            std::memcpy(&before, previous + at, 8);
            std::memcpy(pixels + 4 * y, &now, 8);
            differs |= now ^ before;
        }
        return havePrevious && differs == 0;
    }

    void encodeBlock(int bx, int blockRow, bool key, StreamWriter& writer) {
        const std::size_t index = static_cast<std::size_t>(blockRow) * blocksWide + bx;
        std::uint16_t pixels[16];
        std::uint16_t* shown = &recon[index * 16];
        if (gatherBlock(bx, previousStrip(blockRow), pixels)) {
            if (!key) {
                writer.skip();
                return;
            }
            if (codeMatchesSource[index]) {
                writer.block(codes[index]);
                return;
            }
        }
        std::int64_t skipCost = std::numeric_limits<std::int64_t>::max();
        if (!key) {
            skipCost = video1::kCostScale * video1::blockSquaredError(pixels, shown) +
                       (writer.runOpen() ? 0 : kSkipRunBytes * scaledLambda);
        }
        BlockFit fit;
        if (!video1::fitBlock(pixels, scaledLambda, skipCost, fit)) {
            writer.skip();
            codeMatchesSource[index] = 0;
            return;
        }
        codes[index] = fit.code;
        codeMatchesSource[index] = 1;
        std::memcpy(shown, fit.recon, sizeof fit.recon);
        writer.block(fit.code);
    }
};

Video1Encoder::Video1Encoder(int width, int height, int quality)
    : impl_(new Impl(width, height, quality)) {}

Video1Encoder::~Video1Encoder() {
    delete impl_;
}

int Video1Encoder::width() const {
    return impl_->width;
}
int Video1Encoder::height() const {
    return impl_->height;
}
int Video1Encoder::quality() const {
    return impl_->quality;
}

bool Video1Encoder::encode(const std::uint8_t* dib, int bitCount, bool key,
                           std::vector<std::uint8_t>& out) {
    Impl& s = *impl_;
    out.clear();
    const bool hasBlocks = s.blocksWide > 0 && s.blocksHigh > 0;
    if ((bitCount != 32 && bitCount != 24 && bitCount != 16) || (dib == nullptr && hasBlocks)) {
        return false;  // refused: `out` stays empty
    }
    key = key || !s.havePrevious;
    StreamWriter writer(s.stream.data());
    for (int by = 0; hasBlocks && by < s.blocksHigh; ++by) {
        s.convertStrip(dib, bitCount, by);
        if (!key && s.stripUnchanged(by)) {
            for (int bx = 0; bx < s.blocksWide; ++bx) {
                writer.skip();
            }
            continue;
        }
        for (int bx = 0; bx < s.blocksWide; ++bx) {
            s.encodeBlock(bx, by, key, writer);
        }
        std::copy(s.strip.begin(), s.strip.end(), s.previousStrip(by));
    }
    const std::size_t size = writer.finish();
    // Room for the largest possible frame at once, so a caller that reuses
    // `out` never reallocates it while recording.
    out.reserve(s.stream.size());
    out.assign(s.stream.data(), s.stream.data() + size);
    s.havePrevious = true;
    return key || !writer.skipped();
}

std::vector<std::uint8_t> video1SkipFrame(int width, int height) {
    const std::size_t blocks =
        static_cast<std::size_t>(clampDimension(width) / video1::kBlockSize) *
        static_cast<std::size_t>(clampDimension(height) / video1::kBlockSize);
    // One skip word per run of up to kMaxSkipRun blocks, then the end marker.
    const std::size_t runs = (blocks + video1::kMaxSkipRun - 1) / video1::kMaxSkipRun;
    std::vector<std::uint8_t> frame(kSkipRunBytes * (runs + 1));
    StreamWriter writer(frame.data());
    for (std::size_t b = 0; b < blocks; ++b)
        writer.skip();
    frame.resize(writer.finish());
    return frame;
}

void Video1Encoder::reset() {
    impl_->havePrevious = false;
    std::fill(impl_->codeMatchesSource.begin(), impl_->codeMatchesSource.end(), 0);
}

}  // namespace media
