#include "platform/instance_lock.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace {

// Readable by everybody so that another user's start can open the file and
// find the lock taken: the lock is machine-wide.
constexpr mode_t kLockFileMode = 0644;

// O_NOFOLLOW: a link planted at the path is never followed.
// O_NONBLOCK: a FIFO planted at the path cannot stall the open.
constexpr int kOpenFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

bool isAllowedNameChar(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('.') ||
           c == QLatin1Char('_') || c == QLatin1Char('-');
}

// Opens an existing lock file, or creates it. Opening without O_CREAT first
// keeps another user's file usable where the kernel refuses O_CREAT on
// foreign files in sticky directories (fs.protected_regular).
int openLockFile(const QByteArray& path) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(path.constData(), kOpenFlags);
        if (fd >= 0 || errno != ENOENT) {
            return fd;
        }
        const int created = ::open(path.constData(), kOpenFlags | O_CREAT | O_EXCL, kLockFileMode);
        if (created >= 0) {
            // The umask may have narrowed the mode; widen it back to 0644.
            (void)::fchmod(created, kLockFileMode);
            return created;
        }
        if (errno != EEXIST) {
            return -1;
        }
        // Someone created it between the two opens: open theirs.
    }
    errno = EAGAIN;
    return -1;
}

}  // namespace

QString instanceLockFilePath(const QString& instanceName) {
    QString base = instanceName.mid(instanceName.lastIndexOf(QLatin1Char('\\')) + 1);
    for (QChar& c : base) {
        if (!isAllowedNameChar(c)) {
            c = QLatin1Char('_');
        }
    }
    // "." and ".." must not name the directory itself.
    if (base.isEmpty() || base == QLatin1String(".") || base == QLatin1String("..")) {
        base = QStringLiteral("Tessaly_instance");
    }
    return QDir::tempPath() + QLatin1Char('/') + base + QStringLiteral(".lock");
}

InstanceLock::InstanceLock(const QString& filePath) {
    fd_ = openLockFile(QFile::encodeName(filePath));
    if (fd_ < 0) {
        error_ = errno;
        return;
    }
    struct stat info {};
    if (::fstat(fd_, &info) != 0) {
        error_ = errno;
    } else if (!S_ISREG(info.st_mode)) {
        error_ = EINVAL;  // a FIFO, device or directory planted at the path
    }
    if (error_ != 0) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
        state_ = State::Owned;
        return;
    }
    if (errno == EWOULDBLOCK) {
        state_ = State::HeldByAnother;
    } else {
        error_ = errno;
    }
    ::close(fd_);
    fd_ = -1;
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}
