// The sound of one source as an editing job writes it: exactly as many
// samples as the picture asks for, in the system's own format (44.1 kHz,
// 16-bit, stereo), from a given time of the source on. Where the source has
// no sound at that time (before its sound starts, after it ends, or no sound
// at all) the feed gives silence; PCM in another rate, channel count or
// sample size goes through libswresample.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "media/avi_file.h"

namespace editing {

class SoundFeed {
  public:
    SoundFeed();
    ~SoundFeed();
    SoundFeed(const SoundFeed&) = delete;
    SoundFeed& operator=(const SoundFeed&) = delete;

    // Starts at `numerator / denominator` seconds into `stream` (format
    // `format`, checked by SourceRecording); an empty stream gives silence.
    // 0, or a nonzero status with `reason` set.
    int start(const media::AviStreamPtr& stream, const media::WaveFormatEx& format,
              std::int64_t numerator, std::int64_t denominator, QString& reason);
    // The next `samples` samples, 4 bytes each, into `out` (replaced).
    int take(std::int64_t samples, std::vector<std::uint8_t>& out);

  private:
    struct Converter;
    int readSource(std::int64_t samples, std::vector<std::uint8_t>& out);

    media::AviStreamPtr stream_;
    media::WaveFormatEx format_;
    std::int64_t position_ = 0;  // next source sample, in stream positions
    std::unique_ptr<Converter> converter_;
    std::vector<std::uint8_t> raw_;
};

}  // namespace editing
