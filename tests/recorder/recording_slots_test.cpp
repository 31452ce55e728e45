// What the main window adds to the recording controller, on Qt's offscreen
// platform with a scripted screen, a hand-stepped clock and sound doubles
// but real files: the record button, the tray menu and picture, the failure
// messages, and the sound choice (its entries, a sound server slow to answer,
// what the choice gives the file).
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <algorithm>
#include <filesystem>
#include <future>

#include "media/avi_reader.h"
#include "platform/native_path.h"
#include "recorder/recording_controller.h"
#include "recorder_test_support.h"
#include "tests/support/pulse_test_server.h"

namespace {

using sound::SoundDevice;

SoundDevice mic(const char* name, const char* description) {
    return {name, description, false, false};
}
SoundDevice monitor(const char* name, const char* description) {
    return {name, description, true, false};
}

// The video chunks of a file our reader opens without recovering any, else 0.
std::size_t framesIn(const std::string& path) {
    media::AviReader reader;
    const bool whole = reader.open(path) == 0 && reader.recoveredChunks() == 0;
    return whole ? reader.stream(0).chunks.size() : 0;
}

class WindowWithDoubles : public ::testing::Test {
  protected:
    // The window on its record page, asking `list` for its sound inputs.
    void open(std::unique_ptr<sound::SoundDeviceList> list,
              std::unique_ptr<sound::SoundSource> capture = std::make_unique<SoundSourceDouble>()) {
        window = openRecordPage(dir, dir.filePath(QStringLiteral("save")), messages, [&](DRUI& w) {
            w.setSoundSources(std::move(list), std::move(capture));
            useScreen(w);
        });
    }
    void useScreen(DRUI& w, int probeStatus = kScreenOk, int openStatus = kScreenOk) {
        auto screenDouble = std::make_unique<ScriptedScreenDouble>();
        screenDouble->probeStatus = probeStatus;
        screenDouble->openStatus = openStatus;
        auto clockDouble = std::make_unique<ManualClockDouble>();
        clock = clockDouble.get();
        w.setRecordingSources(std::move(screenDouble), std::move(clockDouble));
    }
    void chooseSaveDirectory(const QString& directory) {
        window->chooseDirectory = [directory](QWidget*) { return directory; };
        window->btnSlotLayout2Dir();
    }
    void tick(int times = 1, int ms = recorder::kCapturePeriodMs) {
        for (int i = 0; i < times; ++i) {
            clock->advance(ms);
            window->doTimerRec();
        }
    }
    QAction* entry(int i) const { return window->trayIcon->contextMenu()->actions().at(i); }
    // "button entry0 entry1 shown|away [paused] frames ownPause picture": the
    // tray menu's Pause entry and the page's own Pause button marked + when
    // enabled, the frames written while a recording runs.
    QString state() const {
        const bool away = !window->isVisible() || window->isMinimized();
        const auto on = [](bool enabled) { return enabled ? "+" : "-"; };
        const auto image = [](const QIcon& icon) { return icon.pixmap(16, 16).toImage(); };
        const bool blink = image(window->trayIcon->icon()) == image(QIcon(":/image/rec2.png"));
        const recorder::RecordingController& recording = window->recording();
        return QStringLiteral("%1 %2%3 %4 %5%6 %7 %8%9 %10")
            .arg(window->recordButton->text(), entry(0)->text(), on(entry(0)->isEnabled()),
                 entry(1)->text(), away ? "away" : "shown", recording.isPaused() ? " paused" : "")
            .arg(recording.isRecording() ? QString::number(recording.frameCount()) : "-")
            .arg(window->recordPauseButton->text(), on(window->recordPauseButton->isEnabled()),
                 blink ? "rec2" : "rec1");
    }
    std::string chosenInput() const {
        std::string name;
        if (!sound::deviceNameFor(window->audioDeviceId(), window->soundInputsShown(), name))
            return "(no sound)";
        return name;
    }

