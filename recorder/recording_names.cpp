#include "recorder/recording_names.h"

#include <QDir>
#include <QFileInfo>

namespace recorder {
namespace {

QString stampOf(const QDateTime& localTime) {
    return localTime.toString(QStringLiteral("yyyyMMddHHmmss"));
}

QString joinPath(const QString& directory, const QString& name) {
    if (directory.endsWith(QLatin1Char('/')))
        return directory + name;
    return directory + QLatin1Char('/') + name;
}

}  // namespace

QString recordingFileName(const QDateTime& localTime) {
    return stampOf(localTime) + QStringLiteral(".avi");
}

QString freeRecordingPath(const QString& directory, const QDateTime& localTime) {
    const QString stamp = stampOf(localTime);
    QString path = joinPath(directory, stamp + QStringLiteral(".avi"));
    // Dangling links count as taken too: creating through one would write
    // somewhere else.
    for (int n = 1; QFileInfo(path).exists() || QFileInfo(path).isSymLink(); ++n)
        path = joinPath(directory, QStringLiteral("%1(%2).avi").arg(stamp).arg(n));
    return path;
}

QString defaultSaveDirectory() {
    return QDir::homePath() + QStringLiteral("/TessalySave");
}

}  // namespace recorder
