// The recording writer on its own: the file it writes (stream information,
// key frames, sound), its header refreshes while the file is still open, and
// the repair of a file whose writer never closed it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

#include "media/avi_reader.h"
#include "media/avi_repair.h"
#include "media/sound_format.h"
#include "platform/screen_source.h"
#include "recorder/recording_writer.h"
#include "recorder_test_support.h"

namespace {

using recorder::RecordingWriter;

struct Frame {
    explicit Frame(int width = 64, int height = 48) {
        geometry.width = width;
        geometry.height = height;
        header = frameFormatHeader(geometry);
        pixels.assign(frameBytes(geometry), 0);
    }
    void fill(std::uint32_t rgb) {
        for (std::size_t i = 0; i < pixels.size(); i += 4) {
            pixels[i] = rgb & 0xFF;
            pixels[i + 1] = (rgb >> 8) & 0xFF;
            pixels[i + 2] = (rgb >> 16) & 0xFF;
        }
    }
    ScreenGeometry geometry;
    media::BitmapInfoHeader header;
    std::vector<std::uint8_t> pixels;
};

std::string pathIn(const QTemporaryDir& dir, const char* name) {
    return QFile::encodeName(dir.filePath(QString::fromLatin1(name))).toStdString();
}

// What a process killed right now leaves on disk: the file as it stands,
// without whatever still sits in the writer's buffers.
QString snapshotOf(const std::string& path, const QTemporaryDir& dir, const char* name) {
    const QString copy = dir.filePath(QString::fromLatin1(name));
    QFile::remove(copy);
    EXPECT_TRUE(QFile::copy(QFile::decodeName(QByteArray::fromStdString(path)), copy));
    return copy;
}

TEST(RecordingWriter, WritesOneVideoStreamAtFiveFramesWithAKeyFrameEveryFive) {
    QTemporaryDir dir;
    ManualClockDouble clock;
    RecordingWriter writer(clock);
    Frame frame;
    const std::string path = pathIn(dir, "video.avi");
    ASSERT_EQ(writer.createAviFile(path, frame.header, false), 0);
    EXPECT_FALSE(writer.hasAudioStream());
    frame.fill(0x0000FF);
    for (int i = 0; i < 12; ++i) {
        // One 4 by 4 block changes from frame to frame.
        frame.pixels[0] = static_cast<std::uint8_t>(i * 20);
        ASSERT_EQ(writer.writeAviFrame(frame.pixels.data(), frame.header), 0);
        clock.advance(200);
    }
    EXPECT_EQ(writer.frameCount(), 12u);
    EXPECT_EQ(writer.closeAviFile(), 0);

    const RecordingContents file = readRecording(QString::fromStdString(path));
    ASSERT_EQ(file.status, 0);
    EXPECT_EQ(file.streams, 1);
    EXPECT_EQ(file.rate, 5u);
    EXPECT_EQ(file.scale, 1u);
    EXPECT_EQ(file.fccHandler, media::kFccMsvc);
    ASSERT_EQ(file.keyFrames.size(), 12u);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(file.keyFrames[i], i % 5 == 0) << "frame " << i;
    const auto* px = reinterpret_cast<const std::uint16_t*>(file.pictures[11].data());
    EXPECT_EQ(px[frame.geometry.width * 10], rgb555(0x0000FF));

    // The stream header announces room for one uncompressed frame.
    media::AviReader reader;
    ASSERT_EQ(reader.open(path), 0);
    EXPECT_EQ(reader.stream(0).header.suggestedBufferSize, frame.pixels.size());

    const ProbeResult probe = probeWithFfprobe(QString::fromStdString(path));
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.streams, 1);
    EXPECT_EQ(probe.codec, QStringLiteral("msvideo1"));
    EXPECT_EQ(probe.frameRate, QStringLiteral("5/1"));
    EXPECT_EQ(probe.packets, 12);
}

TEST(RecordingWriter, RepeatFramesShowThePreviousPictureAndNeedAFirstFrame) {
    QTemporaryDir dir;
    ManualClockDouble clock;
    RecordingWriter writer(clock);
    Frame frame;
    const std::string path = pathIn(dir, "repeat.avi");
    ASSERT_EQ(writer.createAviFile(path, frame.header, false), 0);
    EXPECT_NE(writer.writeRepeatFrame(), 0);  // nothing to repeat yet
    frame.fill(0x00FF00);
    ASSERT_EQ(writer.writeAviFrame(frame.pixels.data(), frame.header), 0);
    ASSERT_EQ(writer.writeRepeatFrame(), 0);
    ASSERT_EQ(writer.writeRepeatFrame(), 0);
    frame.fill(0x0000FF);
    ASSERT_EQ(writer.writeAviFrame(frame.pixels.data(), frame.header), 0);
    EXPECT_EQ(writer.frameCount(), 4u);
    writer.closeAviFile();

    const RecordingContents file = readRecording(QString::fromStdString(path));
    ASSERT_EQ(file.status, 0);
    ASSERT_EQ(file.pictures.size(), 4u);
    EXPECT_EQ(file.pictures[1], file.pictures[0]);
    EXPECT_EQ(file.pictures[2], file.pictures[0]);
    EXPECT_GT(file.frameSizes[1], 0u);  // a real frame, not a dropped one
    EXPECT_LT(file.frameSizes[1], file.frameSizes[0]);
    EXPECT_FALSE(file.keyFrames[1]);
    EXPECT_FALSE(file.keyFrames[2]);
    const auto* px = reinterpret_cast<const std::uint16_t*>(file.pictures[3].data());
    EXPECT_EQ(px[0], rgb555(0x0000FF));
    EXPECT_EQ(probeWithFfprobe(QString::fromStdString(path)).decodedFrames, 4);
}

