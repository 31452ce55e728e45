// A header-only look at an AVI file, for directory listings: reads the main
// and stream headers, in a normal file with one read of its first few KiB,
// never the index or the movi data.
#pragma once

#include <cstdint>
#include <string>

namespace media {

struct AviProbe {
    std::uint32_t streams = 0;  // stream lists found
    std::uint32_t width = 0;    // avih picture size
    std::uint32_t height = 0;
    std::uint32_t mainTotalFrames = 0;  // avih (first RIFF only in OpenDML files)
    std::uint32_t odmlTotalFrames = 0;  // dmlh, 0 when absent
    // The first stream's header: the file's time base and length.
    std::uint32_t fccType = 0;
    std::uint32_t fccHandler = 0;
    std::uint32_t rate = 0;
    std::uint32_t scale = 0;
    std::uint32_t length = 0;
    // A RIFF 'AVIX' segment follows the first RIFF, so frames beyond the
    // first segment exist and the dmlh total may count more than `length`.
    bool secondSegmentFollows = false;

    // Whole seconds as the file tables show them: the frames (or samples) of
    // the first stream over (rate / scale), both divisions unsigned and
    // truncating; 0 when rate / scale is 0. The frames are `length`, or the
    // dmlh total when the first stream is video, a second segment follows and
    // that total is the larger (some writers leave only the first segment's
    // count in the stream header).
    std::uint32_t durationSeconds() const;
};

// How much of the header list a probe reads.
enum class AviProbeScope {
    // Every stream list and the OpenDML header. Recordings reserve room for
    // their index in every stream list, so this reads a few places spread
    // over the first tens of KiB.
    WholeHeader,
    // Only what durationSeconds() needs: the walk ends at the first stream's
    // header unless a second segment follows. `streams` then counts 1 and
    // `odmlTotalFrames` stays 0 in a single-segment file.
    Duration,
};

// 0, or a nonzero status: kAviErrFileOpen when the path is not a regular
// file or cannot be opened (a FIFO is refused without waiting for a writer),
// kAviErrBadFormat when the file has no readable AVI header (also when it ends
// inside the main header or the first stream's header). A recording cut short
// after its headers keeps what its headers say.
int aviProbeFile(const std::string& path, AviProbe& probe,
                 AviProbeScope scope = AviProbeScope::WholeHeader);

}  // namespace media
