// tessaly-avi: command-line companion for the recorder's AVI files.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/recorder_commands.h"
#include "tools/tessaly-avi/commands.h"

namespace {

struct Command {
    const char* name;
    const char* usage;
    int (*run)(const std::vector<std::string>&);
};

// New subcommands (record, repair) are added here.
constexpr Command kCommands[] = {
    {"info", "info [--json] FILE...   describe AVI files", tessaly_avi::runInfo},
    {"record",
     "record [--dir DIR] [--seconds N] [--audio none|default|NAME] [--list-audio]   record the "
     "X11 screen (and sound) until N s or a signal",
     tessaly_avi::runRecord},
    {"repair", "repair FILE...   complete recordings whose writer never closed them",
     tessaly_avi::runRepair},
};

void printUsage(std::FILE* to) {
    std::fprintf(to, "usage: tessaly-avi COMMAND [ARGS]\n\ncommands:\n");
    for (const Command& c : kCommands)
        std::fprintf(to, "  %s\n", c.usage);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printUsage(stderr);
        return 2;
    }
    const std::string name = argv[1];
    if (name == "-h" || name == "--help" || name == "help") {
        printUsage(stdout);
        return 0;
    }
    for (const Command& c : kCommands) {
        if (name == c.name)
            return c.run(std::vector<std::string>(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "tessaly-avi: unknown command '%s'\n", name.c_str());
    printUsage(stderr);
    return 2;
}
