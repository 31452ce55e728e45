#include "media/avi_file.h"

#include <algorithm>
#include <limits>

#include "media/video1.h"

namespace media {
namespace {

// Quality used when the options leave it open (0xFFFFFFFF = "default").
constexpr int kDefaultVideo1Quality = 7500;
constexpr std::uint32_t kDefaultQualityMarker = 0xFFFFFFFFu;

std::int32_t clampToInt32(std::uint64_t v) {
    return v > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())
               ? std::numeric_limits<std::int32_t>::max()
               : static_cast<std::int32_t>(v);
}

void setOut(std::int32_t* p, std::int32_t v) {
    if (p)
        *p = v;
}

AviRect rectOf(const AviStreamHeader& h, const std::vector<std::uint8_t>& format) {
    AviRect r{h.frameLeft, h.frameTop, h.frameRight, h.frameBottom};
    if (h.fccType == kFccVids && r.right <= r.left && r.bottom <= r.top &&
        format.size() >= kBitmapInfoHeaderBytes) {
        // An empty strh rectangle reads as the picture size.
        const BitmapInfoHeader bih = loadBitmapInfoHeader(format.data());
        r = {0, 0, bih.width, bih.height < 0 ? -bih.height : bih.height};
    }
    return r;
}

void fillFromHeader(const AviStreamHeader& h, AviStreamInfo& info) {
    info.fccType = h.fccType;
    info.fccHandler = h.fccHandler;
    info.flags = h.flags;
    info.priority = h.priority;
    info.language = h.language;
    info.scale = h.scale;
    info.rate = h.rate;
    info.start = h.start;
    info.initialFrames = h.initialFrames;
    info.quality = h.quality;
}

// ------------------------------------------------------------ read side

class ReadStream final : public AviStream {
  public:
    ReadStream(AviFilePtr file, int index) : file_(std::move(file)), index_(index) {}

    const AviReaderStream& data() const { return file_->reader()->stream(index_); }

    int info(AviStreamInfo& info) const override {
        const AviReaderStream& s = data();
        info = AviStreamInfo{};
        fillFromHeader(s.header, info);
        info.caps = kFileCapsCanRead;
        info.length = s.length();
        info.suggestedBufferSize = s.largestChunk;
        info.sampleSize = s.sampleSize();
        info.frame = rectOf(s.header, s.format);
        info.name = s.name;
        return kAviOk;
    }
    int format(std::vector<std::uint8_t>& out) const override {
        out = data().format;
        return out.empty() ? kAviErrNoData : kAviOk;
    }
    int setFormat(std::int32_t, const void*, std::int32_t) override { return kAviErrReadOnly; }
    int write(std::int32_t, std::int32_t, const void*, std::int32_t, std::uint32_t, std::int32_t*,
              std::int32_t*) override {
        return kAviErrReadOnly;
    }
    int read(std::int32_t start, std::int32_t samples, void* buffer, std::int32_t bufferSize,
             std::int32_t* bytes, std::int32_t* samplesRead) override;
    std::int32_t start() const override { return clampToInt32(data().header.start); }
    std::int32_t length() const override { return clampToInt32(data().length()); }
    const AviFilePtr& file() const override { return file_; }
    int streamIndex() const override { return index_; }

  private:
    int readFrame(std::size_t index, void* buffer, std::int32_t bufferSize, std::int32_t* bytes,
                  std::int32_t* samplesRead);
    int copyBytes(std::uint64_t from, std::uint64_t count, std::uint8_t* out);
    std::size_t chunkHolding(std::uint64_t byte) const;

