// The AVI container reader: AVI 1.0 (idx1 with relative or absolute offsets)
// and OpenDML (indx / ix##, RIFF 'AVIX' segments). When the index is missing
// or damaged, or the file was cut short or never closed, it rebuilds the list
// of chunks by scanning the movi data.
//
// Every size, count and offset taken from the file is checked against the file
// before it is used: a damaged or hostile file gives a nonzero status or fewer
// chunks, never a read outside the file, and memory stays proportional to the
// file's size.
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

    bool read(std::uint64_t pos, void* out, std::size_t bytes);
    bool readChunkHeader(std::uint64_t pos, std::uint64_t end, std::uint32_t& id,
                         std::uint32_t& size);
    int parseRiff(std::uint64_t riffPos, bool first);
    void parseHdrl(std::uint64_t pos, std::uint64_t end);
    void parseStrl(std::uint64_t pos, std::uint64_t end);
    void parseOdml(std::uint64_t pos, std::uint64_t end);
    bool loadOdml();
    bool loadStdIndex(int stream, std::uint64_t chunkPos, std::set<std::uint64_t>& seen);
    bool loadIdx1();
    void scanRange(std::uint64_t start, std::uint64_t end, bool tail);
    void recoverTail();
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
    // While recovering the tail: per stream, the last chunk the index knew.
    std::vector<std::uint64_t> tailFloor_;
    AviIndexKind indexKind_ = AviIndexKind::None;
    std::vector<std::string> problems_;
    // Scan read-ahead: small reads of chunk headers come from here.
    std::vector<std::uint8_t> cache_;
    std::uint64_t cachePos_ = 0;
};

}  // namespace media
