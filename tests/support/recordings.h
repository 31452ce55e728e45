// Test recordings written with the media library (the recorder's way through
// a compressing stream, or chunk by chunk through AviWriter), and a minimal
// one-stream Video 1 AVI made byte by byte, independent of our writer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "media/avi_writer.h"

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

// A 24-bit bottom-up DIB of a scene that moves with `frame`: a gradient, a
// moving box and a band of noise (all noise when `noisy`), so delta frames
// have both unchanged and changed blocks.
Bytes makeFrame24(int width, int height, int frame, bool noisy = false);

// PCM bytes that differ per chunk, so a misplaced chunk shows.
Bytes makeAudio(std::size_t bytes, int chunk);

media::BitmapInfoHeader frameHeader24(int width, int height);

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
};
struct RecordingResult {
    int status = 0;
    std::vector<Bytes> audioChunks;
};
RecordingResult writeRecording(const std::filesystem::path& path, const RecordingShape& shape);

// Frames of our encoder (a key frame every 5) and sound blocks written chunk
// by chunk through AviWriter, keeping every chunk's bytes. `onFrame(n)` runs
// after frame n (to copy the file while it is written, or to flush `writer`).
struct WrittenStreams {
    int status = 0;
    std::vector<Bytes> video;
    std::vector<bool> key;
    std::vector<Bytes> audio;
    int segments = 0;
};
WrittenStreams writeWithWriter(const std::filesystem::path& path, int width, int height, int frames,
                               const media::AviWriterOptions& options,
                               const std::function<void(int)>& onFrame = {},
                               media::AviWriter* writer = nullptr);

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

// The frame ('00dc', '00db') and palette change ('00pc') chunks of a
// one-stream AVI in file order, found by walking its RIFF tree.
struct AviChunk {
    std::string tag;
    Bytes data;
};
bool readAviChunks(const std::filesystem::path& path, std::vector<AviChunk>& chunks);

}  // namespace testsupport
