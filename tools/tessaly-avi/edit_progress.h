// What tessaly-avi cut and merge share: the progress display, Ctrl+C as the
// give-up of the window's progress dialog, and the ending of a job.
#pragma once

#include <QString>
#include <chrono>

#include "editing/edit_job.h"

namespace tools::avi {

// Shows an editing job's reports on stderr: a bar redrawn in place (percent,
// frames, speed, time left) when stderr is a terminal, otherwise one plain
// line at every tenth of the job.
class EditProgress {
  public:
    explicit EditProgress(QString command);
    void show(const editing::EditReport& report);

  private:
    void drawBar(const editing::EditReport& report);
    void printLine(const editing::EditReport& report);

    QString command_;
    bool terminal_ = false;
    bool barShown_ = false;
    int lastTenth_ = -1;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastDrawn_;
};

// While it lives, SIGINT, SIGTERM and SIGHUP raise editing::isEditCancelled
// (the job stops before its next frame and cleans up as after the dialog's
// give-up); a second one ends the process at once.
class GiveUpOnSignals {
  public:
    GiveUpOnSignals();
    ~GiveUpOnSignals();
    GiveUpOnSignals(const GiveUpOnSignals&) = delete;
    GiveUpOnSignals& operator=(const GiveUpOnSignals&) = delete;
};

// Prints how the job ended and returns the exit status: the output's path on
// stdout and 0 on success; the reason on stderr and kExitFailed on failure;
// kExitGivenUp after a give-up. `keepsPartial`: the job keeps what it wrote
// (a cut), and the message says so.
int endOfJob(const QString& command, const editing::EditOutcome& outcome, bool keepsPartial);

}  // namespace tools::avi
