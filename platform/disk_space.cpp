#include "platform/disk_space.h"

#include <QDir>

#include <sys/statvfs.h>
#include <unistd.h>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <string>

#include "platform/native_path.h"

namespace {

// Errors that mean "this path is not there (yet)": the directory may be
// created later, so the filesystem that would hold it is the parent's.
bool isMissingPathError(int error) {
    return error == ENOENT || error == ENOTDIR;
}

// "/a/b" -> "/a", "/a" -> "/", "/" -> "/" (for a clean absolute path).
QString parentOf(const QString& cleanAbsolute) {
    const qsizetype slash = cleanAbsolute.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : cleanAbsolute.left(slash);
}

// The working directory as its bytes (QDir::currentPath() would turn bytes
// that are not UTF-8 into other characters).
QString workingDirectory() {
    std::string buffer(256, '\0');
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE)
            return QStringLiteral("/");
        buffer.resize(buffer.size() * 2);
    }
    buffer.resize(buffer.find('\0'));
    return platform::decodePath(buffer);
}

QString absolutePath(const QString& path) {
    return path.startsWith(QLatin1Char('/')) ? path : platform::joinPath(workingDirectory(), path);
}

qint64 availableBytes(const struct statvfs& info) {
    const std::uint64_t blocks = info.f_bavail;
    const std::uint64_t blockSize = info.f_frsize;
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<qint64>::max());
    if (blockSize != 0 && blocks > kMax / blockSize) {
        return std::numeric_limits<qint64>::max();
    }
    return static_cast<qint64>(blocks * blockSize);
}

}  // namespace

int driveFreeSpace(const QString& path, qint64& bytes) {
    if (path.isEmpty()) {
        return ENOENT;
    }
    QString current = QDir::cleanPath(absolutePath(path));
    for (;;) {
        struct statvfs info {};
        const QByteArray native = platform::encodePath(current);
        if (::statvfs(native.constData(), &info) == 0) {
            bytes = availableBytes(info);
            return 0;
        }
        const int error = errno;
        const QString parent = parentOf(current);
        if (!isMissingPathError(error) || parent == current) {
            return error;
        }
        current = parent;
    }
}
