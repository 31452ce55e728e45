// The recording controller with a scripted screen and a hand-stepped clock
// (test doubles), writing real files that our reader and ffprobe check. A
// save directory removed mid-recording is the command recorder's test on Xvfb.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <string>

#include "media/avi_reader.h"
#include "media/sound_format.h"
#include "platform/sound_devices.h"
#include "platform/sound_source.h"
#include "recorder/recording_controller.h"
#include "recorder_test_support.h"
#include "tests/support/scoped_tmpfs.h"

#include <sys/mount.h>
#include <unistd.h>

namespace {

using recorder::RecordingController;
constexpr int kPeriod = recorder::kCapturePeriodMs;

class ControllerWithDoubles : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        saveDir = dir.filePath(QStringLiteral("save"));
        controller = std::make_unique<RecordingController>(screen, clock);
        controller->setSaveDirectory([this] { return saveDir; });
    }

    // One timer tick, one capture period after the previous one.
    int tickAfter(int ms = kPeriod) {
        clock.advance(ms);
        return controller->tick();
    }
    void record(int ticks) {
        controller->start();
        for (int i = 0; i < ticks; ++i)
            ASSERT_EQ(tickAfter(), 0);
    }

    QTemporaryDir dir;
    QString saveDir;
    ScriptedScreenDouble screen;
    ManualClockDouble clock;
    std::unique_ptr<RecordingController> controller;
};

TEST_F(ControllerWithDoubles, FiveTicksGiveAFiveFrameFileNamedAfterTheFirstTick) {
    saveDir = dir.filePath(QStringLiteral("a/b/c"));  // made with its parents
    record(5);
    EXPECT_TRUE(controller->isRecording());
    controller->stop(RecordingController::PauseClearing::BeforeClose);
    EXPECT_FALSE(controller->isRecording());
    EXPECT_EQ(controller->lastRecordError(), 0);
    EXPECT_FALSE(screen.isOpen);

    const QString expected = saveDir + QStringLiteral("/20161205093007.avi");
    EXPECT_EQ(controller->recordFilePath(), expected);
    const RecordingContents file = readRecording(expected);
    ASSERT_EQ(file.status, 0);
    ASSERT_EQ(file.pictures.size(), 5u);
    const auto* px = reinterpret_cast<const std::uint16_t*>(file.pictures[4].data());
    EXPECT_EQ(px[0], rgb555(screen.colour));
}

TEST_F(ControllerWithDoubles, APauseAddsNoFramesNoRepeatsAndMakesTheFileDurable) {
    EXPECT_FALSE(controller->togglePause());  // nothing records yet
    record(3);
    ASSERT_TRUE(controller->togglePause());
    EXPECT_TRUE(controller->isPaused());
    // What a process killed during the pause leaves behind.
    const QString killed = dir.filePath(QStringLiteral("killed.avi"));
    ASSERT_TRUE(QFile::copy(controller->recordFilePath(), killed));
    media::AviReader reader;
    ASSERT_EQ(reader.open(QFile::encodeName(killed).toStdString()), 0);
    EXPECT_EQ(reader.stream(0).chunks.size(), 3u);
    EXPECT_EQ(reader.recoveredChunks(), 0u);

    clock.advance(10000);
    EXPECT_EQ(controller->tick(), 0);  // a tick queued before the pause: ignored
    ASSERT_TRUE(controller->togglePause());
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(tickAfter(), 0);
    EXPECT_EQ(controller->frameCount(), 5u);  // the paused time is not filled in
    controller->stop(RecordingController::PauseClearing::AfterClose);
    EXPECT_EQ(controller->frameCount(), 0u);
    EXPECT_EQ(QDir(saveDir).entryList(QDir::Files).size(), 1);
    EXPECT_EQ(readRecording(controller->recordFilePath()).pictures.size(), 5u);
}

struct LateTickCase {
    const char* what;
    std::vector<int> gaps;  // ms between ticks, the first tick starting the file
    std::size_t frames;
};

