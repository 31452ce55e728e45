#include "media/avi_writer.h"

#include <algorithm>
#include <cstring>

namespace media {
namespace {

// The movi data starts on a multiple of this, as the AVIFile writer does.
constexpr std::uint64_t kHeaderAlignment = 2048;
constexpr std::size_t kDmlhBytes = 248;
// idx1 is written in slices of this many entries to bound the scratch buffer.
constexpr std::size_t kIdx1Slice = 4096;
// Leaves room for the headers and at least one frame in every segment.
constexpr std::uint64_t kMinSegmentLimit = 256 * 1024;

std::uint32_t scaled(std::uint64_t bytes, std::uint32_t rate, std::uint32_t scale) {
    if (scale == 0)
        return 0;
    const std::uint64_t v = bytes * rate / scale;
    return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v);
}

class HeaderBuilder {
  public:
    explicit HeaderBuilder(std::vector<std::uint8_t>& out) : out_(out) {}
    std::size_t pos() const { return out_.size(); }
    void u16(std::uint16_t v) { put16(grow(2), v); }
    void u32(std::uint32_t v) { put32(grow(4), v); }
    void u64(std::uint64_t v) { put64(grow(8), v); }
    void bytes(const void* p, std::size_t n) {
        if (n)
            std::memcpy(grow(n), p, n);
    }
    void zeros(std::size_t n) { std::memset(grow(n), 0, n); }
    // Starts a chunk and returns the position of its size field.
    std::size_t beginChunk(std::uint32_t id) {
        u32(id);
        const std::size_t sizePos = pos();
        u32(0);
        return sizePos;
    }
    std::size_t beginList(std::uint32_t type) {
        const std::size_t sizePos = beginChunk(kFccList);
        u32(type);
        return sizePos;
    }
    void endChunk(std::size_t sizePos) {
        const std::size_t size = pos() - sizePos - 4;
        put32(out_.data() + sizePos, static_cast<std::uint32_t>(size));
        zeros(static_cast<std::size_t>(paddedChunkSize(size) - size));
    }

  private:
    std::uint8_t* grow(std::size_t n) {
        const std::size_t at = out_.size();
        out_.resize(at + n);
        return out_.data() + at;
    }
    std::vector<std::uint8_t>& out_;
};

}  // namespace

AviWriter::~AviWriter() {
    close();
}

int AviWriter::create(const std::string& path, const AviWriterOptions& options) {
    close();
    options_ = options;
    options_.segmentLimit =
        std::clamp<std::uint64_t>(options.segmentLimit, kMinSegmentLimit, kMaxSegmentLimit);
    if (options_.superIndexEntries == 0)
        options_.superIndexEntries = 1;
    streams_.clear();
    segments_.clear();
    idx1_.clear();
    end_ = 0;
    headerWritten_ = false;
    rollbackFloor_ = 0;
    if (!file_.open(path, BinaryFile::Mode::CreateWrite))
        return kAviErrFileOpen;
    return kAviOk;
}

bool AviWriter::validStream(int stream) const {
    return stream >= 0 && stream < static_cast<int>(streams_.size());
}

const AviStreamHeader& AviWriter::streamHeader(int stream) const {
    return streams_.at(static_cast<std::size_t>(stream)).header;
}
const std::vector<std::uint8_t>& AviWriter::streamFormat(int stream) const {
    return streams_.at(static_cast<std::size_t>(stream)).format;
}
const std::string& AviWriter::streamName(int stream) const {
    return streams_.at(static_cast<std::size_t>(stream)).name;
}
std::uint32_t AviWriter::chunkCount(int stream) const {
    return validStream(stream) ? streams_[static_cast<std::size_t>(stream)].chunks : 0;
}
std::uint64_t AviWriter::byteCount(int stream) const {
    return validStream(stream) ? streams_[static_cast<std::size_t>(stream)].bytes : 0;
}
std::uint32_t AviWriter::streamLength(int stream) const {
    return validStream(stream) ? lengthOf(streams_[static_cast<std::size_t>(stream)]) : 0;
}
std::uint32_t AviWriter::suggestedBufferSize(int stream) const {
    return validStream(stream) ? suggestedOf(streams_[static_cast<std::size_t>(stream)]) : 0;
}

