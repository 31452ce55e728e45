#include "media/avi_reader.h"

#include <algorithm>
#include <cstdint>
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

bool isLowerLetter(unsigned c) {
    return c >= 'a' && c <= 'z';
}

constexpr std::uint32_t kMicrosecondsPerSecond = 1000000;

}  // namespace

bool AviReader::isPrintableFourcc(std::uint32_t id) {
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<unsigned char>(id >> (8 * i));
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return true;
}

bool AviReader::isStreamChunkId(std::uint32_t id) {
    return chunkStreamNumber(id) >= 0 && isLowerLetter((id >> 16) & 0xFF) &&
           isLowerLetter(id >> 24) && !chunkHasSuffix(id, 'i', 'x') &&
           !chunkHasSuffix(id, 'p', 'c');
}

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
    inferStreamTypes();
    checkFrameSizes();
    indexChunks();
    // A file whose RIFF structure does not end where the file ends, or whose
    // index lost entries, was cut short or never closed: look for chunks past
    // what each stream's index covers.
    if (suspectIncomplete_)
        recoverTail();
    finishStreams();
    return kAviOk;
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
            // A damaged chunk before the movi list: look for the list itself.
            if (!seg.hasMovi && !isPrintableFourcc(cid)) {
                if (!findList(at + 1, end, kFccMovi, at))
                    break;
                continue;
            }
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
                indexRegions_.push_back({at, at + 8 + idx1Size_});
            }
            const std::uint64_t next = nextChunkPos(at, csize);
            if (next > end) {
                // A size running past the RIFF (a damaged header list, say)
                // must not hide the movi list behind it.
                if (!seg.hasMovi && findList(at + kListHeaderBytes, end, kFccMovi, at))
                    continue;
                break;
            }
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

// Looks for "LIST <size> <listType>" from `from` on, within a bounded window:
// after a damaged size, the next list of that kind is where parsing resumes.
bool AviReader::findList(std::uint64_t from, std::uint64_t end, std::uint32_t listType,
                         std::uint64_t& found) {
    // Header lists are a few KiB and the movi list follows within a few more;
    // a search never reads more than this.
    constexpr std::uint64_t kResyncWindow = 1 << 20;
    const std::uint64_t stop = std::min(end, from + kResyncWindow);
    std::vector<std::uint8_t> block;
    for (std::uint64_t pos = from; pos + kListHeaderBytes <= stop;) {
        const auto bytes =
            static_cast<std::size_t>(std::min<std::uint64_t>(kCacheBytes, stop - pos));
        block.resize(bytes);
        if (bytes < kListHeaderBytes || !file_.readAt(pos, block.data(), bytes))
            return false;
        for (std::size_t i = 0; i + kListHeaderBytes <= bytes; ++i) {
            if (le32(block.data() + i) == kFccList && le32(block.data() + i + 8) == listType) {
                found = pos + i;
                return true;
            }
        }
        // Overlap the blocks so that a list header across a boundary is seen.
        pos += bytes - kListHeaderBytes + 1;
    }
    return false;
}

void AviReader::parseHdrl(std::uint64_t pos, std::uint64_t end) {
    std::uint32_t id = 0, size = 0;
    while (readChunkHeader(pos, end, id, size)) {
        const std::uint64_t body = pos + 8;
        const std::uint64_t bodyEnd = body + size;
        const bool fits = bodyEnd <= end;
        if (!isPrintableFourcc(id) || (!fits && id != kFccList)) {
            // A damaged chunk header: the next stream list is where to go on.
            problem("damaged chunk in the header list");
            if (!findList(pos + 1, end, kFccStrl, pos))
                return;
            continue;
        }
        if (!fits)
            problem("header list cut short");
        const std::uint64_t avail = std::min(bodyEnd, end) - body;
        const std::uint64_t next = body + paddedChunkSize(size);
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
            if (le32(lt) == kFccStrl) {
                // The list ends where its members end; a damaged list size
                // must not swallow the next stream or leave one half read.
                const std::uint64_t stop = parseStrl(body + 4, next, end);
                if (stop != next) {
                    problem("stream list " + std::to_string(streams_.size() - 1) +
                            " has a damaged size");
                    pos = stop;
                    continue;
                }
            }
            if (le32(lt) == kFccOdml)
                parseOdml(body + 4, body + avail);
        }
        if (!fits)
            return;
        pos = next;
    }
}

