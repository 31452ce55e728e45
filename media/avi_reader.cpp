#include "media/avi_reader.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace media {
namespace {

// Read-ahead for chunk headers and header lists: one page, so that walking the
// headers of large chunks reads little more than the headers.
constexpr std::size_t kCacheBytes = 4096;
// Reads up to this size are served from the read-ahead cache.
constexpr std::size_t kCachedReadLimit = 64;
// Format blocks beyond this are not formats we can use (a BITMAPINFO with a
// full palette is 1064 bytes).
constexpr std::uint32_t kMaxFormatBytes = 1u << 20;
// Stream names are cut here (a Windows stream name holds 64 characters).
constexpr std::uint32_t kMaxNameBytes = 256;

bool isPrintableFourcc(std::uint32_t id) {
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<unsigned char>(id >> (8 * i));
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return true;
}

bool isLowerLetter(unsigned c) {
    return c >= 'a' && c <= 'z';
}

}  // namespace

const char* aviIndexKindName(AviIndexKind kind) {
    switch (kind) {
        case AviIndexKind::None:
            return "none";
        case AviIndexKind::Idx1:
            return "idx1";
        case AviIndexKind::OpenDml:
            return "OpenDML";
        case AviIndexKind::Scan:
            return "scan";
    }
    return "none";
}

std::uint32_t AviReaderStream::sampleSize() const {
    if (isVideo())
        return 0;
    if (isAudio() && hasWaveFormat()) {
        const std::uint16_t align = le16(format.data() + 12);
        if (align > 0)
            return align;
    }
    return header.sampleSize;
}

std::uint32_t AviReaderStream::length() const {
    const std::uint32_t ss = sampleSize();
    const std::uint64_t n = ss ? totalBytes / ss : chunks.size();
    return n > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(n);
}

int AviReader::findStream(std::uint32_t fccType, int n) const {
    if (n < 0)
        return -1;
    int seen = 0;
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        if (fccType != 0 && streams_[i].header.fccType != fccType)
            continue;
        if (seen++ == n)
            return static_cast<int>(i);
    }
    return -1;
}

void AviReader::problem(std::string text) {
    // A hostile file could repeat the same fault endlessly; a few lines tell it.
    constexpr std::size_t kMaxProblems = 32;
    if (problems_.size() < kMaxProblems)
        problems_.push_back(std::move(text));
}

bool AviReader::read(std::uint64_t pos, void* out, std::size_t bytes) {
    if (bytes > fileSize_ || pos > fileSize_ - bytes)
        return false;
    if (bytes == 0)
        return true;
    if (bytes > kCachedReadLimit)
        return file_.readAt(pos, out, bytes);
    if (pos < cachePos_ || pos + bytes > cachePos_ + cache_.size()) {
        const std::size_t fill =
            static_cast<std::size_t>(std::min<std::uint64_t>(kCacheBytes, fileSize_ - pos));
        cache_.resize(fill);
        if (!file_.readAt(pos, cache_.data(), fill)) {
            cache_.clear();
            return false;
        }
        cachePos_ = pos;
    }
    std::memcpy(out, cache_.data() + (pos - cachePos_), bytes);
    return true;
}

bool AviReader::readChunkHeader(std::uint64_t pos, std::uint64_t end, std::uint32_t& id,
                                std::uint32_t& size) {
    if (end < 8 || pos > end - 8)
        return false;
    std::uint8_t h[8];
    if (!read(pos, h, sizeof h))
        return false;
    id = le32(h);
    size = le32(h + 4);
    return true;
}

