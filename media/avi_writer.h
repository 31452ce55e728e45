// The AVI container writer: AVI 1.0 with idx1 for the first gigabyte, OpenDML
// (RIFF 'AVIX' segments, 'indx' super indexes, 'ix##' standard indexes) beyond
// it, and flush() for crash safety.
//
// File layout:
//   RIFF 'AVI ' { LIST hdrl { avih, LIST strl { strh strf [strn] indx }...,
//                             LIST odml { dmlh } }
//                 JUNK (movi data starts on a 2048-byte boundary)
//                 LIST movi { chunks, ix## ... }  idx1 }
//   RIFF 'AVIX' { LIST movi { chunks, ix## ... } } ...
//
// Crash safety: every stream collects its chunks in a standard index "window"
// of at most kStdIndexEntries entries. flush() appends an 'ix##' chunk holding
// the whole current window to the movi list, points the window's super index
// entry at it, and rewrites the header block (RIFF/movi sizes, stream lengths,
// avih, dmlh, super indexes) in place. A process killed after a flush leaves a
// file whose headers, sizes and OpenDML index describe every chunk written up
// to that flush; chunks written after it lie beyond the RIFF end, where
// sequential readers (FFmpeg, our reader's tail scan) still find them. An
// 'ix##' chunk superseded by a later flush of the same window stays in movi as
// dead bytes that every reader skips.
//
// Not thread-safe: the owner serialises calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/avi_format.h"
#include "media/binary_file.h"

namespace media {

// The first RIFF stays within 1 GiB so that AVI 1.0 readers play that part;
// later segments use the same bound, as FFmpeg does.
constexpr std::uint64_t kDefaultSegmentLimit = std::uint64_t{1} << 30;
// Segments must stay far below 4 GiB (32-bit RIFF sizes, and ix## offsets are
// 32-bit); many readers treat RIFF sizes as signed.
constexpr std::uint64_t kMaxSegmentLimit = std::uint64_t{1} << 31;
// Entries per 'ix##' window. Each flush rewrites the open window whole, so the
// dead bytes left by superseded windows stay around 1% of a recording's size
// even for small delta frames; a window of 256 frames is ~51 s at 5 fps.
constexpr std::uint32_t kStdIndexEntries = 256;
// Super index capacity per stream: 2048 windows of 256 frames are about
// 29 hours at 5 fps (32 KiB of reserved header per stream).
constexpr std::uint32_t kDefaultSuperIndexEntries = 2048;
// The largest chunk accepted (an uncompressed 4K frame is ~33 MB).
constexpr std::uint32_t kMaxChunkBytes = 256u << 20;

struct AviWriterOptions {
    std::uint64_t segmentLimit = kDefaultSegmentLimit;
    std::uint32_t superIndexEntries = kDefaultSuperIndexEntries;
};

class AviWriter {
  public:
    AviWriter() = default;
    ~AviWriter();
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Creates (truncates) the file. Nothing is written until the first chunk,
    // flush() or close().
    int create(const std::string& path, const AviWriterOptions& options = {});
    bool isOpen() const { return file_.isOpen(); }

    // Adds a stream with this header (the length is recomputed; the suggested
    // buffer size grows to the largest chunk written). Refused after the first
    // chunk or flush, and for a zero type, scale or rate. `index` receives the
    // stream number.
    int addStream(const AviStreamHeader& header, const std::string& name, int* index);
    // Stores the stream format ('strf'). Video widens the frame rectangle to
    // the picture; PCM audio sets the sample size to the block align. Refused
    // once the header is on disk, unless the block is unchanged.
    int setFormat(int stream, const void* format, std::size_t size);

    // Sets the codec FOURCC and quality the stream header announces; refused
    // once the header is on disk.
    int setHandler(int stream, std::uint32_t fccHandler, std::uint32_t quality);

    // Appends one chunk of `stream`; `key` marks it as a key frame in the
    // indexes (audio chunks are always key frames).
    int writeChunk(int stream, const void* data, std::uint32_t size, bool key);

