#include "media/binary_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <limits>

namespace media {
namespace {

bool seekAbsolute(std::FILE* f, std::uint64_t pos) {
    if (pos > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
        return false;
    return fseeko(f, static_cast<off_t>(pos), SEEK_SET) == 0;
}

}  // namespace

BinaryFile::~BinaryFile() {
    close();
}

bool BinaryFile::open(const std::string& path, Mode mode) {
    close();
    // Reading takes regular files only: a FIFO or a device could block or
    // never end. The type is checked on the opened descriptor (non-blocking,
    // so opening a FIFO cannot wait), which also gives the size without a
    // seek to the end.
    const int flags = mode == Mode::Read ? (O_RDONLY | O_NONBLOCK | O_CLOEXEC)
                                         : (O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC);
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0)
        return false;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || (mode == Mode::Read && !S_ISREG(status.st_mode))) {
        ::close(fd);
        return false;
    }
    file_ = ::fdopen(fd, mode == Mode::Read ? "rb" : "w+b");
    if (!file_) {
        ::close(fd);
        return false;
    }
    size_ = mode == Mode::Read ? static_cast<std::uint64_t>(status.st_size) : 0;
    positionKnown_ = false;
    return true;
}

bool BinaryFile::seekTo(std::uint64_t pos) {
    if (positionKnown_ && position_ == pos)
        return true;
    if (!seekAbsolute(file_, pos)) {
        positionKnown_ = false;
        return false;
    }
    position_ = pos;
    positionKnown_ = true;
    return true;
}

bool BinaryFile::readAt(std::uint64_t pos, void* out, std::size_t bytes) {
    if (!file_)
        return false;
    if (bytes == 0)
        return true;
    // stdio needs a positioning call between a write and a read.
    if (lastWasWrite_)
        positionKnown_ = false;
    if (!seekTo(pos))
        return false;
    lastWasWrite_ = false;
    const std::size_t got = std::fread(out, 1, bytes, file_);
    position_ += got;
    if (got != bytes) {
        positionKnown_ = false;
        std::clearerr(file_);
        return false;
    }
    return true;
}

bool BinaryFile::writeAt(std::uint64_t pos, const void* data, std::size_t bytes) {
    if (!file_)
        return false;
    if (bytes == 0)
        return true;
    if (!lastWasWrite_)
        positionKnown_ = false;
    if (!seekTo(pos))
        return false;
    lastWasWrite_ = true;
    const std::size_t put = std::fwrite(data, 1, bytes, file_);
    position_ += put;
    if (position_ > size_)
        size_ = position_;
    if (put != bytes) {
        positionKnown_ = false;
        std::clearerr(file_);
        return false;
    }
    return true;
}

bool BinaryFile::flush() {
    return file_ && std::fflush(file_) == 0;
}

bool BinaryFile::close() {
    if (!file_)
        return true;
    const bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    positionKnown_ = false;
    lastWasWrite_ = false;
    return ok;
}

}  // namespace media