int AviReader::open(const std::string& path) {
    // One file per reader: its state is built once.
    if (file_.isOpen() || !streams_.empty())
        return kAviErrInternal;
    if (!file_.open(path, BinaryFile::Mode::Read))
        return kAviErrFileOpen;
    fileSize_ = file_.size();
    std::uint8_t head[12];
    if (!read(0, head, sizeof head) || le32(head) != kFccRiff || le32(head + 8) != kFccAvi) {
        problem("not an AVI file (no RIFF 'AVI ' header)");
        return kAviErrBadFormat;
    }
    const int firstEnd = parseRiff(0, true);
    if (firstEnd < 0)
        return kAviErrBadFormat;
    if (!hasHdrl_ || !hasAvih_ || streams_.empty()) {
        problem("no complete header list (hdrl/avih/strl)");
        return kAviErrBadFormat;
    }
    if (!segments_.front().hasMovi) {
        problem("no movi list");
        return kAviErrBadFormat;
    }

    if (loadOdml() && totalEntries_ > 0) {
        indexKind_ = AviIndexKind::OpenDml;
    } else {
        clearChunks();
        if (hasIdx1_ && loadIdx1()) {
            indexKind_ = AviIndexKind::Idx1;
            // idx1 covers the first RIFF only.
            for (std::size_t i = 1; i < segments_.size(); ++i) {
                if (segments_[i].hasMovi) {
                    scanRange(segments_[i].moviFourcc + 4, segments_[i].moviEnd, false);
                }
            }
        } else {
            clearChunks();
            indexKind_ = AviIndexKind::Scan;
            problem(hasIdx1_ ? "index damaged: recovered by scanning"
                             : "no index: recovered by scanning");
            for (const Segment& seg : segments_) {
                if (seg.hasMovi)
                    scanRange(seg.moviFourcc + 4, seg.moviEnd, false);
            }
        }
    }

    // A file whose RIFF structure does not end where the file ends, or whose
    // index lost entries, was cut short or never closed: look for chunks past
    // what each stream's index covers.
    if (suspectIncomplete_)
        recoverTail();
    finishStreams();
    return kAviOk;
}

void AviReader::recoverTail() {
    std::vector<std::uint64_t> lastIndexed(streams_.size(), 0);
    std::uint64_t start = fileSize_;
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        std::uint64_t end = 0;
        for (const AviChunkRef& c : streams_[i].chunks) {
            lastIndexed[i] = std::max(lastIndexed[i], c.dataPos);
            end = std::max(end, c.dataPos + paddedChunkSize(c.size));
        }
        // A stream without indexed chunks may have lost its whole index.
        start = std::min(start, end ? end : segments_.front().moviFourcc + 4);
    }
    tailFloor_ = std::move(lastIndexed);
    scanRange(start, fileSize_, true);
    tailFloor_.clear();
    if (recoveredChunks_ > 0) {
        problem(std::to_string(recoveredChunks_) +
                " chunks past the index recovered by scanning (file not closed?)");
    }
}

int AviReader::parseRiff(std::uint64_t riffPos, bool first) {
    std::uint64_t pos = riffPos;
    std::uint64_t end = fileSize_;
    for (;;) {
        std::uint32_t id = 0, size = 0;
        if (!readChunkHeader(pos, fileSize_, id, size) || id != kFccRiff)
            break;
        std::uint8_t type[4];
        if (!read(pos + 8, type, 4))
            break;
        if (le32(type) != (first && pos == 0 ? kFccAvi : kFccAvix))
            break;
        Segment seg;
        end = fileSize_;
        if (size != 0 && size <= fileSize_ - pos - 8) {
            end = pos + 8 + size;
        } else if (size != 0) {
            problem("RIFF size runs past the end of the file (file cut short?)");
            suspectIncomplete_ = true;
        }
        seg.riffEnd = end;
        std::uint64_t at = pos + 12;
        std::uint32_t cid = 0, csize = 0;
        while (readChunkHeader(at, end, cid, csize)) {
            const std::uint64_t bodyEnd = at + 8 + std::uint64_t{csize};
            if (cid == kFccList && csize >= 4) {
                std::uint8_t lt[4];
                if (!read(at + 8, lt, 4))
                    break;
                const std::uint32_t listType = le32(lt);
                if (listType == kFccHdrl && pos == 0 && !hasHdrl_) {
                    hasHdrl_ = true;
                    parseHdrl(at + 12, std::min(bodyEnd, end));
                } else if (listType == kFccMovi && !seg.hasMovi) {
                    seg.hasMovi = true;
                    seg.moviFourcc = at + 8;
                    seg.moviEnd = csize == 0 || bodyEnd > end ? end : bodyEnd;
                    if (bodyEnd > end) {
                        problem("movi list runs past the end of its RIFF");
                        suspectIncomplete_ = true;
                    }
                }
            } else if (cid == kFccIdx1 && pos == 0 && !hasIdx1_) {
                hasIdx1_ = true;
                idx1Pos_ = at + 8;
                idx1Size_ =
                    static_cast<std::uint32_t>(std::min<std::uint64_t>(csize, end - at - 8));
            }
            const std::uint64_t next = nextChunkPos(at, csize);
            if (next > end)
                break;
            at = next;
        }
        segments_.push_back(seg);
        if (first && pos == 0 && !hasHdrl_)
            return -1;
        pos = paddedChunkSize(end);
        first = false;
        if (pos <= riffPos)
            break;
    }
    // Bytes after the last RIFF: chunks appended after the last flush.
    if (pos < fileSize_ && fileSize_ - pos >= 8)
        suspectIncomplete_ = true;
    return static_cast<int>(segments_.size());
}

