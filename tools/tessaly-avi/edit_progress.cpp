#include "tools/tessaly-avi/edit_progress.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "platform/native_path.h"
#include "tools/tessaly-avi/command_line.h"

namespace tools::avi {
namespace {

using Clock = std::chrono::steady_clock;

// Redraws of the bar at most this often: a terminal shown hundreds of
// updates a second slows the job and shows nothing more.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kBarWidth = 30;
constexpr int kGiveUpSignals[] = {SIGINT, SIGTERM, SIGHUP};

static_assert(std::atomic<bool>::is_always_lock_free,
              "the signal handler stores into the flag directly");

void raiseGiveUp(int) {
    editing::isEditCancelled = true;
}

QString clockText(double seconds) {
    const auto whole = static_cast<long long>(seconds + 0.5);
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

EditProgress::EditProgress(QString command)
    : command_(std::move(command)), terminal_(::isatty(STDERR_FILENO) == 1) {}

void EditProgress::show(const editing::EditReport& report) {
    if (terminal_)
        drawBar(report);
    else
        printLine(report);
}

void EditProgress::drawBar(const editing::EditReport& report) {
    const Clock::time_point now = Clock::now();
    const bool last = report.percent == 100;
    if (!last && barShown_ && now - lastDrawn_ < kRedrawInterval)
        return;
    if (last && !barShown_)
        return;
    // A job that stopped early keeps its bar where it stopped.
    if (last && (report.status != 0 || report.framesDone < report.framesTotal)) {
        printErr(QStringLiteral("\n"));
        return;
    }
    barShown_ = true;
    lastDrawn_ = now;
    const int filled = report.percent * kBarWidth / 100;
    const double elapsed = std::chrono::duration<double>(now - started_).count();
    const double speed = elapsed > 0 ? static_cast<double>(report.framesDone) / elapsed : 0;
    const double left =
        speed > 0 ? static_cast<double>(report.framesTotal - report.framesDone) / speed : 0;
    printErr(
        QStringLiteral("\r[%1%2] %3%  %4/%5 frames  %6 fps  %7 left ")
            .arg(QString(filled, QLatin1Char('#')), QString(kBarWidth - filled, QLatin1Char('.')))
            .arg(report.percent, 3)
            .arg(report.framesDone)
            .arg(report.framesTotal)
            .arg(speed, 0, 'f', 1)
            .arg(clockText(left)) +
        (last ? QStringLiteral("\n") : QString()));
    std::fflush(stderr);
}

void EditProgress::printLine(const editing::EditReport& report) {
    if (report.percent == 100)
        return;
    const int tenth = report.percent / 10;
    if (tenth == lastTenth_)
        return;
    lastTenth_ = tenth;
    printErr(QStringLiteral("%1: %2% (%3/%4 frames)\n")
                 .arg(command_)
                 .arg(report.percent)
                 .arg(report.framesDone)
                 .arg(report.framesTotal));
}

GiveUpOnSignals::GiveUpOnSignals() {
    struct sigaction action {};
    action.sa_handler = raiseGiveUp;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (int signalNumber : kGiveUpSignals)
        ::sigaction(signalNumber, &action, nullptr);
}

GiveUpOnSignals::~GiveUpOnSignals() {
    for (int signalNumber : kGiveUpSignals)
        ::signal(signalNumber, SIG_DFL);
}

int endOfJob(const QString& command, const editing::EditOutcome& outcome, bool keepsPartial) {
    const QString title = QStringLiteral("tessaly-avi ") + command + QStringLiteral(": ");
    const bool kept = keepsPartial && !outcome.target.isEmpty();
    const QString keptText = QStringLiteral("%1 keeps the %2 frames written.\n")
                                 .arg(outcome.target)
                                 .arg(outcome.framesWritten);
    if (outcome.status != 0) {
        printErr(title + outcome.reason + QLatin1Char('\n') +
                 (kept ? title + keptText : QString()));
        return kExitFailed;
    }
    if (outcome.cancelled) {
        printErr(title + QStringLiteral("given up; ") +
                 (kept ? keptText : QStringLiteral("nothing was kept.\n")));
        return kExitGivenUp;
    }
    printOut(outcome.target + QLatin1Char('\n'));
    return 0;
}

}  // namespace tools::avi
