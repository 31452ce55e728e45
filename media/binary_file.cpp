#include "media/binary_file.h"

#include <filesystem>
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
    // Only regular files: opening a FIFO or a device for reading could block
    // or never end.
    std::error_code error;
    if (mode == Mode::Read && !std::filesystem::is_regular_file(path, error))
        return false;
    file_ = std::fopen(path.c_str(), mode == Mode::Read ? "rb" : "w+b");
    if (!file_)
        return false;
    size_ = 0;
    if (mode == Mode::Read) {
        if (fseeko(file_, 0, SEEK_END) != 0) {
            close();
            return false;
        }
        const off_t end = ftello(file_);
        if (end < 0) {
            close();
            return false;
        }
        size_ = static_cast<std::uint64_t>(end);
    }
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