std::uint32_t AviWriter::suggestedOf(const Stream& s) const {
    return std::max(s.header.suggestedBufferSize, s.largestChunk);
}

int AviWriter::addStream(const AviStreamHeader& header, const std::string& name, int* index) {
    if (!file_.isOpen())
        return kAviErrBadHandle;
    if (headerWritten_)
        return kAviErrUnsupported;
    if (header.fccType == 0 || header.scale == 0 || header.rate == 0)
        return kAviErrBadFormat;
    if (streams_.size() >= static_cast<std::size_t>(kMaxStreams))
        return kAviErrUnsupported;
    Stream s;
    s.header = header;
    s.header.length = 0;
    // Names longer than a Windows stream name are cut (the reader's limit too).
    s.name = name.substr(0, 255);
    streams_.push_back(std::move(s));
    if (index)
        *index = static_cast<int>(streams_.size()) - 1;
    return kAviOk;
}

int AviWriter::setFormat(int stream, const void* format, std::size_t size) {
    if (!file_.isOpen() || !validStream(stream))
        return kAviErrBadHandle;
    if (!format || size == 0 || size > (1u << 20))
        return kAviErrBadParam;
    Stream& s = streams_[static_cast<std::size_t>(stream)];
    const auto* bytes = static_cast<const std::uint8_t*>(format);
    if (headerWritten_) {
        const bool same = s.format.size() == size && std::memcmp(s.format.data(), bytes, size) == 0;
        return same ? kAviOk : kAviErrUnsupported;
    }
    if (s.header.fccType == kFccVids) {
        if (size < kBitmapInfoHeaderBytes)
            return kAviErrBadFormat;
        const BitmapInfoHeader bih = loadBitmapInfoHeader(bytes);
        if (bih.width <= 0 || bih.width > 32767 || bih.height == 0 || bih.height > 32767 ||
            bih.height < -32767) {
            return kAviErrBadFormat;
        }
        const auto h = static_cast<std::int16_t>(bih.height < 0 ? -bih.height : bih.height);
        s.header.frameRight =
            std::max<std::int16_t>(s.header.frameRight, static_cast<std::int16_t>(bih.width));
        s.header.frameBottom = std::max<std::int16_t>(s.header.frameBottom, h);
    } else if (s.header.fccType == kFccAuds) {
        if (size < kPcmWaveFormatBytes)
            return kAviErrBadFormat;
        const WaveFormatEx w = loadWaveFormat(bytes, size);
        if (w.blockAlign == 0)
            return kAviErrBadFormat;
        s.header.sampleSize = w.blockAlign;
    }
    s.format.assign(bytes, bytes + size);
    return kAviOk;
}

int AviWriter::setHandler(int stream, std::uint32_t fccHandler, std::uint32_t quality) {
    if (!file_.isOpen() || !validStream(stream))
        return kAviErrBadHandle;
    AviStreamHeader& h = streams_[static_cast<std::size_t>(stream)].header;
    if (headerWritten_) {
        return h.fccHandler == fccHandler && h.quality == quality ? kAviOk : kAviErrUnsupported;
    }
    h.fccHandler = fccHandler;
    h.quality = quality;
    return kAviOk;
}

std::uint32_t AviWriter::indexChunkId(int stream) const {
    const auto type = streams_[static_cast<std::size_t>(stream)].header.fccType;
    return streamChunkId(stream, type == kFccAuds ? 'w' : 'd', type == kFccAuds ? 'b' : 'c');
}

std::uint32_t AviWriter::dataChunkId(int stream, bool key, std::uint32_t size) const {
    const auto type = streams_[static_cast<std::size_t>(stream)].header.fccType;
    if (type == kFccAuds)
        return streamChunkId(stream, 'w', 'b');
    // The AVIFile writer's TRUSTCKTYPE convention: "db" marks a non-empty key
    // frame, "dc" anything else; readers that ignore the letters lose nothing.
    return streamChunkId(stream, 'd', key && size > 0 ? 'b' : 'c');
}

