// The one sound format of every audio stream this system writes (recordings,
// cuts and merges): 16-bit stereo PCM at 44100 Hz, and the block of it that
// becomes one audio chunk. The sound capture, the recording writer, the
// editing jobs and the tools all take the format from here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace media {

// WAVEFORMATEX, 18 bytes on disk (16 without cbSize).
struct WaveFormatEx {
    std::uint16_t formatTag = 1;
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSec = 0;
    std::uint32_t avgBytesPerSec = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint16_t cbSize = 0;
};
constexpr std::size_t kWaveFormatExBytes = 18;
constexpr std::size_t kPcmWaveFormatBytes = 16;
constexpr std::uint16_t kWaveFormatPcm = 1;

constexpr std::uint32_t kSoundSampleRate = 44100;
constexpr std::uint16_t kSoundChannels = 2;
constexpr std::uint16_t kSoundBitsPerSample = 16;
// One sample of every channel: the format's block align (4 bytes).
constexpr std::uint16_t kSoundSampleBytes =
    static_cast<std::uint16_t>(kSoundChannels * kSoundBitsPerSample / 8);
constexpr std::uint32_t kSoundBytesPerSecond = kSoundSampleRate * kSoundSampleBytes;
// One block: 0.4 s of sound (70560 bytes), one audio chunk of the file and the
// audio stream's suggested buffer size. Two and a half chunks a second keep
// the index small while a stop or a crash loses little sound.
constexpr std::uint32_t kSoundBlockBytes = kSoundBytesPerSecond * 2 / 5;

// The format block of every audio stream written (stored as 18 bytes).
constexpr WaveFormatEx recordingAudioFormat() {
    WaveFormatEx w;
    w.formatTag = kWaveFormatPcm;
    w.channels = kSoundChannels;
    w.samplesPerSec = kSoundSampleRate;
    w.avgBytesPerSec = kSoundBytesPerSecond;
    w.blockAlign = kSoundSampleBytes;
    w.bitsPerSample = kSoundBitsPerSample;
    w.cbSize = 0;
    return w;
}

}  // namespace media
