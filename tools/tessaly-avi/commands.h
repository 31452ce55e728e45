// Subcommands of tessaly-avi. Each takes the arguments after its name and
// returns the process exit status.
#pragma once

#include <string>
#include <vector>

namespace tessaly_avi {

// info [--json] FILE...: streams, codec, sizes, rates, lengths, index kind
// and problems found. Exit status 1 when a file cannot be read.
int runInfo(const std::vector<std::string>& args);

}  // namespace tessaly_avi
