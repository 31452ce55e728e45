#include "tests/support/sample_recordings.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <vector>

#include "platform/native_path.h"

namespace avisamples {
int writeRecording(const QString& path, const RecordingShape& shape) {
    return testsupport::writeRecording(platform::encodePathStd(path), shape).status;
}

namespace {

struct SampleRecording {
    const char* name;
    RecordingShape shape;
};

const SampleRecording kRecordings[] = {
    {"20161205083000.avi", {.frames = 35, .video1 = true, .withSound = true}},  // 7 s
    {"20161205093007.avi", {.frames = 12}},                                     // 2 s
    {"20161205101500.avi", {.frames = 330}},                                    // 66 s
    {"clip.avi.txt", {.frames = 10}},                                           // 2 s
    {"clip.AVI", {.frames = 10}},
    {".hidden.avi", {.frames = 10}},
};

bool writeText(const QString& path, const QByteArray& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

}  // namespace

QString makeMixedDirectory(const QString& directory) {
    const QDir dir(directory);
    for (const SampleRecording& recording : kRecordings) {
        const QString path = dir.filePath(QLatin1String(recording.name));
        if (int status = writeRecording(path, recording.shape)) {
            return QStringLiteral("writing %1 failed with %2").arg(path).arg(status);
        }
    }
    if (!writeText(dir.filePath(QStringLiteral("bad.avi")), "This is not a recording.\n") ||
        !writeText(dir.filePath(QStringLiteral("notes.txt")), "notes\n")) {
        return QStringLiteral("writing a text file failed");
    }
    QFile big(dir.filePath(QStringLiteral("big.avi")));
    if (!big.open(QIODevice::WriteOnly) || !big.resize(kBigFileBytes)) {
        return QStringLiteral("making the sparse file failed");
    }
    big.close();
    if (!dir.mkdir(QStringLiteral("x.avi"))) {
        return QStringLiteral("making the directory x.avi failed");
    }
    if (::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("f.avi"))).constData(), 0600) != 0) {
        return QStringLiteral("making the FIFO failed");
    }
    if (!QFile::link(QStringLiteral("20161205093007.avi"),
                     dir.filePath(QStringLiteral("link.avi"))) ||
        !QFile::link(QStringLiteral("missing.avi"), dir.filePath(QStringLiteral("broken.avi")))) {
        return QStringLiteral("making the links failed");
    }
    return QString();
}

QVector<ExpectedRow> mixedDirectoryRows(const QString& directory) {
    const QDir dir(directory);
    auto fileSize = [&](const char* name) {
        return QFileInfo(dir.filePath(QLatin1String(name))).size();
    };
    return {
        {QStringLiteral("20161205083000.avi"), 7, fileSize("20161205083000.avi")},
        {QStringLiteral("20161205093007.avi"), 2, fileSize("20161205093007.avi")},
        {QStringLiteral("20161205101500.avi"), 66, fileSize("20161205101500.avi")},
        {QStringLiteral("bad.avi"), 0, fileSize("bad.avi")},
        {QStringLiteral("big.avi"), 0, kBigFileBytes},
        {QStringLiteral("clip.avi.txt"), 2, fileSize("clip.avi.txt")},
        {QStringLiteral("link.avi"), 2, fileSize("20161205093007.avi")},
        {QStringLiteral("x.avi"), 0, 0},
    };
}

}  // namespace avisamples
