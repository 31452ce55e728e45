#include "filelist/video_scan.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kAviMarker = QStringLiteral(".avi");

bool isListedName(const QString& name) {
    return !name.startsWith(QLatin1Char('.')) && name.contains(kAviMarker, Qt::CaseSensitive);
}

}  // namespace

bool scanVideoDirectory(const QString& directory, QVector<VideoFileEntry>& entries) {
    // An empty text would otherwise name the working directory.
    if (directory.isEmpty()) {
        return false;
    }
    const QFileInfo info(directory);
    if (!info.isDir() || !info.isReadable() || !info.isExecutable()) {
        return false;
    }
    // Without QDir::System, FIFOs, sockets, devices and broken links are not
    // listed at all; links to files and directories count as their targets.
    const QFileInfoList listed =
        QDir(directory).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& item : listed) {
        const QString name = item.fileName();
        if (!isListedName(name) || !(item.isFile() || item.isDir())) {
            continue;
        }
        VideoFileEntry entry;
        entry.size = item.isFile() ? item.size() : 0;
        entry.name = name;
        entries.append(entry);
    }
    return true;
}

QString recordingPath(const QString& directory, const QString& name) {
    if (directory.endsWith(QLatin1Char('/'))) {
        return directory + name;
    }
    return directory + QLatin1Char('/') + name;
}
