#include "media/binary_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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
    openError_ = 0;
    // Reading takes regular files only: a FIFO or a device could block or
    // never end. The type is checked on the opened descriptor (non-blocking,
    // so opening a FIFO cannot wait), which also gives the size without a
    // seek to the end.
    const int flags = mode == Mode::Read ? (O_RDONLY | O_NONBLOCK | O_CLOEXEC)
                                         : (O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC);
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) {
        openError_ = errno;
        return false;
    }
    if (mode == Mode::CreateWrite) {
        fd_ = fd;
        size_ = 0;
        return true;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        openError_ = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return false;
    }
    file_ = ::fdopen(fd, "rb");
    if (!file_) {
        openError_ = errno;
        ::close(fd);
        return false;
    }
    size_ = static_cast<std::uint64_t>(status.st_size);
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
    if (bytes == 0)
        return isOpen();
    if (fd_ >= 0)
        return readFullyAt(fd_, pos, out, bytes);
    if (!file_ || !seekTo(pos))
        return false;
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
    if (fd_ < 0)
        return false;
    if (pos > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
        return false;
    std::size_t done = 0;
    const bool written = writeFullyAt(fd_, pos, data, bytes, &done);
    size_ = std::max(size_, pos + done);
    return written;
}

bool BinaryFile::truncate(std::uint64_t size) {
    if (fd_ < 0 || size > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
        return false;
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
        return false;
    size_ = size;
    return true;
}

bool BinaryFile::isUnlinked() const {
    struct stat status {};
    return fd_ >= 0 && ::fstat(fd_, &status) == 0 && status.st_nlink == 0;
}

bool BinaryFile::flush() {
    return isOpen();
}

bool BinaryFile::close() {
    bool ok = true;
    if (file_)
        ok = std::fclose(file_) == 0;
    if (fd_ >= 0)
        ok = ::close(fd_) == 0;
    file_ = nullptr;
    fd_ = -1;
    positionKnown_ = false;
    return ok;
}

bool readFullyAt(int fd, std::uint64_t pos, void* out, std::size_t bytes, std::size_t* done) {
    auto* p = static_cast<std::uint8_t*>(out);
    std::size_t total = 0;
    bool complete = true;
    while (total < bytes) {
        const ssize_t got = ::pread(fd, p + total, bytes - total, static_cast<off_t>(pos + total));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            complete = false;
            break;
        }
        total += static_cast<std::size_t>(got);
    }
    if (done)
        *done = total;
    return complete;
}

bool writeFullyAt(int fd, std::uint64_t pos, const void* data, std::size_t bytes,
                  std::size_t* done) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::size_t total = 0;
    bool complete = true;
    while (total < bytes) {
        const ssize_t put = ::pwrite(fd, p + total, bytes - total, static_cast<off_t>(pos + total));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            complete = false;
            break;
        }
        total += static_cast<std::size_t>(put);
    }
    if (done)
        *done = total;
    return complete;
}

}  // namespace media
