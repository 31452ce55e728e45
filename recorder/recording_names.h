// Where a recording goes: its name from the local date and time of its first
// frame, and the save directory used when nobody chose one.
#pragma once

#include <QDateTime>
#include <QString>

namespace recorder {

// Fourteen digits, year to second, then ".avi": 20161205093007.avi.
QString recordingFileName(const QDateTime& localTime);

// The full path of a new recording in `directory`: the date-time name, or,
// when a file of that name exists (a recording started earlier in the same
// second), the first free "NAME(1).avi", "NAME(2).avi", ...
QString freeRecordingPath(const QString& directory, const QDateTime& localTime);

// $HOME/TessalySave, the save directory of a fresh installation.
QString defaultSaveDirectory();

}  // namespace recorder
