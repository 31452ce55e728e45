// tessaly-avi repair: the media library's repair, one file after another.
#include "media/avi_format.h"
#include "media/avi_repair.h"
#include "platform/native_path.h"
#include "tools/tessaly-avi/command_line.h"
#include "tools/tessaly-avi/commands.h"

namespace tools::avi {
namespace {

// "stream 0: 55 frames; stream 1: 12 sound blocks"
QString streamCounts(const media::AviRepairReport& report) {
    QStringList parts;
    for (std::size_t i = 0; i < report.chunksPerStream.size(); ++i) {
        const std::uint32_t type = report.streamTypes[i];
        const QString unit = type == media::kFccVids   ? QStringLiteral("frames")
                             : type == media::kFccAuds ? QStringLiteral("sound blocks")
                                                       : QStringLiteral("chunks");
        parts << QStringLiteral("stream %1: %2 %3").arg(i).arg(report.chunksPerStream[i]).arg(unit);
    }
    return parts.join(QStringLiteral("; "));
}

// Repairs one file and says what came of it; false when it could not be done.
bool repairOne(const QString& path) {
    media::AviRepairReport report;
    const int rc = media::repairAviFile(platform::encodePathStd(path), report);
    if (!report.linkTarget.empty())
        printOut(QStringLiteral("%1: following the link to %2\n")
                     .arg(path, platform::decodePath(report.linkTarget)));
    switch (report.outcome) {
        case media::AviRepairOutcome::Repaired:
            printOut(QStringLiteral("%1: repaired; %2; %3 recovered past the index\n")
                         .arg(path, streamCounts(report))
                         .arg(report.recoveredChunks));
            return true;
        case media::AviRepairOutcome::NothingToRepair:
            printOut(QStringLiteral("%1: nothing to repair, the file is complete; %2\n")
                         .arg(path, streamCounts(report)));
            return true;
        case media::AviRepairOutcome::LeftAsItWas:
        case media::AviRepairOutcome::RewriteFailed:
            break;
    }
    const QString what = report.outcome == media::AviRepairOutcome::RewriteFailed
                             ? QStringLiteral("repair failed")
                             : QStringLiteral("left unchanged");
    QString text = QStringLiteral("%1: %2: %3 (%4)\n")
                       .arg(path, what, platform::decodePath(report.reason),
                            QString::fromUtf8(media::aviErrorName(rc)));
    for (const std::string& problem : report.problems)
        text += QStringLiteral("  ") + QString::fromStdString(problem) + QLatin1Char('\n');
    printErr(text);
    return false;
}

}  // namespace

int runRepair(const QStringList& args) {
    QCommandLineParser parser;
    const CommandUsage usage{
        QStringLiteral("repair"), QStringLiteral("FILE..."),
        QStringLiteral("Completes recordings whose writer never closed them, keeping\n"
                       "everything that can still be read. The file is rewritten in place\n"
                       "(its mode, owner and hard links stay); a symbolic link is followed\n"
                       "to its target. A file that cannot be repaired is left unchanged."),
        Operands::Files, QStringLiteral("A recording to complete in place.")};
    if (const auto status = parseArguments(parser, usage, args))
        return *status;
    int exitStatus = 0;
    for (const QString& path : parser.positionalArguments()) {
        if (!repairOne(path))
            exitStatus = kExitFailed;
    }
    return exitStatus;
}

}  // namespace tools::avi
