#include "media/avi_get_frame.h"

#include <algorithm>
#include <cstring>

#include "media/avi_reader.h"
#include "media/video1.h"

namespace media {
namespace {

// Largest picture we decode: 64 megapixels (8K is 33). Keeps a hostile header
// from asking for gigabytes.
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 26;
// A Video 1 key frame spends at least 2 bytes on each 4x4 block, so a stream
// whose largest chunk has n bytes cannot show more than 8 n pixels; an
// uncompressed frame carries all its pixel bytes. Pictures beyond what the
// data can fill are refused, so memory follows the file's size. The slack
// covers tiny pictures and the uncoded edges of sizes not divisible by 4.
constexpr std::uint64_t kPixelsPerVideo1Byte = 8;
constexpr std::uint64_t kPictureSlackBytes = 64 * 1024;
constexpr std::int32_t kMaxDimension = 32767;

std::vector<std::uint32_t> paletteOf(const std::vector<std::uint8_t>& format,
                                     const BitmapInfoHeader& bih) {
    std::vector<std::uint32_t> palette;
    const std::size_t headerBytes = std::max<std::size_t>(bih.size, kBitmapInfoHeaderBytes);
    if (format.size() <= headerBytes)
        return palette;
    const std::size_t available = (format.size() - headerBytes) / 4;
    std::size_t wanted = bih.clrUsed ? bih.clrUsed : 256;
    wanted = std::min<std::size_t>({wanted, available, 256});
    for (std::size_t i = 0; i < wanted; ++i)
        palette.push_back(le32(format.data() + headerBytes + 4 * i));
    return palette;
}

}  // namespace

AviGetFrame::~AviGetFrame() = default;

std::unique_ptr<AviGetFrame> AviGetFrame::open(std::shared_ptr<AviReader> reader, int index,
                                               const BitmapInfoHeader* wanted) {
    if (!reader || index < 0 || index >= reader->streamCount())
        return nullptr;
    const AviReaderStream& s = reader->stream(index);
    if (!s.isVideo() || !s.hasBitmapFormat())
        return nullptr;
    const BitmapInfoHeader in = loadBitmapInfoHeader(s.format.data());
    const std::int64_t height = in.height < 0 ? -std::int64_t{in.height} : in.height;
    if (in.width <= 0 || in.width > kMaxDimension || height <= 0 || height > kMaxDimension ||
        static_cast<std::uint64_t>(in.width) * static_cast<std::uint64_t>(height) > kMaxPixels) {
        return nullptr;
    }

    std::unique_ptr<AviGetFrame> g(new AviGetFrame());
    g->reader_ = std::move(reader);
    g->streamIndex_ = index;
    g->start_ = s.header.start;
    g->in_ = in;
    BitmapInfoHeader out;
    out.width = in.width;
    out.height = static_cast<std::int32_t>(height);
    out.planes = 1;
    out.compression = kBiRgb;
    std::vector<std::uint32_t> palette;
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(in.width) * static_cast<std::uint64_t>(height);
    if (in.compression == kBiRgb) {
        if (in.bitCount != 8 && in.bitCount != 16 && in.bitCount != 24 && in.bitCount != 32) {
            return nullptr;
        }
        if (dibImageBytes(in) > std::uint64_t{s.largestChunk} + kPictureSlackBytes) {
            return nullptr;
        }
        out.bitCount = in.bitCount;
        if (in.bitCount == 8)
            palette = paletteOf(s.format, in);
    } else if (isVideo1Fourcc(in.compression)) {
        if (pixels > kPixelsPerVideo1Byte * (std::uint64_t{s.largestChunk} + kPictureSlackBytes)) {
            return nullptr;
        }
        if (in.bitCount == 8)
            palette = paletteOf(s.format, in);
        g->decoder_ = std::make_unique<Video1Decoder>(in.width, static_cast<int>(height),
                                                      in.bitCount, palette);
        out.bitCount = static_cast<std::uint16_t>(g->decoder_->outputBitCount());
    } else {
        return nullptr;
    }
    if (out.bitCount == 8) {
        palette.resize(256, 0);
        out.clrUsed = 256;
    }
    if (wanted && !(wanted->compression == kBiRgb &&
                    (wanted->bitCount == 0 || wanted->bitCount == out.bitCount))) {
        return nullptr;
    }
    g->pixelBytes_ = static_cast<std::size_t>(dibImageBytes(out));
    out.sizeImage = static_cast<std::uint32_t>(g->pixelBytes_);
    g->out_ = out;
    g->paletteBytes_ = 4 * palette.size();
    g->dib_.assign(kBitmapInfoHeaderBytes + g->paletteBytes_ + g->pixelBytes_, 0);
    storeBitmapInfoHeader(out, g->dib_.data());
    for (std::size_t i = 0; i < palette.size(); ++i) {
        put32(g->dib_.data() + kBitmapInfoHeaderBytes + 4 * i, palette[i]);
    }
    return g;
}

const std::uint8_t* AviGetFrame::uncompressedFrame(std::size_t index) {
    // A dropped (empty) frame shows the last frame that has pixels.
    const AviReaderStream& s = reader_->stream(streamIndex_);
    std::size_t source = index;
    while (source > 0 && s.chunks[source].size == 0)
        --source;
    if (reader_->readChunk(streamIndex_, source, chunk_) != kAviOk)
        return nullptr;
    std::uint8_t* pixels = dib_.data() + kBitmapInfoHeaderBytes + paletteBytes_;
    if (chunk_.empty()) {
        std::memset(pixels, 0, pixelBytes_);
        decoded_ = static_cast<std::int64_t>(index);
        return dib_.data();
    }
    const std::size_t n = std::min(chunk_.size(), pixelBytes_);
    const std::size_t stride = static_cast<std::size_t>(dibRowBytes(out_.width, out_.bitCount));
    if (in_.height < 0) {
        // Top-down source: hand out bottom-up rows like every other frame.
        std::memset(pixels, 0, pixelBytes_);
        const std::size_t rows = static_cast<std::size_t>(out_.height);
        for (std::size_t r = 0; r < rows && (r + 1) * stride <= n; ++r) {
            std::memcpy(pixels + (rows - 1 - r) * stride, chunk_.data() + r * stride, stride);
        }
    } else {
        std::memcpy(pixels, chunk_.data(), n);
        std::memset(pixels + n, 0, pixelBytes_ - n);
    }
    decoded_ = static_cast<std::int64_t>(index);
    return dib_.data();
}

bool AviGetFrame::decodeTo(std::size_t index) {
    const AviReaderStream& s = reader_->stream(streamIndex_);
    std::size_t key = index;
    while (key > 0 && !s.chunks[key].key)
        --key;
    std::size_t from = key;
    if (decoded_ >= static_cast<std::int64_t>(key) && decoded_ < static_cast<std::int64_t>(index)) {
        from = static_cast<std::size_t>(decoded_) + 1;
    }
    for (std::size_t i = from; i <= index; ++i) {
        if (reader_->readChunk(streamIndex_, i, chunk_) != kAviOk)
            return false;
        // Damaged data still leaves the best picture the decoder could make.
        if (!chunk_.empty())
            decoder_->decode(chunk_.data(), chunk_.size());
        decoded_ = static_cast<std::int64_t>(i);
    }
    const std::vector<std::uint8_t>& picture = decoder_->picture();
    std::uint8_t* pixels = dib_.data() + kBitmapInfoHeaderBytes + paletteBytes_;
    // The decoder may hold less than the header's picture (sizes it refuses).
    const std::size_t n = std::min(picture.size(), pixelBytes_);
    if (n > 0)
        std::memcpy(pixels, picture.data(), n);
    if (out_.bitCount == 8) {
        const std::vector<std::uint32_t>& palette = decoder_->palette();
        for (std::size_t i = 0; i < palette.size() && 4 * i < paletteBytes_; ++i) {
            put32(dib_.data() + kBitmapInfoHeaderBytes + 4 * i, palette[i]);
        }
    }
    return true;
}

const std::uint8_t* AviGetFrame::frame(std::int32_t pos) {
    const AviReaderStream& s = reader_->stream(streamIndex_);
    const std::int64_t index = static_cast<std::int64_t>(pos) - start_;
    if (index < 0 || index >= static_cast<std::int64_t>(s.chunks.size()))
        return nullptr;
    if (index == decoded_)
        return dib_.data();
    const auto i = static_cast<std::size_t>(index);
    if (!decoder_)
        return uncompressedFrame(i);
    return decodeTo(i) ? dib_.data() : nullptr;
}

}  // namespace media
