// The reader's account of the chunks: each index checked entry by entry
// against the file, a scan of the movi lists where the indexes fall short,
// and the chunks past the last index of a file that was never closed.
#include <algorithm>
#include <cstdint>
#include <map>
#include <set>

#include "media/avi_reader.h"

namespace media {
namespace {

// Orders entries, and segment numbers, by segment.
struct SegmentOrder {
    template <typename Entry>
    bool operator()(const Entry& e, int seg) const {
        return e.segment < seg;
    }
    template <typename Entry>
    bool operator()(int seg, const Entry& e) const {
        return seg < e.segment;
    }
};

}  // namespace

// Every index is checked entry by entry against the file; when an index is
// damaged, or two indexes disagree, or the streams come out shorter than
// their headers say, the movi lists are scanned too, and for each RIFF
// segment the reading that finds the most chunks wins.
void AviReader::indexChunks() {
    Reading odml = readOdml();
    Reading idx1 = readIdx1();
    normalise(odml, "OpenDML index");
    normalise(idx1, "idx1");
    std::vector<const Reading*> readings;
    for (const Reading* r : {&odml, &idx1}) {
        if (!r->entries.empty())
            readings.push_back(r);
    }
    assemble(readings);
    if (!needsScan(readings))
        return;
    const bool hadIndex = odml.present || idx1.present;
    if (readings.empty())
        problem(hadIndex ? "index damaged: recovered by scanning"
                         : "no index: recovered by scanning");
    Reading scan = scanSegments();
    normalise(scan, "scanned");
    // Scanning cannot tell delta frames where the chunk letters do not; the
    // indexes can, for the chunks they hold.
    std::map<std::uint64_t, bool> indexedKey;
    for (const Reading* r : readings) {
        for (const Entry& e : r->entries)
            indexedKey.emplace(e.dataPos, e.key);
    }
    for (Entry& e : scan.entries) {
        if (const auto it = indexedKey.find(e.dataPos); it != indexedKey.end())
            e.key = it->second;
    }
    const bool hadReadings = !readings.empty();
    readings.push_back(&scan);
    assemble(readings);
    if (hadReadings && scanWon_)
        problem("index damaged or incomplete: chunks recovered by scanning");
}

bool AviReader::needsScan(const std::vector<const Reading*>& readings) const {
    if (readings.empty())
        return true;
    std::vector<std::vector<std::size_t>> counts;
    for (const Reading* r : readings) {
        if (r->damaged)
            return true;
        counts.emplace_back(segments_.size(), 0);
        for (const Entry& e : r->entries)
            ++counts.back()[static_cast<std::size_t>(e.segment)];
    }
    for (std::size_t seg = 0; seg < segments_.size(); ++seg) {
        std::size_t most = 0, least = SIZE_MAX;
        for (const auto& c : counts) {
            if (c[seg] == 0)
                continue;
            most = std::max(most, c[seg]);
            least = std::min(least, c[seg]);
        }
        if (most != 0 && least != most)
            return true;
        // A segment no index covers is scanned, unless the file is
        // incomplete: then the tail scan finds its chunks.
        if (most == 0 && segments_[seg].hasMovi && !suspectIncomplete_)
            return true;
    }
    // Fewer chunks than the stream headers promise: an index that lost
    // entries without looking damaged.
    for (const AviReaderStream& s : streams_) {
        const std::uint32_t ss = s.sampleSize();
        std::uint64_t found = 0;
        for (const AviChunkRef& c : s.chunks)
            found += ss ? c.size : 1;
        if (ss)
            found /= ss;
        if (found < s.header.length)
            return true;
    }
    return false;
}

void AviReader::assemble(const std::vector<const Reading*>& readings) {
    clearChunks();
    indexKind_ = AviIndexKind::Scan;
    scanWon_ = false;
    bool kindSet = false;
    // Entries are in file order, so each segment's are one run.
    auto run = [](const Reading* r, int seg) {
        return std::equal_range(r->entries.begin(), r->entries.end(), seg, SegmentOrder{});
    };
    for (std::size_t seg = 0; seg < segments_.size(); ++seg) {
        const Reading* best = nullptr;
        std::ptrdiff_t bestCount = 0;
        for (const Reading* r : readings) {
            const auto [first, last] = run(r, static_cast<int>(seg));
            if (last - first > bestCount) {
                best = r;
                bestCount = last - first;
            }
        }
        if (!best)
            continue;
        if (!kindSet) {
            indexKind_ = best->kind;
            kindSet = true;
        }
        scanWon_ = scanWon_ || best->kind == AviIndexKind::Scan;
        const auto [first, last] = run(best, static_cast<int>(seg));
        for (auto e = first; e != last; ++e)
            addChunk(e->stream, e->dataPos, e->size, e->key);
    }
}

void AviReader::normalise(Reading& r, const char* what) {
    std::stable_sort(r.entries.begin(), r.entries.end(),
                     [](const Entry& a, const Entry& b) { return a.dataPos < b.dataPos; });
    std::vector<Entry> kept;
    kept.reserve(r.entries.size());
    std::uint64_t end = 0;
    std::uint32_t dropped = 0;
    for (const Entry& e : r.entries) {
        if (!kept.empty() && e.dataPos - kChunkHeaderBytes < end) {
            ++dropped;
            continue;
        }
        kept.push_back(e);
        end = e.dataPos + paddedChunkSize(e.size);
    }
    r.entries = std::move(kept);
    if (dropped) {
        problem(std::to_string(dropped) + " duplicate or overlapping " + what +
                " entries left out");
        r.damaged = true;
    }
}

int AviReader::segmentOf(std::uint64_t headerPos) const {
    int found = -1;
    for (std::size_t i = 0; i < segments_.size(); ++i) {
        if (segments_[i].hasMovi && segments_[i].moviFourcc + 4 <= headerPos)
            found = static_cast<int>(i);
    }
    return found;
}

bool AviReader::insideIndex(std::uint64_t headerPos) const {
    return std::any_of(indexRegions_.begin(), indexRegions_.end(), [headerPos](const Region& r) {
        return headerPos >= r.begin && headerPos < r.end;
    });
}

// An entry holds when it points, inside a movi list and outside the index
// chunks, at a chunk header of its stream that gives the same size.
AviReader::EntryCheck AviReader::checkEntry(Entry& e, std::uint32_t wantedId) {
    if (e.dataPos < kChunkHeaderBytes || e.dataPos > fileSize_ || e.size > fileSize_ - e.dataPos)
        return EntryCheck::PastEnd;
    const std::uint64_t header = e.dataPos - kChunkHeaderBytes;
    const int seg = segmentOf(header);
    if (seg < 0 || insideIndex(header))
        return EntryCheck::Wrong;
    e.segment = seg;
    std::uint32_t id = 0, size = 0;
    if (!readChunkHeader(header, fileSize_, id, size))
        return EntryCheck::Wrong;
    if (wantedId ? id != wantedId : (chunkStreamNumber(id) != e.stream || !isStreamChunkId(id)))
        return EntryCheck::Wrong;
    if (size == e.size)
        return EntryCheck::Holds;
    // A damaged size in the chunk header: the index's size is believed when
    // it, and not the header's, leads to the next chunk.
    auto leadsToChunk = [this](std::uint64_t next) {
        std::uint32_t nid = 0, nsize = 0;
        return next == fileSize_ ||
               (readChunkHeader(next, fileSize_, nid, nsize) && isPrintableFourcc(nid));
    };
    if (leadsToChunk(e.dataPos + paddedChunkSize(e.size)) &&
        !(size <= fileSize_ - e.dataPos && leadsToChunk(e.dataPos + paddedChunkSize(size)))) {
        return EntryCheck::HoldsOtherSize;
    }
    return EntryCheck::Wrong;
}

void AviReader::keepEntry(Reading& out, Entry e, std::uint32_t wantedId, EntryTally& tally) {
    switch (checkEntry(e, wantedId)) {
        case EntryCheck::Holds:
            out.entries.push_back(e);
            return;
        case EntryCheck::HoldsOtherSize:
            out.entries.push_back(e);
            out.damaged = true;
            ++tally.wrong;
            return;
        case EntryCheck::PastEnd:
            ++tally.pastEnd;
            return;
        case EntryCheck::Wrong:
            out.damaged = true;
            ++tally.wrong;
            return;
    }
}

void AviReader::reportTally(const EntryTally& tally, const char* what) {
    if (tally.wrong) {
        problem(std::to_string(tally.wrong) + " " + what +
                " entries do not match the chunks they point at");
    }
    if (tally.pastEnd) {
        problem(std::to_string(tally.pastEnd) + " " + what +
                " entries point past the end of the file");
        suspectIncomplete_ = true;
    }
}

AviReader::Reading AviReader::readOdml() {
    Reading out;
    out.kind = AviIndexKind::OpenDml;
    struct Sub {
        int stream;
        std::uint64_t pos;
    };
    std::vector<Sub> subs;
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        const IndxRef& ref = indx_[i];
        std::uint8_t h[kSuperIndexHeaderBytes];
        if (ref.size < kSuperIndexHeaderBytes || !read(ref.pos, h, sizeof h))
            continue;
        std::uint32_t entries = le32(h + 4);
        if (entries == 0)
            continue;
        out.present = true;
        const std::string name = "stream " + std::to_string(i);
        if (le16(h) != kSuperIndexLongsPerEntry || h[3] != kIndexOfIndexes) {
            problem("indx of " + name + " is not a super index");
            out.damaged = true;
            continue;
        }
        const std::uint32_t fit = (ref.size - kSuperIndexHeaderBytes) / kSuperIndexEntryBytes;
        if (entries > fit) {
            problem("super index of " + name + " claims too many entries");
            out.damaged = true;
            entries = fit;
        }
        std::vector<std::uint8_t> table(std::size_t{entries} * kSuperIndexEntryBytes);
        if (!read(ref.pos + kSuperIndexHeaderBytes, table.data(), table.size())) {
            out.damaged = true;
            continue;
        }
        for (std::uint32_t e = 0; e < entries; ++e) {
            const std::uint64_t offset = le64(table.data() + kSuperIndexEntryBytes * e);
            if (offset == 0) {
                problem("super index of " + name + " has an empty entry");
                out.damaged = true;
                continue;
            }
            subs.push_back({static_cast<int>(i), offset});
            // No chunk of any stream lies inside an index chunk.
            std::uint32_t id = 0, size = 0;
            if (readChunkHeader(offset, fileSize_, id, size) && size <= fileSize_ - offset - 8)
                indexRegions_.push_back({offset, nextChunkPos(offset, size)});
        }
    }
    std::set<std::uint64_t> seen;
    for (const Sub& sub : subs)
        readStdIndex(sub.stream, sub.pos, seen, out);
    return out;
}

