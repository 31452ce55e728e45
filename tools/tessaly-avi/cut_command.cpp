// tessaly-avi cut: the window's cutter, with a progress display and Ctrl+C as
// its give-up.
#include <QCommandLineParser>
#include <QFileInfo>
#include <optional>

#include "editing/edit_job.h"
#include "tools/tessaly-avi/command_line.h"
#include "tools/tessaly-avi/commands.h"
#include "tools/tessaly-avi/edit_progress.h"

namespace tools::avi {
namespace {

// Whole seconds as the window's trim range takes them; a thousand years is
// far beyond any recording.
constexpr qint64 kMaxSeconds = 1000LL * 365 * 24 * 3600;

const CommandUsage kUsage{
    QStringLiteral("cut"), QStringLiteral("FILE --start S --end E [--out DIR]"),
    QStringLiteral("Writes the stretch of the recording FILE from second S to second E into\n"
                   "DIR/Cut_NAME (NAME(1), NAME(2), ... when taken) with the window's cutter,\n"
                   "and prints its path. Ctrl+C gives up; the frames written so far stay."),
    Operands::Files, QStringLiteral("The recording to cut.")};

std::optional<qint64> secondsOf(const QString& text) {
    bool isNumber = false;
    const qint64 seconds = text.toLongLong(&isNumber);
    if (!isNumber || seconds < 0 || seconds > kMaxSeconds)
        return std::nullopt;
    return seconds;
}

// Returns the exit status when the command ends here (help, or misuse).
std::optional<int> parseCut(const QStringList& args, editing::CutJob& job) {
    QCommandLineParser parser;
    const QCommandLineOption start(QStringLiteral("start"),
                                   QStringLiteral("First second of the stretch."),
                                   QStringLiteral("S"));
    const QCommandLineOption end(QStringLiteral("end"),
                                 QStringLiteral("Second where the stretch ends."),
                                 QStringLiteral("E"));
    const QCommandLineOption out(
        QStringLiteral("out"), QStringLiteral("Directory of the cut (default: FILE's directory)."),
        QStringLiteral("DIR"));
    parser.addOptions({start, end, out});
    if (const auto status = parseArguments(parser, kUsage, args))
        return status;
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1)
        return usageError(kUsage.name,
                          QStringLiteral("cut takes one FILE, not %1").arg(files.size()));
    for (const QCommandLineOption* o : {&start, &end}) {
        const QString name = QStringLiteral("--") + o->names().first();
        if (!parser.isSet(*o))
            return usageError(kUsage.name, QStringLiteral("missing %1").arg(name));
        const auto seconds = secondsOf(parser.value(*o));
        if (!seconds)
            return usageError(kUsage.name,
                              QStringLiteral("%1 '%2' is not a whole number of seconds")
                                  .arg(name, parser.value(*o)));
        (o == &start ? job.trimStartSeconds : job.trimEndSeconds) = *seconds;
    }
    job.source = files.first();
    job.outputDirectory =
        parser.isSet(out) ? parser.value(out) : QFileInfo(job.source).absolutePath();
    if (job.outputDirectory.isEmpty())
        return usageError(kUsage.name, QStringLiteral("--out needs a directory"));
    return std::nullopt;
}

}  // namespace

int runCut(const QStringList& args) {
    editing::CutJob job;
    if (const auto status = parseCut(args, job))
        return *status;
    EditProgress progress(kUsage.name);
    const GiveUpOnSignals giveUp;
    editing::isEditCancelled = false;
    const editing::EditOutcome outcome =
        editing::cutRecording(job, [&progress](const editing::EditReport& r) { progress.show(r); });
    return endOfJob(kUsage.name, outcome, true);
}

}  // namespace tools::avi