    QTemporaryDir dir;
    std::vector<QString> messages;
    std::unique_ptr<DRUI> window;
    ManualClockDouble* clock = nullptr;
};

// Files are named after their first tick's second, with the first free
// number when that name is taken (a dangling link holds its name too), in a
// save directory made with its parents and named byte for byte. A pause
// leaves a file a killed recorder would leave whole, and no paused time is
// filled in. Closing the window and Quit complete a running recording. The
// tray picture alternates every 16 ticks and is still while stopped.
TEST_F(WindowWithDoubles, TheButtonAndTheTrayMenuRecordPauseAndStop) {
    open(std::make_unique<sound::FixedSoundDeviceList>());
    int closed = 0;
    QObject::connect(window.get(), &DRUI::windowClosed, [&closed] { ++closed; });
    const std::string saveBytes = platform::encodePathStd(dir.path()) + "/bad\xff\xfe/x";
    chooseSaveDirectory(platform::decodePath(saveBytes));
    const auto pausedFileIsWhole = [&] {
        const std::string killed = dir.filePath(QStringLiteral("killed.avi")).toStdString();
        std::filesystem::copy_file(platform::encodePathStd(window->recording().recordFilePath()),
                                   killed);
        EXPECT_EQ(framesIn(killed), 3u);
    };
    const std::pair<const char*, std::function<void()>> steps[] = {
        {"Stop Pause+ Stop away 0 Pause+ rec1",
         [&] {
             window->btnSlotMenuStop();                    // Start in the tray menu
             EXPECT_FALSE(window->trayIcon->isVisible());  // only the button shows it
         }},
        {"Stop Pause+ Stop away 16 Pause+ rec1", [&] { tick(16); }},
        {"Stop Pause+ Stop away 17 Pause+ rec2", [&] { tick(); }},
        {"Stop Pause+ Stop away 33 Pause+ rec1", [&] { tick(16); }},
        {"Stop Start+ Stop away paused 33 Resume+ rec1", [&] { window->btnSlotMenuPause(); }},
        {"Start Pause- Start shown - Pause- rec1", [&] { window->btnSlotMenuStop(); }},
        {"Start Pause- Start shown - Pause- rec1", [&] { window->btnSlotMenuPause(); }},
        {"Stop Pause+ Stop away 3 Pause+ rec1",
         [&] {
             ::symlink("/nonexistent", (saveBytes + "/20161205093013.avi").c_str());
             window->btnSlotRecord();
             EXPECT_TRUE(window->trayIcon->isVisible());
             tick(3);
         }},
        {"Stop Start+ Stop away paused 3 Resume+ rec1",
         [&] { window->btnSlotMenuPause(), pausedFileIsWhole(), tick(1, 10000); }},
        {"Stop Start+ Stop away paused 3 Resume+ rec1", [&] { window->btnMaxSlot(); }},  // rebuild
        {"Stop Pause+ Stop away 5 Pause+ rec1",
         [&] { window->recordPauseButton->click(), tick(2); }},
        {"Start Pause- Start shown - Pause- rec1", [&] { window->btnSlotRecord(); }},
        {"Start Pause- Start away - Pause- rec1",
         [&] { window->hide(), window->trayiconActivated(QSystemTrayIcon::Context); }},
        {"Start Pause- Start shown - Pause- rec1",
         [&] { window->trayiconActivated(QSystemTrayIcon::Trigger); }},
        {"Start Pause- Start shown - Pause- rec1",
         [&] { window->showMinimized(), window->trayiconActivated(QSystemTrayIcon::DoubleClick); }},
        {"Stop Pause+ Stop away 4 Pause+ rec1", [&] { window->btnSlotRecord(), tick(4); }},
        {"Start Pause- Start away - Pause- rec1", [&] { window->close(); }},
        {"Stop Pause+ Stop away 1 Pause+ rec1", [&] { window->btnSlotMenuStop(), tick(); }},
        {"Start Pause- Start away - Pause- rec1", [&] { window->btnSlotMenuQuit(); }},
    };
    for (const auto& [expected, step] : steps) {
        step();
        ASSERT_EQ(state().toStdString(), expected);
    }
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(closed, 2);
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(saveBytes))
        names.push_back(item.path().filename().string() + ":" +
                        std::to_string(framesIn(item.path().string())));
    std::sort(names.begin(), names.end());
    // First ticks at 09:30:07.2, 13.8, 24.8 (after 10 s paused) and 25.6.
    EXPECT_EQ(names, (std::vector<std::string>{"20161205093007.avi:33", "20161205093013(1).avi:5",
                                               "20161205093013.avi:0", "20161205093024.avi:4",
                                               "20161205093025.avi:1"}));
    std::filesystem::remove_all(platform::encodePathStd(dir.path()) + "/bad\xff\xfe");
}