TEST(ControllerLateTicks, LateTicksFillTheMissedSlotsWithRepeatFrames) {
    constexpr int P = kPeriod;
    const LateTickCase cases[] = {
        {"on time", {P, P, P}, 3},
        {"1 ms short of a period late", {P, P, 2 * P - 1}, 3},
        {"exactly one period late", {P, P, 2 * P}, 4},
        // 190 ms late stays in its slot; the next one, due 10 ms later, comes
        // three periods late.
        {"three periods late after a late tick", {P, P, P + 190, 10 + 3 * P}, 7},
    };
    for (const LateTickCase& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        ScriptedScreenDouble screen;
        ManualClockDouble clock;
        RecordingController controller(screen, clock);
        controller.setSaveDirectory([&] { return dir.path(); });
        controller.start();
        const std::uint32_t before = screen.colour;
        for (std::size_t i = 0; i < c.gaps.size(); ++i) {
            if (i + 1 == c.gaps.size())
                screen.colour = 0xFFFF00;  // the late tick brings a new picture
            clock.advance(c.gaps[i]);
            ASSERT_EQ(controller.tick(), 0);
        }
        EXPECT_EQ(controller.frameCount(), c.frames);
        controller.stop(RecordingController::PauseClearing::BeforeClose);

        const RecordingContents file = readRecording(controller.recordFilePath());
        ASSERT_EQ(file.pictures.size(), c.frames);
        // Repeats show the picture before the late tick, which comes last.
        const auto* old =
            reinterpret_cast<const std::uint16_t*>(file.pictures[c.frames - 2].data());
        const auto* fresh = reinterpret_cast<const std::uint16_t*>(file.pictures.back().data());
        EXPECT_EQ(old[0], rgb555(before));
        EXPECT_EQ(fresh[0], rgb555(0xFFFF00));
        EXPECT_EQ(testsupport::ffprobeDecodedFrames(controller.recordFilePath().toStdString()),
                  static_cast<int>(c.frames));
    }
}

// Screens whose sides are not multiples of Video 1's 4-pixel blocks: a key
// frame and two delta frames. FFmpeg decodes whole blocks only, on a grid
// anchored at the top; our encoder uses the same grid, so the last w mod 4
// columns and h mod 4 rows stay black, in FFmpeg's decoder and in ours alike.
TEST(ControllerOddSizedScreens, FfmpegAndOurDecoderShowEveryWholeBlockAndBlackEdges) {
    const std::pair<int, int> sizes[] = {{38, 22}, {1366, 768}};
    const std::uint32_t colours[] = {0x336699, 0xFF0000, 0x00FF00};
    for (const auto& [width, height] : sizes) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        QTemporaryDir dir;
        ScriptedScreenDouble screen(width, height);
        ManualClockDouble clock;
        RecordingController controller(screen, clock);
        ASSERT_EQ(controller.screenStatus(), kScreenOk);
        controller.setSaveDirectory([&] { return dir.path(); });
        controller.start();
        for (const std::uint32_t colour : colours) {
            screen.colour = colour;
            clock.advance(kPeriod);
            ASSERT_EQ(controller.tick(), 0);
        }
        controller.stop(RecordingController::PauseClearing::BeforeClose);

        const std::vector<std::uint8_t> raw =
            testsupport::ffmpegDecode(controller.recordFilePath().toStdString(), "rgb555le");
        const std::size_t pixels = static_cast<std::size_t>(width) * height;
        ASSERT_EQ(raw.size(), 3 * pixels * 2);
        const RecordingContents ours = readRecording(controller.recordFilePath());
        ASSERT_EQ(ours.pictures.size(), 3u);
        const auto* theirs = reinterpret_cast<const std::uint16_t*>(raw.data());
        for (std::size_t f = 0; f < 3; ++f) {
            const auto* bottomUp = reinterpret_cast<const std::uint16_t*>(ours.pictures[f].data());
            const std::size_t stride = ours.pictures[f].size() / 2 / height;
            int wrong = 0;
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    const bool inWholeBlock = x < width / 4 * 4 && y < height / 4 * 4;
                    const std::uint16_t expected = inWholeBlock ? rgb555(colours[f]) : 0;
                    const std::uint16_t ffmpegPixel = theirs[f * pixels + y * width + x] & 0x7FFF;
                    const std::uint16_t ourPixel = bottomUp[(height - 1 - y) * stride + x] & 0x7FFF;
                    wrong += ffmpegPixel != expected || ourPixel != expected;
                }
            }
            EXPECT_EQ(wrong, 0) << "frame " << f;
        }
    }
}

