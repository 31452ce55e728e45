// The record page's sound source list and what each choice gives the file,
// with test double input lists (no sound server needed) on Qt's offscreen
// platform; the scripted screen and the hand-stepped clock are doubles too.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <thread>

#include "media/avi_reader.h"
#include "pulse_test_server.h"
#include "recorder_test_support.h"
#include "ui/drui.h"

namespace {

using sound::kAudioDeviceDefault;
using sound::kAudioDeviceNone;

void ensureApplication() {
    if (QApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "sound_choice_test";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);  // lives for the whole test run
}

std::unique_ptr<sound::SoundDeviceList> inputsDouble(
    std::initializer_list<const char*> descriptions) {
    std::vector<sound::SoundDevice> devices;
    int i = 0;
    for (const char* d : descriptions)
        devices.push_back({"input" + std::to_string(i++), d, false});
    return std::make_unique<sound::FixedSoundDeviceList>(std::move(devices));
}

// A capture that delivers what the test hands it from a thread of its own,
// and a partly filled block when stopped.
class ScriptedSoundSourceDouble final : public sound::SoundSource {
  public:
    int start(const std::string& deviceName, sound::SoundBlockSink sink) override {
        startedWith = deviceName;
        ++starts;
        sink_ = std::move(sink);
        return 0;
    }
    void setPaused(bool paused) override { this->paused = paused; }
    void stop() override {
        if (!sink_)
            return;
        const std::vector<std::uint8_t> last(kLastBlockBytes, 7);
        sink_(last.data(), last.size());
        sink_ = nullptr;
        ++stops;
    }
    bool isRunning() const override { return static_cast<bool>(sink_); }

    // Two full blocks, delivered from another thread as capture does.
    void deliverTwoBlocks() {
        std::thread capture([this] {
            const std::vector<std::uint8_t> block(sound::kSoundBlockBytes, 3);
            sink_(block.data(), block.size());
            sink_(block.data(), block.size());
        });
        capture.join();
    }

    static constexpr std::size_t kLastBlockBytes = 4000;
    std::string startedWith = "(never)";
    int starts = 0;
    int stops = 0;
    bool paused = false;

  private:
    sound::SoundBlockSink sink_;
};

class SoundChoiceWithDoubles : public ::testing::Test {
  protected:
    void SetUp() override {
        ensureApplication();
        ASSERT_TRUE(dir.isValid());
        window = std::make_unique<DRUI>();
        window->setIniPath(dir.filePath(QStringLiteral("VodozaZevuri.ini")));
        auto capture = std::make_unique<ScriptedSoundSourceDouble>();
        soundSource = capture.get();
        window->setSoundSources(inputsDouble({"Webcam Microphone", "Line In"}), std::move(capture));
        window->setupPages();
        auto clockDouble = std::make_unique<ManualClockDouble>();
        clock = clockDouble.get();
        window->setRecordingSources(std::make_unique<ScriptedScreenDouble>(),
                                    std::move(clockDouble));
        window->showInformation = [](QWidget*, const QString&, const QString& text) {
            ADD_FAILURE() << "unexpected message: " << text.toStdString();
        };
        window->savePathEdit->setText(dir.filePath(QStringLiteral("save")));
        window->btnSlot();
    }

    std::vector<std::pair<QString, QVariant>> comboItems() const {
        std::vector<std::pair<QString, QVariant>> items;
        for (int i = 0; i < window->audioCombo->count(); ++i)
            items.emplace_back(window->audioCombo->itemText(i), window->audioCombo->itemData(i));
        return items;
    }
    void choose(int index) { window->audioCombo->setCurrentIndex(index); }
    QString recordTicks(int ticks) {
        window->btnSlotRecord();
        for (int i = 0; i < ticks; ++i) {
            clock->advance(200);
            window->doTimerRec();
        }
        window->btnSlotRecord();
        return window->recordingController->recordFilePath();
    }

    QTemporaryDir dir;
    std::unique_ptr<DRUI> window;
    ScriptedSoundSourceDouble* soundSource = nullptr;
    ManualClockDouble* clock = nullptr;
};

}  // namespace

