// Test recordings written with the media library the recorder's way, and a
// minimal one-stream Video 1 AVI made byte by byte, independent of our writer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "media/avi_file.h"

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

// A 24-bit bottom-up DIB of a scene that moves with `frame`: a gradient, a
// moving box and a band of noise (all noise when `noisy`), so delta frames
// have both unchanged and changed blocks.
Bytes makeFrame24(int width, int height, int frame, bool noisy = false);

// PCM bytes that differ per chunk, so a misplaced chunk shows.
Bytes makeAudio(std::size_t bytes, int chunk);

// The sound block the recorder writes.
constexpr std::uint32_t kAudioChunkBytes = media::kSoundBlockBytes;

// A recording written through the file services, as the recorder writes it.
struct RecordingShape {
    int frames = 10;
    std::uint32_t rate = 5;  // frames per second = rate / scale
    std::uint32_t scale = 1;
    int width = 16;  // a multiple of 4, for the Video 1 encoder
    int height = 16;
    // Video 1 frames through a compressing stream, a key frame every
    // `keyFrameEvery` (0: every frame); otherwise uncompressed 24-bit frames.
    bool video1 = false;
    std::uint32_t keyFrameEvery = 0;
    // A PCM stream (16-bit stereo, 44100 Hz), one block after every second frame.
    bool withSound = false;
    std::uint64_t segmentLimit = media::kDefaultSegmentLimit;
    bool noisy = false;  // makeFrame24's all-noise frames, which compress poorly
};
struct RecordingResult {
    int status = 0;
    std::vector<Bytes> audioChunks;
    int segments = 0;
};
// `onFrame(file, n)` runs after frame n and its sound (to flush the file, or
// copy it while it is written).
using FrameHook = std::function<void(const media::AviFilePtr&, int)>;
RecordingResult writeRecording(const std::filesystem::path& path, const RecordingShape& shape,
                               const FrameHook& onFrame = {});

// Sets the stream's format to a 24-bit DIB of this size.
int setDib24Format(const media::AviStreamPtr& stream, int width, int height);

// A one-stream Video 1 AVI ('MSVC', 5 fps, idx1) of the given frames;
// biBitCount 16, or 8 with the palette (B,G,R,0 quads) after the header.
struct AviFrame {
    Bytes data;
    bool key = false;
    Bytes paletteChange;  // when not empty, a palette change chunk before the frame
};
void writeVideo1Avi(const std::filesystem::path& path, int width, int height, int bitCount,
                    const std::vector<AviFrame>& frames,
                    const std::vector<std::uint32_t>& palette = {});

}  // namespace testsupport
