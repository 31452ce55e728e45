// The recording controller with a scripted screen and a hand-stepped clock
// (test doubles), writing real files that our reader and ffprobe check.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "media/avi_reader.h"
#include "recorder/recording_controller.h"
#include "recorder/recording_names.h"
#include "recorder_test_support.h"
#include "tests/platform/scoped_tmpfs.h"

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

TEST_F(ControllerWithDoubles, ACreateThatFailsGivesTheFailureMessage) {
    QFile plain(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    saveDir = plain.fileName() + QStringLiteral("/sub");  // under a regular file
    controller->start();
    const int result = tickAfter();
    EXPECT_NE(result, 0);
    EXPECT_NE(result, recorder::kRecordErrNoSpace);
    EXPECT_EQ(controller->lastRecordError(), result);
    EXPECT_EQ(recorder::recordErrorMessage(result),
              QStringLiteral("Record failed. Create Avi file failed."));
    controller->stop(RecordingController::PauseClearing::BeforeClose);
    EXPECT_EQ(controller->frameCount(), 0u);
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

TEST_F(ControllerWithDoubles, AFullDriveStopsWithTheNoSpaceResultAndKeepsEveryFrame) {
    ScopedTmpfs small("size=1m");
    if (!small.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << small.error().toStdString();
    ScriptedScreenDouble noisy(160, 120);
    noisy.noise = true;
    RecordingController onSmallDrive(noisy, clock);
    onSmallDrive.setSaveDirectory([&] { return small.path(); });
    onSmallDrive.start();
    int result = 0;
    for (int i = 0; i < 2000 && result == 0; ++i) {
        clock.advance(kPeriod);
        result = onSmallDrive.tick();
    }
    ASSERT_EQ(result, recorder::kRecordErrNoSpace);
    EXPECT_EQ(recorder::recordErrorMessage(result),
              QStringLiteral("Not enough space, recording stopped."));
    const std::uint64_t written = onSmallDrive.frameCount();
    EXPECT_GT(written, 5u);
    onSmallDrive.stop(RecordingController::PauseClearing::BeforeClose);
    const RecordingContents file = readRecording(onSmallDrive.recordFilePath());
    ASSERT_EQ(file.status, 0);
    EXPECT_GE(file.pictures.size(), written);
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