void AviReader::readStdIndex(int stream, std::uint64_t chunkPos, std::set<std::uint64_t>& seen,
                             Reading& out) {
    if (!seen.insert(chunkPos).second) {
        problem("an OpenDML index chunk is listed twice");
        out.damaged = true;
        return;
    }
    std::uint32_t id = 0, size = 0;
    if (!readChunkHeader(chunkPos, fileSize_, id, size) || size > fileSize_ - chunkPos - 8) {
        // Its chunks come back through the tail scan.
        problem("an OpenDML index chunk lies past the end of the file");
        suspectIncomplete_ = true;
        return;
    }
    std::uint8_t h[kStdIndexHeaderBytes];
    const bool indexId = chunkStreamNumber(id) == stream ? chunkHasSuffix(id, 'i', 'x')
                                                         : id == stdIndexChunkId(stream);
    if (!indexId || size < kStdIndexHeaderBytes ||
        !read(chunkPos + kChunkHeaderBytes, h, sizeof h) || le16(h) != kStdIndexLongsPerEntry ||
        h[3] != kIndexOfChunks || le64(h + 12) > fileSize_) {
        problem("damaged OpenDML standard index");
        out.damaged = true;
        return;
    }
    std::uint32_t entries = le32(h + 4);
    const std::uint64_t base = le64(h + 12);
    const auto fit =
        static_cast<std::uint32_t>((size - kStdIndexHeaderBytes) / kStdIndexEntryBytes);
    if (entries > fit) {
        problem("OpenDML standard index claims too many entries");
        out.damaged = true;
        entries = fit;
    }
    std::vector<std::uint8_t> table(std::size_t{entries} * kStdIndexEntryBytes);
    if (!read(chunkPos + kChunkHeaderBytes + kStdIndexHeaderBytes, table.data(), table.size())) {
        out.damaged = true;
        return;
    }
    EntryTally tally;
    for (std::uint32_t e = 0; e < entries; ++e) {
        const std::uint8_t* entry = table.data() + kStdIndexEntryBytes * e;
        const std::uint32_t raw = le32(entry + 4);
        Entry chunk;
        chunk.dataPos = base + le32(entry);
        chunk.size = raw & ~kOdmlDeltaFrameBit;
        chunk.stream = stream;
        chunk.key = (raw & kOdmlDeltaFrameBit) == 0;
        keepEntry(out, chunk, 0, tally);
    }
    reportTally(tally, "OpenDML index");
}