// One message per cause, saying why and where; a screen that cannot be
// recorded at all is refused at the button. No file is left behind.
TEST_F(WindowWithDoubles, ARecordingThatCannotBeginStopsWithItsMessage) {
    open(std::make_unique<sound::FixedSoundDeviceList>());
    QFile plain(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    const QString failed = QStringLiteral("Record failed. Create Avi file failed.");
    const QString saveDir = dir.filePath(QStringLiteral("save"));
    struct Case {
        QString saveDir;
        QString message;  // "...: " ends with the file's path
        int probeStatus = kScreenOk;
        int openStatus = kScreenOk;
    };
    const Case cases[] = {
        {plain.fileName() + "/sub", failed + "\nNot a directory: "},
        {saveDir, failed, kScreenOk, kScreenErrDisplayLost},
        {saveDir, "Screen capture needs an X11", kScreenErrNeedsX11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        messages.clear();
        useScreen(*window, c.probeStatus, c.openStatus);
        chooseSaveDirectory(c.saveDir);
        window->btnSlotRecord();
        tick();
        EXPECT_FALSE(window->recording().isRecording());
        EXPECT_TRUE(window->isVisible());
        ASSERT_EQ(messages.size(), 1u);
        const QString path = window->recording().recordFilePath();
        const QString expected = c.message.endsWith(": ") ? c.message + path : c.message;
        const bool onlyItsStart = c.probeStatus == kScreenErrNeedsX11;  // then a long hint
        EXPECT_EQ(onlyItsStart ? messages[0].left(expected.size()) : messages[0], expected);
        EXPECT_TRUE(QDir(c.saveDir).entryList(QDir::Files).isEmpty());
    }
    // The next recording, stopped before its first tick, reports nothing.
    messages.clear();
    useScreen(*window);
    window->btnSlotRecord();
    window->btnSlotRecord();
    EXPECT_TRUE(messages.empty());
}

// A sound server that never answers until the question is given up.
class SilentSoundServerDouble final : public sound::SoundDeviceList {
  public:
    explicit SilentSoundServerDouble(std::promise<void>& cancelled) : cancelled_(cancelled) {}
    std::vector<SoundDevice> inputs() override {
        answer_.wait();
        return {};
    }
    void cancel() override { cancelled_.set_value(); }

  private:
    std::promise<void>& cancelled_;
    std::shared_future<void> answer_ = cancelled_.get_future().share();
};

// A page build never waits for the sound server, and closing the window
// gives up a question still out.
TEST_F(WindowWithDoubles, TheSoundListNeverWaitsForTheServer) {
    std::promise<void> cancelled;
    open(std::make_unique<SilentSoundServerDouble>(cancelled));
    EXPECT_EQ(window->audioCombo->count(), 2);  // the default input and no sound
    EXPECT_TRUE(window->soundInputs().isAsking());
    window.reset();  // would hang unless the question is given up

    QCoreApplication::processEvents();  // no answer reaches the window that went
}

// Each kind of input is named only when there are several of it, twins by
// their server names; the default input stands for computer sounds when no
// monitor is listed. A newer list keeps the user's choice while its input is
// listed, else the first entry; a rebuild shows the last list at once.
// Capture stops before the streams are released, so the block it still holds
// reaches the file; no sound chosen or none to choose gives a video-only
// file, and a capture that delivers nothing an empty audio stream.
TEST_F(WindowWithDoubles, EverySoundInputIsOfferedAndTheChoiceGivesTheFileItsSound) {
    auto* server = new sound::FixedSoundDeviceList;
    auto* capture = new SoundSourceDouble;
    open(std::unique_ptr<sound::SoundDeviceList>(server),
         std::unique_ptr<sound::SoundSource>(capture));
    ASSERT_TRUE(waitForInputsListed(window->soundInputs()));
    struct Step {
        std::vector<SoundDevice> inputs;
        int pick;  // the entry the user picks, -1: none
        const char* entries;
        const char* chosen;  // the input a recording opens, with + when hinted
        // A recording's sound blocks, "-" for no audio stream; nullptr: none made.
        const char* blocks = nullptr;
        std::size_t heldBytes = 4000;  // what the capture hands over at its stop
    };
    const Step steps[] = {
        {{}, -1, "Computer sounds|None", "+", "-"},
        {{monitor("out.monitor", "Speakers"), mic("usb", "USB Mic")},
         -1,
         "Computer sounds|Microphone|None",
         "out.monitor+"},
        {{monitor("out.monitor", "Speakers"), mic("usb", "USB Mic")}, 1, "", "usb", "4000"},
        {{}, 1, "", "usb", "", 0},
        // The kind comes from the server, not from the description.
        {{mic("cam", "Monitor of Webcam"), monitor("out.monitor", "Microphone"), mic("usb", "Mic"),
          mic("usb-2", "Mic"), monitor("hdmi.monitor", "HDMI")},
         -1,
         "Microphone (Monitor of Webcam)|Computer sounds (Microphone)|Microphone (usb)|"
         "Microphone (usb-2)|Computer sounds (HDMI)|None",
         "usb"},
        {{mic("cam", "Webcam")}, -1, "Microphone|Computer sounds|None", "cam"},
        {{mic("cam", "Webcam")}, 2, "", "(no sound)", "-"},
    };
    for (const Step& step : steps) {
        if (step.pick >= 0) {
            window->audioCombo->setCurrentIndex(step.pick);
        } else {
            server->setInputs(step.inputs);
            window->soundInputs().refresh();
            ASSERT_TRUE(waitForInputsListed(window->soundInputs()));
            QStringList texts;
            for (int i = 0; i < window->audioCombo->count(); ++i)
                texts << window->audioCombo->itemText(i);
            EXPECT_EQ(texts.join('|').toStdString(), step.entries);
        }
        EXPECT_EQ(chosenInput() + (window->audioHelpLink->isHidden() ? "" : "+"), step.chosen);
        EXPECT_EQ(window->recording().audioDeviceId(), window->audioDeviceId());
        if (!step.blocks)
            continue;
        capture->lastBlockBytes = step.heldBytes;
        window->btnSlotRecord();
        tick(3);
        window->btnSlotRecord();
        media::AviReader reader;
        ASSERT_EQ(reader.open(window->recording().recordFilePath().toStdString()), 0);
        EXPECT_EQ(reader.stream(0).chunks.size(), 3u);
        QStringList blocks{"-"};
        if (reader.streamCount() == 2) {
            blocks.clear();
            for (const media::AviChunkRef& chunk : reader.stream(1).chunks)
                blocks << QString::number(chunk.size);
        }
        EXPECT_EQ(blocks.join(' ').toStdString(), step.blocks);
    }
    EXPECT_TRUE(messages.empty());
    window->buildRecordPage();  // a size switch
    EXPECT_EQ(window->audioCombo->count(), 3);
}

}  // namespace
