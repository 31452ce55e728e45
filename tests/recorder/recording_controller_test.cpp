// The recording controller with a scripted screen and a hand-stepped clock
// (test doubles), writing real files that our reader and ffprobe check.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "media/avi_reader.h"
#include "media/sound_format.h"
#include "platform/sound_devices.h"
#include "platform/sound_source.h"
#include "recorder/recording_controller.h"
#include "recorder/recording_names.h"
#include "recorder_test_support.h"
#include "tests/platform/scoped_tmpfs.h"

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
    EXPECT_FALSE(controller->isRecording());
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
    EXPECT_EQ(file.streams, 1);
    EXPECT_EQ(file.width, 64);
    EXPECT_EQ(file.height, 48);
    ASSERT_EQ(file.pictures.size(), 5u);
    EXPECT_TRUE(file.keyFrames[0]);
    const auto* px = reinterpret_cast<const std::uint16_t*>(file.pictures[4].data());
    EXPECT_EQ(px[0], rgb555(screen.colour));
    const ProbeResult probe = probeWithFfprobe(expected);
    EXPECT_EQ(probe.codec, QStringLiteral("msvideo1"));
    EXPECT_EQ(probe.packets, 5);
}

TEST_F(ControllerWithDoubles, APauseAddsNoFramesAndTheFileStaysOne) {
    record(3);
    ASSERT_TRUE(controller->togglePause());
    EXPECT_TRUE(controller->isPaused());
    clock.advance(10000);
    EXPECT_EQ(controller->tick(), 0);  // a tick queued before the pause: ignored
    ASSERT_TRUE(controller->togglePause());
    EXPECT_FALSE(controller->isPaused());
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(tickAfter(), 0);
    controller->stop(RecordingController::PauseClearing::AfterClose);
    EXPECT_EQ(controller->frameCount(), 0u);
    EXPECT_EQ(QDir(saveDir).entryList(QDir::Files).size(), 1);
    EXPECT_EQ(readRecording(controller->recordFilePath()).pictures.size(), 5u);
}

TEST_F(ControllerWithDoubles, APauseMakesEverythingWrittenSoFarDurable) {
    record(4);
    controller->togglePause();
    // What a process killed during the pause leaves behind.
    const QString copy = dir.filePath(QStringLiteral("killed.avi"));
    ASSERT_TRUE(QFile::copy(controller->recordFilePath(), copy));
    media::AviReader reader;
    ASSERT_EQ(reader.open(QFile::encodeName(copy).toStdString()), 0);
    EXPECT_EQ(reader.stream(0).chunks.size(), 4u);
    EXPECT_EQ(reader.recoveredChunks(), 0u);
    controller->stop(RecordingController::PauseClearing::AfterClose);
}

TEST_F(ControllerWithDoubles, PauseIsIgnoredWhileNothingRecords) {
    EXPECT_FALSE(controller->togglePause());
    EXPECT_FALSE(controller->isPaused());
}

TEST_F(ControllerWithDoubles, LateTicksFillTheMissedSlotsWithRepeatFrames) {
    record(2);
    // 190 ms late: within the slot, no repeat.
    ASSERT_EQ(tickAfter(kPeriod + 190), 0);
    EXPECT_EQ(controller->frameCount(), 3u);
    // The next slot was due 10 ms after that tick; this one comes 3 periods
    // late, so three slots are repeated before the new picture.
    const std::uint32_t before = screen.colour;
    screen.colour = 0xFFFF00;
    ASSERT_EQ(tickAfter(10 + 3 * kPeriod), 0);
    EXPECT_EQ(controller->frameCount(), 7u);
    ASSERT_EQ(tickAfter(), 0);
    EXPECT_EQ(controller->frameCount(), 8u);
    controller->stop(RecordingController::PauseClearing::BeforeClose);

    const RecordingContents file = readRecording(controller->recordFilePath());
    ASSERT_EQ(file.pictures.size(), 8u);
    for (int i : {3, 4, 5})
        EXPECT_EQ(file.pictures[i], file.pictures[2]) << "repeat " << i;
    const auto* old = reinterpret_cast<const std::uint16_t*>(file.pictures[5].data());
    const auto* fresh = reinterpret_cast<const std::uint16_t*>(file.pictures[6].data());
    EXPECT_EQ(old[0], rgb555(before));
    EXPECT_EQ(fresh[0], rgb555(0xFFFF00));
    EXPECT_EQ(probeWithFfprobe(controller->recordFilePath()).decodedFrames, 8);
}