std::uint32_t AviWriter::durationOf(const Stream& s, std::uint32_t size) const {
    return s.header.sampleSize ? size / s.header.sampleSize : 1;
}

std::uint32_t AviWriter::lengthOf(const Stream& s) const {
    if (s.header.sampleSize == 0)
        return s.chunks;
    const std::uint64_t samples = s.bytes / s.header.sampleSize;
    return samples > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(samples);
}

int AviWriter::firstVideoStream() const {
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        if (streams_[i].header.fccType == kFccVids)
            return static_cast<int>(i);
    }
    return -1;
}

void AviWriter::buildHeader(std::vector<std::uint8_t>& out) const {
    out.clear();
    HeaderBuilder b(out);
    b.u32(kFccRiff);
    b.u32(0);  // patched below
    b.u32(kFccAvi);

    const std::size_t hdrl = b.beginList(kFccHdrl);
    const int video = firstVideoStream();
    const Stream* vs = video >= 0 ? &streams_[static_cast<std::size_t>(video)] : nullptr;
    std::uint32_t maxBytesPerSec = 0;
    std::uint32_t suggested = 0;
    for (const Stream& s : streams_) {
        const std::uint64_t perSample = s.header.sampleSize ? s.header.sampleSize : s.largestChunk;
        maxBytesPerSec += scaled(perSample, s.header.rate, s.header.scale);
        suggested = std::max(suggested, suggestedOf(s));
    }
    const std::size_t avih = b.beginChunk(kFccAvih);
    b.u32(vs ? scaled(1000000, vs->header.scale, vs->header.rate) : 0);
    b.u32(maxBytesPerSec);
    b.u32(static_cast<std::uint32_t>(kHeaderAlignment));
    b.u32(kAvifHasIndex | kAvifTrustCkType);
    b.u32(vs ? (segments_.size() > 1 ? vs->firstSegmentChunks : vs->chunks) : 0);
    b.u32(0);
    b.u32(static_cast<std::uint32_t>(streams_.size()));
    b.u32(suggested);
    b.u32(vs ? static_cast<std::uint32_t>(std::max<std::int16_t>(vs->header.frameRight, 0)) : 0);
    b.u32(vs ? static_cast<std::uint32_t>(std::max<std::int16_t>(vs->header.frameBottom, 0)) : 0);
    b.zeros(16);
    b.endChunk(avih);

    for (std::size_t i = 0; i < streams_.size(); ++i) {
        const Stream& s = streams_[i];
        const std::size_t strl = b.beginList(kFccStrl);
        AviStreamHeader h = s.header;
        h.length = lengthOf(s);
        h.suggestedBufferSize = suggestedOf(s);
        const std::size_t strh = b.beginChunk(kFccStrh);
        std::uint8_t raw[kStreamHeaderBytes];
        storeStreamHeader(h, raw);
        b.bytes(raw, sizeof raw);
        b.endChunk(strh);
        const std::size_t strf = b.beginChunk(kFccStrf);
        b.bytes(s.format.data(), s.format.size());
        b.endChunk(strf);
        if (!s.name.empty()) {
            const std::size_t strn = b.beginChunk(kFccStrn);
            b.bytes(s.name.c_str(), s.name.size() + 1);
            b.endChunk(strn);
        }
        const std::size_t indx = b.beginChunk(kFccIndx);
        b.u16(kSuperIndexLongsPerEntry);
        out.push_back(0);  // sub type
        out.push_back(kIndexOfIndexes);
        b.u32(static_cast<std::uint32_t>(s.superIndex.size()));
        b.u32(indexChunkId(static_cast<int>(i)));
        b.zeros(12);
        for (const SuperEntry& e : s.superIndex) {
            b.u64(e.offset);
            b.u32(e.size);
            b.u32(e.duration);
        }
        b.zeros(kSuperIndexEntryBytes * (options_.superIndexEntries - s.superIndex.size()));
        b.endChunk(indx);
        b.endChunk(strl);
    }

    const std::size_t odml = b.beginList(kFccOdml);
    const std::size_t dmlh = b.beginChunk(kFccDmlh);
    b.u32(vs ? vs->chunks : 0);
    b.zeros(kDmlhBytes - 4);
    b.endChunk(dmlh);
    b.endChunk(odml);
    b.endChunk(hdrl);

    // JUNK so that the first movi chunk starts on a 2048-byte boundary.
    const std::uint64_t firstChunk = b.pos() + 12;
    std::uint64_t gap = (kHeaderAlignment - firstChunk % kHeaderAlignment) % kHeaderAlignment;
    if (gap > 0 && gap < 8)
        gap += kHeaderAlignment;
    if (gap > 0) {
        b.u32(kFccJunk);
        b.u32(static_cast<std::uint32_t>(gap - 8));
        b.zeros(static_cast<std::size_t>(gap - 8));
    }
    b.u32(kFccList);
    b.u32(4);  // patched below
    b.u32(kFccMovi);

    // Sizes of the first segment as far as it is written.
    const std::uint64_t moviListPos = out.size() - 12;
    std::uint64_t riffEnd = out.size();
    std::uint64_t moviEnd = out.size();
    if (!segments_.empty()) {
        const Segment& first = segments_.front();
        riffEnd = first.riffEnd ? first.riffEnd : end_;
        moviEnd = first.moviEnd ? first.moviEnd : end_;
    }
    put32(out.data() + 4, static_cast<std::uint32_t>(riffEnd - 8));
    put32(out.data() + moviListPos + 4, static_cast<std::uint32_t>(moviEnd - moviListPos - 8));
}

