// Sound from a private PulseAudio server started by the test: a tone played
// into its null output recorded from the output's monitor through the main
// window's own slots and timer (a scripted screen double, the system clock);
// tessaly-avi record listing the server's inputs and recording the one named
// (on the Xvfb of scripts/with-xvfb.sh). Files are read back by our reader,
// ffprobe and ffmpeg.
#include <gtest/gtest.h>
#include <QComboBox>

#include <algorithm>
#include <filesystem>

#include "media/avi_reader.h"
#include "media/sound_format.h"
#include "platform/pulse_sound_devices.h"
#include "recorder_test_support.h"
#include "tests/support/pulse_test_server.h"
#include "tests/support/sound_analysis.h"

namespace {

class SoundWithPulseServer : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!server.start())
            GTEST_SKIP() << "PulseAudio cannot run here: " << server.why().toStdString();
        server.keepOutputBusy();
    }
    PulseTestServer server;
    QTemporaryDir dir;
};

// Open files (/proc/self/fd) or threads (/proc/self/task) of this process.
auto entriesIn(const char* procDir) {
    return std::distance(std::filesystem::directory_iterator(procDir), {});
}

}  // namespace

// Each frame stands for the 200 ms after its tick, so a file's video runs up
// to one frame period past the moment of the stop while its sound ends there.
// The stops come half-way between ticks, where that difference is the same
// on every run. Capture hands over whole blocks; only the one cut short by
// the stop is smaller. Starts and stops leave no files or threads behind;
// without a server there are no inputs.
TEST_F(SoundWithPulseServer, AToneThroughTheWindowKeepsToThePictureWithAndWithoutAPause) {
    std::vector<QString> messages;
    const auto window =
        openRecordPage(dir, dir.filePath(QStringLiteral("save")), messages, [](DRUI& w) {
            w.setRecordingSources(std::make_unique<ScriptedScreenDouble>(),
                                  std::make_unique<recorder::SystemClock>());
        });
    ASSERT_TRUE(waitForInputsListed(window->soundInputs()));
    window->audioCombo->setCurrentIndex(
        window->audioCombo->findText(QStringLiteral("Computer sounds")));
    ASSERT_EQ(window->soundInputsShown().at(window->audioDeviceId()).description,
              "Monitor of Test Speakers");
    ASSERT_TRUE(server.playTone(1000, 22));
    runEventLoopFor(300);
    const auto files = entriesIn("/proc/self/fd");
    const auto threads = entriesIn("/proc/self/task");
    for (const int pauseMs : {0, 2000}) {
        SCOPED_TRACE(pauseMs ? "with a pause" : "without a pause");
        const int recordMs = pauseMs ? 10050 : 20100;
        window->btnSlotRecord();
        runEventLoopFor(recordMs);
        if (pauseMs > 0) {
            window->btnSlotMenuPause();
            runEventLoopFor(pauseMs);
            window->btnSlotMenuPause();
            runEventLoopFor(recordMs);
        }
        window->btnSlotRecord();
        EXPECT_TRUE(messages.empty());
        const std::string path = window->recording().recordFilePath().toStdString();
        EXPECT_EQ(sound_test::soundFormat(path), "pcm_s16le,44100,2");
        media::AviReader reader;
        ASSERT_EQ(reader.open(path), 0);
        ASSERT_EQ(reader.streamCount(), 2);
        const std::vector<media::AviChunkRef>& blocks = reader.stream(1).chunks;
        ASSERT_GE(blocks.size(), 40u);
        for (std::size_t i = 0; i + 1 < blocks.size(); ++i)
            EXPECT_EQ(blocks[i].size, media::kSoundBlockBytes) << "block " << i;

        const double video = reader.stream(0).chunks.size() * recorder::kCapturePeriodMs / 1000.0;
        const std::vector<std::uint8_t> bytes = testsupport::ffmpegDecodeSound(path);
        const double sound = bytes.size() / double(media::kSoundBytesPerSecond);
        EXPECT_NEAR(video, 20.0, 0.5);
        EXPECT_NEAR(sound, video, 0.25);
        if (pauseMs > 0)
            continue;  // the tone has ended by now
        const auto left = sound_test::leftChannel(bytes);
        const std::size_t middle = left.size() / 2 - sound_test::kRate / 2;
        EXPECT_NEAR(sound_test::frequency(left, middle, sound_test::kRate), 1000, 5);
        EXPECT_NEAR(sound_test::loudSeconds(left, 3000), sound, 1.0);
    }
    EXPECT_LE(entriesIn("/proc/self/fd"), files);
    EXPECT_LE(entriesIn("/proc/self/task"), threads);
    NoPulseServer none;
    EXPECT_TRUE(sound::PulseSoundDeviceList().inputs().empty());
}

// The list names each input's kind as the server reports it; --seconds 4
// gives exactly twenty frames whatever the machine's load, and the named
// input's tone at its pitch wherever sound arrived (a loaded machine may
// start the capture late: its pace against the picture is the window
// recording's part), but some sound, never none.
TEST_F(SoundWithPulseServer, TheCommandRecorderListsInputsAndRecordsTheNamedOne) {
    const std::string tool = TESSALY_BIN_DIR "/tessaly-avi";
    const std::string webcam = "alsa_input.usb-046d_HD_Pro_Webcam_C920-02.analog-stereo";
    ASSERT_TRUE(server.addInput(QString::fromStdString(webcam),
                                QStringLiteral("HD Pro Webcam C920 Analog Stereo")));
    std::string list;
    EXPECT_EQ(testsupport::runCommand(tool + " record --list-audio", list), 0);
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 2) << list;
    EXPECT_NE(list.find("\tmonitor\tMonitor of Test Speakers\tout.monitor"), std::string::npos)
        << list;
    EXPECT_NE(list.find("\tinput\tHD Pro Webcam C920 Analog Stereo\t" + webcam), std::string::npos)
        << list;

    std::string out;
    EXPECT_EQ(testsupport::runCommand(tool + " record --audio 'Speakers of Nobody' 2>&1", out), 2);
    ASSERT_TRUE(server.playTone(1000, 30));
    ASSERT_EQ(testsupport::runCommand(tool + " record --dir '" + dir.path().toStdString() +
                                          "' --seconds 4 --audio 'Monitor of Test'",
                                      out),
              0);
    const std::string path = QString::fromStdString(out).trimmed().toStdString();
    EXPECT_EQ(testsupport::ffprobePacketSizes(path, 0).size(), 20u) << out;
    const auto left = sound_test::leftChannel(testsupport::ffmpegDecodeSound(path));
    EXPECT_GT(sound_test::loudSeconds(left, 3000), 0.0) << "no sound from the named input";
    EXPECT_NEAR(sound_test::frequency(left, 0, left.size()), 1000, 5);
}
