// The AVI container reader: AVI 1.0 (idx1 with relative or absolute offsets)
// and OpenDML (indx / ix##, RIFF 'AVIX' segments). When the index is missing
// or damaged, or the file was cut short or never closed, it rebuilds the list
// of chunks by scanning the movi data.
//
// Every size, count and offset taken from the file is checked against the file
// before it is used: a damaged or hostile file gives a nonzero status or fewer
// chunks, never a read outside the file, and memory stays proportional to the
// file's size. An index entry counts only when it points, inside a movi list
// and outside the index chunks, at a chunk header of its stream and size;
// duplicate and overlapping entries are left out, so no chunk is counted twice
// and the chunks never add up to more than the file holds. Where indexes are
// damaged or disagree, the reading of each RIFF segment that finds the most
// chunks wins, a scan of movi included. Every user of the file (info, repair,
// the tables, the editing engines) sees this one account.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "media/avi_format.h"
#include "media/binary_file.h"

namespace media {

enum class AviIndexKind { None, Idx1, OpenDml, Scan };
const char* aviIndexKindName(AviIndexKind kind);

struct AviChunkRef {
    std::uint64_t dataPos = 0;  // file position of the chunk data (after its header)
    std::uint32_t size = 0;
    bool key = false;
};

struct AviReaderStream {
    AviStreamHeader header;
    std::vector<std::uint8_t> format;
    std::string name;
    std::vector<AviChunkRef> chunks;
    // Fixed-size streams: byte position in the stream of each chunk's start.
    std::vector<std::uint64_t> chunkByteStart;
    std::uint64_t totalBytes = 0;
    std::uint32_t keyFrames = 0;
    std::uint32_t largestChunk = 0;

    bool isVideo() const { return header.fccType == kFccVids; }
    bool isAudio() const { return header.fccType == kFccAuds; }
    // 0 for frame streams; for PCM the format's block align.
    std::uint32_t sampleSize() const;
    // Frames, or bytes / sample size.
    std::uint32_t length() const;
    bool hasBitmapFormat() const { return format.size() >= kBitmapInfoHeaderBytes; }
    bool hasWaveFormat() const { return format.size() >= kPcmWaveFormatBytes; }
};

class AviReader {
  public:
    AviReader() = default;
    AviReader(const AviReader&) = delete;
    AviReader& operator=(const AviReader&) = delete;

    // Opens and indexes the file; once per reader.
    int open(const std::string& path);

    int streamCount() const { return static_cast<int>(streams_.size()); }
    const AviReaderStream& stream(int i) const { return streams_.at(static_cast<std::size_t>(i)); }
    // Stream number of the n-th stream of this type (0 = any type), or -1.
    int findStream(std::uint32_t fccType, int n) const;

    // Copies chunk `index` of `stream` into `out`.
    int readChunk(int stream, std::size_t index, std::vector<std::uint8_t>& out);
    // Reads `bytes` bytes of chunk data starting `offset` bytes into the chunk.
    int readChunkPart(int stream, std::size_t index, std::uint32_t offset, void* out,
                      std::size_t bytes);

    std::uint64_t fileSize() const { return fileSize_; }
    AviIndexKind indexKind() const { return indexKind_; }
    int segmentCount() const { return static_cast<int>(segments_.size()); }
    std::uint32_t mainFlags() const { return mainFlags_; }
    std::uint32_t microSecPerFrame() const { return microSecPerFrame_; }
    std::uint32_t mainTotalFrames() const { return mainTotalFrames_; }
    // dmlh total frames, 0 when the file has none.
    std::uint32_t odmlTotalFrames() const { return odmlTotalFrames_; }
    // Chunks found past the indexed ones (a recording that was not closed).
    std::uint32_t recoveredChunks() const { return recoveredChunks_; }
    // Things found wrong with the file, in words, for tools and logs.
    const std::vector<std::string>& problems() const { return problems_; }

