#include "filelist/avi_duration.h"

#include "media/avi_format.h"
#include "media/avi_probe.h"
#include "platform/native_path.h"

qint64 aviDurationSeconds(const QString& path) {
    media::AviProbe probe;
    const int status =
        media::aviProbeFile(platform::encodePathStd(path), probe, media::AviProbeScope::Duration);
    return status == media::kAviOk ? qint64{probe.durationSeconds()} : 0;
}
