// The record page's sound source list and what each choice gives the file:
// the entries made for lists of inputs, the page built without waiting for
// the sound server (a gated test double stands for a slow one), and
// recordings through the window's slots with a scripted capture double, a
// scripted screen double and a hand-stepped clock, on Qt's offscreen
// platform. A real server's list is the sound capture's test; a real
// server's sound in a file the sound recordings'.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTemporaryDir>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "media/avi_reader.h"
#include "recorder_test_support.h"
#include "tests/support/pulse_test_server.h"  // NoPulseServer
#include "tests/support/window_test_application.h"
#include "ui/drui.h"
#include "ui/sound_choice.h"

namespace {

using sound::kAudioDeviceDefault;
using sound::kAudioDeviceNone;
using sound::SoundDevice;

SoundDevice microphone(const char* name, const char* description) {
    return {name, description, false, false};
}

SoundDevice monitor(const char* name, const char* description) {
    return {name, description, true, false};
}

std::unique_ptr<sound::SoundDeviceList> inputsDouble(std::vector<SoundDevice> devices) {
    return std::make_unique<sound::FixedSoundDeviceList>(std::move(devices));
}

// A sound server that answers only when the test lets it (or the question is
// cancelled): a page build that waited for it would never return.
class GatedSoundDeviceListDouble final : public sound::SoundDeviceList {
  public:
    struct Gate {
        std::mutex mutex;
        std::condition_variable changed;
        bool open = false;
        bool cancelled = false;
        std::vector<SoundDevice> devices;

        void answer(std::vector<SoundDevice> inputs) {
            const std::lock_guard lock(mutex);
            devices = std::move(inputs);
            open = true;
            changed.notify_all();
        }
    };

    explicit GatedSoundDeviceListDouble(std::shared_ptr<Gate> gate) : gate_(std::move(gate)) {}
    std::vector<SoundDevice> inputs() override {
        std::unique_lock lock(gate_->mutex);
        gate_->changed.wait(lock, [&] { return gate_->open || gate_->cancelled; });
        return gate_->cancelled ? std::vector<SoundDevice>{} : gate_->devices;
    }
    void cancel() override {
        const std::lock_guard lock(gate_->mutex);
        gate_->cancelled = true;
        gate_->changed.notify_all();
    }

  private:
    std::shared_ptr<Gate> gate_;
};

// A capture that records what it was asked to open and hands over a partly
// filled block when stopped, as capture does with what it holds.
class ScriptedSoundSourceDouble final : public sound::SoundSource {
  public:
    int start(const std::string& deviceName, sound::SoundBlockSink sink) override {
        startedWith = deviceName;
        ++starts;
        sink_ = std::move(sink);
        return 0;
    }
    void setPaused(bool) override {}
    void stop() override {
        if (!sink_)
            return;
        const std::vector<std::uint8_t> last(kLastBlockBytes, 7);
        sink_(last.data(), last.size());
        sink_ = nullptr;
    }
    bool isRunning() const override { return static_cast<bool>(sink_); }

    static constexpr std::size_t kLastBlockBytes = 4000;
    std::string startedWith = "(never)";
    int starts = 0;

