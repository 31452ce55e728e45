// Rewrites an AVI file that was never completed (its writer was killed, or
// the drive filled up before the index went out) into a complete one: every
// chunk our reader finds, through the index and by scanning past it, is
// copied once, in order, into a temporary file with full headers and indexes.
// That copy is read back and checked; only then are its bytes written over
// the original, in place (see avi_repair_file.h).
//
// A repair never makes a file worse: a file that reads back without problems,
// one that is not an AVI file, one without a readable frame or sound block,
// and one whose copy would hold fewer chunks than were found or grow beyond
// its chunks plus their headers and indexes are all left byte for byte as
// they were, with the reason.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace media {

enum class AviRepairOutcome {
    Repaired,
    NothingToRepair,  // complete and sound already; left untouched
    LeftAsItWas,      // refused; see reason
    RewriteFailed,    // the file was changed and may be damaged; see keptCopy
};

struct AviRepairReport {
    AviRepairOutcome outcome = AviRepairOutcome::LeftAsItWas;
    // The file repaired, when the path given was a symbolic link to it.
    std::string linkTarget;
    // Stream types (kFccVids, kFccAuds, ...) and frames or blocks per stream
    // in the file as it is now.
    std::vector<std::uint32_t> streamTypes;
    std::vector<std::uint32_t> chunksPerStream;
    // Chunks the reader recovered past the file's last index.
    std::uint32_t recoveredChunks = 0;
    // What the reader found wrong with the original.
    std::vector<std::string> problems;
    // Why the file was not repaired, in words.
    std::string reason;
    // After a failed rewrite: a complete repaired copy, kept beside the file.
    std::string keptCopy;
};

// Repairs `path` in place. Returns 0 when the file is repaired or needed no
// repair, or the status of the step that refused or failed.
int repairAviFile(const std::string& path, AviRepairReport& report);

}  // namespace media
