// The file an editing job writes: Microsoft Video 1 at a whole number of
// frames a second with a key frame every second of video, and, when asked
// for, a PCM audio stream in the system's own format.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "media/avi_file.h"

namespace editing {

// Encoder quality of edited files on the 0..10000 scale: a little below the
// recorder's 8500, since the frames were encoded once already and a second
// pass at the same quality mostly spends bytes on the first pass's errors.
constexpr std::uint32_t kEditVideoQuality = 7500;

class EditOutput {
  public:
    EditOutput() = default;
    ~EditOutput();
    EditOutput(const EditOutput&) = delete;
    EditOutput& operator=(const EditOutput&) = delete;

    // Creates the file (the caller chose a free name) with its streams. The
    // encoder takes bottom-up 5-5-5 pictures of width x height.
    int create(const QString& path, int width, int height, std::uint32_t fps, bool withSound);
    // Encodes and appends the next frame. A key frame every `fps` frames, so
    // players can seek in the file. kEditErrFileGone once the file was
    // deleted.
    int writeFrame(const std::uint8_t* picture555);
    // Appends one chunk of sound (4-byte samples) to the audio stream.
    int writeSound(const std::vector<std::uint8_t>& samples);
    // Releases the streams and the file; the file is complete afterwards.
    // Returns the status of that completion (0 when nothing was created).
    int finish();

    // Whether this job made the file (and so may delete it).
    bool created() const { return created_; }
    const QString& path() const { return path_; }
    std::int64_t framesWritten() const { return frames_; }

  private:
    QString path_;
    media::AviFilePtr file_;
    media::AviStreamPtr video_;
    media::AviStreamPtr compressed_;
    media::AviStreamPtr sound_;
    std::int32_t frameBytes_ = 0;
    std::int64_t frames_ = 0;
    bool created_ = false;
};

}  // namespace editing
