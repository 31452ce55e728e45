// A file of bytes addressed by 64-bit offsets, over stdio. Keeps track of the
// stream position so that sequential reads and appends never seek (a seek
// would drop stdio's buffer). Every call reports failure by its result.
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
    bool isOpen() const { return file_ != nullptr; }
    // Size at open time for reading; the written end for writing.
    std::uint64_t size() const { return size_; }

    bool readAt(std::uint64_t pos, void* out, std::size_t bytes);
    bool writeAt(std::uint64_t pos, const void* data, std::size_t bytes);
    // Hands written bytes to the operating system (no disk sync).
    bool flush();
    bool close();

  private:
    bool seekTo(std::uint64_t pos);

    std::FILE* file_ = nullptr;
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
    bool positionKnown_ = false;
    bool lastWasWrite_ = false;
};

}  // namespace media