  private:
    sound::SoundBlockSink sink_;
};

// The server name of the input a recording from the window would open (""
// for the server's default input).
std::string inputToOpen(const DRUI& window) {
    std::string name;
    if (!sound::deviceNameFor(window.audioDeviceId(), window.soundInputsShown(), name))
        return "(no sound)";
    return name;
}

// ---- The entries for lists of inputs -----------------------------------------

struct Entry {
    QString text;
    QVariant data;
    bool hint;                         // the hint about enabling mixed sound shows
    std::optional<std::string> opens;  // the input a recording opens ("" the default)
};

struct ListCase {
    const char* what;
    std::vector<SoundDevice> inputs;
    std::vector<Entry> entries;
};

const QString kComputer = QStringLiteral("Computer sounds");
const QString kMic = QStringLiteral("Microphone");
const QString kNone = QStringLiteral("None");
const Entry kDefaultEntry{kComputer, QVariant(kAudioDeviceDefault), true, ""};
const Entry kNoneEntry{kNone, QVariant(kAudioDeviceNone), false, std::nullopt};

std::vector<ListCase> listCases() {
    return {
        {"no inputs at all", {}, {kDefaultEntry, kNoneEntry}},
        {"a laptop: its microphone and its speakers' monitor",
         {microphone("alsa_input.pci", "Built-in Audio Analog Stereo"),
          monitor("alsa_output.pci.monitor", "Monitor of Built-in Audio Analog Stereo")},
         {{kMic, QVariant(0), false, "alsa_input.pci"},
          {kComputer, QVariant(1), true, "alsa_output.pci.monitor"},
          kNoneEntry}},
        {"only a microphone: the default input stands for computer sounds",
         {microphone("usb", "USB PnP Sound Device")},
         {{kMic, QVariant(0), false, "usb"}, kDefaultEntry, kNoneEntry}},
        {"several of each kind name their inputs",
         {monitor("pci.monitor", "Monitor of Built-in Audio Analog Stereo"),
          microphone("pci", "Built-in Audio Analog Stereo"),
          microphone("yeti", "Yeti Stereo Microphone Analog Stereo"),
          microphone("c920", "HD Pro Webcam C920 Analog Stereo"),
          monitor("hdmi.monitor", "Monitor of HDMI Audio")},
         {{kComputer + " (Monitor of Built-in Audio Analog Stereo)", QVariant(0), true,
           "pci.monitor"},
          {kMic + " (Built-in Audio Analog Stereo)", QVariant(1), false, "pci"},
          {kMic + " (Yeti Stereo Microphone Analog Stereo)", QVariant(2), false, "yeti"},
          {kMic + " (HD Pro Webcam C920 Analog Stereo)", QVariant(3), false, "c920"},
          {kComputer + " (Monitor of HDMI Audio)", QVariant(4), true, "hdmi.monitor"},
          kNoneEntry}},
        {"twins with one description are told apart by their server names",
         {microphone("usb-1", "USB Audio"), microphone("usb-2", "USB Audio")},
         {{kMic + " (usb-1)", QVariant(0), false, "usb-1"},
          {kMic + " (usb-2)", QVariant(1), false, "usb-2"},
          kDefaultEntry,
          kNoneEntry}},
        {"the kind comes from the server, not from the description",
         {microphone("desk", "Monitor of the Desk"), monitor("mic.monitor", "Microphone")},
         {{kMic, QVariant(0), false, "desk"},
          {kComputer, QVariant(1), true, "mic.monitor"},
          kNoneEntry}},
    };
}

TEST(SoundChoiceEntries, EveryInputIsOfferedAndEveryEntryReadsDifferently) {
    ensureApplication();
    for (const ListCase& c : listCases()) {
        SCOPED_TRACE(c.what);
        const std::vector<soundchoice::SoundChoice> choices = soundchoice::soundChoices(c.inputs);
        ASSERT_EQ(choices.size(), c.entries.size());
        for (std::size_t i = 0; i < choices.size(); ++i) {
            SCOPED_TRACE(c.entries[i].text.toStdString());
            const std::uint32_t id = choices[i].deviceId;
            EXPECT_EQ(choices[i].text, c.entries[i].text);
            // Same value and same type: inputs as int, the special choices unsigned.
            const QVariant data = soundchoice::itemData(id);
            EXPECT_EQ(data, c.entries[i].data);
            EXPECT_EQ(data.typeId(), c.entries[i].data.typeId());
            EXPECT_EQ(soundchoice::capturesComputerSounds(id, c.inputs), c.entries[i].hint);
            std::string opens = "(nothing)";
            const bool opensAnInput = sound::deviceNameFor(id, c.inputs, opens);
            EXPECT_EQ(opensAnInput ? std::optional(opens) : std::nullopt, c.entries[i].opens);
            for (std::size_t j = 0; j < i; ++j)
                EXPECT_NE(choices[j].text, choices[i].text);
        }
    }
}

// ---- The page and its list, with test doubles --------------------------------

class SoundChoiceWithDoubles : public ::testing::Test {
  protected:
    void SetUp() override {
        ensureApplication();
        ASSERT_TRUE(dir.isValid());
    }