    AviFilePtr file_;
    int index_;
};

std::size_t ReadStream::chunkHolding(std::uint64_t byte) const {
    const AviReaderStream& s = data();
    auto it = std::upper_bound(s.chunkByteStart.begin(), s.chunkByteStart.end(), byte);
    std::size_t c = it == s.chunkByteStart.begin()
                        ? 0
                        : static_cast<std::size_t>(it - s.chunkByteStart.begin()) - 1;
    while (c < s.chunks.size() && byte >= s.chunkByteStart[c] + s.chunks[c].size)
        ++c;
    return c;
}

int ReadStream::copyBytes(std::uint64_t from, std::uint64_t count, std::uint8_t* out) {
    const AviReaderStream& s = data();
    std::size_t c = chunkHolding(from);
    std::uint64_t offset = c < s.chunks.size() ? from - s.chunkByteStart[c] : 0;
    while (count > 0 && c < s.chunks.size()) {
        const std::uint64_t take = std::min<std::uint64_t>(count, s.chunks[c].size - offset);
        const int rc = file_->reader()->readChunkPart(index_, c, static_cast<std::uint32_t>(offset),
                                                      out, static_cast<std::size_t>(take));
        if (rc != kAviOk)
            return rc;
        out += take;
        count -= take;
        ++c;
        offset = 0;
    }
    return count == 0 ? kAviOk : kAviErrFileRead;
}

int ReadStream::readFrame(std::size_t index, void* buffer, std::int32_t bufferSize,
                          std::int32_t* bytes, std::int32_t* samplesRead) {
    const AviChunkRef& c = data().chunks[index];
    if (buffer) {
        if (static_cast<std::uint64_t>(bufferSize) < c.size)
            return kAviErrBufferTooSmall;
        const int rc = file_->reader()->readChunkPart(index_, index, 0, buffer, c.size);
        if (rc != kAviOk)
            return rc;
    }
    setOut(bytes, clampToInt32(c.size));
    setOut(samplesRead, 1);
    return kAviOk;
}

int ReadStream::read(std::int32_t start, std::int32_t samples, void* buffer,
                     std::int32_t bufferSize, std::int32_t* bytes, std::int32_t* samplesRead) {
    setOut(bytes, 0);
    setOut(samplesRead, 0);
    if (bufferSize < 0 || (samples < 0 && samples != kReadConvenient))
        return kAviErrBadParam;
    const AviReaderStream& s = data();
    const std::int64_t first = s.header.start;
    const std::int64_t len = s.length();
    if (start < first || start > first + len)
        return kAviErrNoData;
    const std::uint64_t pos = static_cast<std::uint64_t>(start - first);
    const std::uint32_t ss = s.sampleSize();
    if (ss == 0) {
        if (pos >= s.chunks.size())
            return kAviErrNoData;
        return readFrame(static_cast<std::size_t>(pos), buffer, bufferSize, bytes, samplesRead);
    }
    if (static_cast<std::int64_t>(pos) == len || samples == 0)
        return kAviOk;

    const std::uint64_t byte = pos * ss;
    std::uint64_t count = 0;
    if (samples == kReadConvenient) {
        // The rest of the chunk holding the position; when less than one sample
        // is left there, the next chunk as well.
        const std::size_t c = chunkHolding(byte);
        if (c < s.chunks.size()) {
            std::uint64_t rest = s.chunkByteStart[c] + s.chunks[c].size - byte;
            if (rest < ss && c + 1 < s.chunks.size())
                rest += s.chunks[c + 1].size;
            count = rest / ss;
        }
        if (buffer)
            count = std::min<std::uint64_t>(count, static_cast<std::uint64_t>(bufferSize) / ss);
    } else {
        count = static_cast<std::uint64_t>(samples);
    }
    count = std::min<std::uint64_t>(count, static_cast<std::uint64_t>(len) - pos);
    const std::uint64_t total = count * ss;
    if (buffer) {
        if (total > static_cast<std::uint64_t>(bufferSize) ||
            (count == 0 && bufferSize < static_cast<std::int64_t>(ss))) {
            return kAviErrBufferTooSmall;
        }
        const int rc = copyBytes(byte, total, static_cast<std::uint8_t*>(buffer));
        if (rc != kAviOk)
            return rc;
    }
    setOut(bytes, clampToInt32(total));
    setOut(samplesRead, clampToInt32(count));
    return kAviOk;
}

// ----------------------------------------------------------- write side

class WriteStream final : public AviStream {
  public:
    WriteStream(AviFilePtr file, int index) : file_(std::move(file)), index_(index) {}

    AviWriter& writer() const { return *file_->writer(); }

