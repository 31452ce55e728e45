// Capture against a real PulseAudio server started by the test (a null output
// "Test Speakers" and its monitor); the input list of a machine without one.
#include <dirent.h>
#include <gtest/gtest.h>

#include <QThread>
#include <mutex>

#include "platform/pulse_sound_devices.h"
#include "platform/pulse_sound_source.h"
#include "pulse_test_server.h"
#include "sound_analysis.h"

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

int openFileCount() {
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (::readdir(d))
            ++n;
        ::closedir(d);
    }
    return n;
}

int threadCount() {
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/task")) {
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

TEST_F(SoundWithPulseServer, CapturesAToneFromTheMonitorInBlocks) {
    server_->keepOutputBusy();
    ASSERT_TRUE(server_->playTone(1000, 8));
    QThread::msleep(300);
    Recorded recorded;
    PulseSoundSource source;
    ASSERT_EQ(source.start(kMonitorName, recorded.sink()), 0);
    QThread::msleep(3000);
    source.stop();
    EXPECT_FALSE(source.isRunning());

    const std::vector<std::size_t> sizes = recorded.sizes();
    ASSERT_GE(sizes.size(), 7u);
    for (std::size_t i = 0; i + 1 < sizes.size(); ++i)
        EXPECT_EQ(sizes[i], kSoundBlockBytes) << "block " << i;
    EXPECT_GT(sizes.back(), 0u);
    EXPECT_NEAR(recorded.seconds(), 3.0, 0.25);

    const auto left = sound_test::leftChannel(recorded.bytes());
    const std::size_t middle = left.size() / 2 - sound_test::kRate / 2;
    EXPECT_NEAR(sound_test::frequency(left, middle, sound_test::kRate), 1000, 5);
    EXPECT_GT(sound_test::rms(left, middle, sound_test::kRate), 5000);
    EXPECT_GT(sound_test::loudSeconds(left, 3000), 2.7);
}

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

TEST_F(SoundWithPulseServer, SoundArrivingWhilePausedIsLeftOut) {
    server_->keepOutputBusy();
    Recorded recorded;
    PulseSoundSource source;
    ASSERT_EQ(source.start(kMonitorName, recorded.sink()), 0);
    QThread::msleep(1000);
    source.setPaused(true);
    QThread::msleep(1500);
    source.setPaused(false);
    QThread::msleep(1000);
    source.stop();
    EXPECT_NEAR(recorded.seconds(), 2.0, 0.25);
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
    const int files = openFileCount();
    const int threads = threadCount();
    for (int i = 0; i < 25; ++i) {
        Recorded recorded;
        ASSERT_EQ(source.start(i % 5 == 4 ? "" : kMonitorName, recorded.sink()), 0);
        QThread::msleep(40);
        source.stop();
        EXPECT_FALSE(source.isRunning());
    }
    EXPECT_EQ(openFileCount(), files);
    EXPECT_EQ(threadCount(), threads);
}

TEST(SoundWithoutPulseServer, NoServerMeansNoInputsAndNoSound) {
    NoPulseServer none;
    PulseSoundDeviceList list;
    EXPECT_TRUE(list.inputs().empty());
    Recorded recorded;
    PulseSoundSource source;
    ASSERT_EQ(source.start("", recorded.sink()), 0);
    QThread::msleep(200);
    source.stop();
    EXPECT_TRUE(recorded.sizes().empty());
}