TEST_F(ControllerWithDoubles, TheTimeOfAPauseIsNotFilledWithRepeats) {
    record(2);
    controller->togglePause();
    clock.advance(5000);
    controller->togglePause();
    ASSERT_EQ(tickAfter(), 0);
    ASSERT_EQ(tickAfter(), 0);
    EXPECT_EQ(controller->frameCount(), 4u);
    controller->stop(RecordingController::PauseClearing::BeforeClose);
}

TEST_F(ControllerWithDoubles, ARecordingInTheSameSecondGetsAFreeName) {
    record(1);
    controller->stop(RecordingController::PauseClearing::BeforeClose);
    const QString first = controller->recordFilePath();
    record(1);
    controller->stop(RecordingController::PauseClearing::BeforeClose);
    const QString second = controller->recordFilePath();
    record(1);
    controller->stop(RecordingController::PauseClearing::BeforeClose);
    EXPECT_EQ(QFileInfo(first).fileName(), QStringLiteral("20161205093007.avi"));
    EXPECT_EQ(QFileInfo(second).fileName(), QStringLiteral("20161205093007(1).avi"));
    EXPECT_EQ(QFileInfo(controller->recordFilePath()).fileName(),
              QStringLiteral("20161205093007(2).avi"));
    EXPECT_EQ(readRecording(first).pictures.size(), 1u);
    EXPECT_EQ(readRecording(second).pictures.size(), 1u);
}

TEST_F(ControllerWithDoubles, AMissingSaveDirectoryIsMadeWithItsParents) {
    saveDir = dir.filePath(QStringLiteral("a/b/c"));
    record(2);
    controller->stop(RecordingController::PauseClearing::BeforeClose);
    EXPECT_TRUE(QFileInfo(saveDir).isDir());
    EXPECT_EQ(readRecording(controller->recordFilePath()).pictures.size(), 2u);
}

TEST_F(ControllerWithDoubles, AScreenThatCannotBeOpenedStopsTheFirstTick) {
    screen.openStatus = kScreenErrDisplayLost;
    controller->start();
    EXPECT_EQ(tickAfter(), kScreenErrDisplayLost);
    controller->stop(RecordingController::PauseClearing::BeforeClose);
    EXPECT_FALSE(QFileInfo::exists(saveDir) && !QDir(saveDir).isEmpty());
}