void AviReader::parseHdrl(std::uint64_t pos, std::uint64_t end) {
    std::uint32_t id = 0, size = 0;
    while (readChunkHeader(pos, end, id, size)) {
        const std::uint64_t body = pos + 8;
        const std::uint64_t bodyEnd = body + size;
        if (bodyEnd > end) {
            problem("header list cut short");
            // Still use a complete avih/strh prefix below where possible.
        }
        const std::uint64_t avail = std::min(bodyEnd, end) - body;
        if (id == kFccAvih && !hasAvih_) {
            std::uint8_t h[kMainHeaderBytes] = {};
            if (avail >= 40 &&
                read(body, h,
                     static_cast<std::size_t>(std::min<std::uint64_t>(avail, kMainHeaderBytes)))) {
                hasAvih_ = true;
                microSecPerFrame_ = le32(h);
                mainFlags_ = le32(h + 12);
                mainTotalFrames_ = le32(h + 16);
            }
        } else if (id == kFccList && avail >= 4) {
            std::uint8_t lt[4];
            if (!read(body, lt, 4))
                return;
            if (le32(lt) == kFccStrl)
                parseStrl(body + 4, body + avail);
            if (le32(lt) == kFccOdml)
                parseOdml(body + 4, body + avail);
        }
        if (bodyEnd > end)
            return;
        pos = body + paddedChunkSize(size);
    }
}

void AviReader::parseStrl(std::uint64_t pos, std::uint64_t end) {
    if (streams_.size() >= static_cast<std::size_t>(kMaxStreams)) {
        problem("more than " + std::to_string(kMaxStreams) + " streams; the rest are ignored");
        return;
    }
    AviReaderStream s;
    IndxRef indx;
    bool hasStrh = false;
    std::uint32_t id = 0, size = 0;
    while (readChunkHeader(pos, end, id, size)) {
        const std::uint64_t body = pos + 8;
        if (size > end - body)
            break;
        if (id == kFccStrh && !hasStrh && size >= kMinStreamHeaderBytes) {
            std::uint8_t h[kStreamHeaderBytes] = {};
            const std::size_t n = std::min<std::size_t>(size, kStreamHeaderBytes);
            if (read(body, h, n)) {
                s.header = loadStreamHeader(h, n);
                hasStrh = true;
            }
        } else if (id == kFccStrf && s.format.empty() && size <= kMaxFormatBytes) {
            s.format.resize(size);
            if (!read(body, s.format.data(), size))
                s.format.clear();
        } else if (id == kFccStrn && s.name.empty()) {
            std::string name(std::min(size, kMaxNameBytes), '\0');
            if (read(body, name.data(), name.size()))
                s.name = name.c_str();
        } else if (id == kFccIndx && size >= kSuperIndexHeaderBytes) {
            indx = {body, size};
        }
        pos = body + paddedChunkSize(size);
    }
    if (!hasStrh)
        problem("stream " + std::to_string(streams_.size()) + " has no stream header");
    streams_.push_back(std::move(s));
    indx_.push_back(indx);
}

void AviReader::parseOdml(std::uint64_t pos, std::uint64_t end) {
    std::uint32_t id = 0, size = 0;
    while (readChunkHeader(pos, end, id, size)) {
        if (size > end - pos - 8)
            return;
        if (id == kFccDmlh && size >= 4) {
            std::uint8_t v[4];
            if (read(pos + 8, v, 4))
                odmlTotalFrames_ = le32(v);
        }
        pos = nextChunkPos(pos, size);
    }
}