// Offsets count from the 'movi' list type, or, in some writers' files, from
// the start of the file: the base under which more of the first entries
// point at their chunks wins.
bool AviReader::idx1Relative(const std::vector<std::uint8_t>& table, std::uint32_t entries) {
    // Enough entries to outvote a few damaged ones, few enough to stay cheap.
    constexpr int kBaseProbeEntries = 16;
    int relative = 0, absolute = 0, probed = 0;
    const std::uint64_t movi = segments_.front().moviFourcc;
    for (std::uint32_t e = 0; e < entries && probed < kBaseProbeEntries; ++e) {
        const std::uint8_t* p = table.data() + kIdx1EntryBytes * e;
        const std::uint32_t id = le32(p);
        const int sn = chunkStreamNumber(id);
        if (sn < 0 || sn >= streamCount() || !isStreamChunkId(id))
            continue;
        ++probed;
        for (const std::uint64_t base : {movi, std::uint64_t{0}}) {
            Entry chunk;
            chunk.dataPos = base + le32(p + 8) + kChunkHeaderBytes;
            chunk.size = le32(p + 12);
            chunk.stream = sn;
            if (checkEntry(chunk, id) == EntryCheck::Holds)
                ++(base ? relative : absolute);
        }
    }
    return relative >= absolute;
}