  private:
    struct Segment {
        std::uint64_t riffEnd = 0;
        std::uint64_t moviFourcc = 0;  // position of the 'movi' list type
        std::uint64_t moviEnd = 0;
        bool hasMovi = false;
    };
    struct IndxRef {
        std::uint64_t pos = 0;  // body position
        std::uint32_t size = 0;
    };
    // A chunk as an index or a scan gives it.
    struct Entry {
        std::uint64_t dataPos = 0;
        std::uint32_t size = 0;
        int stream = 0;
        int segment = 0;
        bool key = false;
    };
    // One account of the chunks in the movi lists: an index, or a scan.
    struct Reading {
        AviIndexKind kind = AviIndexKind::None;
        std::vector<Entry> entries;  // in file order once normalised
        bool present = false;        // the file has this index
        bool damaged = false;        // entries or whole tables had to be left out
    };
    // Bytes of an index chunk: no stream chunk lies there.
    struct Region {
        std::uint64_t begin = 0;
        std::uint64_t end = 0;
    };
    // How an index entry checked out against the file.
    enum class EntryCheck { Holds, HoldsOtherSize, PastEnd, Wrong };
    struct EntryTally {
        std::uint32_t wrong = 0;
        std::uint32_t pastEnd = 0;
    };

    static bool isPrintableFourcc(std::uint32_t id);
    // "NNxx" with two lower-case letters, neither an index nor a palette change.
    static bool isStreamChunkId(std::uint32_t id);
    bool read(std::uint64_t pos, void* out, std::size_t bytes);
    bool readChunkHeader(std::uint64_t pos, std::uint64_t end, std::uint32_t& id,
                         std::uint32_t& size);
    int parseRiff(std::uint64_t riffPos, bool first);
    bool findList(std::uint64_t from, std::uint64_t end, std::uint32_t listType,
                  std::uint64_t& found);
    void parseHdrl(std::uint64_t pos, std::uint64_t end);
    std::uint64_t parseStrl(std::uint64_t pos, std::uint64_t declaredEnd, std::uint64_t end);
    void parseOdml(std::uint64_t pos, std::uint64_t end);
    void inferStreamTypes();
    void restoreStreamHeader(int stream, std::uint32_t type);
    void checkFrameSizes();
    void indexChunks();
    Reading readOdml();
    void readStdIndex(int stream, std::uint64_t chunkPos, std::set<std::uint64_t>& seen,
                      Reading& out);
    Reading readIdx1();
    Reading scanSegments();
    int segmentOf(std::uint64_t headerPos) const;
    bool insideIndex(std::uint64_t headerPos) const;
    EntryCheck checkEntry(Entry& e, std::uint32_t wantedId);
    void keepEntry(Reading& out, Entry e, std::uint32_t wantedId, EntryTally& tally);
    void reportTally(const EntryTally& tally, const char* what);
    bool idx1Relative(const std::vector<std::uint8_t>& table, std::uint32_t entries);
    void normalise(Reading& r, const char* what);
    bool needsScan(const std::vector<const Reading*>& readings) const;
    void assemble(const std::vector<const Reading*>& readings);
    void scanRange(std::uint64_t start, std::uint64_t end, std::vector<Entry>& out,
                   const std::vector<std::uint64_t>* floor);
    void recoverTail();
    bool overlapsKnownChunk(const Entry& e, const std::vector<Region>& known) const;
    bool plausibleStreamChunk(int stream, std::uint32_t id) const;
    void addChunk(int stream, std::uint64_t dataPos, std::uint32_t size, bool key);
    void clearChunks();
    void finishStreams();
    void problem(std::string text);

    BinaryFile file_;
    std::uint64_t fileSize_ = 0;
    std::vector<AviReaderStream> streams_;
    std::vector<IndxRef> indx_;
    std::vector<Segment> segments_;
    std::uint64_t idx1Pos_ = 0;
    std::uint32_t idx1Size_ = 0;
    bool hasIdx1_ = false;
    bool hasHdrl_ = false;
    bool hasAvih_ = false;
    std::uint32_t mainFlags_ = 0;
    std::uint32_t microSecPerFrame_ = 0;
    std::uint32_t mainTotalFrames_ = 0;
    std::uint32_t odmlTotalFrames_ = 0;
    std::uint64_t totalEntries_ = 0;
    std::uint32_t recoveredChunks_ = 0;
    bool suspectIncomplete_ = false;
    // Whether the last assembly took a segment's chunks from a scan.
    bool scanWon_ = false;
    std::vector<Region> indexRegions_;
    AviIndexKind indexKind_ = AviIndexKind::None;
    std::vector<std::string> problems_;
    // Scan read-ahead: small reads of chunk headers come from here.
    std::vector<std::uint8_t> cache_;
    std::uint64_t cachePos_ = 0;
};

}  // namespace media
