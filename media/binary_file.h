// A file of bytes addressed by 64-bit offsets. Reading goes through stdio and
// keeps track of the stream position so that sequential reads never seek (a
// seek would drop stdio's buffer). Writing goes straight to the descriptor:
// a write that fails (a full drive) then fails at once, and everything before
// it is known to be in the file, so the writer can cut back to a whole chunk.
// Every call reports failure by its result.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace media {

class BinaryFile {
  public:
    enum class Mode { Read, CreateWrite };

    BinaryFile() = default;
    ~BinaryFile();
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;

    // Opens for reading, or creates (truncating) for reading and writing.
    bool open(const std::string& path, Mode mode);
    bool isOpen() const { return file_ != nullptr || fd_ >= 0; }
    // Size at open time for reading; the written end for writing.
    std::uint64_t size() const { return size_; }

    bool readAt(std::uint64_t pos, void* out, std::size_t bytes);
    // Writes all of `bytes` or fails; on failure the bytes that did land
    // may lie past `pos` (see truncate()).
    bool writeAt(std::uint64_t pos, const void* data, std::size_t bytes);
    // Cuts a file opened for writing to `size` bytes.
    bool truncate(std::uint64_t size);
    // True when a file opened for writing no longer has a name (it, or its
    // directory, was deleted): what is written from then on is lost.
    bool isUnlinked() const;
    // Written bytes are already with the operating system (no disk sync).
    bool flush();
    bool close();
    // errno of the last failed open().
    int openError() const { return openError_; }

  private:
    bool seekTo(std::uint64_t pos);

    std::FILE* file_ = nullptr;
    int fd_ = -1;  // open for writing
    int openError_ = 0;
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
    bool positionKnown_ = false;
};

// pread/pwrite of exactly `bytes` at `pos`, going on after interruptions
// and short transfers; false at an error or the end of the file. `done`, when
// given, receives the bytes that were transferred either way.
bool readFullyAt(int fd, std::uint64_t pos, void* out, std::size_t bytes,
                 std::size_t* done = nullptr);
bool writeFullyAt(int fd, std::uint64_t pos, const void* data, std::size_t bytes,
                  std::size_t* done = nullptr);

}  // namespace media
