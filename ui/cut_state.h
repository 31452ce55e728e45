// What the cut page works on, kept by the window so that a rebuild of the
// page keeps it: the recording chosen in cutTable, the range of it to keep in
// whole seconds, and the file the preview last started.
#pragma once

#include <QString>
#include <QtGlobal>

struct CutState {
    QString selectedFile;
    qint64 trimStartSeconds = 0;
    qint64 trimEndSeconds = 0;
    QString playerFile;
};
