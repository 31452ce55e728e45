// Free space of the filesystem that holds (or will hold) a directory.
#pragma once

#include <QString>
#include <QtGlobal>

// Sets `bytes` to the space available to this user on the filesystem holding
// `path`, or, when `path` does not exist yet, its nearest existing parent.
// Returns 0, or an errno value and leaves `bytes` as the caller set it.
int driveFreeSpace(const QString& path, qint64& bytes);
