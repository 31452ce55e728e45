#include "edit_test_support.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <cstdlib>

#include "platform/screen_source.h"
#include "recorder/clock.h"
#include "recorder/recording_writer.h"
#include "tests/support/programs.h"

namespace edittest {
namespace {

constexpr int kBars = 16;
constexpr int kSampleRate = 44100;
constexpr int kClickSamples = 44;  // 1 ms
constexpr std::int16_t kClickLevel = 20000;
// A click's onset: a sample this loud after this many quiet ones.
constexpr int kLoud = 8000;
constexpr int kQuietBefore = 4410;
// Clicks must land this close to where their frames went (10 ms; a video
// frame is 200 ms).
constexpr std::int64_t kClickTolerance = kSampleRate / 100;

class StillClockDouble final : public recorder::Clock {
  public:
    QDateTime localNow() const override { return QDateTime::currentDateTime(); }
    std::int64_t monotonicMs() const override { return 0; }
};

std::vector<std::uint8_t> picture(int width, int number) {
    const int bar = width / kBars;
    std::vector<std::uint8_t> bgrx(static_cast<std::size_t>(width) * kHeight * 4, 0);
    for (std::size_t i = 0; i < bgrx.size(); ++i) {
        const int x = int(i / 4 % std::size_t(width));
        if (i % 4 != 3 && (number >> (x / bar)) & 1)
            bgrx[i] = 255;
    }
    return bgrx;
}

// Sound of frame `frame`: silence but for a click at each whole second.
std::vector<std::int16_t> frameSound(int frame) {
    std::vector<std::int16_t> stereo(2 * kSamplesPerFrame, 0);
    for (int i = 0; i < kSamplesPerFrame; ++i) {
        if ((frame * kSamplesPerFrame + i) % kSampleRate < kClickSamples)
            stereo[2 * i] = stereo[2 * i + 1] = kClickLevel;
    }
    return stereo;
}

int numberIn(const std::uint8_t* rgb555, int width) {
    const int bar = width / kBars;
    int number = 0;
    for (int b = 0; b < kBars; ++b) {
        const std::size_t at = (static_cast<std::size_t>(kHeight / 2) * width + b * bar + 1) * 2;
        const int green = ((rgb555[at] | rgb555[at + 1] << 8) >> 5) & 0x1F;
        number |= (green > 15 ? 1 : 0) << b;
    }
    return number;
}

void findClicks(const std::vector<std::uint8_t>& s16, Decoded& out) {
    const auto* samples = reinterpret_cast<const std::int16_t*>(s16.data());
    out.soundSamples = std::int64_t(s16.size() / 4);
    std::int64_t quiet = kQuietBefore;
    for (std::int64_t i = 0; i < out.soundSamples; ++i) {
        if (std::abs(samples[2 * i]) < kLoud) {
            ++quiet;
            continue;
        }
        if (quiet >= kQuietBefore)
            out.clicks.push_back(i);
        quiet = 0;
    }
}

}  // namespace

int writeSource(const QString& path, const SourceShape& shape) {
    StillClockDouble clock;
    recorder::RecordingWriter writer(clock);
    ScreenGeometry geometry;
    geometry.width = shape.width;
    geometry.height = kHeight;
    const media::BitmapInfoHeader header = frameFormatHeader(geometry);
    int rc = writer.createAviFile(QFile::encodeName(path).toStdString(), header, shape.sound);
    const int soundFrames = shape.soundFrames < 0 ? shape.frames : shape.soundFrames;
    for (int f = 0; rc == 0 && f < shape.frames; ++f) {
        rc = writer.writeAviFrame(picture(shape.width, shape.firstNumber + f).data(), header);
        if (shape.sound && f < soundFrames) {
            const std::vector<std::int16_t> sound = frameSound(f);
            writer.writeAviAudio(sound.data(), static_cast<std::int32_t>(sound.size() * 2));
        }
    }
    const int closed = writer.closeAviFile();
    return rc ? rc : closed;
}

bool ffmpeg(const QString& arguments) {
    std::string out;
    return testsupport::runCommand("ffmpeg -v error -y " + arguments.toStdString(), out) == 0;
}

Decoded decode(const QString& path) {
    Decoded out;
    const std::filesystem::path file = path.toStdString();
    const auto video = testsupport::ffprobeStream(file, "v:0");
    const int width = video.count("width") ? std::atoi(video.at("width").c_str()) : 0;
    const std::vector<std::uint8_t> pixels = testsupport::ffmpegDecode(file, "rgb555le");
    if (width <= 0 || pixels.empty())
        return out;
    out.frameRate = video.at("r_frame_rate");
    out.keyFrames = testsupport::ffprobeKeyFrames(file);
    const std::size_t frameBytes = std::size_t(width) * kHeight * 2;
    for (std::size_t at = 0; at + frameBytes <= pixels.size(); at += frameBytes)
        out.numbers.push_back(numberIn(pixels.data() + at, width));
    out.hasSound = !testsupport::ffprobeStream(file, "a:0").empty();
    if (out.hasSound)
        findClicks(testsupport::ffmpegDecodeSound(file), out);
    return out;
}

std::vector<int> numbersFrom(int first, int count) {
    std::vector<int> n;
    for (int i = 0; i < count; ++i)
        n.push_back(first + i);
    return n;
}

void expectClicks(std::vector<std::int64_t>& expected, int first, int count, int at,
                  int soundFrames) {
    for (int frame = 0; frame < soundFrames; frame += 5) {
        if (frame >= first && frame < first + count)
            expected.push_back(std::int64_t{frame - first + at} * kSamplesPerFrame);
    }
}

void expectClicksNear(const Decoded& d, const std::vector<std::int64_t>& expected) {
    ASSERT_EQ(d.clicks.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_NEAR(d.clicks[i], expected[i], kClickTolerance) << "click " << i;
}

QStringList filesIn(const QString& directory) {
    return QDir(directory).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
}

}  // namespace edittest
