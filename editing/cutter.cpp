// The cutter: the stretch of one recording between two whole seconds, decoded
// frame after frame and encoded again into "Cut_" + the source's name, with
// the sound of exactly that stretch.
#include <QFileInfo>
#include <algorithm>

#include "editing/edit_job.h"
#include "editing/edit_output.h"
#include "editing/edit_steps.h"
#include "editing/sound_feed.h"
#include "editing/source_recording.h"
#include "platform/native_path.h"

namespace editing {
namespace {

// Trim times beyond this (34 years) are taken as this, so that seconds times
// any 32-bit frame rate stays within 64 bits.
constexpr qint64 kLongestTrimSeconds = qint64{1} << 30;

// The source frames a cut writes: the first one is the frame just before the
// start second's (the start second's own when that is frame 0), the last one
// the frame before the end second's frame; so at 5 fps, 2 s to 5 s writes
// frames 9 to 23. The stretch stops at the recording's end.
struct FrameRange {
    std::int64_t first = 0;
    std::int64_t count = 0;
};

FrameRange cutFrames(qint64 startSeconds, qint64 endSeconds, std::uint32_t fps,
                     std::int64_t sourceFrames) {
    auto frameOf = [fps](qint64 seconds) {
        return std::clamp<qint64>(seconds, 0, kLongestTrimSeconds) * fps;
    };
    const std::int64_t startFrame = std::max<std::int64_t>(frameOf(startSeconds), 1);
    const std::int64_t endFrame = frameOf(endSeconds);
    FrameRange range;
    range.first = startFrame - 1;
    range.count = std::max<std::int64_t>(std::min(endFrame - 1, sourceFrames) - range.first, 0);
    return range;
}

QString cutPathFor(const CutJob& job) {
    const QString name = QStringLiteral("Cut_") + QFileInfo(job.source).fileName();
    return makeUniquePath(platform::joinPath(job.outputDirectory, name));
}

class Cut {
  public:
    Cut(const CutJob& job, const ReportFn& report) : job_(job), report_(report) {}

    EditOutcome run() {
        if (job_.trimEndSeconds <= job_.trimStartSeconds)
            return fail(kEditErrEmptyRange, QString::fromUtf8(kEndNotAfterStart), 0);
        if (int rc = source_.open(job_.source, outcome_.reason))
            return fail(rc, outcome_.reason, 0);
        range_ = cutFrames(job_.trimStartSeconds, job_.trimEndSeconds, source_.framesPerSecond(),
                           source_.frameCount());
        if (range_.count == 0) {
            return fail(kEditErrNothingInRange,
                        QStringLiteral("%1 is %2 s long: nothing of it lies from %3 s to %4 s.")
                            .arg(shown(job_.source))
                            .arg(source_.frameCount() / source_.framesPerSecond())
                            .arg(job_.trimStartSeconds)
                            .arg(job_.trimEndSeconds),
                        range_.count);
        }
        // The sound starts at the first written frame's time in the source.
        if (int rc = sound_.start(source_.sound(), source_.soundFormat(),
                                  range_.first * source_.scale(), source_.rate(), outcome_.reason))
            return fail(rc, outcome_.reason, range_.count);
        if (!isDirectory(job_.outputDirectory)) {
            return fail(
                kEditErrNoOutputDirectory,
                QStringLiteral("The directory %1 does not exist.").arg(shown(job_.outputDirectory)),
                range_.count);
        }
        return copy();
    }

  private:
    EditOutcome copy() {
        const QString target = cutPathFor(job_);
        const std::uint32_t fps = source_.framesPerSecond();
        int status = output_.create(target, source_.width(), source_.height(), fps,
                                    source_.sound() != nullptr);
        const JobReports reports(report_, range_.count);
        for (std::int64_t done = 0; status == 0 && done < range_.count; ++done) {
            if (isEditCancelled) {
                outcome_.cancelled = true;
                break;
            }
            status = copyFrame(done, fps);
            if (status == 0)
                reports.frameWritten(done, job_.source, target);
        }
        outcome_.framesWritten = output_.framesWritten();
        const int completed = output_.finish();
        if (status == 0)
            status = completed;
        if (status != 0 && outcome_.reason.isEmpty())
            outcome_.reason = writeFailureReason(target, status);
        return reports.finish(outcome_, status, job_.source,
                              output_.created() ? target : QString());
    }

    int copyFrame(std::int64_t done, std::uint32_t fps) {
        const std::uint8_t* picture = source_.picture(range_.first + done);
        if (!picture) {
            outcome_.reason = QStringLiteral("Reading frame %1 of %2 failed.")
                                  .arg(range_.first + done)
                                  .arg(shown(job_.source));
            return media::kAviErrFileRead;
        }
        if (int rc = output_.writeFrame(picture))
            return rc;
        if (!source_.sound())
            return 0;
        if (int rc = sound_.take(samplesBefore(done + 1, fps) - samplesBefore(done, fps), chunk_)) {
            outcome_.reason =
                QStringLiteral("Reading the sound of %1 failed.").arg(shown(job_.source));
            return rc;
        }
        return output_.writeSound(chunk_);
    }

    EditOutcome fail(int status, const QString& reason, std::int64_t total) {
        outcome_.reason = reason;
        return JobReports(report_, total).finish(outcome_, status, job_.source, QString());
    }

    const CutJob& job_;
    const ReportFn& report_;
    EditOutcome outcome_;
    SourceRecording source_;
    SoundFeed sound_;
    EditOutput output_;
    FrameRange range_;
    std::vector<std::uint8_t> chunk_;
};

}  // namespace

EditOutcome cutRecording(const CutJob& job, const ReportFn& report) {
    return Cut(job, report).run();
}

}  // namespace editing