int AviWriter::append(const void* data, std::size_t size) {
    if (!file_.writeAt(end_, data, size))
        return kAviErrFileWrite;
    end_ += size;
    return kAviOk;
}

int AviWriter::cutBack(std::uint64_t end, int status) {
    // Whatever part of the failed write landed goes again, so the file ends
    // with a whole chunk; the file's own end may lie past end_ once cut.
    landedBeforeCut_ = file_.size() > end ? file_.size() - end : 0;
    end_ = end;
    file_.truncate(end);
    return status;
}

int AviWriter::appendOrCutBack(const void* data, std::size_t size) {
    const std::uint64_t start = end_;
    if (int rc = append(data, size); rc != kAviOk)
        return cutBack(start, rc);
    return kAviOk;
}

int AviWriter::writeHeader() {
    if (!headerWritten_) {
        // The layout is fixed from here on: the header block never changes size.
        buildHeader(header_);
        Segment first;
        first.riffPos = 0;
        first.moviListPos = header_.size() - 12;
        segments_.push_back(first);
        end_ = header_.size();
        headerWritten_ = true;
    }
    buildHeader(header_);
    if (!file_.writeAt(0, header_.data(), header_.size()))
        return kAviErrFileWrite;
    return kAviOk;
}

int AviWriter::writeSegmentHeader(const Segment& seg) {
    const std::uint64_t end = seg.riffEnd ? seg.riffEnd : end_;
    const std::uint64_t moviEnd = seg.moviEnd ? seg.moviEnd : end_;
    std::uint8_t h[24];
    put32(h, kFccRiff);
    put32(h + 4, static_cast<std::uint32_t>(end - seg.riffPos - 8));
    put32(h + 8, kFccAvix);
    put32(h + 12, kFccList);
    put32(h + 16, static_cast<std::uint32_t>(moviEnd - seg.moviListPos - 8));
    put32(h + 20, kFccMovi);
    if (!file_.writeAt(seg.riffPos, h, sizeof h))
        return kAviErrFileWrite;
    return kAviOk;
}