TEST(ControllerScreenDouble, AWaylandSessionIsToldToUseX11) {
    ScriptedScreenDouble screen;
    screen.probeStatus = kScreenErrNeedsX11;
    ManualClockDouble clock;
    RecordingController controller(screen, clock);
    EXPECT_EQ(controller.screenStatus(), kScreenErrNeedsX11);
    EXPECT_TRUE(recorder::screenUnavailableMessage(controller.screenStatus())
                    .startsWith(QStringLiteral("Screen capture needs an X11 session.")));
    EXPECT_TRUE(recorder::screenUnavailableMessage(kScreenOk).isEmpty());
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
// and ffprobe counts as many frames as the header announces.
void expectCompleteFileEndingAtAWholeChunk(const QString& path, std::uint64_t framesReported) {
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
    std::uint8_t riff[8] = {};
    QFile raw(path);
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    ASSERT_EQ(raw.read(reinterpret_cast<char*>(riff), 8), 8);
    EXPECT_EQ(media::le32(riff + 4) + 8u, static_cast<std::uint64_t>(raw.size()))
        << "bytes after the end of the RIFF";
    EXPECT_EQ(probeWithFfprobe(path).packets, static_cast<int>(video.header.length));
}

struct FullDriveCase {
    const char* name;
    const char* tmpfsOptions;
    std::size_t soundBytesPerTick;  // 0: no sound
};

TEST(ControllerFullDriveTable, AFullDriveStopsWithTheNoSpaceResultAndACompleteFile) {
    const FullDriveCase cases[] = {
        {"pictures only", "size=1m", 0},
        {"pictures and sound", "size=1m", media::kSoundBlockBytes / 2},
        {"odd-sized sound blocks", "size=600k", 1234 * 4 + 2},
    };
    for (const FullDriveCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedTmpfs small(c.tmpfsOptions);
        if (!small.mounted())
            GTEST_SKIP() << "cannot mount a small tmpfs here: " << small.error().toStdString();
        ScriptedScreenDouble noisy(160, 120);
        noisy.noise = true;
        ManualClockDouble clock;
        sound::FixedSoundDeviceList inputs({{"mic", "Microphone", false, true}});
        HandFedSoundSourceDouble capture;
        RecordingController onSmallDrive(noisy, clock);
        onSmallDrive.setSaveDirectory([&] { return small.path(); });
        if (c.soundBytesPerTick > 0)
            onSmallDrive.setSoundSources(&inputs, &capture);
        onSmallDrive.start();
        int result = 0;
        for (int i = 0; i < 2000 && result == 0; ++i) {
            clock.advance(kPeriod);
            result = onSmallDrive.tick();
            capture.deliver(c.soundBytesPerTick);
        }
        ASSERT_EQ(result, recorder::kRecordErrNoSpace);
        EXPECT_EQ(onSmallDrive.failureMessage(),
                  QStringLiteral("Not enough space, recording stopped."));
        const std::uint64_t written = onSmallDrive.frameCount();
        EXPECT_GT(written, 5u);
        EXPECT_EQ(onSmallDrive.writer().hasAudioStream(), c.soundBytesPerTick > 0);
        onSmallDrive.stop(RecordingController::PauseClearing::BeforeClose);
        expectCompleteFileEndingAtAWholeChunk(onSmallDrive.recordFilePath(), written);
    }
}

TEST_F(ControllerWithDoubles, ASaveDirectoryRemovedMidRecordingStopsWithItsPath) {
    record(3);
    const QString path = controller->recordFilePath();
    ASSERT_TRUE(QDir(saveDir).removeRecursively());
    const int result = tickAfter();
    EXPECT_EQ(result, recorder::kRecordErrFileGone);
    const QString message = controller->failureMessage();
    EXPECT_TRUE(message.startsWith(QStringLiteral("Record failed. Create Avi file failed.\n")))
        << message.toStdString();
    EXPECT_TRUE(message.endsWith(path)) << message.toStdString();
    EXPECT_EQ(controller->stop(RecordingController::PauseClearing::BeforeClose), 0);
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

TEST(RecordingNames, FourteenDigitsAndFreeNames) {
    const QDateTime t(QDate(2016, 12, 5), QTime(9, 30, 7));
    EXPECT_EQ(recorder::recordingFileName(t), QStringLiteral("20161205093007.avi"));
    QTemporaryDir dir;
    EXPECT_EQ(recorder::freeRecordingPath(dir.path(), t),
              dir.path() + QStringLiteral("/20161205093007.avi"));
    EXPECT_EQ(recorder::freeRecordingPath(dir.path() + QStringLiteral("/"), t),
              dir.path() + QStringLiteral("/20161205093007.avi"));
    QFile::link(QStringLiteral("/nonexistent/target"), dir.filePath("20161205093007.avi"));
    EXPECT_EQ(recorder::freeRecordingPath(dir.path(), t),
              dir.path() + QStringLiteral("/20161205093007(1).avi"));
    EXPECT_TRUE(recorder::defaultSaveDirectory().endsWith(QStringLiteral("/TessalySave")));
}

}  // namespace