TEST_F(ControllerWithDoubles, ARecordingInTheSameSecondGetsAFreeName) {
    // A dangling link holds its name as much as a file does.
    ASSERT_TRUE(QDir().mkpath(saveDir));
    ASSERT_TRUE(QFile::link(QStringLiteral("/nonexistent/target"),
                            QDir(saveDir).filePath(QStringLiteral("20161205093007(1).avi"))));
    QStringList names;
    for (int i = 0; i < 2; ++i) {
        record(1);
        controller->stop(RecordingController::PauseClearing::BeforeClose);
        names << QFileInfo(controller->recordFilePath()).fileName();
        EXPECT_EQ(readRecording(controller->recordFilePath()).pictures.size(), 1u);
    }
    EXPECT_EQ(names, QStringList({"20161205093007.avi", "20161205093007(2).avi"}));
}

TEST_F(ControllerWithDoubles, AScreenThatCannotBeOpenedStopsTheFirstTick) {
    screen.openStatus = kScreenErrDisplayLost;
    controller->start();
    EXPECT_EQ(tickAfter(), kScreenErrDisplayLost);
    controller->stop(RecordingController::PauseClearing::BeforeClose);
    EXPECT_FALSE(QFileInfo::exists(saveDir) && !QDir(saveDir).isEmpty());
}

// A capture that hands every block the test gives it straight to the writer.
class HandFedSoundSourceDouble final : public sound::SoundSource {
  public:
    int start(const std::string&, sound::SoundBlockSink sink) override {
        sink_ = std::move(sink);
        return 0;
    }
    void setPaused(bool) override {}
    void stop() override { sink_ = nullptr; }
    bool isRunning() const override { return static_cast<bool>(sink_); }
    void deliver(std::size_t bytes) {
        const std::vector<std::uint8_t> block(bytes, 5);
        if (sink_)
            sink_(block.data(), block.size());
    }

  private:
    sound::SoundBlockSink sink_;
};

// Every chunk lies whole inside the file, the file ends where its RIFF says,
// ffprobe counts as many frames as the header announces, and of the sound
// blocks handed over at most the one whose write failed is missing.
void expectCompleteFileEndingAtAWholeChunk(const QString& path, std::uint64_t framesReported,
                                           std::size_t blocksHandedOver) {
    const std::string file = QFile::encodeName(path).toStdString();
    media::AviReader reader;
    ASSERT_EQ(reader.open(file), 0);
    EXPECT_NE(reader.indexKind(), media::AviIndexKind::Scan);
    EXPECT_EQ(reader.recoveredChunks(), 0u);
    const auto& video = reader.stream(0);
    EXPECT_GE(video.chunks.size(), framesReported);
    EXPECT_EQ(video.header.length, video.chunks.size());
    for (int i = 0; i < reader.streamCount(); ++i) {
        for (const media::AviChunkRef& chunk : reader.stream(i).chunks)
            ASSERT_LE(chunk.dataPos + chunk.size, reader.fileSize()) << "stream " << i;
    }
    if (blocksHandedOver > 0) {
        ASSERT_EQ(reader.streamCount(), 2);
        EXPECT_GE(reader.stream(1).chunks.size() + 1, blocksHandedOver);
    }
    std::uint8_t riff[8] = {};
    QFile raw(path);
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    ASSERT_EQ(raw.read(reinterpret_cast<char*>(riff), 8), 8);
    EXPECT_EQ(media::le32(riff + 4) + 8u, static_cast<std::uint64_t>(raw.size()))
        << "bytes after the end of the RIFF";
    EXPECT_EQ(testsupport::ffprobePacketSizes(path.toStdString(), 0).size(), video.header.length);
}

struct FullDriveCase {
    const char* name;
    const char* tmpfsOptions;
    std::size_t soundBytesPerTick;  // 0: no sound
    bool noisyScreen;               // frames no encoder can shrink, or a still screen
};