std::uint64_t AviReader::parseStrl(std::uint64_t pos, std::uint64_t declaredEnd,
                                   std::uint64_t end) {
    if (streams_.size() >= static_cast<std::size_t>(kMaxStreams)) {
        problem("more than " + std::to_string(kMaxStreams) + " streams; the rest are ignored");
        return declaredEnd;
    }
    AviReaderStream s;
    IndxRef indx;
    bool hasStrh = false;
    std::uint32_t id = 0, size = 0;
    while (pos != declaredEnd && readChunkHeader(pos, end, id, size)) {
        // A stream list holds no lists: one here starts the next stream.
        if (id == kFccList || id == kFccRiff || !isPrintableFourcc(id))
            break;
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
    return pos;
}

// A damaged stream header leaves a stream without a type we know; the ids of
// its chunks in movi still say video ("dc", "db") or sound ("wb").
void AviReader::inferStreamTypes() {
    // The first chunks show every stream of an interleaved recording.
    constexpr int kTypeProbeChunks = 256;
    auto unknown = [this](std::size_t i) {
        return !streams_[i].isVideo() && !streams_[i].isAudio();
    };
    bool any = false;
    for (std::size_t i = 0; i < streams_.size(); ++i)
        any = any || unknown(i);
    if (!any)
        return;
    const Segment& seg = segments_.front();
    std::uint64_t pos = seg.moviFourcc + 4;
    std::uint32_t id = 0, size = 0;
    for (int n = 0; n < kTypeProbeChunks && readChunkHeader(pos, seg.moviEnd, id, size); ++n) {
        if (id == kFccList) {
            pos += kListHeaderBytes;
            continue;
        }
        const int sn = chunkStreamNumber(id);
        if (sn >= 0 && sn < streamCount() && isStreamChunkId(id) &&
            unknown(static_cast<std::size_t>(sn))) {
            const bool sound = chunkHasSuffix(id, 'w', 'b');
            if (sound || chunkHasSuffix(id, 'd', 'c') || chunkHasSuffix(id, 'd', 'b'))
                restoreStreamHeader(sn, sound ? kFccAuds : kFccVids);
        }
        pos = nextChunkPos(pos, size);
    }
}

// Gives a stream whose header was damaged its type and, where the header
// lost them, the rates its format or the main header still hold.
void AviReader::restoreStreamHeader(int stream, std::uint32_t type) {
    AviReaderStream& s = streams_[static_cast<std::size_t>(stream)];
    s.header.fccType = type;
    problem("stream " + std::to_string(stream) + ": type taken from its chunk ids");
    const bool noRate = s.header.rate == 0 || s.header.scale == 0;
    if (type == kFccAuds && s.hasWaveFormat()) {
        const std::uint16_t align = le16(s.format.data() + 12);
        const std::uint32_t bytesPerSec = le32(s.format.data() + 8);
        if (noRate && align && bytesPerSec) {
            s.header.scale = align;
            s.header.rate = bytesPerSec;
        }
        if (s.header.sampleSize == 0)
            s.header.sampleSize = align;
    } else if (type == kFccVids && noRate && microSecPerFrame_) {
        s.header.rate = kMicrosecondsPerSecond;
        s.header.scale = microSecPerFrame_;
    }
}

void AviReader::checkFrameSizes() {
    // Larger than any screen or codec here makes; beyond it a header is damaged.
    constexpr std::int64_t kMaxFrameSide = 1 << 16;
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        const AviReaderStream& s = streams_[i];
        if (!s.isVideo() || !s.hasBitmapFormat())
            continue;
        const BitmapInfoHeader bih = loadBitmapInfoHeader(s.format.data());
        const std::int64_t w = bih.width;
        const std::int64_t h = bih.height;
        if (w <= 0 || h == 0 || w > kMaxFrameSide || h > kMaxFrameSide || h < -kMaxFrameSide) {
            problem("stream " + std::to_string(i) + ": implausible frame size " +
                    std::to_string(w) + "x" + std::to_string(h));
        }
    }
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
