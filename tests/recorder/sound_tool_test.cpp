// tessaly-avi record's sound options against a private PulseAudio server and
// the Xvfb of scripts/with-xvfb.sh: --list-audio, --audio NAME with a tone
// played into the server's null output (--seconds 2 giving exactly ten
// frames), and a name that matches nothing.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include "recorder_test_support.h"
#include "tests/support/pulse_test_server.h"
#include "tests/support/sound_analysis.h"

namespace {

QString toolPath() {
    return QStringLiteral(TESSALY_BIN_DIR "/tessaly-avi");
}

class SoundToolWithPulseServer : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!server.start())
            GTEST_SKIP() << "PulseAudio cannot run here: " << server.why().toStdString();
        ASSERT_TRUE(dir.isValid());
    }
    PulseTestServer server;
    QTemporaryDir dir;
};

}  // namespace

TEST_F(SoundToolWithPulseServer, ListsInputsAndRecordsTheChosenOne) {
    const std::string tool = toolPath().toStdString();
    std::string list;
    EXPECT_EQ(testsupport::runCommand(tool + " record --list-audio", list), 0);
    EXPECT_NE(list.find("0\tmonitor\tMonitor of Test Speakers\tout.monitor"), std::string::npos)
        << list;

    std::string ignored;
    EXPECT_EQ(
        testsupport::runCommand(tool + " record --audio 'Speakers of Nobody' 2>/dev/null", ignored),
        2);

    server.keepOutputBusy();
    ASSERT_TRUE(server.playTone(440, 8));
    std::string out;
    ASSERT_EQ(testsupport::runCommand(tool + " record --dir '" + dir.path().toStdString() +
                                          "' --seconds 2 --audio 'Monitor of Test'",
                                      out),
              0);
    const std::string path = QString::fromStdString(out).trimmed().toStdString();
    ASSERT_TRUE(QFile::exists(QString::fromStdString(path))) << out;
    // Two seconds at five frames a second, whatever the machine's load.
    EXPECT_EQ(testsupport::ffprobePacketSizes(path, 0).size(), 10u);
    EXPECT_EQ(sound_test::soundFormat(path), "pcm_s16le,44100,2");
    const auto left = sound_test::leftChannel(testsupport::ffmpegDecodeSound(path));
    ASSERT_GT(left.size(), std::size_t(sound_test::kRate));
    const std::size_t middle = left.size() / 2 - sound_test::kRate / 4;
    EXPECT_NEAR(sound_test::frequency(left, middle, sound_test::kRate / 2), 440, 5);
}