TEST(RecordingWriter, SoundFromAnotherThreadLandsInStreamOne) {
    QTemporaryDir dir;
    ManualClockDouble clock;
    RecordingWriter writer(clock);
    Frame frame;
    const std::string path = pathIn(dir, "sound.avi");
    ASSERT_EQ(writer.createAviFile(path, frame.header, true), 0);
    EXPECT_TRUE(writer.hasAudioStream());
    constexpr int kBlocks = 40;
    std::vector<std::uint8_t> block(media::kSoundBlockBytes, 7);
    std::atomic<bool> go{false};
    std::thread sound([&] {
        while (!go) {
        }
        for (int i = 0; i < kBlocks; ++i)
            writer.writeAviAudio(block.data(), static_cast<std::int32_t>(block.size()));
    });
    go = true;
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(writer.writeAviFrame(frame.pixels.data(), frame.header), 0);
    sound.join();
    writer.closeAviFile();
    // Once closed, late sound goes nowhere and harms nothing.
    writer.writeAviAudio(block.data(), static_cast<std::int32_t>(block.size()));

    media::AviReader reader;
    ASSERT_EQ(reader.open(path), 0);
    ASSERT_EQ(reader.streamCount(), 2);
    EXPECT_TRUE(reader.stream(0).isVideo());
    EXPECT_EQ(reader.stream(0).chunks.size(), 20u);
    const media::AviReaderStream& audio = reader.stream(1);
    EXPECT_TRUE(audio.isAudio());
    EXPECT_EQ(audio.chunks.size(), static_cast<std::size_t>(kBlocks));
    EXPECT_EQ(audio.length(), kBlocks * block.size() / 4);
    EXPECT_EQ(audio.header.suggestedBufferSize, block.size());
    const media::WaveFormatEx wave =
        media::loadWaveFormat(audio.format.data(), audio.format.size());
    EXPECT_EQ(wave.channels, 2);
    EXPECT_EQ(wave.samplesPerSec, 44100u);
    EXPECT_EQ(wave.bitsPerSample, 16);
    EXPECT_EQ(wave.blockAlign, 4);
}

TEST(RecordingWriter, AnOpenFileIsReadableUpToItsLastHeaderRefreshAndRepairs) {
    QTemporaryDir dir;
    ManualClockDouble clock;
    RecordingWriter writer(clock);
    Frame frame(320, 240);
    const std::string path = pathIn(dir, "open.avi");
    ASSERT_EQ(writer.createAviFile(path, frame.header, false), 0);
    // The first frame is refreshed at once, frame 10 (2 s later) again;
    // frame 11 comes after the last refresh.
    for (int i = 0; i < 11; ++i) {
        frame.fill(0x101010u * static_cast<std::uint32_t>(i + 1));
        ASSERT_EQ(writer.writeAviFrame(frame.pixels.data(), frame.header), 0);
        clock.advance(200);
    }
    frame.fill(0xABCDEF);
    ASSERT_EQ(writer.writeAviFrame(frame.pixels.data(), frame.header), 0);  // frame 11, at 2.2 s
    const QString killed = snapshotOf(path, dir, "killed.avi");

    media::AviReader reader;
    ASSERT_EQ(reader.open(QFile::encodeName(killed).toStdString()), 0);
    EXPECT_GE(reader.stream(0).chunks.size(), 11u);
    EXPECT_GE(probeWithFfprobe(killed).decodedFrames, 11);

    media::AviRepairReport report;
    ASSERT_EQ(media::repairAviFile(QFile::encodeName(killed).toStdString(), report), 0);
    ASSERT_EQ(report.chunksPerStream.size(), 1u);
    EXPECT_GE(report.chunksPerStream[0], 11u);
    const RecordingContents repaired = readRecording(killed);
    ASSERT_EQ(repaired.status, 0);
    ASSERT_GE(repaired.pictures.size(), 11u);
    const auto* px = reinterpret_cast<const std::uint16_t*>(repaired.pictures[10].data());
    EXPECT_EQ(px[0], rgb555(0xB0B0B0));
    media::AviReader again;
    ASSERT_EQ(again.open(QFile::encodeName(killed).toStdString()), 0);
    EXPECT_NE(again.indexKind(), media::AviIndexKind::Scan);
    EXPECT_EQ(again.recoveredChunks(), 0u);
    EXPECT_GE(probeWithFfprobe(killed).decodedFrames, 11);
    EXPECT_FALSE(QFile::exists(killed + QStringLiteral(".repair-tmp")));
    writer.closeAviFile();
}

TEST(RecordingWriter, RepairLeavesAFileThatIsNoAviAlone) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("text.avi"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a recording at all");
    f.close();
    media::AviRepairReport report;
    EXPECT_NE(media::repairAviFile(QFile::encodeName(path).toStdString(), report), 0);
    QFile back(path);
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    EXPECT_EQ(back.readAll(), QByteArray("not a recording at all"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);
}

TEST(RecordingWriter, ACreateThatFailsReportsItsStatus) {
    QTemporaryDir dir;
    ManualClockDouble clock;
    RecordingWriter writer(clock);
    Frame frame;
    EXPECT_NE(writer.createAviFile(pathIn(dir, "missing/dir/x.avi"), frame.header, false), 0);
    EXPECT_NE(writer.writeAviFrame(frame.pixels.data(), frame.header), 0);
    EXPECT_EQ(writer.frameCount(), 0u);
    writer.closeAviFile();
}

}  // namespace
