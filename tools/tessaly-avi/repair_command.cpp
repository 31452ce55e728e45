// tessaly-avi repair: the media library's repair, one file after another.
#include "media/avi_format.h"
#include "media/avi_repair.h"
#include "platform/native_path.h"
#include "tools/tessaly-avi/command_line.h"
#include "tools/tessaly-avi/commands.h"

namespace tools::avi {
namespace {

// Repairs one file and says what came of it; false when it could not be done.
bool repairOne(const QString& path) {
    media::AviRepairReport report;
    const int rc = media::repairAviFile(platform::encodePathStd(path), report);
    if (rc != media::kAviOk) {
        QString text = QStringLiteral("%1: cannot repair (%2)\n")
                           .arg(path, QString::fromUtf8(media::aviErrorName(rc)));
        for (const std::string& problem : report.problems)
            text += QStringLiteral("  ") + QString::fromStdString(problem) + QLatin1Char('\n');
        printErr(text);
        return false;
    }
    QString text = path + QStringLiteral(": repaired;");
    for (std::size_t i = 0; i < report.chunksPerStream.size(); ++i)
        text += QStringLiteral(" stream %1: %2 chunks;").arg(i).arg(report.chunksPerStream[i]);
    printOut(text + QStringLiteral(" %1 recovered past the index\n").arg(report.recoveredChunks));
    return true;
}

}  // namespace

int runRepair(const QStringList& args) {
    QCommandLineParser parser;
    const CommandUsage usage{QStringLiteral("repair"), QStringLiteral("FILE..."),
                             QStringLiteral("Completes recordings whose writer never closed them, "
                                            "keeping\neverything that can still be read."),
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
