#include "platform/sound_source.h"

#include <algorithm>
#include <cstring>

namespace sound {

SoundBlockAssembler::SoundBlockAssembler(SoundBlockSink sink)
    : sink_(std::move(sink)), block_(kSoundBlockBytes) {}

void SoundBlockAssembler::begin(std::int64_t nowMs) {
    beganMs_ = nowMs;
    filled_ = 0;
    delivered_ = 0;
    soundSeen_ = false;
    paused_ = false;
    pausedTotalMs_ = 0;
}

void SoundBlockAssembler::setPaused(bool paused, std::int64_t nowMs) {
    if (paused == paused_)
        return;
    if (paused)
        pauseStartedMs_ = nowMs;
    else
        pausedTotalMs_ += std::max<std::int64_t>(0, nowMs - pauseStartedMs_);
    paused_ = paused;
}

void SoundBlockAssembler::append(const std::uint8_t* data, std::size_t bytes, std::int64_t nowMs) {
    if (bytes == 0 || paused_)
        return;
    if (!soundSeen_) {
        soundSeen_ = true;
        padStartGap(bytes, nowMs);
    }
    put(data, bytes);
}

void SoundBlockAssembler::padStartGap(std::size_t firstBytes, std::int64_t nowMs) {
    const std::int64_t capturedMs = nowMs - beganMs_ - pausedTotalMs_;
    const auto deliveredMs = static_cast<std::int64_t>(firstBytes * 1000 / kSoundBytesPerSecond);
    const std::int64_t gapMs = capturedMs - deliveredMs;
    if (gapMs <= kStartGapToleranceMs)
        return;
    const auto samples = static_cast<std::size_t>(gapMs) * kSoundSampleRate / 1000;
    appendSilence(samples * kSoundSampleBytes);
}

void SoundBlockAssembler::appendSilence(std::size_t bytes) {
    while (bytes > 0) {
        const std::size_t n = std::min(bytes, block_.size() - filled_);
        std::memset(block_.data() + filled_, 0, n);
        filled_ += n;
        bytes -= n;
        if (filled_ == block_.size())
            handOver();
    }
}

void SoundBlockAssembler::put(const std::uint8_t* data, std::size_t bytes) {
    while (bytes > 0) {
        const std::size_t n = std::min(bytes, block_.size() - filled_);
        std::memcpy(block_.data() + filled_, data, n);
        filled_ += n;
        data += n;
        bytes -= n;
        if (filled_ == block_.size())
            handOver();
    }
}

void SoundBlockAssembler::finish() {
    // Only whole samples go into the file.
    filled_ -= filled_ % kSoundSampleBytes;
    if (filled_ > 0)
        handOver();
}

void SoundBlockAssembler::handOver() {
    if (sink_)
        sink_(block_.data(), filled_);
    delivered_ += filled_;
    filled_ = 0;
}

}  // namespace sound