int AviWriter::persistWindow(int stream) {
    Stream& s = streams_[static_cast<std::size_t>(stream)];
    if (s.window.size() == s.windowPersisted)
        return kAviOk;
    const Segment& seg = segments_.back();
    const std::size_t n = s.window.size();
    const auto chunkBytes = static_cast<std::size_t>(stdIndexChunkBytes(n));
    scratch_.resize(chunkBytes);
    std::uint8_t* p = scratch_.data();
    put32(p, stdIndexChunkId(stream));
    put32(p + 4, static_cast<std::uint32_t>(chunkBytes - kChunkHeaderBytes));
    put16(p + 8, kStdIndexLongsPerEntry);
    p[10] = 0;  // sub type
    p[11] = kIndexOfChunks;
    put32(p + 12, static_cast<std::uint32_t>(n));
    put32(p + 16, indexChunkId(stream));
    put64(p + 20, seg.base());
    put32(p + 28, 0);
    std::uint8_t* entry = p + kChunkHeaderBytes + kStdIndexHeaderBytes;
    for (std::size_t i = 0; i < n; ++i, entry += kStdIndexEntryBytes) {
        put32(entry, s.window[i].offset);
        put32(entry + 4, s.window[i].sizeAndFlag);
    }
    const std::uint64_t at = end_;
    if (int rc = appendOrCutBack(scratch_.data(), scratch_.size()); rc != kAviOk)
        return rc;
    const SuperEntry super{at, static_cast<std::uint32_t>(chunkBytes), s.windowDuration};
    if (s.windowSlot < 0) {
        s.windowSlot = static_cast<int>(s.superIndex.size());
        s.superIndex.push_back(super);
    } else {
        s.superIndex[static_cast<std::size_t>(s.windowSlot)] = super;
    }
    s.windowPersisted = n;
    return kAviOk;
}

int AviWriter::closeWindow(int stream) {
    if (int rc = persistWindow(stream); rc != kAviOk)
        return rc;
    Stream& s = streams_[static_cast<std::size_t>(stream)];
    s.window.clear();
    s.windowPersisted = 0;
    s.windowDuration = 0;
    s.windowSlot = -1;
    // The closed window's chunks are indexed for good: a later rollback
    // must not cut into them.
    rollbackFloor_ = end_;
    return kAviOk;
}

int AviWriter::writeIdx1() {
    const std::uint64_t start = end_;
    if (int rc = appendIdx1(); rc != kAviOk)
        return cutBack(start, rc);
    return kAviOk;
}

int AviWriter::appendIdx1() {
    const std::uint32_t size = static_cast<std::uint32_t>(kIdx1EntryBytes * idx1_.size());
    std::uint8_t head[8];
    put32(head, kFccIdx1);
    put32(head + 4, size);
    if (int rc = append(head, sizeof head); rc != kAviOk)
        return rc;
    for (std::size_t from = 0; from < idx1_.size(); from += kIdx1Slice) {
        const std::size_t count = std::min(kIdx1Slice, idx1_.size() - from);
        scratch_.resize(count * kIdx1EntryBytes);
        for (std::size_t i = 0; i < count; ++i) {
            const Idx1Entry& e = idx1_[from + i];
            std::uint8_t* p = scratch_.data() + i * kIdx1EntryBytes;
            put32(p, e.chunkId);
            put32(p + 4, e.flags);
            put32(p + 8, e.offset);
            put32(p + 12, e.size);
        }
        if (int rc = append(scratch_.data(), scratch_.size()); rc != kAviOk)
            return rc;
    }
    return kAviOk;
}

std::uint64_t AviWriter::pendingIndexBytes(int addingStream) const {
    std::uint64_t bytes = 0;
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        const std::size_t entries =
            streams_[i].window.size() + (static_cast<int>(i) == addingStream ? 1 : 0);
        if (entries)
            bytes += stdIndexChunkBytes(entries);
    }
    if (segments_.size() == 1)
        bytes += idx1ChunkBytes(idx1_.size() + 1);
    return bytes;
}