void AviReader::addChunk(int stream, std::uint64_t dataPos, std::uint32_t size, bool key) {
    streams_[static_cast<std::size_t>(stream)].chunks.push_back({dataPos, size, key});
    ++totalEntries_;
}

void AviReader::clearChunks() {
    for (AviReaderStream& s : streams_)
        s.chunks.clear();
    totalEntries_ = 0;
}

bool AviReader::loadOdml() {
    bool any = false;
    std::set<std::uint64_t> seen;
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        const IndxRef& ref = indx_[i];
        if (ref.size < kSuperIndexHeaderBytes)
            continue;
        std::uint8_t h[kSuperIndexHeaderBytes];
        if (!read(ref.pos, h, sizeof h))
            return false;
        const std::uint16_t longsPerEntry = le16(h);
        const std::uint8_t indexType = h[3];
        const std::uint32_t entries = le32(h + 4);
        if (entries == 0)
            continue;
        if (longsPerEntry != kSuperIndexLongsPerEntry || indexType != kIndexOfIndexes) {
            problem("indx of stream " + std::to_string(i) + " is not a super index");
            return false;
        }
        if (entries > (ref.size - kSuperIndexHeaderBytes) / kSuperIndexEntryBytes) {
            problem("super index of stream " + std::to_string(i) + " claims too many entries");
            return false;
        }
        std::vector<std::uint8_t> table(std::size_t{entries} * kSuperIndexEntryBytes);
        if (!read(ref.pos + kSuperIndexHeaderBytes, table.data(), table.size()))
            return false;
        for (std::uint32_t e = 0; e < entries; ++e) {
            const std::uint64_t offset = le64(table.data() + kSuperIndexEntryBytes * e);
            if (offset == 0)
                continue;
            if (!loadStdIndex(static_cast<int>(i), offset, seen))
                return false;
            any = true;
        }
    }
    return any;
}

bool AviReader::loadStdIndex(int stream, std::uint64_t chunkPos, std::set<std::uint64_t>& seen) {
    if (!seen.insert(chunkPos).second) {
        problem("an OpenDML index chunk is listed twice");
        return true;
    }
    std::uint32_t id = 0, size = 0;
    if (!readChunkHeader(chunkPos, fileSize_, id, size) || size > fileSize_ - chunkPos - 8) {
        // Its chunks come back through the tail scan.
        problem("an OpenDML index chunk lies past the end of the file");
        suspectIncomplete_ = true;
        return true;
    }
    std::uint8_t h[kStdIndexHeaderBytes];
    if (size < kStdIndexHeaderBytes || !read(chunkPos + 8, h, sizeof h))
        return false;
    const std::uint16_t longsPerEntry = le16(h);
    const std::uint8_t indexType = h[3];
    const std::uint32_t entries = le32(h + 4);
    const std::uint64_t base = le64(h + 12);
    if (longsPerEntry != kStdIndexLongsPerEntry || indexType != kIndexOfChunks ||
        base > fileSize_) {
        problem("damaged OpenDML standard index");
        return false;
    }
    if (entries > (size - kStdIndexHeaderBytes) / kStdIndexEntryBytes) {
        problem("OpenDML standard index claims too many entries");
        return false;
    }
    std::vector<std::uint8_t> table(std::size_t{entries} * kStdIndexEntryBytes);
    if (!read(chunkPos + kChunkHeaderBytes + kStdIndexHeaderBytes, table.data(), table.size()))
        return false;
    std::uint32_t dropped = 0;
    for (std::uint32_t e = 0; e < entries; ++e) {
        const std::uint8_t* entry = table.data() + kStdIndexEntryBytes * e;
        const std::uint64_t dataPos = base + le32(entry);
        const std::uint32_t raw = le32(entry + 4);
        const std::uint32_t len = raw & ~kOdmlDeltaFrameBit;
        if (dataPos < 8 || dataPos > fileSize_ || len > fileSize_ - dataPos) {
            ++dropped;
            continue;
        }
        addChunk(stream, dataPos, len, (raw & kOdmlDeltaFrameBit) == 0);
    }
    if (dropped) {
        problem(std::to_string(dropped) + " OpenDML index entries point past the end of the file");
        suspectIncomplete_ = true;
    }
    return true;
}

