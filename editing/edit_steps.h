// What the cutter and the merger share: their own statuses, the report of
// each job, the sound that belongs to a stretch of picture, and the plain
// texts that say why a job failed.
#pragma once

#include <QString>
#include <cstdint>

#include "editing/edit_job.h"
#include "media/sound_format.h"

namespace editing {

// Statuses of the jobs' own checks; media failures keep the media library's
// kAviErr* values. The decompressor's is -1 as the window has always shown it.
constexpr int kEditErrNoDecoder = -1;
constexpr int kEditErrEmptyRange = -2;
constexpr int kEditErrNothingInRange = -3;
constexpr int kEditErrSoundFormat = -4;
constexpr int kEditErrMismatch = -5;
constexpr int kEditErrFileGone = -6;
constexpr int kEditErrNoOutputDirectory = -7;

// The one text of a cut whose end is not after its start.
inline const char kEndNotAfterStart[] = "The end time must be after the start time.";

// Sound samples (at the output's rate) that belong to output frames
// 0 .. frames - 1 at `fps`: frame k's sound is samplesBefore(k + 1) -
// samplesBefore(k), so any stretch of frames carries its exact length of
// sound, within one sample, whatever the frame rate.
constexpr std::int64_t samplesBefore(std::int64_t frames, std::uint32_t fps) {
    return frames * media::kSoundSampleRate / fps;
}

// Sends the reports of one job: one per frame written, then exactly one 100
// that carries the result.
class JobReports {
  public:
    JobReports(const ReportFn& report, std::int64_t totalFrames)
        : report_(report), total_(totalFrames) {}

    // After the frame numbered `done` (from 0) of the job was written.
    void frameWritten(std::int64_t done, const QString& source, const QString& target) const;
    // The closing report; returns `outcome` with its status and target set.
    EditOutcome finish(EditOutcome outcome, int status, const QString& source,
                       const QString& target) const;

  private:
    const ReportFn& report_;
    std::int64_t total_;
};

// Whether `path` is a directory, and removing a file the job made; both take
// the path's exact bytes (names need not be UTF-8).
bool isDirectory(const QString& path);
void removeFile(const QString& path);

// A path as people read it in a reason (bytes that are not UTF-8 shown as
// U+FFFD).
QString shown(const QString& path);
// Why writing `path` failed, in words: a deleted file or directory, a full
// drive, or the media library's status name.
QString writeFailureReason(const QString& path, int status);

}  // namespace editing