    // Makes everything written so far reachable after a crash (see above).
    int flush();
    // Writes the remaining indexes and headers and closes the file. When the
    // drive has no room left for them, the file keeps the OpenDML indexes of
    // the last flush without 'idx1', or else the newest chunks of the open
    // index windows are cut off until the indexes fit: the file stays
    // complete and ends with whole chunks. A write that fails (a full drive) cuts the
    // file back to the end of the last whole chunk before returning.
    int close();
    // True when the file being written was deleted (or its directory was).
    bool fileIsGone() const;

    int streamCount() const { return static_cast<int>(streams_.size()); }
    const AviStreamHeader& streamHeader(int stream) const;
    const std::vector<std::uint8_t>& streamFormat(int stream) const;
    const std::string& streamName(int stream) const;
    std::uint32_t chunkCount(int stream) const;
    std::uint64_t byteCount(int stream) const;
    // Frames (sample size 0) or bytes / sample size.
    std::uint32_t streamLength(int stream) const;
    // What the stream header announces: the size the stream was created with,
    // or the largest chunk when one was larger.
    std::uint32_t suggestedBufferSize(int stream) const;
    int segmentCount() const { return static_cast<int>(segments_.size()); }
    bool hasData() const { return headerWritten_; }

  private:
    struct StdEntry {
        std::uint32_t offset;  // chunk data position - segment base
        std::uint32_t sizeAndFlag;
    };
    struct SuperEntry {
        std::uint64_t offset;
        std::uint32_t size;
        std::uint32_t duration;
    };
    struct Idx1Entry {
        std::uint32_t chunkId;
        std::uint32_t flags;
        std::uint32_t offset;
        std::uint32_t size;
    };
    struct Stream {
        AviStreamHeader header;
        std::vector<std::uint8_t> format;
        std::string name;
        std::uint32_t chunks = 0;
        std::uint64_t bytes = 0;
        std::uint32_t largestChunk = 0;
        std::uint32_t firstSegmentChunks = 0;
        std::vector<StdEntry> window;
        std::uint32_t windowDuration = 0;
        std::size_t windowPersisted = 0;
        int windowSlot = -1;
        std::vector<SuperEntry> superIndex;
    };
    struct Segment {
        std::uint64_t riffPos = 0;
        std::uint64_t moviListPos = 0;  // position of 'LIST' of the movi list
        std::uint64_t moviEnd = 0;      // 0 while the segment is open
        std::uint64_t riffEnd = 0;      // 0 while the segment is open
        std::uint32_t chunks = 0;
        std::uint64_t base() const { return moviListPos + 8; }  // 'movi' FOURCC
    };

    bool validStream(int stream) const;
    std::uint32_t indexChunkId(int stream) const;
    std::uint32_t dataChunkId(int stream, bool key, std::uint32_t size) const;
    std::uint32_t durationOf(const Stream& s, std::uint32_t size) const;
    std::uint32_t lengthOf(const Stream& s) const;
    std::uint32_t suggestedOf(const Stream& s) const;
    int firstVideoStream() const;

    void buildHeader(std::vector<std::uint8_t>& out) const;
    int writeHeader();
    int writeSegmentHeader(const Segment& seg);
    int persistWindow(int stream);
    int closeWindow(int stream);
    int writeIdx1();
    int appendIdx1();
    int startSegment();
    std::uint64_t pendingIndexBytes(int addingStream) const;
    int append(const void* data, std::size_t size);
    int appendChunk(std::uint32_t id, const void* data, std::uint32_t size);
    int appendOrCutBack(const void* data, std::size_t size);
    int cutBack(std::uint64_t end, int status);
    int complete(bool withIdx1);
    std::uint64_t completionBytes() const;
    bool dropLastChunk();
    int completeInRoomLeft();

    BinaryFile file_;
    AviWriterOptions options_;
    std::vector<Stream> streams_;
    std::vector<Segment> segments_;
    std::vector<Idx1Entry> idx1_;
    std::vector<std::uint8_t> header_;
    std::vector<std::uint8_t> scratch_;
    std::uint64_t end_ = 0;
    bool headerWritten_ = false;
    // Chunks before this position are in an index written for good.
    std::uint64_t rollbackFloor_ = 0;
    // Bytes of a failed write that had landed before the file was cut back.
    std::uint64_t landedBeforeCut_ = 0;
};

}  // namespace media
