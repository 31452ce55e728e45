// The user interface's only number-to-text formatters: durations in whole
// seconds and sizes in bytes.
#pragma once

#include <QString>
#include <QtGlobal>

// "42 S", "2 M 5 S", "1 H 2 M" (seconds dropped once there are hours).
QString formatDuration(qint64 seconds);

// "512 Bytes", "1.50 KB", "1.00 MB", "1.00 GB", "1.00 TB" (powers of two).
QString formatSize(qint64 bytes);