    int info(AviStreamInfo& info) const override {
        const AviStreamHeader& h = writer().streamHeader(index_);
        info = AviStreamInfo{};
        fillFromHeader(h, info);
        info.caps = kFileCapsCanRead | kFileCapsCanWrite;
        info.length = writer().streamLength(index_);
        info.sampleSize = h.sampleSize;
        info.frame = rectOf(h, writer().streamFormat(index_));
        info.name = writer().streamName(index_);
        return kAviOk;
    }
    int format(std::vector<std::uint8_t>& out) const override {
        out = writer().streamFormat(index_);
        return out.empty() ? kAviErrNoData : kAviOk;
    }
    int setFormat(std::int32_t, const void* format, std::int32_t size) override {
        if (size <= 0)
            return kAviErrBadParam;
        return writer().setFormat(index_, format, static_cast<std::size_t>(size));
    }
    int write(std::int32_t start, std::int32_t samples, const void* data, std::int32_t bytes,
              std::uint32_t flags, std::int32_t* samplesWritten,
              std::int32_t* bytesWritten) override;
    int read(std::int32_t, std::int32_t, void*, std::int32_t, std::int32_t*,
             std::int32_t*) override {
        return kAviErrUnsupported;
    }
    std::int32_t start() const override {
        return clampToInt32(writer().streamHeader(index_).start);
    }
    std::int32_t length() const override { return clampToInt32(writer().streamLength(index_)); }
    const AviFilePtr& file() const override { return file_; }
    int streamIndex() const override { return index_; }

    // Appends one chunk at frame/sample position `start` (kAppend = the end).
    int appendAt(std::int32_t start, const void* data, std::uint32_t bytes, bool key);

  private:
    AviFilePtr file_;
    int index_;
};

int WriteStream::appendAt(std::int32_t start, const void* data, std::uint32_t bytes, bool key) {
    AviWriter& w = writer();
    const AviStreamHeader& h = w.streamHeader(index_);
    const std::int64_t next = static_cast<std::int64_t>(h.start) + w.streamLength(index_);
    if (start != kAppend && start < next)
        return kAviErrBadParam;
    if (h.sampleSize == 0 && start != kAppend) {
        // A frame beyond the next position: the frames between were dropped.
        for (std::int64_t gap = next; gap < start; ++gap) {
            if (int rc = w.writeChunk(index_, nullptr, 0, false); rc != kAviOk)
                return rc;
        }
    } else if (start != kAppend && start != next) {
        return kAviErrBadParam;
    }
    return w.writeChunk(index_, data, bytes, key);
}

int WriteStream::write(std::int32_t start, std::int32_t, const void* data, std::int32_t bytes,
                       std::uint32_t flags, std::int32_t* samplesWritten,
                       std::int32_t* bytesWritten) {
    setOut(samplesWritten, 0);
    setOut(bytesWritten, 0);
    if (bytes < 0 || (bytes > 0 && !data))
        return kAviErrBadParam;
    const AviStreamHeader& h = writer().streamHeader(index_);
    const auto size = static_cast<std::uint32_t>(bytes);
    if (h.sampleSize > 0) {
        // Fixed-size streams count samples from the bytes (a recorder writes a
        // whole 0.4 s buffer as "1 sample"); partial samples would shift every
        // later sample, so they are refused.
        if (size % h.sampleSize != 0)
            return kAviErrBadSize;
        if (size == 0)
            return kAviOk;
    }
    const int rc = appendAt(start, data, size, (flags & kAviifKeyFrame) != 0);
    if (rc != kAviOk)
        return rc;
    setOut(samplesWritten, h.sampleSize ? clampToInt32(size / h.sampleSize) : 1);
    setOut(bytesWritten, bytes);
    return kAviOk;
}

// ------------------------------------------------------ compressing layer

class CompressedStream final : public AviStream {
  public:
    CompressedStream(std::shared_ptr<WriteStream> target, const AviCompressOptions& options)
        : target_(std::move(target)), options_(options) {}

    int info(AviStreamInfo& info) const override {
        const int rc = target_->info(info);
        info.fccHandler = options_.fccHandler;
        info.quality = options_.quality;
        return rc;
    }
    int format(std::vector<std::uint8_t>& out) const override { return target_->format(out); }
    int setFormat(std::int32_t pos, const void* format, std::int32_t size) override;
    int write(std::int32_t start, std::int32_t samples, const void* data, std::int32_t bytes,
              std::uint32_t flags, std::int32_t* samplesWritten,
              std::int32_t* bytesWritten) override;
    int read(std::int32_t, std::int32_t, void*, std::int32_t, std::int32_t*,
             std::int32_t*) override {
        return kAviErrUnsupported;
    }
    std::int32_t start() const override { return target_->start(); }
    std::int32_t length() const override { return target_->length(); }
    const AviFilePtr& file() const override { return target_->file(); }
    int streamIndex() const override { return target_->streamIndex(); }

  private:
    bool wantKeyFrame(std::int64_t frame, std::uint32_t flags) const;

