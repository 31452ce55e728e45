// The length of an AVI recording in whole seconds, read from its headers only.
#pragma once

#include <QString>
#include <QtGlobal>

// The length of the file's first stream divided by that stream's whole frames
// (or samples) per second: length / (rate / scale), both divisions unsigned
// 32-bit and truncating, as the AVI file services report it. An OpenDML file
// whose second segment follows counts the frames of all its segments when its
// total is the larger. 0 when the file cannot be opened, is not a regular file
// (a FIFO is refused without waiting for a writer), is not an AVI file, is cut
// short inside its headers, or has a rate below its scale or a scale of 0; a
// recording cut short after its headers keeps the length they give. The media
// library's header probe does the reading: the first few KiB of a normal file,
// never the index or the frames.
qint64 aviDurationSeconds(const QString& path);