TEST(ControllerFullDriveTable, AFullDriveStopsWithTheNoSpaceResultAndACompleteFile) {
    const FullDriveCase cases[] = {
        {"pictures only", "size=1m", 0, true},
        {"pictures and sound", "size=1m", media::kSoundBlockBytes / 2, true},
        {"sound blocks of an uneven size", "size=600k", 1234 * 4, true},
        // Tiny frames of a still screen: a sound block is the write that fails.
        {"sound fills the drive", "size=1m", media::kSoundBlockBytes, false},
    };
    for (const FullDriveCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedTmpfs small(c.tmpfsOptions);
        if (!small.mounted())
            GTEST_SKIP() << "cannot mount a small tmpfs here: " << small.error().toStdString();
        ScriptedScreenDouble screen(160, 120);
        screen.noise = c.noisyScreen;
        ManualClockDouble clock;
        sound::FixedSoundDeviceList inputs({{"mic", "Microphone", false, true}});
        HandFedSoundSourceDouble capture;
        RecordingController onSmallDrive(screen, clock);
        onSmallDrive.setSaveDirectory([&] { return small.path(); });
        if (c.soundBytesPerTick > 0)
            onSmallDrive.setSoundSources(&inputs, &capture);
        onSmallDrive.start();
        int result = 0;
        std::size_t blocks = 0;
        for (int i = 0; i < 2000 && result == 0; ++i) {
            clock.advance(kPeriod);
            result = onSmallDrive.tick();
            if (result == 0 && c.soundBytesPerTick > 0) {
                capture.deliver(c.soundBytesPerTick);
                ++blocks;
            }
        }
        ASSERT_EQ(result, recorder::kRecordErrNoSpace);
        EXPECT_EQ(onSmallDrive.failureMessage(),
                  QStringLiteral("Not enough space, recording stopped."));
        const std::uint64_t written = onSmallDrive.frameCount();
        EXPECT_GT(written, 5u);
        EXPECT_EQ(onSmallDrive.writer().hasAudioStream(), c.soundBytesPerTick > 0);
        onSmallDrive.stop(RecordingController::PauseClearing::BeforeClose);
        expectCompleteFileEndingAtAWholeChunk(onSmallDrive.recordFilePath(), written, blocks);
    }
}

TEST_F(ControllerWithDoubles, ACreationFailureSaysWhyAndWhere) {
    QFile plain(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString longName(300, QLatin1Char('n'));
    struct Case {
        QString saveDir;
        QString reason;
    };
    std::vector<Case> cases = {
        {plain.fileName(), QStringLiteral("Not a directory")},
        {plain.fileName() + QStringLiteral("/sub"), QStringLiteral("Not a directory")},
        {dir.filePath(longName), QStringLiteral("Path too long")},
    };
    // A read-only mount refuses root as well; a plain directory without
    // write permission only refuses other users.
    ScopedTmpfs readOnly("size=64k", MS_RDONLY);
    if (readOnly.mounted())
        cases.push_back({readOnly.path(), QStringLiteral("Read-only file system")});
    if (::geteuid() != 0) {
        const QString locked = dir.filePath(QStringLiteral("locked"));
        ASSERT_TRUE(QDir().mkdir(locked));
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        cases.push_back({locked, QStringLiteral("No permission to write")});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.saveDir.toStdString());
        saveDir = c.saveDir;
        controller->start();
        EXPECT_NE(tickAfter(), 0);
        const QStringList lines = controller->failureMessage().split(QLatin1Char('\n'));
        ASSERT_EQ(lines.size(), 2);
        EXPECT_EQ(lines[0], QStringLiteral("Record failed. Create Avi file failed."));
        EXPECT_TRUE(lines[1].startsWith(c.reason + QStringLiteral(": "))) << lines[1].toStdString();
        EXPECT_TRUE(lines[1].contains(c.saveDir)) << lines[1].toStdString();
        controller->stop(RecordingController::PauseClearing::BeforeClose);
    }
    // "No such directory" needs a directory that cannot be made but whose
    // parent exists: it is asked of the path directly.
    EXPECT_TRUE(recorder::createFailureDetail(dir.filePath(QStringLiteral("gone/x.avi")))
                    .startsWith(QStringLiteral("No such directory: ")));
}

}  // namespace
