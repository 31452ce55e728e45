// A recording being read by an editing job: its frames decoded one after the
// other and handed out as the encoder's 5-5-5 pictures, its frame rate and
// size, and its sound stream with the format already checked. Everything a
// job refuses about a source (no video, video we cannot decode, sound that is
// not PCM) is found by open(), before any output exists.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "media/avi_file.h"

namespace editing {

class SourceRecording {
  public:
    SourceRecording() = default;
    SourceRecording(const SourceRecording&) = delete;
    SourceRecording& operator=(const SourceRecording&) = delete;

    // 0, or a nonzero status with `reason` naming the file and the problem.
    int open(const QString& path, QString& reason);
    void close();

    const QString& path() const { return path_; }
    int width() const { return width_; }
    int height() const { return height_; }
    std::uint32_t rate() const { return rate_; }
    std::uint32_t scale() const { return scale_; }
    // Whole frames a second, as the output is written (rate / scale).
    std::uint32_t framesPerSecond() const { return rate_ / scale_; }
    std::int64_t frameCount() const { return frameCount_; }

    // Frame `index` (0 is the stream's first) as bottom-up 5-5-5 rows of
    // dibRowBytes(width, 16); null when it cannot be read. Consecutive
    // indexes decode each frame from the one before.
    const std::uint8_t* picture(std::int64_t index);

    // Empty when the recording has no sound.
    const media::AviStreamPtr& sound() const { return sound_; }
    const media::WaveFormatEx& soundFormat() const { return soundFormat_; }

  private:
    int openVideo(QString& reason);
    int checkSound(QString& reason);
    const std::uint8_t* to555(const std::uint8_t* dib);

    QString path_;
    media::AviFilePtr file_;
    media::AviStreamPtr video_;
    media::AviStreamPtr sound_;
    std::unique_ptr<media::AviGetFrame> frames_;
    media::WaveFormatEx soundFormat_;
    std::int32_t videoStart_ = 0;
    std::int64_t frameCount_ = 0;
    int width_ = 0;
    int height_ = 0;
    std::uint32_t rate_ = 0;
    std::uint32_t scale_ = 1;
    // Converted picture, for sources whose frames are not 16 bits a pixel.
    std::vector<std::uint8_t> picture555_;
};

}  // namespace editing
