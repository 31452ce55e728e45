// tessaly-avi record's sound options against a private PulseAudio server and
// the Xvfb of scripts/with-xvfb.sh: --list-audio, --audio NAME with a tone
// played into the server's null output (--seconds 2 giving exactly ten
// frames), and a name that matches nothing.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include "pulse_test_server.h"
#include "recorder_test_support.h"
#include "sound_analysis.h"

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
    int code = -1;
    const QString list = runProgram(toolPath(), {"record", "--list-audio"}, &code);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(list.contains("0\tmonitor\tMonitor of Test Speakers\tout.monitor"))
        << list.toStdString();

    runProgram(toolPath(), {"record", "--audio", "Speakers of Nobody"}, &code);
    EXPECT_EQ(code, 2);

    server.keepOutputBusy();
    ASSERT_TRUE(server.playTone(440, 8));
    const QString out = runProgram(
        toolPath(), {"record", "--dir", dir.path(), "--seconds", "2", "--audio", "Monitor of Test"},
        &code);
    ASSERT_EQ(code, 0);
    const QString path = out.trimmed();
    ASSERT_TRUE(QFile::exists(path)) << out.toStdString();
    // Two seconds at five frames a second, whatever the machine's load.
    EXPECT_EQ(probeWithFfprobe(path).packets, 10);
    EXPECT_EQ(audioStreamDescription(path), QStringLiteral("pcm_s16le,44100,2"));
    const auto left = sound_test::leftChannel(decodedSound(path));
    ASSERT_GT(left.size(), std::size_t(sound_test::kRate));
    const std::size_t middle = left.size() / 2 - sound_test::kRate / 4;
    EXPECT_NEAR(sound_test::frequency(left, middle, sound_test::kRate / 2), 440, 5);
}