bool AviReader::loadIdx1() {
    const Segment& seg = segments_.front();
    const auto entries = static_cast<std::uint32_t>(idx1Size_ / kIdx1EntryBytes);
    if (entries == 0)
        return false;
    std::vector<std::uint8_t> table(std::size_t{entries} * kIdx1EntryBytes);
    if (!read(idx1Pos_, table.data(), table.size()))
        return false;

    auto streamOf = [this](std::uint32_t id) {
        const int sn = chunkStreamNumber(id);
        if (sn < 0 || sn >= streamCount())
            return -1;
        if (chunkHasSuffix(id, 'p', 'c') || chunkHasSuffix(id, 'i', 'x'))
            return -1;
        return sn;
    };
    auto headerMatches = [this](std::uint64_t pos, std::uint32_t id, std::uint32_t size) {
        std::uint32_t rid = 0, rsize = 0;
        return readChunkHeader(pos, fileSize_, rid, rsize) && rid == id && rsize == size;
    };

    std::uint32_t first = entries;
    for (std::uint32_t e = 0; e < entries && first == entries; ++e) {
        if (streamOf(le32(table.data() + kIdx1EntryBytes * e)) >= 0)
            first = e;
    }
    if (first == entries)
        return false;
    const std::uint8_t* e0 = table.data() + kIdx1EntryBytes * first;
    std::uint64_t base = 0;
    if (headerMatches(seg.moviFourcc + le32(e0 + 8), le32(e0), le32(e0 + 12))) {
        base = seg.moviFourcc;
    } else if (!headerMatches(le32(e0 + 8), le32(e0), le32(e0 + 12))) {
        problem("idx1 does not match the movi data");
        return false;
    }

    std::uint32_t dropped = 0;
    std::uint64_t lastPos = 0;
    std::uint32_t lastId = 0, lastSize = 0;
    for (std::uint32_t e = 0; e < entries; ++e) {
        const std::uint8_t* p = table.data() + kIdx1EntryBytes * e;
        const std::uint32_t id = le32(p);
        const int sn = streamOf(id);
        if (sn < 0)
            continue;
        const std::uint64_t pos = base + le32(p + 8);
        const std::uint32_t size = le32(p + 12);
        if (pos + 8 > fileSize_ || size > fileSize_ - pos - 8) {
            ++dropped;
            continue;
        }
        addChunk(sn, pos + 8, size, (le32(p + 4) & kAviifKeyFrame) != 0);
        lastPos = pos;
        lastId = id;
        lastSize = size;
    }
    if (totalEntries_ > 0 && !headerMatches(lastPos, lastId, lastSize)) {
        problem("idx1 does not match the movi data");
        return false;
    }
    if (dropped) {
        problem(std::to_string(dropped) + " idx1 entries point past the end of the file");
        suspectIncomplete_ = true;
    }
    // FFmpeg's rule for indexes without any key flag: each stream starts with one.
    for (AviReaderStream& s : streams_) {
        if (!s.chunks.empty() && std::none_of(s.chunks.begin(), s.chunks.end(),
                                              [](const AviChunkRef& c) { return c.key; })) {
            s.chunks.front().key = true;
        }
    }
    return totalEntries_ > 0;
}

bool AviReader::plausibleStreamChunk(int stream, std::uint32_t id) const {
    const unsigned a = (id >> 16) & 0xFF;
    const unsigned b = id >> 24;
    if (!isLowerLetter(a) || !isLowerLetter(b))
        return false;
    if (chunkHasSuffix(id, 'i', 'x') || chunkHasSuffix(id, 'p', 'c'))
        return false;
    const AviReaderStream& s = streams_[static_cast<std::size_t>(stream)];
    if (s.isVideo())
        return a == 'd' && (b == 'b' || b == 'c');
    if (s.isAudio())
        return a == 'w' && b == 'b';
    return s.header.fccType != 0;
}

