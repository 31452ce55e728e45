// Sound in recordings made through the main window's own slots, on Qt's
// offscreen platform with a scripted screen (test double) and the system
// clock, against a private PulseAudio server started by the test: a tone
// played into its null output is recorded from the output's monitor and
// read back with ffprobe and ffmpeg. This is the capture's end-to-end test:
// its blocks, its pause and its pace against the picture.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "media/avi_reader.h"
#include "media/sound_format.h"
#include "recorder_test_support.h"
#include "tests/support/pulse_test_server.h"
#include "tests/support/sound_analysis.h"
#include "tests/support/window_test_application.h"
#include "ui/drui.h"

namespace {

constexpr double kFrameSeconds = 0.2;

class SoundRecordingThroughSlots : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        server_ = new PulseTestServer;
        if (!server_->start()) {
            skipReason_ = server_->why().toStdString();
            delete server_;
            server_ = nullptr;
            return;
        }
        server_->keepOutputBusy();
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }

    void SetUp() override {
        if (!server_)
            GTEST_SKIP() << "PulseAudio cannot run here: " << skipReason_;
        ensureApplication();
        ASSERT_TRUE(dir.isValid());
        window = std::make_unique<DRUI>();
        window->setIniPath(dir.filePath(QStringLiteral("VodozaZevuri.ini")));
        window->setupPages();
        window->setRecordingSources(std::make_unique<ScriptedScreenDouble>(),
                                    std::make_unique<recorder::SystemClock>());
        window->showInformation = [](QWidget*, const QString&, const QString& text) {
            ADD_FAILURE() << "unexpected message: " << text.toStdString();
        };
        window->chooseDirectory = [chosen = dir.filePath(QStringLiteral("save"))](QWidget*) {
            return chosen;
        };
        window->btnSlotLayout2Dir();
        window->show();
        window->btnSlot();  // the record page, with its tray icon
        ASSERT_TRUE(waitForInputsListed(window->soundInputs()));
    }

    // Chooses the entry for the test output's monitor.
    void chooseMonitor() {
        const int monitor = window->audioCombo->findText(QStringLiteral("Computer sounds"));
        ASSERT_GE(monitor, 0);
        window->audioCombo->setCurrentIndex(monitor);
        const std::vector<sound::SoundDevice>& inputs = window->soundInputsShown();
        ASSERT_LT(window->audioDeviceId(), inputs.size());
        ASSERT_EQ(inputs[window->audioDeviceId()].description, "Monitor of Test Speakers");
    }

    // Records through the record button: `recordMs`, then (when pauseMs) a
    // pause from the tray menu and another `recordMs`.
    QString record(int recordMs, int pauseMs = 0) {
        window->btnSlotRecord();
        runEventLoopFor(recordMs);
        if (pauseMs > 0) {
            window->btnSlotMenuPause();
            runEventLoopFor(pauseMs);
            window->btnSlotMenuPause();
            runEventLoopFor(recordMs);
        }
        window->btnSlotRecord();
        return window->recording().recordFilePath();
    }

    static PulseTestServer* server_;
    static std::string skipReason_;
    QTemporaryDir dir;
    std::unique_ptr<DRUI> window;
};

PulseTestServer* SoundRecordingThroughSlots::server_ = nullptr;
std::string SoundRecordingThroughSlots::skipReason_;

double videoSeconds(const QString& path) {
    const RecordingContents contents = readRecording(path);
    return contents.frameSizes.size() * kFrameSeconds;
}

}  // namespace

TEST_F(SoundRecordingThroughSlots, AToneFromTheMonitorLandsInStreamOne) {
    // The monitor of the test output is the only mixing input: the first entry.
    EXPECT_EQ(window->audioCombo->itemText(0), QStringLiteral("Computer sounds"));
    EXPECT_FALSE(window->audioHelpLink->isHidden());
    chooseMonitor();
    ASSERT_TRUE(server_->playTone(1000, 10));
    runEventLoopFor(300);

    const QString path = record(3000);
    ASSERT_FALSE(path.isEmpty());
    EXPECT_EQ(sound_test::soundFormat(path.toStdString()), "pcm_s16le,44100,2");

    // Capture hands over whole blocks; only the one cut short by the stop is smaller.
    media::AviReader reader;
    ASSERT_EQ(reader.open(QFile::encodeName(path).toStdString()), 0);
    ASSERT_EQ(reader.streamCount(), 2);
    const std::vector<media::AviChunkRef>& blocks = reader.stream(1).chunks;
    ASSERT_GE(blocks.size(), 7u);
    for (std::size_t i = 0; i + 1 < blocks.size(); ++i)
        EXPECT_EQ(blocks[i].size, media::kSoundBlockBytes) << "block " << i;

    const auto left = sound_test::leftChannel(testsupport::ffmpegDecodeSound(path.toStdString()));
    const double seconds = left.size() / double(sound_test::kRate);
    EXPECT_NEAR(seconds, 3.0, 0.4);
    ASSERT_GT(left.size(), std::size_t(sound_test::kRate * 2));
    const std::size_t middle = left.size() / 2 - sound_test::kRate / 2;
    EXPECT_NEAR(sound_test::frequency(left, middle, sound_test::kRate), 1000, 5);
    EXPECT_GT(sound_test::rms(left, middle, sound_test::kRate), 5000);
    EXPECT_NEAR(sound_test::loudSeconds(left, 3000), 3.0, 0.4);
}

// Each frame stands for the 200 ms after its tick, so a file's video runs up
// to one frame period past the moment of the stop while its sound ends there.
// The stops come half-way between ticks, where that difference is the same
// on every run.
TEST_F(SoundRecordingThroughSlots, SoundKeepsToThePictureOverTwentySecondsWithAndWithoutAPause) {
    chooseMonitor();
    const QString straight = record(20100);
    ASSERT_FALSE(straight.isEmpty());
    const double straightVideo = videoSeconds(straight);
    const double straightSound =
        testsupport::ffmpegDecodeSound(straight.toStdString()).size() / 176400.0;
    std::printf("without a pause: video %.2f s, sound %.3f s\n", straightVideo, straightSound);
    EXPECT_NEAR(straightVideo, 20.0, 0.5);
    EXPECT_NEAR(straightSound, straightVideo, 0.25);

    const QString paused = record(10050, 2000);
    ASSERT_FALSE(paused.isEmpty());
    ASSERT_NE(paused, straight);
    const double pausedVideo = videoSeconds(paused);
    const double pausedSound =
        testsupport::ffmpegDecodeSound(paused.toStdString()).size() / 176400.0;
    std::printf("with a pause: video %.2f s, sound %.3f s\n", pausedVideo, pausedSound);
    EXPECT_NEAR(pausedVideo, 20.0, 0.5);
    EXPECT_NEAR(pausedSound, pausedVideo, 0.25);
}