TEST_F(SoundChoiceWithDoubles, AMicrophoneOnlyMachineOffersMicrophoneComputerSoundsNone) {
    const auto items = comboItems();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].first, QStringLiteral("Microphone"));
    EXPECT_EQ(items[0].second, QVariant(0));  // an input: an integer
    EXPECT_EQ(items[1].first, QStringLiteral("Computer sounds"));
    EXPECT_EQ(items[1].second, QVariant(kAudioDeviceDefault));  // unsigned
    EXPECT_EQ(items[2].first, QStringLiteral("None"));
    EXPECT_EQ(items[2].second, QVariant(kAudioDeviceNone));

    // The first entry is chosen: the hint for mixed sound is hidden.
    EXPECT_EQ(window->audioDeviceId, 0u);
    EXPECT_TRUE(window->audioHelpLink->isHidden());
    choose(1);
    EXPECT_EQ(window->audioDeviceId, kAudioDeviceDefault);
    EXPECT_FALSE(window->audioHelpLink->isHidden());
    EXPECT_EQ(window->recordingController->audioDeviceId(), kAudioDeviceDefault);
    choose(2);
    EXPECT_EQ(window->audioDeviceId, kAudioDeviceNone);
    EXPECT_TRUE(window->audioHelpLink->isHidden());

    // Every rebuild (a size switch builds the page again) returns to entry 0.
    window->buildRecordPage();
    EXPECT_EQ(window->audioCombo->currentIndex(), 0);
    EXPECT_EQ(window->audioDeviceId, 0u);
    EXPECT_EQ(window->recordingController->audioDeviceId(), 0u);
}

TEST_F(SoundChoiceWithDoubles, AMixingInputReplacesTheDefaultEntryAndShowsTheHint) {
    window->setSoundSources(inputsDouble({"Monitor of Speakers", "Stereo Mix", "Microphone"}),
                            std::make_unique<ScriptedSoundSourceDouble>());
    window->buildRecordPage();
    const auto items = comboItems();
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0], std::make_pair(QStringLiteral("Computer sounds"), QVariant(0)));
    EXPECT_EQ(items[1], std::make_pair(QStringLiteral("Computer sounds"), QVariant(1)));
    EXPECT_EQ(items[2], std::make_pair(QStringLiteral("Microphone"), QVariant(2)));
    EXPECT_EQ(items[3].first, QStringLiteral("None"));
    EXPECT_FALSE(window->audioHelpLink->isHidden());
}

TEST_F(SoundChoiceWithDoubles, SoundBlocksAndThePartlyFilledLastOneReachStreamOne) {
    const QString path = [&] {
        window->btnSlotRecord();
        clock->advance(200);
        window->doTimerRec();
        EXPECT_EQ(soundSource->startedWith, "input0");
        soundSource->deliverTwoBlocks();
        window->btnSlotMenuPause();
        EXPECT_TRUE(soundSource->paused);
        window->btnSlotMenuPause();
        EXPECT_FALSE(soundSource->paused);
        clock->advance(200);
        window->doTimerRec();
        window->btnSlotRecord();
        return window->recordingController->recordFilePath();
    }();
    EXPECT_EQ(soundSource->stops, 1);
    media::AviReader reader;
    ASSERT_EQ(reader.open(path.toStdString()), 0);
    ASSERT_EQ(reader.streamCount(), 2);
    const media::AviReaderStream& audio = reader.stream(1);
    ASSERT_TRUE(audio.isAudio());
    ASSERT_EQ(audio.chunks.size(), 3u);
    EXPECT_EQ(audio.chunks[0].size, sound::kSoundBlockBytes);
    EXPECT_EQ(audio.chunks[1].size, sound::kSoundBlockBytes);
    EXPECT_EQ(audio.chunks[2].size, ScriptedSoundSourceDouble::kLastBlockBytes);
    for (const media::AviChunkRef& chunk : audio.chunks)
        EXPECT_TRUE(chunk.key);
    EXPECT_EQ(audio.length(), (2 * sound::kSoundBlockBytes + 4000) / 4);
}

TEST_F(SoundChoiceWithDoubles, NoneAndNoInputsGiveVideoOnlyFiles) {
    choose(2);  // None
    EXPECT_EQ(readRecording(recordTicks(2)).streams, 1);
    EXPECT_EQ(soundSource->starts, 0);

    window->setSoundSources(inputsDouble({}), std::make_unique<ScriptedSoundSourceDouble>());
    window->buildRecordPage();
    EXPECT_EQ(window->audioCombo->itemText(0), QStringLiteral("Computer sounds"));
    clock->advance(1000);  // a new second: a new file name
    EXPECT_EQ(readRecording(recordTicks(2)).streams, 1);
}

TEST_F(SoundChoiceWithDoubles, AnInputThatCannotBeOpenedLeavesAnEmptyAudioStream) {
    // The list names an input, but no sound server answers when it opens.
    NoPulseServer noServer;
    window->setSoundSources(inputsDouble({"USB Microphone"}),
                            std::make_unique<sound::PulseSoundSource>());
    window->buildRecordPage();
    const QString path = recordTicks(3);
    media::AviReader reader;
    ASSERT_EQ(reader.open(path.toStdString()), 0);
    ASSERT_EQ(reader.streamCount(), 2);
    EXPECT_TRUE(reader.stream(1).isAudio());
    EXPECT_TRUE(reader.stream(1).chunks.empty());
    EXPECT_EQ(reader.stream(0).chunks.size(), 3u);
}