void AviReader::scanRange(std::uint64_t start, std::uint64_t end, bool tail) {
    const bool trustLetters = (mainFlags_ & kAvifTrustCkType) != 0;
    std::uint64_t pos = start;
    std::uint64_t garbage = 0;
    std::uint32_t id = 0, size = 0;
    while (readChunkHeader(pos, end, id, size)) {
        const std::uint64_t room = end - pos - 8;
        if (id == kFccList && size >= 4) {
            std::uint8_t lt[4];
            if (!read(pos + 8, lt, 4))
                break;
            if (le32(lt) == kFccMovi || le32(lt) == kFccRec) {
                pos += kListHeaderBytes;
                continue;
            }
            if (paddedChunkSize(size) > room)
                break;
            pos = nextChunkPos(pos, size);
            continue;
        }
        if (id == kFccRiff) {
            pos += kListHeaderBytes;
            continue;
        }
        const int sn = chunkStreamNumber(id);
        if (sn >= 0 && sn < streamCount() && plausibleStreamChunk(sn, id)) {
            if (size > room) {
                problem("the last chunk is cut short");
                break;
            }
            const bool video = streams_[static_cast<std::size_t>(sn)].isVideo();
            const bool key = !video || !trustLetters || chunkHasSuffix(id, 'd', 'b');
            const bool known = tail && pos + 8 <= tailFloor_[static_cast<std::size_t>(sn)];
            if (!known) {
                addChunk(sn, pos + 8, size, key);
                if (tail)
                    ++recoveredChunks_;
            }
            pos = nextChunkPos(pos, size);
            continue;
        }
        if (isPrintableFourcc(id)) {
            if (paddedChunkSize(size) > room)
                break;
            pos = nextChunkPos(pos, size);
            continue;
        }
        // Garbage: resynchronise on the next even offset, as chunks start there.
        garbage += 2;
        pos += 2;
    }
    if (garbage)
        problem(std::to_string(garbage) + " bytes of garbage skipped in the movi data");
    // Letters only mark delta frames when a writer uses "db" for key frames.
    for (AviReaderStream& s : streams_) {
        if (s.isVideo() && !s.chunks.empty() &&
            std::none_of(s.chunks.begin(), s.chunks.end(),
                         [](const AviChunkRef& c) { return c.key; })) {
            for (AviChunkRef& c : s.chunks)
                c.key = true;
        }
    }
}

void AviReader::finishStreams() {
    for (AviReaderStream& s : streams_) {
        s.totalBytes = 0;
        s.keyFrames = 0;
        s.largestChunk = 0;
        const bool fixed = s.sampleSize() > 0;
        s.chunkByteStart.clear();
        if (fixed)
            s.chunkByteStart.reserve(s.chunks.size());
        for (const AviChunkRef& c : s.chunks) {
            if (fixed)
                s.chunkByteStart.push_back(s.totalBytes);
            s.totalBytes += c.size;
            if (c.key)
                ++s.keyFrames;
            s.largestChunk = std::max(s.largestChunk, c.size);
        }
    }
}

int AviReader::readChunk(int stream, std::size_t index, std::vector<std::uint8_t>& out) {
    if (stream < 0 || stream >= streamCount())
        return kAviErrBadParam;
    const AviReaderStream& s = streams_[static_cast<std::size_t>(stream)];
    if (index >= s.chunks.size())
        return kAviErrNoData;
    const AviChunkRef& c = s.chunks[index];
    out.resize(c.size);
    if (c.size && !read(c.dataPos, out.data(), c.size))
        return kAviErrFileRead;
    return kAviOk;
}

int AviReader::readChunkPart(int stream, std::size_t index, std::uint32_t offset, void* out,
                             std::size_t bytes) {
    if (stream < 0 || stream >= streamCount())
        return kAviErrBadParam;
    const AviReaderStream& s = streams_[static_cast<std::size_t>(stream)];
    if (index >= s.chunks.size())
        return kAviErrNoData;
    const AviChunkRef& c = s.chunks[index];
    if (offset > c.size || bytes > c.size - offset)
        return kAviErrBadParam;
    if (bytes && !read(c.dataPos + offset, out, bytes))
        return kAviErrFileRead;
    return kAviOk;
}

}  // namespace media
