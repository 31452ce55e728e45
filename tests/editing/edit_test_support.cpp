#include "edit_test_support.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <cstdlib>

#include "media/sound_format.h"
#include "platform/screen_source.h"
#include "recorder/clock.h"
#include "recorder/recording_writer.h"

namespace edittest {
namespace {

constexpr int kBars = 16;
constexpr int kFps = 5;
constexpr int kSamplesPerFrame = kSampleRate / kFps;
constexpr int kClickSamples = 44;  // 1 ms
constexpr std::int16_t kClickLevel = 20000;
// A click's onset: a sample this loud after this many quiet ones.
constexpr int kLoud = 8000;
constexpr int kQuietBefore = 4410;

class StillClockDouble final : public recorder::Clock {
  public:
    QDateTime localNow() const override { return QDateTime::currentDateTime(); }
    std::int64_t monotonicMs() const override { return 0; }
};

std::vector<std::uint8_t> picture(int width, int number) {
    const int bar = width / kBars;
    std::vector<std::uint8_t> bgrx(static_cast<std::size_t>(width) * kHeight * 4, 0);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool white = (number >> (x / bar)) & 1;
            for (int c = 0; c < 3; ++c)
                bgrx[(static_cast<std::size_t>(y) * width + x) * 4 + c] = white ? 255 : 0;
        }
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

void findClicks(const QByteArray& s16, Decoded& out) {
    const auto* samples = reinterpret_cast<const std::int16_t*>(s16.constData());
    out.soundSamples = s16.size() / 4;
    std::int64_t quiet = kQuietBefore;
    for (std::int64_t i = 0; i < out.soundSamples; ++i) {
        if (std::abs(samples[2 * i]) >= kLoud) {
            if (quiet >= kQuietBefore)
                out.clicks.push_back(i);
            quiet = 0;
        } else {
            ++quiet;
        }
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

QByteArray run(const QString& program, const QStringList& arguments, int* exitCode) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(120000);
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAllStandardOutput();
}

bool haveFfmpeg() {
    return !QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("ffprobe")).isEmpty();
}

Decoded decode(const QString& path) {
    Decoded out;
    int rc = 0;
    const QString probe = QString::fromUtf8(
        run(QStringLiteral("ffprobe"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
             QStringLiteral("stream=codec_type,width,r_frame_rate:packet=flags"),
             QStringLiteral("-select_streams"), QStringLiteral("v"), QStringLiteral("-of"),
             QStringLiteral("csv=p=0"), path},
            &rc));
    if (rc != 0)
        return out;
    int frame = 0;
    std::int64_t width = 0;
    for (const QString& line : probe.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1String("video,"))) {
            width = line.section(QLatin1Char(','), 1, 1).toLongLong();
            out.frameRate = line.section(QLatin1Char(','), 2);
        } else if (line.startsWith(QLatin1Char('K')))
            out.keyFrames.push_back(frame++);
        else
            ++frame;
    }
    const QByteArray pixels =
        run(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
             QStringLiteral("-map"), QStringLiteral("0:v"), QStringLiteral("-f"),
             QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"), QStringLiteral("rgb555le"),
             QStringLiteral("-")},
            &rc);
    if (rc != 0)
        return out;
    const std::int64_t frameBytes = width * kHeight * 2;
    for (std::int64_t at = 0; frameBytes > 0 && at + frameBytes <= pixels.size();
         at += frameBytes) {
        out.numbers.push_back(
            numberIn(reinterpret_cast<const std::uint8_t*>(pixels.constData()) + at, int(width)));
    }
    const QByteArray sound =
        run(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
             QStringLiteral("-map"), QStringLiteral("0:a"), QStringLiteral("-f"),
             QStringLiteral("s16le"), QStringLiteral("-ac"), QStringLiteral("2"),
             QStringLiteral("-ar"), QStringLiteral("44100"), QStringLiteral("-")},
            &rc);
    out.hasSound = rc == 0;
    if (out.hasSound)
        findClicks(sound, out);
    out.ok = true;
    return out;
}

std::vector<int> Reports::percents() const {
    std::vector<int> p;
    for (const editing::EditReport& r : all)
        p.push_back(r.percent);
    return p;
}

QStringList filesIn(const QString& directory) {
    return QDir(directory).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
}

}  // namespace edittest
