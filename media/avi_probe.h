// A header-only look at an AVI file, for directory listings: reads the main
// and stream headers (a few small reads at the start of the file), never the
// index or the movi data.
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

    // Whole seconds as the file tables show them: length / (rate / scale),
    // unsigned divisions; 0 when rate / scale is 0.
    std::uint32_t durationSeconds() const;
};

// 0, or a nonzero status when the file cannot be opened or has no readable
// AVI header.
int aviProbeFile(const std::string& path, AviProbe& probe);

}  // namespace media
