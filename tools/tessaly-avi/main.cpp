// tessaly-avi: command-line companion for the recorder's AVI files.
#include <QCommandLineParser>

#include "tools/tessaly-avi/command_line.h"
#include "tools/tessaly-avi/commands.h"

namespace {

using namespace tools::avi;

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const QStringList&);
};

constexpr Command kCommands[] = {
    {"info", "describe AVI files: streams, codec, index, problems", runInfo},
    {"record", "record the X11 screen (and sound) until N s or a signal", runRecord},
    {"repair", "complete recordings whose writer never closed them", runRepair},
    {"cut", "write a stretch of a recording into Cut_NAME", runCut},
    {"merge", "join recordings one after the other into one file", runMerge},
};

CommandUsage toolUsage() {
    QString description =
        QStringLiteral("Inspect, record, repair, cut and merge AVI files.\n\nCommands:\n");
    for (const Command& c : kCommands) {
        description += QStringLiteral("  %1  %2\n")
                           .arg(QLatin1String(c.name), -6)
                           .arg(QLatin1String(c.summary));
    }
    description += QStringLiteral("\nRun 'tessaly-avi COMMAND --help' for a command's options.");
    return {QString(), QStringLiteral("COMMAND [ARGS]"), description,
            Operands::CommandAndArguments};
}

}  // namespace

int main(int argc, char** argv) {
    QCommandLineParser parser;
    const CommandUsage usage = toolUsage();
    if (const auto status = parseArguments(parser, usage, decodeArguments(argc, argv, 1)))
        return *status;
    QStringList args = parser.positionalArguments();
    const QString name = args.takeFirst();
    for (const Command& c : kCommands) {
        if (name == QLatin1String(c.name))
            return c.run(args);
    }
    return usageError(usage.name, QStringLiteral("unknown command '%1'").arg(name));
}
