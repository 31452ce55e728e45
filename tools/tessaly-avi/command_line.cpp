#include "tools/tessaly-avi/command_line.h"

#include <cstdio>

#include "platform/native_path.h"

namespace tools::avi {
namespace {

QString commandTitle(const QString& name) {
    return name.isEmpty() ? QStringLiteral("tessaly-avi") : QStringLiteral("tessaly-avi ") + name;
}

void write(std::FILE* to, const QString& text) {
    const QByteArray bytes = platform::encodePath(text);
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), to);
}

// The statuses every subcommand shares, listed once in tessaly-avi's own
// help (and from there in its manual page).
QString exitStatusHelp() {
    // Left-aligned in a column as wide as the widest status.
    constexpr int kStatusWidth = -3;
    return QStringLiteral(
               "\nExit status:\n"
               "  %1  Success.\n"
               "  %2  The work failed: a file could not be read, written, repaired or recorded.\n"
               "  %3  The command line is wrong.\n"
               "  %4  A cut or merge was given up with Ctrl+C.\n")
        .arg(0, kStatusWidth)
        .arg(kExitFailed, kStatusWidth)
        .arg(kExitUsage, kStatusWidth)
        .arg(kExitGivenUp, kStatusWidth);
}

// QCommandLineParser's own usage line names the executable as Qt saw it and
// puts [options] before the subcommand; ours is replaced by the real form.
QString helpFor(const QCommandLineParser& parser, const CommandUsage& usage) {
    const QString generated = parser.helpText();
    const qsizetype firstLineEnd = generated.indexOf(QLatin1Char('\n'));
    QString help = QStringLiteral("Usage: ") + commandTitle(usage.name) + QLatin1Char(' ') +
                   usage.synopsis + generated.mid(firstLineEnd);
    if (usage.name.isEmpty())
        help += exitStatusHelp();
    return help;
}

}  // namespace

QStringList decodeArguments(int argc, char** argv, int first) {
    QStringList args;
    for (int i = first; i < argc; ++i)
        args.append(platform::decodePath(QByteArray(argv[i])));
    return args;
}

std::optional<int> parseArguments(QCommandLineParser& parser, const CommandUsage& usage,
                                  const QStringList& args) {
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and end."));
    parser.addOption(help);
    // Only tessaly-avi itself has a version; its subcommands share it.
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the version and end."));
    if (usage.name.isEmpty())
        parser.addOption(version);
    parser.setApplicationDescription(usage.description);
    if (usage.operands == Operands::Files)
        parser.addPositionalArgument(QStringLiteral("FILE"), usage.fileHelp,
                                     QStringLiteral("FILE..."));
    if (usage.operands == Operands::CommandAndArguments)
        parser.setOptionsAfterPositionalArgumentsMode(
            QCommandLineParser::ParseAsPositionalArguments);
    // parse() skips the first element as the program's name.
    if (!parser.parse(QStringList{commandTitle(usage.name)} + args))
        return usageError(usage.name, parser.errorText());
    if (parser.isSet(help)) {
        printOut(helpFor(parser, usage));
        return 0;
    }
    if (usage.name.isEmpty() && parser.isSet(version)) {
        printOut(QStringLiteral("tessaly-avi " TESSALY_VERSION "\n"));
        return 0;
    }
    const QStringList operands = parser.positionalArguments();
    if (usage.operands == Operands::None && !operands.isEmpty())
        return usageError(usage.name,
                          QStringLiteral("unexpected argument '%1'").arg(operands.first()));
    if (usage.operands == Operands::Files && operands.isEmpty())
        return usageError(usage.name, QStringLiteral("missing FILE"));
    if (usage.operands == Operands::CommandAndArguments && operands.isEmpty())
        return usageError(usage.name, QStringLiteral("missing COMMAND"));
    return std::nullopt;
}

int usageError(const QString& name, const QString& message) {
    printErr(commandTitle(name) + QStringLiteral(": ") + message + QStringLiteral("\nTry '") +
             commandTitle(name) + QStringLiteral(" --help'.\n"));
    return kExitUsage;
}

void printOut(const QString& text) {
    write(stdout, text);
}

void printErr(const QString& text) {
    write(stderr, text);
}

}  // namespace tools::avi