    std::shared_ptr<WriteStream> target_;
    AviCompressOptions options_;
    BitmapInfoHeader input_;
    std::unique_ptr<Video1Encoder> encoder_;
    std::vector<std::uint8_t> encoded_;
    std::int64_t lastKey_ = -1;
};

int CompressedStream::setFormat(std::int32_t, const void* format, std::int32_t size) {
    if (!format || size < static_cast<std::int32_t>(kBitmapInfoHeaderBytes)) {
        return kAviErrBadParam;
    }
    const BitmapInfoHeader in = loadBitmapInfoHeader(static_cast<const std::uint8_t*>(format));
    if (in.compression != kBiRgb)
        return kAviErrUnsupported;
    if (in.bitCount != 16 && in.bitCount != 24 && in.bitCount != 32)
        return kAviErrBadFormat;
    // Top-down pictures (negative height) are not what the encoder reads.
    if (in.width <= 0 || in.height <= 0 || in.width > 32767 || in.height > 32767) {
        return kAviErrBadFormat;
    }
    if (encoder_) {
        const bool same = in.width == input_.width && in.height == input_.height &&
                          in.bitCount == input_.bitCount;
        return same ? kAviOk : kAviErrUnsupported;
    }
    BitmapInfoHeader out;
    out.width = in.width;
    out.height = in.height;
    out.planes = 1;
    out.bitCount = 16;
    out.compression = options_.fccHandler;
    out.sizeImage =
        static_cast<std::uint32_t>(in.width) * static_cast<std::uint32_t>(in.height) * 2;
    std::uint8_t raw[kBitmapInfoHeaderBytes];
    storeBitmapInfoHeader(out, raw);
    if (int rc = target_->setFormat(0, raw, sizeof raw); rc != kAviOk)
        return rc;
    const int quality = options_.quality == kDefaultQualityMarker
                            ? kDefaultVideo1Quality
                            : static_cast<int>(std::min<std::uint32_t>(options_.quality,
                                                                       Video1Encoder::kMaxQuality));
    encoder_ = std::make_unique<Video1Encoder>(in.width, in.height, quality);
    input_ = in;
    return kAviOk;
}

bool CompressedStream::wantKeyFrame(std::int64_t frame, std::uint32_t flags) const {
    if (lastKey_ < 0 || (flags & kAviifKeyFrame))
        return true;
    if (options_.keyFrameEvery > 0)
        return frame - lastKey_ >= options_.keyFrameEvery;
    return (options_.flags & kCompressKeyFrames) == 0;
}

int CompressedStream::write(std::int32_t start, std::int32_t, const void* data, std::int32_t bytes,
                            std::uint32_t flags, std::int32_t* samplesWritten,
                            std::int32_t* bytesWritten) {
    setOut(samplesWritten, 0);
    setOut(bytesWritten, 0);
    if (!encoder_)
        return kAviErrBadFormat;
    const std::uint64_t needed =
        dibRowBytes(input_.width, input_.bitCount) * static_cast<std::uint64_t>(input_.height);
    // Exactly one picture of the format set: a frame of another size (a merge
    // source of different dimensions) is refused rather than misread.
    if (!data || bytes < 0 || static_cast<std::uint64_t>(bytes) != needed)
        return kAviErrBadSize;
    const std::int64_t frame = start == kAppend ? target_->start() + target_->length() : start;
    const bool key = encoder_->encode(static_cast<const std::uint8_t*>(data), input_.bitCount,
                                      wantKeyFrame(frame, flags), encoded_);
    const int rc =
        target_->appendAt(start, encoded_.data(), static_cast<std::uint32_t>(encoded_.size()), key);
    if (rc != kAviOk) {
        // The picture never reached the file: the next frame must not refer to it.
        encoder_->reset();
        lastKey_ = -1;
        return rc;
    }
    if (key)
        lastKey_ = frame;
    setOut(samplesWritten, 1);
    setOut(bytesWritten, clampToInt32(encoded_.size()));
    return kAviOk;
}

void fileInfoFromStreams(const std::vector<AviStreamInfo>& streams, AviFileInfo& info) {
    for (const AviStreamInfo& s : streams) {
        const std::uint64_t perSample = s.sampleSize ? s.sampleSize : s.suggestedBufferSize;
        if (s.scale)
            info.maxBytesPerSec += static_cast<std::uint32_t>(
                std::min<std::uint64_t>(perSample * s.rate / s.scale, 0xFFFFFFFFu));
        info.suggestedBufferSize = std::max(info.suggestedBufferSize, s.suggestedBufferSize);
        if (s.sampleSize == 0) {
            info.width = std::max<std::uint32_t>(
                info.width, static_cast<std::uint32_t>(std::max(0, s.frame.right - s.frame.left)));
            info.height = std::max<std::uint32_t>(
                info.height, static_cast<std::uint32_t>(std::max(0, s.frame.bottom - s.frame.top)));
        }
    }
    info.streams = static_cast<std::uint32_t>(streams.size());
    if (!streams.empty()) {
        // The file's time base and length are the first stream's.
        info.scale = streams.front().scale;
        info.rate = streams.front().rate;
        info.length = streams.front().length;
    }
}

}  // namespace

