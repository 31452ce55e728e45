// Real AVI recordings for the file-list, table and window tests, written
// through the media library's file services, and a directory mixing them with
// every kind of entry a listing must leave out.
#pragma once

#include <QString>
#include <QVector>
#include <cstdint>

#include "tests/support/recordings.h"

namespace avisamples {

using RecordingShape = testsupport::RecordingShape;

// Writes the recording; 0 on success, otherwise the media library's status.
int writeRecording(const QString& path, const RecordingShape& shape);

// Builds the directory the scan and table tests share: three date-named
// recordings, a recording whose name only contains ".avi" (clip.avi.txt), one
// whose suffix is upper case (clip.AVI), a hidden one (.hidden.avi), a link to
// a recording and a broken link, a directory (x.avi), a FIFO (f.avi), a text
// file posing as a recording (bad.avi), a 5 GiB sparse file (big.avi) and a
// plain text file. Returns an empty text or what went wrong.
QString makeMixedDirectory(const QString& directory);

// One row a scan of that directory lists.
struct ExpectedRow {
    QString name;
    qint64 seconds;
    qint64 bytes;
};

// The rows of the mixed directory, in the order they are listed.
QVector<ExpectedRow> mixedDirectoryRows(const QString& directory);

constexpr qint64 kBigFileBytes = qint64{5} << 30;

}  // namespace avisamples
