#include "media/avi_repair_file.h"

#include "media/binary_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace media::repair {
namespace {

// Bytes moved per read and write while copying over the original.
constexpr std::size_t kCopyBlockBytes = std::size_t{1} << 20;
// Random names to try before giving up; a clash is already unlikely with 64
// random bits, so repeated ones mean someone is guessing.
constexpr int kTemporaryNameAttempts = 16;

std::string errnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::int64_t modifiedNs(const struct stat& status) {
    return std::int64_t{status.st_mtim.tv_sec} * 1000000000 + status.st_mtim.tv_nsec;
}

std::string randomTemporaryName() {
    std::random_device source;
    const std::uint64_t bits = (std::uint64_t{source()} << 32) | source();
    char name[40];
    std::snprintf(name, sizeof name, ".tessaly-repair-%016llx",
                  static_cast<unsigned long long>(bits));
    return name;
}

// Holds back the signals that end a program from a terminal or a service
// manager while the original is being rewritten. They are delivered when the
// rewrite is over, so they stop the program with the file whole rather than
// half old, half new.
class TerminationSignalsDeferred {
  public:
    TerminationSignalsDeferred() {
        sigset_t deferred;
        sigemptyset(&deferred);
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            sigaddset(&deferred, s);
        pthread_sigmask(SIG_BLOCK, &deferred, &previous_);
    }
    ~TerminationSignalsDeferred() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    TerminationSignalsDeferred(const TerminationSignalsDeferred&) = delete;
    TerminationSignalsDeferred& operator=(const TerminationSignalsDeferred&) = delete;

  private:
    sigset_t previous_{};
};

// Makes sure the original can grow to `size` without running out of room
// halfway: the blocks are allocated up front where the file system can, and
// the free space is checked where it cannot.
bool reserveRoom(int fd, std::uint64_t from, std::uint64_t size, std::string& reason) {
    if (size <= from)
        return true;
    if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) == 0)
        return true;
    if (errno != EOPNOTSUPP && errno != ENOSYS) {
        reason = errnoText("no room for the repaired file");
        return false;
    }
    struct statvfs space {};
    if (::fstatvfs(fd, &space) != 0) {
        reason = errnoText("cannot tell the free space");
        return false;
    }
    if (std::uint64_t{space.f_bavail} * space.f_frsize < size - from) {
        reason = "no room for the repaired file: the drive is too full";
        return false;
    }
    return true;
}

}  // namespace

Descriptor::~Descriptor() {
    if (fd_ >= 0)
        ::close(fd_);
}

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

std::string descriptorPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

bool openOriginal(const std::string& path, OriginalFile& original, std::string& reason) {
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0) {
        reason = errnoText("cannot open it");
        return false;
    }
    original.viaLink = S_ISLNK(link.st_mode);
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) {
        reason = original.viaLink && errno == ENOENT ? std::string("the link points at nothing")
                                                     : errnoText("cannot resolve its path");
        return false;
    }
    original.resolved = resolved;
    std::free(resolved);

    // The resolved path has no link left in it; one that appears there now
    // is not followed.
    original.file = Descriptor(
        ::open(original.resolved.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (!original.file.valid() || ::fstat(original.file.get(), &status) != 0) {
        reason = errnoText("cannot open it");
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        reason = "not a regular file";
        return false;
    }
    original.size = static_cast<std::uint64_t>(status.st_size);
    original.modifiedNs = modifiedNs(status);

    const std::size_t slash = original.resolved.find_last_of('/');
    const std::string directory = slash == 0 ? "/" : original.resolved.substr(0, slash);
    const std::string name = original.resolved.substr(slash + 1);
    original.directory =
        Descriptor(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat entry {};
    if (!original.directory.valid() ||
        ::fstatat(original.directory.get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0 ||
        !sameFile(entry, status)) {
        reason = "the file was moved while it was being opened";
        return false;
    }
    return true;
}

bool openForRewrite(OriginalFile& original, std::string& reason) {
    original.writable =
        Descriptor(::open(descriptorPath(original.file.get()).c_str(), O_WRONLY | O_CLOEXEC));
    if (!original.writable.valid()) {
        reason = errnoText("cannot write to it");
        return false;
    }
    return true;
}

Temporary::~Temporary() {
    if (kept_ || !file_.valid())
        return;
    // Only the entry that is still this file: a name someone replaced stays.
    struct stat mine {};
    struct stat entry {};
    if (::fstat(file_.get(), &mine) == 0 &&
        ::fstatat(directory_, name_.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0 &&
        sameFile(mine, entry))
        ::unlinkat(directory_, name_.c_str(), 0);
}

bool Temporary::create(int directory, std::string& reason) {
    directory_ = directory;
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        name_ = randomTemporaryName();
        file_ = Descriptor(::openat(directory, name_.c_str(),
                                    O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (file_.valid())
            return true;
        if (errno != EEXIST)
            break;
    }
    reason = errnoText("cannot create a temporary file beside it");
    return false;
}

bool rewriteInPlace(const OriginalFile& original, int from, std::uint64_t size, std::string& reason,
                    bool& touched) {
    touched = false;
    const int to = original.writable.get();
    struct stat now {};
    if (::fstat(to, &now) != 0 || static_cast<std::uint64_t>(now.st_size) != original.size ||
        modifiedNs(now) != original.modifiedNs) {
        reason = "the file changed while it was being repaired (is it still being written?)";
        return false;
    }
    if (!reserveRoom(to, original.size, size, reason))
        return false;
    const TerminationSignalsDeferred deferred;
    std::vector<std::uint8_t> block(kCopyBlockBytes);
    for (std::uint64_t pos = 0; pos < size; pos += block.size()) {
        const auto bytes =
            static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), size - pos));
        if (!readFullyAt(from, pos, block.data(), bytes)) {
            reason = errnoText("cannot read the repaired copy back");
            return false;
        }
        touched = true;
        if (!writeFullyAt(to, pos, block.data(), bytes)) {
            reason = errnoText("writing over the file failed");
            return false;
        }
    }
    touched = true;
    if (::ftruncate(to, static_cast<off_t>(size)) != 0 || ::fsync(to) != 0) {
        reason = errnoText("completing the file failed");
        return false;
    }
    return true;
}

}  // namespace media::repair