// ------------------------------------------------------------------ file

AviFile::~AviFile() {
    close();
}

int AviFile::close() {
    if (closed_)
        return closeStatus_;
    closed_ = true;
    if (writer_)
        closeStatus_ = writer_->close();
    return closeStatus_;
}

int aviFileOpen(AviFilePtr& file, const std::string& path, std::uint32_t mode) {
    file.reset();
    if (mode & kOpenCreate)
        return aviFileCreate(file, path, AviWriterOptions{});
    if (mode != kOpenRead)
        return kAviErrUnsupported;
    AviFilePtr f(new AviFile());
    f->path_ = path;
    f->reader_ = std::make_unique<AviReader>();
    if (int rc = f->reader_->open(path); rc != kAviOk)
        return rc;
    file = std::move(f);
    return kAviOk;
}

int aviFileCreate(AviFilePtr& file, const std::string& path, const AviWriterOptions& options) {
    file.reset();
    AviFilePtr f(new AviFile());
    f->path_ = path;
    f->writer_ = std::make_unique<AviWriter>();
    if (int rc = f->writer_->create(path, options); rc != kAviOk)
        return rc;
    file = std::move(f);
    return kAviOk;
}

int aviFileInfo(const AviFilePtr& file, AviFileInfo& info) {
    info = AviFileInfo{};
    if (!file)
        return kAviErrBadHandle;
    std::vector<AviStreamInfo> streams;
    if (AviReader* r = file->reader()) {
        for (int i = 0; i < r->streamCount(); ++i) {
            AviStreamInfo si;
            ReadStream(file, i).info(si);
            streams.push_back(std::move(si));
        }
        info.flags = r->mainFlags();
        info.caps = kFileCapsCanRead;
    } else {
        AviWriter* w = file->writer();
        for (int i = 0; i < w->streamCount(); ++i) {
            AviStreamInfo si;
            WriteStream(file, i).info(si);
            si.suggestedBufferSize = 0;
            streams.push_back(std::move(si));
        }
        info.flags = kAvifHasIndex | kAvifTrustCkType;
        info.caps = kFileCapsCanRead | kFileCapsCanWrite;
    }
    fileInfoFromStreams(streams, info);
    return kAviOk;
}

int aviFileGetStream(const AviFilePtr& file, AviStreamPtr& stream, std::uint32_t fccType,
                     std::int32_t n) {
    stream.reset();
    if (!file)
        return kAviErrBadHandle;
    if (AviReader* r = file->reader()) {
        const int index = r->findStream(fccType, n);
        if (index < 0)
            return kAviErrNoData;
        stream = std::make_shared<ReadStream>(file, index);
        return kAviOk;
    }
    AviWriter* w = file->writer();
    int seen = 0;
    for (int i = 0; i < w->streamCount(); ++i) {
        if (fccType != 0 && w->streamHeader(i).fccType != fccType)
            continue;
        if (seen++ == n) {
            stream = std::make_shared<WriteStream>(file, i);
            return kAviOk;
        }
    }
    return kAviErrNoData;
}