    // A window whose inputs come from `devices`, on its record page.
    void makeWindow(std::unique_ptr<sound::SoundDeviceList> devices) {
        window = std::make_unique<DRUI>();
        window->setIniPath(dir.filePath(QStringLiteral("VodozaZevuri.ini")));
        auto capture = std::make_unique<ScriptedSoundSourceDouble>();
        soundSource = capture.get();
        window->setSoundSources(std::move(devices), std::move(capture));
        window->setupPages();
        auto clockDouble = std::make_unique<ManualClockDouble>();
        clock = clockDouble.get();
        window->setRecordingSources(std::make_unique<ScriptedScreenDouble>(),
                                    std::move(clockDouble));
        window->showInformation = [](QWidget*, const QString&, const QString& text) {
            ADD_FAILURE() << "unexpected message: " << text.toStdString();
        };
        const QString saveDir = dir.filePath(QStringLiteral("save"));
        window->chooseDirectory = [saveDir](QWidget*) { return saveDir; };
        window->btnSlotLayout2Dir();
        window->btnSlot();
    }
    void makeWindowListing(std::vector<SoundDevice> devices) {
        makeWindow(inputsDouble(std::move(devices)));
        ASSERT_TRUE(waitForInputsListed(window->soundInputs()));
    }

    QStringList comboTexts() const {
        QStringList texts;
        for (int i = 0; i < window->audioCombo->count(); ++i)
            texts << window->audioCombo->itemText(i);
        return texts;
    }
    void choose(int index) { window->audioCombo->setCurrentIndex(index); }
    void chooseText(const QString& text) {
        const int index = window->audioCombo->findText(text);
        ASSERT_GE(index, 0) << text.toStdString();
        choose(index);
    }
    bool hintShown() const { return !window->audioHelpLink->isHidden(); }
    // The server name of the input a recording would open ("" the default).
    std::string chosenInput() const { return inputToOpen(*window); }
    QString recordTicks(int ticks) {
        window->btnSlotRecord();
        for (int i = 0; i < ticks; ++i) {
            clock->advance(200);
            window->doTimerRec();
        }
        window->btnSlotRecord();
        return window->recording().recordFilePath();
    }

    QTemporaryDir dir;
    std::unique_ptr<DRUI> window;
    ScriptedSoundSourceDouble* soundSource = nullptr;
    ManualClockDouble* clock = nullptr;
};

}  // namespace

TEST_F(SoundChoiceWithDoubles, ThePageIsBuiltAtOnceAndFilledWhenTheServerAnswers) {
    auto gate = std::make_shared<GatedSoundDeviceListDouble::Gate>();
    makeWindow(std::make_unique<GatedSoundDeviceListDouble>(gate));
    // Nothing is known yet: the default input and no sound.
    EXPECT_EQ(comboTexts(), QStringList({kComputer, kNone}));
    EXPECT_TRUE(hintShown());

    gate->answer({microphone("usb", "USB PnP Sound Device")});
    ASSERT_TRUE(waitForInputsListed(window->soundInputs()));
    EXPECT_EQ(comboTexts(), QStringList({kMic, kComputer, kNone}));
    // The first entry is the choice, the user having chosen nothing yet.
    EXPECT_EQ(window->audioDeviceId(), 0u);
    EXPECT_EQ(window->recording().audioDeviceId(), 0u);
    EXPECT_FALSE(hintShown());
    choose(1);
    EXPECT_EQ(window->recording().audioDeviceId(), kAudioDeviceDefault);
    EXPECT_TRUE(hintShown());

    // A rebuild (a size switch) shows the last list at once, its first entry
    // chosen, while the server is asked again.
    window->buildRecordPage();
    EXPECT_EQ(comboTexts(), QStringList({kMic, kComputer, kNone}));
    EXPECT_EQ(window->audioCombo->currentIndex(), 0);
    EXPECT_EQ(window->recording().audioDeviceId(), 0u);
    EXPECT_TRUE(waitForInputsListed(window->soundInputs()));
}

