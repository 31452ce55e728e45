// The merger: the sources one after the other in list order, decoded frame
// after frame and encoded again into "Merge" + a local time stamp + ".avi",
// each source adding exactly its picture's length of sound.
#include <QDateTime>

#include "editing/edit_job.h"
#include "editing/edit_output.h"
#include "editing/edit_steps.h"
#include "editing/sound_feed.h"
#include "editing/source_recording.h"
#include "platform/native_path.h"

namespace editing {
namespace {

QString mergePathIn(const QString& directory) {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss"));
    return makeUniquePath(platform::joinPath(directory, QStringLiteral("Merge%1.avi").arg(stamp)));
}

QString shapeOf(int width, int height, std::uint32_t rate, std::uint32_t scale) {
    return QStringLiteral("%1x%2 at %3/%4 fps").arg(width).arg(height).arg(rate).arg(scale);
}

class Merge {
  public:
    Merge(const MergeJob& job, const ReportFn& report) : job_(job), report_(report) {}

    EditOutcome run() {
        if (job_.sources.isEmpty())
            return JobReports(report_, 0).finish(outcome_, 0, QString(), QString());
        if (int rc = countFrames())
            return finish(rc);
        if (!isDirectory(job_.outputDirectory)) {
            outcome_.reason =
                QStringLiteral("The directory %1 does not exist.").arg(shown(job_.outputDirectory));
            return finish(kEditErrNoOutputDirectory);
        }
        target_ = mergePathIn(job_.outputDirectory);
        int status = output_.create(target_, width_, height_, fps_, true);
        for (const QString& path : job_.sources) {
            if (status != 0)
                break;
            current_ = path;
            status = copySource();
        }
        outcome_.framesWritten = output_.framesWritten();
        const int completed = output_.finish();
        if (status == 0)
            status = completed;
        if (status != 0 && outcome_.reason.isEmpty())
            outcome_.reason = writeFailureReason(target_, status);
        // A failed or given-up merge leaves nothing, but only what it made
        // itself is removed.
        if ((status != 0 || outcome_.cancelled) && output_.created())
            removeFile(target_);
        return finish(status);
    }

  private:
    // Opens every source once before any output exists: a source that cannot
    // be read, decoded or joined to the first one ends the job here.
    int countFrames() {
        for (qsizetype i = 0; i < job_.sources.size(); ++i) {
            current_ = job_.sources[i];
            SourceRecording s;
            if (int rc = s.open(current_, outcome_.reason))
                return rc;
            if (i == 0) {
                width_ = s.width();
                height_ = s.height();
                rate_ = s.rate();
                scale_ = s.scale();
                fps_ = s.framesPerSecond();
            } else if (!fitsFirst(s)) {
                outcome_.reason =
                    QStringLiteral(
                        "%1 is %2, but %3 is %4: merged recordings must have the "
                        "same frame size and frame rate.")
                        .arg(shown(current_), shapeOf(s.width(), s.height(), s.rate(), s.scale()),
                             shown(job_.sources.first()), shapeOf(width_, height_, rate_, scale_));
                return kEditErrMismatch;
            }
            total_ += s.frameCount();
        }
        return 0;
    }

    // Later sources must match the first one's picture size and frame rate:
    // the encoder keeps one size, and a rate changed mid-file would put
    // picture and sound out of step.
    bool fitsFirst(const SourceRecording& s) const {
        return s.width() == width_ && s.height() == height_ &&
               std::uint64_t{s.rate()} * scale_ == std::uint64_t{rate_} * s.scale();
    }

    int copySource() {
        SourceRecording source;
        if (int rc = source.open(current_, outcome_.reason))
            return rc;
        if (int rc = sound_.start(source.sound(), source.soundFormat(), 0, 1, outcome_.reason))
            return rc;
        const JobReports reports(report_, total_);
        for (std::int64_t index = 0; index < source.frameCount(); ++index) {
            if (isEditCancelled) {
                outcome_.cancelled = true;
                return 0;
            }
            if (int rc = copyFrame(source, index))
                return rc;
            reports.frameWritten(done_, current_, target_);
            ++done_;
        }
        return 0;
    }

    int copyFrame(SourceRecording& source, std::int64_t index) {
        const std::uint8_t* picture = source.picture(index);
        if (!picture) {
            outcome_.reason =
                QStringLiteral("Reading frame %1 of %2 failed.").arg(index).arg(shown(current_));
            return media::kAviErrFileRead;
        }
        if (int rc = output_.writeFrame(picture))
            return rc;
        if (int rc =
                sound_.take(samplesBefore(done_ + 1, fps_) - samplesBefore(done_, fps_), chunk_)) {
            outcome_.reason =
                QStringLiteral("Reading the sound of %1 failed.").arg(shown(current_));
            return rc;
        }
        return output_.writeSound(chunk_);
    }

    EditOutcome finish(int status) {
        return JobReports(report_, total_)
            .finish(outcome_, status, current_, output_.created() ? target_ : QString());
    }

    const MergeJob& job_;
    const ReportFn& report_;
    EditOutcome outcome_;
    EditOutput output_;
    SoundFeed sound_;
    QString current_;
    QString target_;
    int width_ = 0;
    int height_ = 0;
    std::uint32_t rate_ = 0;
    std::uint32_t scale_ = 1;
    std::uint32_t fps_ = 0;
    std::int64_t total_ = 0;
    std::int64_t done_ = 0;
    std::vector<std::uint8_t> chunk_;
};

}  // namespace

EditOutcome mergeRecordings(const MergeJob& job, const ReportFn& report) {
    return Merge(job, report).run();
}

}  // namespace editing
