#include "media/avi_probe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "media/avi_format.h"

namespace media {
namespace {

// Every AVI writer we know of puts the main header and the first stream's
// header within the first few hundred bytes, so one read of a page answers a
// listing; anything further is read on demand. A larger first read costs
// when the pages come from disk: 16 KiB made a listing of 1000 uncached
// recordings about 1.5 times as slow.
constexpr std::size_t kLeadBytes = 4 * 1024;
// Chunk headers visited per file at most: a damaged or hostile file made of
// countless tiny chunks costs no more than this many steps.
constexpr int kMaxChunkVisits = 512;

// Field offsets in 'avih', 'strh' and 'dmlh', and the bytes that must be
// present to read the last field used.
constexpr std::size_t kAvihTotalFrames = 16;
constexpr std::size_t kAvihWidth = 32;
constexpr std::size_t kAvihHeight = 36;
constexpr std::size_t kAvihNeeded = kAvihHeight + 4;
constexpr std::size_t kStrhType = 0;
constexpr std::size_t kStrhHandler = 4;
constexpr std::size_t kStrhScale = 20;
constexpr std::size_t kStrhRate = 24;
constexpr std::size_t kStrhLength = 32;
constexpr std::size_t kStrhNeeded = kStrhLength + 4;
constexpr std::size_t kDmlhNeeded = 4;

// Byte ranges of one regular file; the first kLeadBytes come from memory,
// read with one call when the file is opened. Plain POSIX calls rather than
// stdio: finding the size through stdio (a seek to the end) reads the file's
// last block, a second disk access per file in a listing.
class HeaderBytes {
  public:
    HeaderBytes() = default;
    ~HeaderBytes() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    HeaderBytes(const HeaderBytes&) = delete;
    HeaderBytes& operator=(const HeaderBytes&) = delete;

    int open(const std::string& path) {
        // Non-blocking, so that opening a FIFO cannot wait for a writer;
        // anything but a regular file is refused right after.
        fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        struct stat st {};
        if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))
            return kAviErrFileOpen;
        size_ = static_cast<std::uint64_t>(st.st_size);
        leadBytes_ = static_cast<std::size_t>(std::min<std::uint64_t>(size_, kLeadBytes));
        if (!readFromFile(0, lead_, leadBytes_))
            return kAviErrFileRead;
        return kAviOk;
    }

    std::uint64_t size() const { return size_; }

    // All `bytes` bytes at `pos`, or false.
    bool read(std::uint64_t pos, void* out, std::size_t bytes) const {
        if (pos > size_ || bytes > size_ - pos)
            return false;
        if (pos + bytes <= leadBytes_) {
            std::memcpy(out, lead_ + pos, bytes);
            return true;
        }
        return readFromFile(pos, out, bytes);
    }

  private:
    bool readFromFile(std::uint64_t pos, void* out, std::size_t bytes) const {
        auto* dest = static_cast<std::uint8_t*>(out);
        while (bytes > 0) {
            if (pos > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
                return false;
            const ssize_t got = ::pread(fd_, dest, bytes, static_cast<off_t>(pos));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            dest += got;
            pos += static_cast<std::uint64_t>(got);
            bytes -= static_cast<std::size_t>(got);
        }
        return true;
    }

    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::uint8_t lead_[kLeadBytes];
    std::size_t leadBytes_ = 0;
};

struct Chunk {
    std::uint32_t id = 0;
    std::uint32_t size = 0;      // as the header claims
    std::uint32_t listType = 0;  // lists only
    std::uint64_t dataPos = 0;   // after the 8-byte header
    std::uint64_t dataEnd = 0;   // clamped to the enclosing range
    std::uint64_t present() const { return dataEnd - dataPos; }
};

// Walks the chunks of [pos, end) one header at a time, sharing one budget of
// visits with every other walk of the same file.
class ChunkWalker {
  public:
    ChunkWalker(const HeaderBytes& bytes, std::uint64_t pos, std::uint64_t end, int& visits)
        : bytes_(bytes), pos_(pos), end_(end), visits_(visits) {}

    // False at the end of the range, when the budget is spent, or at a chunk
    // header that cannot be read (a list too short for its type included).
    bool next(Chunk& chunk) {
        if (pos_ + kChunkHeaderBytes > end_ || --visits_ < 0)
            return false;
        std::uint8_t header[kListHeaderBytes];
        if (!bytes_.read(pos_, header, kChunkHeaderBytes))
            return false;
        chunk.id = le32(header);
        chunk.size = le32(header + 4);
        chunk.dataPos = pos_ + kChunkHeaderBytes;
        chunk.dataEnd = std::min<std::uint64_t>(chunk.dataPos + chunk.size, end_);
        chunk.listType = 0;
        if (chunk.id == kFccList) {
            if (chunk.size < 4 || !bytes_.read(chunk.dataPos, header + 8, 4))
                return false;
            chunk.listType = le32(header + 8);
        }
        pos_ = nextChunkPos(pos_, chunk.size);
        return true;
    }

  private:
    const HeaderBytes& bytes_;
    std::uint64_t pos_;
    std::uint64_t end_;
    int& visits_;
};

class HeaderProbe {
  public:
    HeaderProbe(const HeaderBytes& bytes, AviProbe& probe, AviProbeScope scope)
        : bytes_(bytes), probe_(probe), scope_(scope) {}