TEST_F(SoundChoiceWithDoubles, ANewerListKeepsTheUsersChoiceWhileItsInputIsListed) {
    auto gate = std::make_shared<GatedSoundDeviceListDouble::Gate>();
    gate->answer({monitor("out.monitor", "Monitor of Speakers"), microphone("usb", "USB Mic")});
    makeWindow(std::make_unique<GatedSoundDeviceListDouble>(gate));
    ASSERT_TRUE(waitForInputsListed(window->soundInputs()));
    chooseText(kMic);
    ASSERT_EQ(chosenInput(), "usb");

    // A webcam comes first in the newer list: the USB microphone stays chosen.
    gate->answer({microphone("cam", "Webcam"), monitor("out.monitor", "Monitor of Speakers"),
                  microphone("usb", "USB Mic")});
    window->soundInputs().refresh();
    ASSERT_TRUE(waitForInputsListed(window->soundInputs()));
    EXPECT_EQ(comboTexts(),
              QStringList({kMic + " (Webcam)", kComputer, kMic + " (USB Mic)", kNone}));
    EXPECT_EQ(window->audioCombo->currentText(), kMic + " (USB Mic)");
    EXPECT_EQ(chosenInput(), "usb");
    EXPECT_EQ(window->recording().audioDeviceId(), 2u);

    // The USB microphone is gone: the first entry.
    gate->answer({microphone("cam", "Webcam"), monitor("out.monitor", "Monitor of Speakers")});
    window->soundInputs().refresh();
    ASSERT_TRUE(waitForInputsListed(window->soundInputs()));
    EXPECT_EQ(window->audioCombo->currentIndex(), 0);
    EXPECT_EQ(chosenInput(), "cam");
    EXPECT_EQ(window->recording().audioDeviceId(), 0u);
}

TEST_F(SoundChoiceWithDoubles, ClosingTheWindowWhileTheServerIsAskedNeitherWaitsNorCrashes) {
    auto gate = std::make_shared<GatedSoundDeviceListDouble::Gate>();
    makeWindow(std::make_unique<GatedSoundDeviceListDouble>(gate));
    ASSERT_TRUE(window->soundInputs().isAsking());
    window.reset();  // would wait forever if the question were not cancelled
    EXPECT_TRUE(gate->cancelled);
    QCoreApplication::processEvents();  // no answer reaches the window that went
}

// Capture stops before the streams are released, so the block it still
// holds reaches the file.
TEST_F(SoundChoiceWithDoubles, TheChosenInputOpensAndItsLastBlockReachesStreamOne) {
    makeWindowListing({microphone("input0", "Webcam Microphone")});
    const QString path = recordTicks(2);
    EXPECT_EQ(soundSource->startedWith, "input0");
    media::AviReader reader;
    ASSERT_EQ(reader.open(path.toStdString()), 0);
    ASSERT_EQ(reader.streamCount(), 2);
    ASSERT_EQ(reader.stream(1).chunks.size(), 1u);
    EXPECT_EQ(reader.stream(1).chunks[0].size, ScriptedSoundSourceDouble::kLastBlockBytes);
}

TEST_F(SoundChoiceWithDoubles, NoneAndNoInputsGiveVideoOnlyFiles) {
    makeWindowListing({microphone("input0", "Webcam Microphone")});
    chooseText(kNone);
    EXPECT_EQ(readRecording(recordTicks(2)).streams, 1);
    EXPECT_EQ(soundSource->starts, 0);

    window->setSoundSources(inputsDouble({}), std::make_unique<ScriptedSoundSourceDouble>());
    window->buildRecordPage();
    ASSERT_TRUE(waitForInputsListed(window->soundInputs()));
    clock->advance(1000);  // a new second: a new file name
    EXPECT_EQ(readRecording(recordTicks(2)).streams, 1);
}

TEST_F(SoundChoiceWithDoubles, AnInputThatCannotBeOpenedLeavesAnEmptyAudioStream) {
    // The list names an input, but no sound server answers when it opens.
    NoPulseServer noServer;
    makeWindowListing({microphone("input0", "USB Microphone")});
    window->setSoundSources(inputsDouble({microphone("input0", "USB Microphone")}),
                            std::make_unique<sound::PulseSoundSource>());
    window->buildRecordPage();
    ASSERT_TRUE(waitForInputsListed(window->soundInputs()));
    const QString path = recordTicks(3);
    media::AviReader reader;
    ASSERT_EQ(reader.open(path.toStdString()), 0);
    ASSERT_EQ(reader.streamCount(), 2);
    EXPECT_TRUE(reader.stream(1).isAudio());
    EXPECT_TRUE(reader.stream(1).chunks.empty());
    EXPECT_EQ(reader.stream(0).chunks.size(), 3u);
}
