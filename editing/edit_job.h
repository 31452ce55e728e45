// The editing jobs as the window, its worker thread and the command line see
// them: what a cut or a merge is asked to do, how it reports, how it is given
// up, and what it ends with.
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>

namespace editing {

// Raised by whoever gives a job up (the progress dialog, Ctrl+C on the
// command line); the job entry lowers it before starting and the engines poll
// it before every frame.
extern std::atomic<bool> isEditCancelled;

// One progress report: the percent done (0 to 100), the source being read,
// the output file (empty while none exists) and the status (0, or the failure
// of the job). A job sends one report per frame written (0 after the first,
// always below 100), then exactly one report of 100, which carries the job's
// result; a job refused before its first frame sends only that one.
struct EditReport {
    int percent = 0;
    QString currentSource;
    QString target;
    int status = 0;
    // Frames written so far and the job's total, for displays that show
    // counts and speed (the command line's progress bar).
    qint64 framesDone = 0;
    qint64 framesTotal = 0;
};
using ReportFn = std::function<void(const EditReport&)>;

// What a job ended with. `status` is 0 on success and after a give-up;
// `reason` says in plain words which file and what went wrong when it is not.
struct EditOutcome {
    int status = 0;
    QString target;
    QString reason;
    bool cancelled = false;
    qint64 framesWritten = 0;
};

struct CutJob {
    QString source;  // full path of the recording
    qint64 trimStartSeconds = 0;
    qint64 trimEndSeconds = 0;
    QString outputDirectory;
};

struct MergeJob {
    QStringList sources;  // full paths, in the order they are joined
    QString outputDirectory;
};

// Writes "Cut_" + the source's name into the output directory: the stretch
// between the two trim times.
EditOutcome cutRecording(const CutJob& job, const ReportFn& report);
// Joins the sources into "Merge" + a 14-digit local time stamp + ".avi".
EditOutcome mergeRecordings(const MergeJob& job, const ReportFn& report);

// `path` itself when nothing of that name exists, otherwise the first free
// "name(1).ext", "name(2).ext", ... beside it.
QString makeUniquePath(const QString& path);

}  // namespace editing
