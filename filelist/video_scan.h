// The directory scan behind the cut and merge pages' tables: which entries of
// a directory count as recordings, in name order.
#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

// One listed recording.
struct VideoFileEntry {
    qint64 size = 0;      // bytes; 0 for a directory
    qint64 duration = 0;  // whole seconds, filled in by the caller
    QString name;         // the file name, without directory
};

// Appends one entry per recording of `directory` to `entries`, sorted by
// name (recordings are named after their start time, so the oldest comes
// first). A recording is a regular file or a directory whose name contains
// ".avi" (case-sensitive) and does not begin with "."; anything else (FIFOs,
// sockets, devices, broken links) is left out. Returns false, leaving
// `entries` unchanged, when the directory cannot be listed; an empty text is
// such a directory. An entry's full path is joinPath(directory, name)
// (platform/native_path.h).
bool scanVideoDirectory(const QString& directory, QVector<VideoFileEntry>& entries);