int AviWriter::startSegment() {
    for (int i = 0; i < streamCount(); ++i) {
        if (int rc = closeWindow(i); rc != kAviOk)
            return rc;
    }
    Segment& current = segments_.back();
    current.moviEnd = end_;
    if (segments_.size() == 1) {
        for (Stream& s : streams_)
            s.firstSegmentChunks = s.chunks;
        if (int rc = writeIdx1(); rc != kAviOk)
            return rc;
        idx1_.clear();
        idx1_.shrink_to_fit();
        current.riffEnd = end_;
        if (int rc = writeHeader(); rc != kAviOk)
            return rc;
    } else {
        current.riffEnd = end_;
        if (int rc = writeSegmentHeader(current); rc != kAviOk)
            return rc;
    }
    rollbackFloor_ = end_;
    Segment next;
    next.riffPos = end_;
    next.moviListPos = end_ + 12;
    segments_.push_back(next);
    std::uint8_t h[24] = {};
    if (int rc = append(h, sizeof h); rc != kAviOk)
        return rc;
    return writeSegmentHeader(segments_.back());
}

int AviWriter::writeChunk(int stream, const void* data, std::uint32_t size, bool key) {
    if (!file_.isOpen() || !validStream(stream))
        return kAviErrBadHandle;
    if (size > kMaxChunkBytes)
        return kAviErrBadSize;
    if (size > 0 && !data)
        return kAviErrBadParam;
    if (!headerWritten_) {
        if (int rc = writeHeader(); rc != kAviOk)
            return rc;
    }
    Stream& s = streams_[static_cast<std::size_t>(stream)];
    if (s.header.fccType == kFccAuds)
        key = true;
    if (size == 0)
        key = false;

    if (s.window.size() >= kStdIndexEntries) {
        if (int rc = closeWindow(stream); rc != kAviOk)
            return rc;
    }
    const std::uint64_t chunkBytes = nextChunkPos(0, size);
    const Segment& seg = segments_.back();
    if (seg.chunks > 0 &&
        end_ + chunkBytes + pendingIndexBytes(stream) - seg.riffPos > options_.segmentLimit) {
        if (int rc = startSegment(); rc != kAviOk)
            return rc;
    }
    if (s.window.empty() && s.superIndex.size() >= options_.superIndexEntries) {
        // Every window needs a super index slot; the reserved header is full.
        return kAviErrUnsupported;
    }

    Segment& cur = segments_.back();
    const std::uint64_t chunkPos = end_;
    const std::uint32_t id = dataChunkId(stream, key, size);
    if (int rc = appendChunk(id, data, size); rc != kAviOk)
        return cutBack(chunkPos, rc);

    if (segments_.size() == 1) {
        idx1_.push_back({id, key ? kAviifKeyFrame : 0u,
                         static_cast<std::uint32_t>(chunkPos - cur.base()), size});
    }
    s.window.push_back({static_cast<std::uint32_t>(chunkPos + 8 - cur.base()),
                        size | (key ? 0u : kOdmlDeltaFrameBit)});
    s.windowDuration += durationOf(s, size);
    s.chunks += 1;
    s.bytes += size;
    s.largestChunk = std::max(s.largestChunk, size);
    cur.chunks += 1;
    return kAviOk;
}

int AviWriter::appendChunk(std::uint32_t id, const void* data, std::uint32_t size) {
    std::uint8_t head[8];
    put32(head, id);
    put32(head + 4, size);
    if (int rc = append(head, sizeof head); rc != kAviOk)
        return rc;
    if (int rc = append(data, size); rc != kAviOk)
        return rc;
    if (paddedChunkSize(size) == size)
        return kAviOk;
    const std::uint8_t pad = 0;
    return append(&pad, 1);
}

int AviWriter::flush() {
    if (!file_.isOpen())
        return kAviErrBadHandle;
    if (!headerWritten_) {
        if (int rc = writeHeader(); rc != kAviOk)
            return rc;
    }
    for (int i = 0; i < streamCount(); ++i) {
        if (int rc = persistWindow(i); rc != kAviOk)
            return rc;
    }
    if (segments_.size() > 1) {
        if (int rc = writeSegmentHeader(segments_.back()); rc != kAviOk)
            return rc;
    }
    if (int rc = writeHeader(); rc != kAviOk)
        return rc;
    if (!file_.flush())
        return kAviErrFileWrite;
    return kAviOk;
}

