// Writes the input of the editing benchmark: a 1920 by 1080 recording at
// 5 fps with sound, made by the recorder's own writer from a benchmark frame
// set (played forwards and back, so every frame changes from the last).
//
//   edit_make_recording FRAME_SET.bgra FRAMES OUT.avi
#include <QDateTime>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "media/sound_format.h"
#include "recorder/recording_writer.h"
#include "video1_frame_set.h"

namespace {

class StillClock final : public recorder::Clock {
  public:
    QDateTime localNow() const override { return QDateTime::currentDateTime(); }
    std::int64_t monotonicMs() const override { return 0; }
};

// One frame's worth of a quiet 440 Hz tone (16-bit stereo).
std::vector<std::int16_t> toneFor(int frame) {
    constexpr int kSamples = media::kSoundSampleRate / 5;
    std::vector<std::int16_t> stereo(2 * kSamples);
    for (int i = 0; i < kSamples; ++i) {
        const std::int64_t t = std::int64_t{frame} * kSamples + i;
        stereo[2 * i] = stereo[2 * i + 1] =
            static_cast<std::int16_t>(t * 440 * 64 / media::kSoundSampleRate % 64 * 64);
    }
    return stereo;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s FRAME_SET.bgra FRAMES OUT.avi\n", argv[0]);
        return 2;
    }
    using namespace video1bench;
    std::vector<std::vector<std::uint8_t>> dibs;
    if (!loadFrameSet(argv[1], kBenchWidth, kBenchHeight, dibs) || dibs.empty()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    media::BitmapInfoHeader header;
    header.width = kBenchWidth;
    header.height = kBenchHeight;
    header.bitCount = 32;
    StillClock clock;
    recorder::RecordingWriter writer(clock);
    int rc = writer.createAviFile(argv[3], header, true);
    const int frames = std::atoi(argv[2]);
    const int period = 2 * static_cast<int>(dibs.size()) - 2;
    for (int f = 0; rc == 0 && f < frames; ++f) {
        const int at = f % period;
        const int index = at < static_cast<int>(dibs.size()) ? at : period - at;
        rc = writer.writeAviFrame(dibs[static_cast<std::size_t>(index)].data(), header);
        const std::vector<std::int16_t> tone = toneFor(f);
        writer.writeAviAudio(tone.data(), static_cast<std::int32_t>(tone.size() * 2));
    }
    const int closed = writer.closeAviFile();
    if (rc != 0 || closed != 0) {
        std::fprintf(stderr, "writing %s failed (%d, %d)\n", argv[3], rc, closed);
        return 1;
    }
    return 0;
}
