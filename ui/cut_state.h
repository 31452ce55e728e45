// What the cut page works on, kept by the window so that a rebuild of the
// page keeps it: the recording chosen in cutTable, the range of it to keep in
// whole seconds, and the file the preview last started.
#pragma once

#include <QString>

#include "player/trim_range.h"

struct CutState : player::TrimRange {
    QString selectedFile;
    QString playerFile;
};