    int run() {
        std::uint8_t riff[kListHeaderBytes];
        if (!bytes_.read(0, riff, sizeof riff) || le32(riff) != kFccRiff ||
            le32(riff + 8) != kFccAvi)
            return kAviErrBadFormat;
        const std::uint32_t riffSize = le32(riff + 4);
        // A recording cut short (a crash) ends inside its RIFF: what is there
        // still counts.
        const std::uint64_t riffEnd =
            std::min<std::uint64_t>(kChunkHeaderBytes + riffSize, bytes_.size());
        if (riffEnd < bytes_.size())
            probe_.secondSegmentFollows = isSegmentAt(nextChunkPos(0, riffSize));
        Chunk hdrl;
        if (!findHeaderList(riffEnd, hdrl))
            return kAviErrBadFormat;
        walkHeaderList(hdrl);
        return haveMainHeader_ && haveFirstStream_ ? kAviOk : kAviErrBadFormat;
    }

  private:
    bool isSegmentAt(std::uint64_t pos) const {
        std::uint8_t h[kListHeaderBytes];
        return bytes_.read(pos, h, sizeof h) && le32(h) == kFccRiff && le32(h + 8) == kFccAvix;
    }

    // The header list is the first list of every AVI writer we know of;
    // chunks before it (JUNK) are skipped, and it never follows the data.
    bool findHeaderList(std::uint64_t riffEnd, Chunk& hdrl) {
        ChunkWalker walker(bytes_, kListHeaderBytes, riffEnd, visits_);
        while (walker.next(hdrl)) {
            if (hdrl.listType == kFccHdrl)
                return true;
            if (hdrl.listType == kFccMovi)
                return false;
        }
        return false;
    }

    void walkHeaderList(const Chunk& hdrl) {
        ChunkWalker walker(bytes_, hdrl.dataPos + 4, hdrl.dataEnd, visits_);
        Chunk chunk;
        while (!isDone() && walker.next(chunk)) {
            if (chunk.id == kFccAvih) {
                readMainHeader(chunk);
            } else if (chunk.listType == kFccStrl) {
                // The first stream list decides: without its stream header
                // the file has no time base.
                if (probe_.streams++ == 0 && !readFirstStream(chunk))
                    return;
            } else if (chunk.listType == kFccOdml) {
                readOdmlTotal(chunk);
            }
        }
    }

    bool isDone() const {
        return scope_ == AviProbeScope::Duration && haveMainHeader_ && haveFirstStream_ &&
               !probe_.secondSegmentFollows;
    }

    void readMainHeader(const Chunk& avih) {
        std::uint8_t m[kAvihNeeded];
        if (avih.present() < sizeof m || !bytes_.read(avih.dataPos, m, sizeof m))
            return;
        probe_.mainTotalFrames = le32(m + kAvihTotalFrames);
        probe_.width = le32(m + kAvihWidth);
        probe_.height = le32(m + kAvihHeight);
        haveMainHeader_ = true;
    }

    // The first 'strh' of the list; it must claim at least the size readers
    // accept, and its fields up to the length must be in the file.
    bool readFirstStream(const Chunk& strl) {
        ChunkWalker walker(bytes_, strl.dataPos + 4, strl.dataEnd, visits_);
        Chunk chunk;
        while (walker.next(chunk)) {
            if (chunk.id != kFccStrh)
                continue;
            std::uint8_t s[kStrhNeeded];
            if (chunk.size < kMinStreamHeaderBytes || chunk.present() < sizeof s ||
                !bytes_.read(chunk.dataPos, s, sizeof s))
                return false;
            probe_.fccType = le32(s + kStrhType);
            probe_.fccHandler = le32(s + kStrhHandler);
            probe_.scale = le32(s + kStrhScale);
            probe_.rate = le32(s + kStrhRate);
            probe_.length = le32(s + kStrhLength);
            haveFirstStream_ = true;
            return true;
        }
        return false;
    }

    void readOdmlTotal(const Chunk& odml) {
        ChunkWalker walker(bytes_, odml.dataPos + 4, odml.dataEnd, visits_);
        Chunk chunk;
        while (walker.next(chunk)) {
            std::uint8_t total[kDmlhNeeded];
            if (chunk.id == kFccDmlh && chunk.present() >= sizeof total &&
                bytes_.read(chunk.dataPos, total, sizeof total)) {
                probe_.odmlTotalFrames = le32(total);
                return;
            }
        }
    }

    const HeaderBytes& bytes_;
    AviProbe& probe_;
    const AviProbeScope scope_;
    int visits_ = kMaxChunkVisits;
    bool haveMainHeader_ = false;
    bool haveFirstStream_ = false;
};

}  // namespace

std::uint32_t AviProbe::durationSeconds() const {
    std::uint32_t frames = length;
    if (fccType == kFccVids && secondSegmentFollows)
        frames = std::max(frames, odmlTotalFrames);
    if (scale == 0)
        return 0;
    const std::uint32_t perSecond = rate / scale;
    return perSecond ? frames / perSecond : 0;
}

int aviProbeFile(const std::string& path, AviProbe& probe, AviProbeScope scope) {
    probe = AviProbe{};
    HeaderBytes bytes;
    const int status = bytes.open(path);
    if (status != kAviOk)
        return status;
    return HeaderProbe(bytes, probe, scope).run();
}

}  // namespace media
