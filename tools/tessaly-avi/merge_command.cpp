// tessaly-avi merge: the window's merger, with a progress display and Ctrl+C
// as its give-up.
#include <QCommandLineParser>
#include <QFileInfo>
#include <optional>

#include "editing/edit_job.h"
#include "tools/tessaly-avi/command_line.h"
#include "tools/tessaly-avi/commands.h"
#include "tools/tessaly-avi/edit_progress.h"

namespace tools::avi {
namespace {

const CommandUsage kUsage{
    QStringLiteral("merge"), QStringLiteral("FILE... [--out DIR]"),
    QStringLiteral("Joins the recordings in the order given into DIR/MergeYYYYMMDDhhmmss.avi\n"
                   "with the window's merger, and prints its path. All recordings must have\n"
                   "the first one's frame size and frame rate. Ctrl+C gives up; a merge that\n"
                   "fails or is given up leaves no file."),
    Operands::Files, QStringLiteral("A recording to join, in order.")};

}  // namespace

int runMerge(const QStringList& args) {
    QCommandLineParser parser;
    const QCommandLineOption out(
        QStringLiteral("out"),
        QStringLiteral("Directory of the merged file (default: the first FILE's directory)."),
        QStringLiteral("DIR"));
    parser.addOption(out);
    if (const auto status = parseArguments(parser, kUsage, args))
        return *status;
    editing::MergeJob job;
    job.sources = parser.positionalArguments();
    job.outputDirectory =
        parser.isSet(out) ? parser.value(out) : QFileInfo(job.sources.first()).absolutePath();
    if (job.outputDirectory.isEmpty())
        return usageError(kUsage.name, QStringLiteral("--out needs a directory"));
    EditProgress progress(kUsage.name);
    const GiveUpOnSignals giveUp;
    editing::isEditCancelled = false;
    const editing::EditOutcome outcome = editing::mergeRecordings(
        job, [&progress](const editing::EditReport& r) { progress.show(r); });
    return endOfJob(kUsage.name, outcome, false);
}

}  // namespace tools::avi
