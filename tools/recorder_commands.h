// The recording subcommands of tessaly-avi: a recording without a window,
// and the repair of a recording whose writer never completed it.
#pragma once

#include <string>
#include <vector>

namespace tessaly_avi {

// record [--dir DIR] [--seconds N] [--audio none|default|NAME] [--list-audio]:
// records the X11 screen into DIR (default $HOME/TessalySave) until N seconds
// have passed, or until SIGINT or SIGTERM, and completes the file. Sound comes
// from the input chosen by --audio (none by default; NAME is an input's
// description or its start); --list-audio lists the inputs and ends. Prints
// the file's path as soon as it exists. Exit status 0, 1 when recording
// failed, 2 for bad usage.
int runRecord(const std::vector<std::string>& args);

// repair FILE...: rewrites each file into a complete one with everything
// that can still be read. Exit status 1 when a file could not be repaired.
int runRepair(const std::vector<std::string>& args);

}  // namespace tessaly_avi
