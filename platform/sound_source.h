// Sound capture for a recording: the interface the recorder starts and stops,
// and the assembly of what the input delivers into the fixed-size blocks that
// go into the recording's audio stream.
//
// Capture runs on a thread of its own. Blocks reach the sink on that thread,
// in the order the input delivered the sound; the sink (the recording
// writer) serialises them with the frames written on the user-interface
// thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "media/sound_format.h"

namespace sound {

// One recorded block: the bytes of whole 4-byte stereo samples.
using SoundBlockSink = std::function<void(const std::uint8_t* data, std::size_t bytes)>;

// The one sound format of every recording (16-bit stereo PCM at 44100 Hz)
// and its 0.4 s block, as the media library defines them.
using media::kSoundBlockBytes;
using media::kSoundBytesPerSecond;
using media::kSoundChannels;
using media::kSoundSampleBytes;
using media::kSoundSampleRate;
// Sound that only starts to arrive this long after capture began (an idle
// PulseAudio output's monitor wakes up only after its long idle period) is
// preceded by silence for the time it missed, so that sound and picture stay
// together. Below this, the gap is ordinary input latency (a few 10 ms
// fragments) and left alone.
constexpr std::int64_t kStartGapToleranceMs = 40;

// Gathers delivered sound into kSoundBlockBytes blocks for the sink. Sound
// that arrives while paused is dropped; the block being filled keeps what
// came before the pause, and sound after the resume follows it directly.
class SoundBlockAssembler {
  public:
    explicit SoundBlockAssembler(SoundBlockSink sink);

    // Capture starts at this steady time (milliseconds).
    void begin(std::int64_t nowMs);
    // Any thread.
    void setPaused(bool paused, std::int64_t nowMs);
    bool isPaused() const { return paused_; }
    // The capture thread: sound the input delivered at nowMs.
    void append(const std::uint8_t* data, std::size_t bytes, std::int64_t nowMs);
    // The capture thread: silence in place of sound the input skipped.
    void appendSilence(std::size_t bytes);
    // Hands the partly filled last block to the sink.
    void finish();

    // Bytes handed to the sink so far.
    std::uint64_t bytesDelivered() const { return delivered_; }

  private:
    void padStartGap(std::size_t firstBytes, std::int64_t nowMs);
    void put(const std::uint8_t* data, std::size_t bytes);
    void handOver();

    SoundBlockSink sink_;
    std::vector<std::uint8_t> block_;  // made once, reused for every block
    std::size_t filled_ = 0;
    std::uint64_t delivered_ = 0;
    bool soundSeen_ = false;
    std::int64_t beganMs_ = 0;
    std::atomic<bool> paused_{false};
    std::atomic<std::int64_t> pauseStartedMs_{0};
    std::atomic<std::int64_t> pausedTotalMs_{0};
};

// A running capture of one input.
class SoundSource {
  public:
    virtual ~SoundSource() = default;
    // Starts capturing from the input named `deviceName` (empty: the sound
    // server's default input), in the recording format, on a thread of its
    // own; the user-interface thread is not held up by the server. Returns
    // 0, or nonzero when capture could not even begin. An input that cannot
    // be opened delivers nothing, without a message.
    virtual int start(const std::string& deviceName, SoundBlockSink sink) = 0;
    // Any thread: while paused, sound that arrives is dropped.
    virtual void setPaused(bool paused) = 0;
    // Stops capturing, waits for the capture thread, hands the partly filled
    // last block to the sink and frees the input and every buffer. Nothing
    // reaches the sink after this returns. Safe to call when not running.
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
};

}  // namespace sound
