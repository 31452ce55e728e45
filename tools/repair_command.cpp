#include <cstdio>

#include "media/avi_format.h"
#include "media/avi_repair.h"
#include "tools/recorder_commands.h"

namespace tessaly_avi {

int runRepair(const std::vector<std::string>& args) {
    if (args.empty()) {
        std::fprintf(stderr, "usage: tessaly-avi repair FILE...\n");
        return 2;
    }
    int exitStatus = 0;
    for (const std::string& path : args) {
        media::AviRepairReport report;
        const int rc = media::repairAviFile(path, report);
        if (rc != media::kAviOk) {
            std::fprintf(stderr, "%s: cannot repair (%s)\n", path.c_str(), media::aviErrorName(rc));
            for (const std::string& problem : report.problems)
                std::fprintf(stderr, "  %s\n", problem.c_str());
            exitStatus = 1;
            continue;
        }
        std::printf("%s: repaired;", path.c_str());
        for (std::size_t i = 0; i < report.chunksPerStream.size(); ++i)
            std::printf(" stream %zu: %u chunks;", i, report.chunksPerStream[i]);
        std::printf(" %u recovered past the index\n", report.recoveredChunks);
    }
    return exitStatus;
}

}  // namespace tessaly_avi
