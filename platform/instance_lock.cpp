#include "platform/instance_lock.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace {

// The lock file sits in a directory only its user can enter; nobody else
// needs to open it.
constexpr mode_t kLockFileMode = 0600;
constexpr mode_t kPrivateDirectoryMode = 0700;
constexpr mode_t kWritableByOthers = S_IWGRP | S_IWOTH;

// O_NOFOLLOW: a link planted at the path is never followed.
// O_NONBLOCK: a FIFO planted at the path cannot stall the open.
constexpr int kOpenFlags = O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

const char kRuntimeDirectoryVariable[] = "XDG_RUNTIME_DIR";

bool isAllowedNameChar(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('.') ||
           c == QLatin1Char('_') || c == QLatin1Char('-');
}

// 0 when `path` is a directory (not a link to one) of this user that nobody
// else may write to; with `exactMode`, also only when its mode is exactly that.
int checkOwnDirectory(const QString& path, mode_t exactMode = 0) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return errno;
    if (!S_ISDIR(info.st_mode))
        return ENOTDIR;
    if (info.st_uid != ::geteuid())
        return EPERM;
    if ((info.st_mode & kWritableByOthers) != 0)
        return EACCES;
    if (exactMode != 0 && (info.st_mode & 07777) != exactMode)
        return EACCES;
    return 0;
}

// Makes the fallback directory when it is missing. The mode is set again
// after mkdir because the umask may have narrowed it.
int makePrivateDirectory(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), kPrivateDirectoryMode) != 0)
        return errno == EEXIST ? 0 : errno;
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int result = ::fchmod(fd, kPrivateDirectoryMode) == 0 ? 0 : errno;
    ::close(fd);
    return result;
}

}  // namespace

RuntimeDirectory userRuntimeDirectory() {
    RuntimeDirectory directory;
    // A relative value is no runtime directory at all (it would depend on
    // where the program was started).
    const QString fromEnvironment = qEnvironmentVariable(kRuntimeDirectoryVariable);
    if (!fromEnvironment.isEmpty() && QDir::isAbsolutePath(fromEnvironment)) {
        directory.path = QDir::cleanPath(fromEnvironment);
        directory.error = checkOwnDirectory(directory.path);
        return directory;
    }
    directory.path = QDir::tempPath() + QStringLiteral("/tessaly-") + QString::number(::geteuid());
    directory.error = makePrivateDirectory(directory.path);
    if (directory.error == 0)
        directory.error = checkOwnDirectory(directory.path, kPrivateDirectoryMode);
    return directory;
}

QString instanceFileStem(const QString& instanceName) {
    QString stem = instanceName.mid(instanceName.lastIndexOf(QLatin1Char('\\')) + 1);
    for (QChar& c : stem) {
        if (!isAllowedNameChar(c))
            c = QLatin1Char('_');
    }
    // "." and ".." must not name a directory.
    if (stem.isEmpty() || stem == QLatin1String(".") || stem == QLatin1String(".."))
        stem = QStringLiteral("Tessaly_instance");
    return stem;
}

InstanceLock::InstanceLock(const QString& filePath) {
    fd_ = ::open(QFile::encodeName(filePath).constData(), kOpenFlags, kLockFileMode);
    if (fd_ < 0) {
        error_ = errno;
        return;
    }
    struct stat info {};
    if (::fstat(fd_, &info) != 0) {
        error_ = errno;
    } else if (!S_ISREG(info.st_mode)) {
        error_ = EINVAL;  // a FIFO, device or socket planted at the path
    } else if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
        state_ = State::Owned;
        return;
    } else if (errno == EWOULDBLOCK) {
        state_ = State::HeldByAnother;
    } else {
        error_ = errno;
    }
    ::close(fd_);
    fd_ = -1;
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0)
        ::close(fd_);
}