int AviWriter::complete(bool withIdx1) {
    if (!headerWritten_) {
        if (int rc = writeHeader(); rc != kAviOk)
            return rc;
    }
    // Kept whole, so a completion that does not fit leaves the indexes as
    // the last flush wrote them.
    const std::vector<Stream> streamsBefore = streams_;
    const Segment lastBefore = segments_.back();
    const std::uint64_t start = end_;
    auto undo = [&](int status) {
        streams_ = streamsBefore;
        segments_.back() = lastBefore;
        return cutBack(start, status);
    };
    for (int i = 0; i < streamCount(); ++i) {
        if (int rc = persistWindow(i); rc != kAviOk)
            return undo(rc);
    }
    Segment& last = segments_.back();
    last.moviEnd = end_;
    if (segments_.size() == 1) {
        for (Stream& s : streams_)
            s.firstSegmentChunks = s.chunks;
        if (withIdx1) {
            if (int rc = writeIdx1(); rc != kAviOk)
                return undo(rc);
        }
        last.riffEnd = end_;
    } else {
        last.riffEnd = end_;
        if (int rc = writeSegmentHeader(last); rc != kAviOk)
            return undo(rc);
    }
    if (int rc = writeHeader(); rc != kAviOk)
        return undo(rc);
    return kAviOk;
}

std::uint64_t AviWriter::completionBytes() const {
    std::uint64_t bytes = 0;
    for (const Stream& s : streams_) {
        if (!s.window.empty())
            bytes += stdIndexChunkBytes(s.window.size());
    }
    if (segments_.size() == 1)
        bytes += idx1ChunkBytes(idx1_.size());
    return bytes;
}

bool AviWriter::dropLastChunk() {
    // The last chunk in the file is the newest entry of some open window.
    Stream* newest = nullptr;
    for (Stream& s : streams_) {
        if (!s.window.empty() && (!newest || s.window.back().offset > newest->window.back().offset))
            newest = &s;
    }
    if (!newest)
        return false;
    Segment& seg = segments_.back();
    const StdEntry entry = newest->window.back();
    const std::uint64_t chunkPos = seg.base() + entry.offset - kChunkHeaderBytes;
    if (chunkPos < rollbackFloor_)
        return false;
    const std::uint32_t size = entry.sizeAndFlag & ~kOdmlDeltaFrameBit;
    newest->window.pop_back();
    newest->windowDuration -= durationOf(*newest, size);
    newest->windowPersisted = 0;
    newest->chunks -= 1;
    newest->bytes -= size;
    seg.chunks -= 1;
    if (segments_.size() == 1 && !idx1_.empty())
        idx1_.pop_back();
    cutBack(chunkPos, kAviOk);
    return true;
}

int AviWriter::completeInRoomLeft() {
    // Filesystems hand out space in blocks: a cut that frees a few bytes less
    // than a block may free nothing.
    constexpr std::uint64_t kBlockSlack = 4096;
    for (;;) {
        const std::uint64_t needed = completionBytes();
        const int status = complete(true);
        if (status != kAviErrFileWrite)
            return status;
        const std::uint64_t landed = landedBeforeCut_;
        // The OpenDML indexes alone find every chunk: with the windows that
        // the last flush wrote, they need no room at all.
        if (complete(false) == kAviOk)
            return kAviOk;
        // What landed of the completion before the drive was full shows how
        // much more room it needs; the newest chunks make way for it.
        const std::uint64_t shortfall = (needed > landed ? needed - landed : 0) + kBlockSlack;
        std::uint64_t freed = 0;
        while (freed < shortfall) {
            const std::uint64_t before = end_;
            if (!dropLastChunk())
                return status;
            freed += before - end_;
        }
    }
}

int AviWriter::close() {
    if (!file_.isOpen())
        return kAviOk;
    // A full drive leaves the file complete: the newest chunks give way to
    // the indexes when there is no other room.
    int status = completeInRoomLeft();
    if (!file_.close() && status == kAviOk)
        status = kAviErrFileWrite;
    idx1_.clear();
    idx1_.shrink_to_fit();
    return status;
}

bool AviWriter::fileIsGone() const {
    return file_.isUnlinked();
}

}  // namespace media
