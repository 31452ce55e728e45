#include "filelist/video_scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

#include "platform/native_path.h"

namespace {

const QString kAviMarker = QStringLiteral(".avi");

bool isListedName(const QString& name) {
    return !name.startsWith(QLatin1Char('.')) && name.contains(kAviMarker, Qt::CaseSensitive);
}

// Closes the directory stream however the scan ends.
struct DirectoryStream {
    explicit DirectoryStream(const QByteArray& path) : dir(::opendir(path.constData())) {}
    ~DirectoryStream() {
        if (dir)
            ::closedir(dir);
    }
    DirectoryStream(const DirectoryStream&) = delete;
    DirectoryStream& operator=(const DirectoryStream&) = delete;
    DIR* dir;
};

}  // namespace

bool scanVideoDirectory(const QString& directory, QVector<VideoFileEntry>& entries) {
    // An empty text would otherwise name the working directory.
    if (directory.isEmpty()) {
        return false;
    }
    // Names are read and kept as their bytes, so a directory or a file whose
    // name is not UTF-8 is listed, and opened again, as itself.
    DirectoryStream stream(platform::encodePath(directory));
    if (!stream.dir) {
        return false;
    }
    QVector<VideoFileEntry> found;
    while (const dirent* item = ::readdir(stream.dir)) {
        const QString name = platform::decodePath(QByteArray(item->d_name));
        if (!isListedName(name)) {
            continue;
        }
        // Links count as what they point at; FIFOs, sockets, devices and
        // broken links are left out.
        struct stat info {};
        if (::fstatat(::dirfd(stream.dir), item->d_name, &info, 0) != 0 ||
            !(S_ISREG(info.st_mode) || S_ISDIR(info.st_mode))) {
            continue;
        }
        VideoFileEntry entry;
        entry.size = S_ISREG(info.st_mode) ? static_cast<qint64>(info.st_size) : 0;
        entry.name = name;
        found.append(entry);
    }
    std::sort(found.begin(), found.end(),
              [](const VideoFileEntry& a, const VideoFileEntry& b) { return a.name < b.name; });
    entries.append(found);
    return true;
}