AviReader::Reading AviReader::readIdx1() {
    Reading out;
    out.kind = AviIndexKind::Idx1;
    if (!hasIdx1_)
        return out;
    out.present = true;
    const auto entries = static_cast<std::uint32_t>(idx1Size_ / kIdx1EntryBytes);
    std::vector<std::uint8_t> table(std::size_t{entries} * kIdx1EntryBytes);
    if (entries == 0 || !read(idx1Pos_, table.data(), table.size())) {
        out.damaged = true;
        return out;
    }
    const std::uint64_t base = idx1Relative(table, entries) ? segments_.front().moviFourcc : 0;
    EntryTally tally;
    for (std::uint32_t e = 0; e < entries; ++e) {
        const std::uint8_t* p = table.data() + kIdx1EntryBytes * e;
        const std::uint32_t id = le32(p);
        // Record lists and palette changes are no stream data.
        if (id == kFccList || id == kFccRec || chunkHasSuffix(id, 'p', 'c'))
            continue;
        const int sn = chunkStreamNumber(id);
        if (sn < 0 || sn >= streamCount() || !isStreamChunkId(id)) {
            out.damaged = true;
            ++tally.wrong;
            continue;
        }
        Entry chunk;
        chunk.dataPos = base + le32(p + 8) + kChunkHeaderBytes;
        chunk.size = le32(p + 12);
        chunk.stream = sn;
        chunk.key = (le32(p + 4) & kAviifKeyFrame) != 0;
        keepEntry(out, chunk, id, tally);
    }
    reportTally(tally, "idx1");
    // FFmpeg's rule for indexes without any key flag: each stream starts with one.
    for (int s = 0; s < streamCount(); ++s) {
        auto first = out.entries.end();
        bool anyKey = false;
        for (auto it = out.entries.begin(); it != out.entries.end(); ++it) {
            if (it->stream != s)
                continue;
            if (first == out.entries.end())
                first = it;
            anyKey = anyKey || it->key;
        }
        if (!anyKey && first != out.entries.end())
            first->key = true;
    }
    return out;
}

AviReader::Reading AviReader::scanSegments() {
    Reading out;
    out.kind = AviIndexKind::Scan;
    for (std::size_t i = 0; i < segments_.size(); ++i) {
        const Segment& seg = segments_[i];
        if (!seg.hasMovi)
            continue;
        const std::size_t from = out.entries.size();
        scanRange(seg.moviFourcc + 4, seg.moviEnd, out.entries, nullptr);
        // By position, as for index entries, whatever a damaged size let
        // this segment's scan run into.
        for (std::size_t e = from; e < out.entries.size(); ++e)
            out.entries[e].segment = segmentOf(out.entries[e].dataPos - kChunkHeaderBytes);
    }
    // Letters only mark delta frames when a writer uses "db" for key frames.
    for (int s = 0; s < streamCount(); ++s) {
        const bool anyKey = std::any_of(out.entries.begin(), out.entries.end(),
                                        [s](const Entry& e) { return e.stream == s && e.key; });
        if (anyKey)
            continue;
        for (Entry& e : out.entries) {
            if (e.stream == s)
                e.key = true;
        }
    }
    return out;
}

