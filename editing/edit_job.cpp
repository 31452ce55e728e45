// The process-wide give-up flag of the editing jobs, their reports, and the
// names and texts they share.
#include "editing/edit_job.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>

#include "editing/edit_steps.h"
#include "media/avi_format.h"
#include "platform/disk_space.h"
#include "platform/native_path.h"

namespace editing {
namespace {

// A write that fails with less than this free on the drive failed because the
// drive filled: a whole-screen Video 1 frame of 1920 by 1080 can take 4 MB.
constexpr qint64 kFullDriveBytes = 16LL * 1024 * 1024;

}  // namespace

std::atomic<bool> isEditCancelled{false};

void JobReports::frameWritten(std::int64_t done, const QString& source,
                              const QString& target) const {
    if (!report_ || total_ <= 0)
        return;
    EditReport r;
    r.percent = static_cast<int>(done * 100 / total_);
    r.currentSource = source;
    r.target = target;
    r.framesDone = done + 1;
    r.framesTotal = total_;
    report_(r);
}

EditOutcome JobReports::finish(EditOutcome outcome, int status, const QString& source,
                               const QString& target) const {
    outcome.status = status;
    outcome.target = target;
    if (report_) {
        EditReport r;
        r.percent = 100;
        r.currentSource = source;
        r.target = target;
        r.status = status;
        r.framesDone = outcome.framesWritten;
        r.framesTotal = total_;
        report_(r);
    }
    return outcome;
}

QString makeUniquePath(const QString& path) {
    if (!platform::pathEntryExists(path))
        return path;
    // Split after the last separator, and the extension at the last dot of
    // the name ("name(1).ext"; a name without a dot gets "name(1)").
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const qsizetype split = dot > slash + 1 ? dot : path.size();
    const QString stem = path.left(split);
    const QString extension = path.mid(split);
    QString candidate;
    for (int n = 1;; ++n) {
        candidate = QStringLiteral("%1(%2)%3").arg(stem).arg(n).arg(extension);
        if (!platform::pathEntryExists(candidate))
            return candidate;
    }
}

bool isDirectory(const QString& path) {
    struct stat info {};
    return ::stat(platform::encodePathStd(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void removeFile(const QString& path) {
    ::unlink(platform::encodePathStd(path).c_str());
}

QString shown(const QString& path) {
    return platform::displayPath(path);
}

QString writeFailureReason(const QString& path, int status) {
    const QString directory = QFileInfo(path).absolutePath();
    if (status == kEditErrFileGone || !isDirectory(directory))
        return QStringLiteral("%1 was deleted, or its directory was, while it was written.")
            .arg(shown(path));
    qint64 freeBytes = -1;
    if (driveFreeSpace(directory, freeBytes) == 0 && freeBytes >= 0 && freeBytes < kFullDriveBytes)
        return QStringLiteral("Writing %1 failed: the drive is full.").arg(shown(path));
    return QStringLiteral("Writing %1 failed (%2).")
        .arg(shown(path), QString::fromUtf8(media::aviErrorName(status)));
}

}  // namespace editing
