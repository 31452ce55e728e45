// libFuzzer target: the AVI reader and everything the editing engines do with
// an opened file (information, chunk reads, convenient reads, frame
// decompression) on arbitrary bytes.
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "media/avi_file.h"
#include "media/avi_probe.h"

namespace {

// The reader works on files: each input is written to one scratch file.
const std::string& scratchPath() {
    static const std::string path = "/tmp/tessaly_avi_fuzz_" + std::to_string(::getpid()) + ".avi";
    // Registered after `path` exists, so it runs before `path` goes away.
    static const bool removedAtExit =
        (std::atexit([] { std::remove(scratchPath().c_str()); }), true);
    (void)removedAtExit;
    return path;
}

// Bounds the work per input so a long index does not slow the fuzzer down.
constexpr std::size_t kMaxChunksRead = 64;
constexpr int kMaxFramesDecoded = 16;

void exercise(const media::AviFilePtr& file) {
    using namespace media;
    AviFileInfo info;
    aviFileInfo(file, info);
    AviReader& r = *file->reader();
    std::vector<std::uint8_t> chunk;
    for (int s = 0; s < r.streamCount(); ++s) {
        const std::size_t n = r.stream(s).chunks.size();
        for (std::size_t c = 0; c < n && c < kMaxChunksRead; ++c)
            r.readChunk(s, c, chunk);
        AviStreamPtr stream;
        if (aviFileGetStream(file, stream, 0, s) != kAviOk)
            continue;
        AviStreamInfo si;
        aviStreamInfo(stream, si);
        // A hostile header can put start + length past the int range.
        const std::int64_t start = aviStreamStart(stream);
        const std::int64_t length = aviStreamLength(stream);
        auto at = [](std::int64_t pos) {
            return static_cast<std::int32_t>(std::clamp<std::int64_t>(pos, INT32_MIN, INT32_MAX));
        };
        std::int32_t bytes = 0, samples = 0;
        for (std::int32_t pos :
             {at(start), at(start + length / 2), at(start + length - 1), at(start + length)}) {
            if (aviStreamRead(stream, pos, kReadConvenient, nullptr, 0, &bytes, &samples) ==
                    kAviOk &&
                bytes > 0 && static_cast<std::size_t>(bytes) <= r.fileSize()) {
                std::vector<std::uint8_t> buffer(static_cast<std::size_t>(bytes));
                aviStreamRead(stream, pos, samples, buffer.data(), bytes, &bytes, &samples);
            }
        }
        if (auto frames = aviStreamGetFrameOpen(stream)) {
            for (int f = 0; f < kMaxFramesDecoded && f < length; ++f) {
                aviStreamGetFrame(frames.get(), at(start + f));
            }
            aviStreamGetFrame(frames.get(), at(start + length - 1));
            aviStreamGetFrame(frames.get(), at(start));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(scratchPath().c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    media::AviProbe probe;
    media::aviProbeFile(scratchPath(), probe);

    media::AviFilePtr file;
    if (media::aviFileOpen(file, scratchPath(), media::kOpenRead) == media::kAviOk)
        exercise(file);
    return 0;
}
