#include "app/command_line.h"

#include <cstdio>
#include <cstring>

#include "app/single_instance.h"

namespace {

// Laid out like tessaly-avi's help (usage line, description, headed blocks of
// two columns), so one generator makes both manual pages from it.
void printHelp() {
    std::printf(
        "Usage: tessaly-recorder [--help | --version]\n"
        "A screen recorder for X11 desktops that writes AVI files.\n"
        "\n"
        "The window records the whole primary screen as Microsoft Video 1 at 5\n"
        "frames a second, with 16-bit stereo 44.1 kHz sound from a microphone or\n"
        "from the computer's own output, or without sound. While it records, the\n"
        "window hides and a tray icon offers Pause, Stop and Quit. One recorder\n"
        "runs per user: a second start shows the running one's window and ends.\n"
        "Any other arguments go to Qt (for example -display or -platform).\n"
        "\n"
        "Options:\n"
        "  -h, --help  Show this help and end.\n"
        "  --version   Show the version and end.\n"
        "\n"
        "Exit status:\n"
        "  0  The window was closed, or a running recorder was shown.\n"
        "  %d  The recorder could not start (its instance lock was unusable).\n",
        kLockUnavailableExitCode);
}

}  // namespace

std::optional<int> answerInformationRequest(int argc, char** argv) {
    if (argc != 2)
        return std::nullopt;
    const char* arg = argv[1];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
        printHelp();
        return 0;
    }
    if (std::strcmp(arg, "--version") == 0) {
        std::printf("tessaly-recorder %s\n", TESSALY_VERSION);
        return 0;
    }
    return std::nullopt;
}