void AviReader::recoverTail() {
    std::vector<std::uint64_t> lastIndexed(streams_.size(), 0);
    std::vector<Region> known;
    std::uint64_t start = fileSize_;
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        std::uint64_t end = 0;
        for (const AviChunkRef& c : streams_[i].chunks) {
            lastIndexed[i] = std::max(lastIndexed[i], c.dataPos);
            end = std::max(end, c.dataPos + paddedChunkSize(c.size));
            known.push_back({c.dataPos - kChunkHeaderBytes, c.dataPos + paddedChunkSize(c.size)});
        }
        // A stream without indexed chunks may have lost its whole index.
        start = std::min(start, end ? end : segments_.front().moviFourcc + 4);
    }
    std::sort(known.begin(), known.end(),
              [](const Region& a, const Region& b) { return a.begin < b.begin; });
    std::vector<Entry> found;
    scanRange(start, fileSize_, found, &lastIndexed);
    for (const Entry& e : found) {
        if (overlapsKnownChunk(e, known))
            continue;
        addChunk(e.stream, e.dataPos, e.size, e.key);
        ++recoveredChunks_;
    }
    for (AviReaderStream& s : streams_) {
        if (s.isVideo() && std::none_of(s.chunks.begin(), s.chunks.end(),
                                        [](const AviChunkRef& c) { return c.key; })) {
            for (AviChunkRef& c : s.chunks)
                c.key = true;
        }
    }
    if (recoveredChunks_ > 0) {
        problem(std::to_string(recoveredChunks_) +
                " chunks past the index recovered by scanning (file not closed?)");
    }
}

bool AviReader::overlapsKnownChunk(const Entry& e, const std::vector<Region>& known) const {
    const std::uint64_t begin = e.dataPos - kChunkHeaderBytes;
    const std::uint64_t end = e.dataPos + paddedChunkSize(e.size);
    auto next = std::lower_bound(known.begin(), known.end(), begin,
                                 [](const Region& r, std::uint64_t pos) { return r.begin < pos; });
    if (next != known.end() && next->begin < end)
        return true;
    return next != known.begin() && std::prev(next)->end > begin;
}

bool AviReader::plausibleStreamChunk(int stream, std::uint32_t id) const {
    if (!isStreamChunkId(id))
        return false;
    const AviReaderStream& s = streams_[static_cast<std::size_t>(stream)];
    if (s.isVideo())
        return chunkHasSuffix(id, 'd', 'b') || chunkHasSuffix(id, 'd', 'c');
    if (s.isAudio())
        return chunkHasSuffix(id, 'w', 'b');
    return true;
}

void AviReader::scanRange(std::uint64_t start, std::uint64_t end, std::vector<Entry>& out,
                          const std::vector<std::uint64_t>* floor) {
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
            const AviReaderStream& s = streams_[static_cast<std::size_t>(sn)];
            if (size > room) {
                problem("the last chunk is cut short");
                // Sound cut by the end of the file keeps its whole samples;
                // a partial frame cannot be decoded.
                const std::uint32_t align = s.isAudio() ? s.sampleSize() : 0;
                const auto whole = static_cast<std::uint32_t>(align ? room - room % align : 0);
                if (end == fileSize_ && whole > 0) {
                    Entry e;
                    e.dataPos = pos + 8;
                    e.size = whole;
                    e.stream = sn;
                    e.key = true;
                    if (!floor || e.dataPos > (*floor)[static_cast<std::size_t>(sn)])
                        out.push_back(e);
                }
                break;
            }
            const bool video = s.isVideo();
            const bool key = !video || !trustLetters || chunkHasSuffix(id, 'd', 'b');
            const bool known = floor && pos + 8 <= (*floor)[static_cast<std::size_t>(sn)];
            if (!known) {
                Entry e;
                e.dataPos = pos + 8;
                e.size = size;
                e.stream = sn;
                e.key = key;
                out.push_back(e);
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
}

}  // namespace media
