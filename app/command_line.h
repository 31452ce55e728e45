// The recorder's own command line: --help and --version, each as the only
// argument, answered before any window or display connection exists. Every
// other argument goes to the Qt application object unchanged.
#pragma once

#include <optional>

// Prints the help or the version and returns the exit status when argv asks
// for one of them; nothing when the program should start as usual.
std::optional<int> answerInformationRequest(int argc, char** argv);
