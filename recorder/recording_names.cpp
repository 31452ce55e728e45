#include "recorder/recording_names.h"

#include <QDir>

#include "platform/native_path.h"

namespace recorder {
namespace {

QString stampOf(const QDateTime& localTime) {
    return localTime.toString(QStringLiteral("yyyyMMddHHmmss"));
}

}  // namespace

QString recordingFileName(const QDateTime& localTime) {
    return stampOf(localTime) + QStringLiteral(".avi");
}

QString freeRecordingPath(const QString& directory, const QDateTime& localTime) {
    const QString stamp = stampOf(localTime);
    QString path = platform::joinPath(directory, stamp + QStringLiteral(".avi"));
    // Dangling links count as taken too: creating through one would write
    // somewhere else.
    for (int n = 1; platform::pathEntryExists(path); ++n)
        path = platform::joinPath(directory, QStringLiteral("%1(%2).avi").arg(stamp).arg(n));
    return path;
}

QString defaultSaveDirectory() {
    // $HOME as its bytes: QDir::homePath() would turn bytes that are not
    // UTF-8 into other characters, and so into another directory.
    const QByteArray home = qgetenv("HOME");
    const QString homeDir = home.isEmpty() ? QDir::homePath() : platform::decodePath(home);
    return platform::joinPath(homeDir, QStringLiteral("TessalySave"));
}

}  // namespace recorder
