// Capture against a real PulseAudio server started by the test (a null output
// "Test Speakers" and its monitor), in the cases a recording through the
// window does not reach: an idle output's late start, an input that cannot
// be opened, many starts and stops, and a machine without a server. The tone,
// the blocks and the pause are checked end to end by the sound recordings.
#include <dirent.h>
#include <gtest/gtest.h>

#include <QThread>
#include <algorithm>
#include <mutex>

#include "platform/pulse_sound_devices.h"
#include "platform/pulse_sound_source.h"
#include "tests/support/pulse_test_server.h"

using namespace sound;

namespace {

const char* const kMonitorName = "out.monitor";

class Recorded {
  public:
    SoundBlockSink sink() {
        return [this](const std::uint8_t* data, std::size_t n) {
            std::lock_guard lock(mutex_);
            sizes_.push_back(n);
            bytes_.insert(bytes_.end(), data, data + n);
        };
    }
    std::vector<std::size_t> sizes() {
        std::lock_guard lock(mutex_);
        return sizes_;
    }
    std::vector<std::uint8_t> bytes() {
        std::lock_guard lock(mutex_);
        return bytes_;
    }
    double seconds() { return bytes().size() / double(kSoundBytesPerSecond); }

  private:
    std::mutex mutex_;
    std::vector<std::size_t> sizes_;
    std::vector<std::uint8_t> bytes_;
};

// Open files (/proc/self/fd) or threads (/proc/self/task) of this process.
int entriesIn(const char* procDir) {
    int n = 0;
    if (DIR* d = ::opendir(procDir)) {
        while (::readdir(d))
            ++n;
        ::closedir(d);
    }
    return n;
}

class SoundWithPulseServer : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        server_ = new PulseTestServer;
        if (!server_->start()) {
            skipReason_ = server_->why().toStdString();
            delete server_;
            server_ = nullptr;
        }
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        if (!server_)
            GTEST_SKIP() << "PulseAudio cannot run here: " << skipReason_;
    }
    static PulseTestServer* server_;
    static std::string skipReason_;
};

PulseTestServer* SoundWithPulseServer::server_ = nullptr;
std::string SoundWithPulseServer::skipReason_;

}  // namespace

TEST_F(SoundWithPulseServer, AnIdleOutputsLateStartIsFilledWithSilence) {
    // A fresh server whose output has not been listened to: its monitor
    // delivers nothing for up to two seconds.
    PulseTestServer idle;
    ASSERT_TRUE(idle.start()) << idle.why().toStdString();
    Recorded recorded;
    PulseSoundSource source;
    ASSERT_EQ(source.start(kMonitorName, recorded.sink()), 0);
    QThread::msleep(3000);
    source.stop();
    EXPECT_NEAR(recorded.seconds(), 3.0, 0.25);
}

TEST_F(SoundWithPulseServer, AnInputThatCannotBeOpenedDeliversNothing) {
    Recorded recorded;
    PulseSoundSource source;
    ASSERT_EQ(source.start("no-such-input", recorded.sink()), 0);
    QThread::msleep(500);
    source.stop();
    EXPECT_TRUE(recorded.sizes().empty());
}

TEST_F(SoundWithPulseServer, ManyStartsAndStopsLeaveNoFilesThreadsOrBuffers) {
    PulseSoundSource source;
    Recorded warmUp;
    source.start(kMonitorName, warmUp.sink());
    QThread::msleep(100);
    source.stop();
    const int files = entriesIn("/proc/self/fd");
    const int threads = entriesIn("/proc/self/task");
    for (int i = 0; i < 25; ++i) {
        Recorded recorded;
        ASSERT_EQ(source.start(i % 5 == 4 ? "" : kMonitorName, recorded.sink()), 0);
        QThread::msleep(40);
        source.stop();
        EXPECT_FALSE(source.isRunning());
    }
    EXPECT_EQ(entriesIn("/proc/self/fd"), files);
    EXPECT_EQ(entriesIn("/proc/self/task"), threads);
}

// The kind of each input comes from the server; what the user is offered
// for a list of inputs is the sound choice's table test.
TEST_F(SoundWithPulseServer, ListsEveryInputWithItsKind) {
    const std::string webcam = "alsa_input.usb-046d_HD_Pro_Webcam_C920-02.analog-stereo";
    ASSERT_TRUE(server_->addInput(QString::fromStdString(webcam),
                                  QStringLiteral("HD Pro Webcam C920 Analog Stereo")));
    PulseSoundDeviceList list;
    std::vector<SoundDevice> inputs = list.inputs();
    for (SoundDevice& input : inputs)
        input.isDefault = false;  // which one is the server's choice
    std::sort(inputs.begin(), inputs.end(),
              [](const SoundDevice& a, const SoundDevice& b) { return a.name < b.name; });
    const std::vector<SoundDevice> expected = {
        {webcam, "HD Pro Webcam C920 Analog Stereo", false, false},
        {kMonitorName, "Monitor of Test Speakers", true, false},
    };
    EXPECT_EQ(inputs, expected);
}

// Capture without a server is the sound choice's test: a recording with an
// empty sound stream.
TEST(SoundWithoutPulseServer, NoServerMeansNoInputs) {
    NoPulseServer none;
    PulseSoundDeviceList list;
    EXPECT_TRUE(list.inputs().empty());
}
