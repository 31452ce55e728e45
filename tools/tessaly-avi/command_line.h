// How every tessaly-avi subcommand reads its arguments and reports misuse.
//
// Arguments are the bytes of argv, decoded without loss (a file name that is
// not UTF-8 must reach the file system unchanged), then parsed by
// QCommandLineParser. Misuse names the bad argument on stderr and ends with
// exit status 2; --help prints the subcommand's help and ends with 0, and
// tessaly-avi --version prints the project's version and ends with 0.
#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <optional>

namespace tools::avi {

constexpr int kExitFailed = 1;  // a file could not be read, repaired or recorded
constexpr int kExitUsage = 2;   // the command line itself is wrong
// A cut or merge given up with Ctrl+C (128 + SIGINT, as shells report it).
constexpr int kExitGivenUp = 130;

// argv[first..argc) as QStrings that platform::encodePath turns back into the
// same bytes.
QStringList decodeArguments(int argc, char** argv, int first);

// What follows a command's options.
enum class Operands {
    None,
    Files,               // FILE..., at least one
    CommandAndArguments  // tessaly-avi's own: everything from the command on
};

// A command's form. --help shows "Usage: tessaly-avi NAME SYNOPSIS", the
// description, and the options.
struct CommandUsage {
    QString name;  // empty for tessaly-avi itself
    QString synopsis;
    QString description;
    Operands operands = Operands::None;
    QString fileHelp = {};  // with Operands::Files: what a FILE is for
};

// Adds -h/--help to `parser` (which already holds the command's options) and
// parses `args`, the arguments after the command's name; the operands are
// then parser.positionalArguments(). Returns the exit status when the command
// must end here (help printed, or misuse reported), nothing when it may go on.
std::optional<int> parseArguments(QCommandLineParser& parser, const CommandUsage& usage,
                                  const QStringList& args);

// Prints "tessaly-avi NAME: message" and where to find help; returns 2.
int usageError(const QString& name, const QString& message);

// Writes text as bytes: characters as UTF-8, the escaped bytes of a decoded
// argument as the bytes they were, so a name is printed as the user gave it.
void printOut(const QString& text);
void printErr(const QString& text);

}  // namespace tools::avi
