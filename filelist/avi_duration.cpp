#include "filelist/avi_duration.h"

#include <QFile>

#include "media/avi_format.h"
#include "media/avi_probe.h"

qint64 aviDurationSeconds(const QString& path) {
    media::AviProbe probe;
    const int status = media::aviProbeFile(QFile::encodeName(path).toStdString(), probe,
                                           media::AviProbeScope::Duration);
    return status == media::kAviOk ? qint64{probe.durationSeconds()} : 0;
}
