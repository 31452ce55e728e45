// The subcommands of tessaly-avi. Each takes the arguments after its name
// (decoded by decodeArguments) and returns the process exit status: 0, 1 when
// its work failed, 2 when the command line is wrong (see command_line.h).
#pragma once

#include <QStringList>

namespace tools::avi {

// info [--json] FILE...: streams, codec, sizes, rates, lengths, index kind
// and problems found. Exit status 1 when a file cannot be read.
//
// The text form starts each file with its name as given (its own bytes). The
// JSON form is an array with one object per file; JSON is Unicode text, so
// "file" shows a name that is not UTF-8 with U+FFFD for the bytes it cannot
// show, and "fileBytesHex" then holds the exact name, two hex digits a byte.
int runInfo(const QStringList& args);

// record [--dir DIR] [--seconds N] [--audio none|default|NAME] [--list-audio]:
// records the X11 screen into DIR (default $HOME/TessalySave) until N seconds
// have passed, or until SIGINT or SIGTERM, and completes the file. Sound comes
// from the input chosen by --audio (none by default; NAME is an input's
// description or its start); --list-audio lists the inputs and ends. Prints
// the file's path as soon as it exists.
int runRecord(const QStringList& args);

// repair FILE...: rewrites each file into a complete one with everything
// that can still be read. Exit status 1 when a file could not be repaired.
int runRepair(const QStringList& args);

// cut FILE --start S --end E [--out DIR]: the window's cutter; prints the
// cut's path. Exit status 1 when the cut failed, kExitGivenUp after Ctrl+C
// (the frames written so far stay).
int runCut(const QStringList& args);

// merge FILE... [--out DIR]: the window's merger; prints the merged file's
// path. Exit status 1 when the merge failed, kExitGivenUp after Ctrl+C;
// neither leaves a file.
int runMerge(const QStringList& args);

}  // namespace tools::avi
