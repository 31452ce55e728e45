// Rewrites an AVI file that was never completed (its writer was killed, or
// the drive filled up before the index went out) into a complete one: every
// chunk our reader finds, through the index and by scanning past it, is
// copied in order into a fresh file with full headers and indexes, which then
// replaces the original. The original stays untouched unless the rewrite
// succeeded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace media {

struct AviRepairReport {
    // Frames or blocks per stream in the rewritten file.
    std::vector<std::uint32_t> chunksPerStream;
    // Chunks the reader recovered past the file's last index.
    std::uint32_t recoveredChunks = 0;
    // What the reader found wrong with the original.
    std::vector<std::string> problems;
};

// Repairs `path` in place. Returns 0, or the status of the failed step (the
// original is then left as it was, and no temporary file remains).
int repairAviFile(const std::string& path, AviRepairReport& report);

}  // namespace media