int aviFileCreateStream(const AviFilePtr& file, AviStreamPtr& stream, const AviStreamInfo& info) {
    stream.reset();
    if (!file)
        return kAviErrBadHandle;
    AviWriter* w = file->writer();
    if (!w)
        return kAviErrReadOnly;
    AviStreamHeader h;
    h.fccType = info.fccType;
    h.fccHandler = info.fccHandler;
    h.flags = info.flags;
    h.priority = info.priority;
    h.language = info.language;
    h.initialFrames = info.initialFrames;
    h.scale = info.scale;
    h.rate = info.rate;
    h.start = info.start;
    h.quality = info.quality;
    h.sampleSize = info.sampleSize;
    auto clamp16 = [](std::int32_t v) {
        return static_cast<std::int16_t>(std::clamp<std::int32_t>(v, -32768, 32767));
    };
    h.frameLeft = clamp16(info.frame.left);
    h.frameTop = clamp16(info.frame.top);
    h.frameRight = clamp16(info.frame.right);
    h.frameBottom = clamp16(info.frame.bottom);
    int index = -1;
    if (int rc = w->addStream(h, info.name, &index); rc != kAviOk)
        return rc;
    stream = std::make_shared<WriteStream>(file, index);
    return kAviOk;
}

int aviFileFlush(const AviFilePtr& file) {
    if (!file)
        return kAviErrBadHandle;
    if (!file->writer())
        return kAviErrReadOnly;
    return file->writer()->flush();
}

int aviFileRelease(AviFilePtr& file) {
    if (!file)
        return kAviOk;
    int status = kAviOk;
    if (file.use_count() == 1)
        status = file->close();
    file.reset();
    return status;
}

int aviMakeCompressedStream(AviStreamPtr& compressed, const AviStreamPtr& source,
                            const AviCompressOptions& options) {
    compressed.reset();
    auto target = std::dynamic_pointer_cast<WriteStream>(source);
    if (!target)
        return kAviErrBadHandle;
    AviStreamInfo info;
    target->info(info);
    if (info.fccType != kFccVids || (options.fccType != 0 && options.fccType != kFccVids)) {
        return kAviErrUnsupported;
    }
    if (!isVideo1Fourcc(options.fccHandler))
        return kAviErrNoCompressor;
    if (int rc =
            target->writer().setHandler(target->streamIndex(), options.fccHandler, options.quality);
        rc != kAviOk) {
        return rc;
    }
    compressed = std::make_shared<CompressedStream>(std::move(target), options);
    return kAviOk;
}

int aviStreamInfo(const AviStreamPtr& stream, AviStreamInfo& info) {
    info = AviStreamInfo{};
    return stream ? stream->info(info) : kAviErrBadHandle;
}

int aviStreamReadFormat(const AviStreamPtr& stream, std::vector<std::uint8_t>& format) {
    format.clear();
    return stream ? stream->format(format) : kAviErrBadHandle;
}

int aviStreamSetFormat(const AviStreamPtr& stream, std::int32_t pos, const void* format,
                       std::int32_t size) {
    return stream ? stream->setFormat(pos, format, size) : kAviErrBadHandle;
}

int aviStreamWrite(const AviStreamPtr& stream, std::int32_t start, std::int32_t samples,
                   const void* data, std::int32_t bytes, std::uint32_t flags,
                   std::int32_t* samplesWritten, std::int32_t* bytesWritten) {
    if (!stream)
        return kAviErrBadHandle;
    return stream->write(start, samples, data, bytes, flags, samplesWritten, bytesWritten);
}

int aviStreamRead(const AviStreamPtr& stream, std::int32_t start, std::int32_t samples,
                  void* buffer, std::int32_t bufferSize, std::int32_t* bytes,
                  std::int32_t* samplesRead) {
    if (!stream) {
        setOut(bytes, 0);
        setOut(samplesRead, 0);
        return kAviErrBadHandle;
    }
    return stream->read(start, samples, buffer, bufferSize, bytes, samplesRead);
}

std::int32_t aviStreamStart(const AviStreamPtr& stream) {
    return stream ? stream->start() : 0;
}
std::int32_t aviStreamLength(const AviStreamPtr& stream) {
    return stream ? stream->length() : 0;
}

int aviStreamRelease(AviStreamPtr& stream) {
    stream.reset();
    return kAviOk;
}

std::unique_ptr<AviGetFrame> aviStreamGetFrameOpen(const AviStreamPtr& stream,
                                                   const BitmapInfoHeader* wanted) {
    return AviGetFrame::open(stream, wanted);
}

const std::uint8_t* aviStreamGetFrame(AviGetFrame* getFrame, std::int32_t pos) {
    return getFrame ? getFrame->frame(pos) : nullptr;
}

void aviStreamGetFrameClose(std::unique_ptr<AviGetFrame>& getFrame) {
    getFrame.reset();
}

}  // namespace media
