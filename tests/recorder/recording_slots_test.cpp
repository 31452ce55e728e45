// The main window's recording slots and tray, on Qt's offscreen platform,
// with a scripted screen and a hand-stepped clock (test doubles) but real
// files: what the tray menu offers in each state, the window's visibility,
// the failure message, closing and quitting mid-recording. A full drive is
// the Xvfb recording's and the controller table's part.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "media/avi_reader.h"
#include "platform/native_path.h"
#include "recorder_test_support.h"
#include "tests/support/window_test_application.h"
#include "ui/drui.h"

namespace {

bool sameIcon(const QIcon& icon, const char* resource) {
    const QIcon expected{QString::fromLatin1(resource)};
    return icon.pixmap(16, 16).toImage() == expected.pixmap(16, 16).toImage();
}

struct Message {
    QString title;
    QString text;
};

class RecordingSlotsWithDoubles : public ::testing::Test {
  protected:
    void SetUp() override {
        ensureApplication();
        ASSERT_TRUE(dir.isValid());
        window = std::make_unique<DRUI>();
        window->setIniPath(dir.filePath(QStringLiteral("VodozaZevuri.ini")));
        window->setupPages();
        auto screenDouble = std::make_unique<ScriptedScreenDouble>();
        auto clockDouble = std::make_unique<ManualClockDouble>();
        screen = screenDouble.get();
        clock = clockDouble.get();
        window->setRecordingSources(std::move(screenDouble), std::move(clockDouble));
        window->showInformation = [this](QWidget*, const QString& title, const QString& text) {
            messages.push_back({title, text});
        };
        saveDir = dir.filePath(QStringLiteral("save"));
        chooseSaveDirectory(saveDir);
        window->show();
        window->btnSlot();  // opens the record page and sets up the tray
    }

    QAction* entry(int i) const { return window->trayIcon->contextMenu()->actions().at(i); }
    // Chooses the save directory the way the user does: the folder button.
    void chooseSaveDirectory(const QString& directory) {
        window->chooseDirectory = [directory](QWidget*) { return directory; };
        window->btnSlotLayout2Dir();
    }
    void tick(int ms = 200) {
        clock->advance(ms);
        window->doTimerRec();
    }
    bool windowOutOfTheWay() const {
        return QSystemTrayIcon::isSystemTrayAvailable() ? !window->isVisible()
                                                        : window->isMinimized();
    }
    // The tray menu's first entry pauses (or resumes) a recording, the second
    // stops it or starts one.
    void expectRecordingEntries() const {
        EXPECT_TRUE(entry(0)->isEnabled());
        EXPECT_EQ(entry(0)->text(), QStringLiteral("Pause"));
        EXPECT_EQ(entry(1)->text(), QStringLiteral("Stop"));
    }
    void expectStoppedEntries() const {
        EXPECT_FALSE(entry(0)->isEnabled());
        EXPECT_EQ(entry(1)->text(), QStringLiteral("Start"));
    }

    QTemporaryDir dir;
    QString saveDir;
    std::unique_ptr<DRUI> window;
    ScriptedScreenDouble* screen = nullptr;
    ManualClockDouble* clock = nullptr;
    std::vector<Message> messages;
};

TEST_F(RecordingSlotsWithDoubles, RecordPauseResumeStopFromTheButton) {
    window->btnSlotRecord();
    EXPECT_EQ(window->recordButton->text(), QStringLiteral("Stop"));
    expectRecordingEntries();
    EXPECT_TRUE(window->trayIcon->isVisible());
    EXPECT_TRUE(windowOutOfTheWay());
    EXPECT_TRUE(window->captureTimer->isActive());
    for (int i = 0; i < 5; ++i)
        tick();

    window->btnSlotMenuPause();
    EXPECT_FALSE(window->captureTimer->isActive());
    EXPECT_TRUE(entry(0)->isEnabled());
    EXPECT_EQ(entry(0)->text(), QStringLiteral("Start"));
    clock->advance(10000);

    window->btnSlotMenuPause();
    EXPECT_TRUE(window->captureTimer->isActive());
    expectRecordingEntries();
    tick();

    window->btnSlotRecord();
    EXPECT_EQ(window->recordButton->text(), QStringLiteral("Start"));
    expectStoppedEntries();
    EXPECT_TRUE(window->trayIcon->isVisible());
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());
    EXPECT_FALSE(window->captureTimer->isActive());
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(readRecording(window->recording().recordFilePath()).pictures.size(), 6u);
}

TEST_F(RecordingSlotsWithDoubles, StartAndStopFromTheMenuWhilePaused) {
    window->btnSlotMenuStop();
    // The page shows the recording the menu started, so its button stops it.
    EXPECT_EQ(window->recordButton->text(), QStringLiteral("Stop"));
    expectRecordingEntries();
    EXPECT_FALSE(window->trayIcon->isVisible());  // only the button shows it
    EXPECT_TRUE(windowOutOfTheWay());
    tick();
    tick();
    window->btnSlotMenuPause();
    window->btnSlotMenuStop();
    EXPECT_EQ(window->recordButton->text(), QStringLiteral("Start"));
    expectStoppedEntries();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->recording().isPaused());
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(readRecording(window->recording().recordFilePath()).pictures.size(), 2u);
    // The disabled Pause entry does nothing now.
    window->btnSlotMenuPause();
    EXPECT_FALSE(window->recording().isPaused());
}

TEST_F(RecordingSlotsWithDoubles, ARebuildWhileRecordingShowsTheRecordingThatGoesOn) {
    window->btnSlotRecord();
    tick();
    tick();
    window->btnMaxSlot();  // rebuilds every page, the record page among them
    EXPECT_EQ(window->recordButton->text(), QStringLiteral("Stop"));
    EXPECT_TRUE(window->recording().isRecording());
    // Without a tray the page's own Pause/Resume is the way to pause.
    const bool ownPause = !QSystemTrayIcon::isSystemTrayAvailable();
    EXPECT_EQ(!window->recordPauseButton->isHidden(), ownPause);
    if (ownPause) {
        window->recordPauseButton->click();
        EXPECT_TRUE(window->recording().isPaused());
        window->btnMaxSlot();
        EXPECT_EQ(window->recordPauseButton->text(), QStringLiteral("Resume"));
        window->recordPauseButton->click();
        EXPECT_FALSE(window->recording().isPaused());
        EXPECT_EQ(window->recordPauseButton->text(), QStringLiteral("Pause"));
    }
    tick();
    window->recordButton->click();
    EXPECT_FALSE(window->recording().isRecording());
    EXPECT_FALSE(window->recordPauseButton->isEnabled());
    EXPECT_EQ(readRecording(window->recording().recordFilePath()).pictures.size(), 3u);
}

TEST_F(RecordingSlotsWithDoubles, TheTrayPictureAlternatesEverySixteenTicks) {
    window->btnSlotRecord();
    // Ticks 1-16 show the first picture, 17-32 the second, then the first.
    const std::pair<int, const char*> steps[] = {{16, ":/image/rec1.png"},
                                                 {1, ":/image/rec2.png"},
                                                 {15, ":/image/rec2.png"},
                                                 {1, ":/image/rec1.png"}};
    for (const auto& [ticks, picture] : steps) {
        for (int i = 0; i < ticks; ++i)
            tick();
        EXPECT_TRUE(sameIcon(window->trayIcon->icon(), picture)) << picture;
    }
    tick();
    window->btnSlotRecord();
    EXPECT_TRUE(sameIcon(window->trayIcon->icon(), ":/image/rec1.png"));
}

TEST_F(RecordingSlotsWithDoubles, AFailedCreateStopsWithItsMessage) {
    QFile plain(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    chooseSaveDirectory(plain.fileName() + QStringLiteral("/sub"));
    window->btnSlotRecord();
    tick();
    EXPECT_FALSE(window->recording().isRecording());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->recordButton->text(), QStringLiteral("Start"));
    expectStoppedEntries();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, QStringLiteral("Recorder"));
    EXPECT_EQ(messages[0].text, window->recording().failureMessage());
    EXPECT_TRUE(messages[0].text.endsWith(window->recording().recordFilePath()));

    // The next recording, stopped before its first tick, reports nothing.
    chooseSaveDirectory(saveDir);
    window->btnSlotRecord();
    window->btnSlotRecord();
    EXPECT_EQ(messages.size(), 1u);
}

// Closing the window and Quit in the tray menu both complete the file of a
// recording that is running.
TEST_F(RecordingSlotsWithDoubles, ClosingOrQuittingMidRecordingCompletesTheFile) {
    const std::pair<const char*, std::function<void(DRUI&)>> ways[] = {
        {"window closed", [](DRUI& w) { w.close(); }},
        {"Quit in the tray menu", [](DRUI& w) { w.btnSlotMenuQuit(); }},
    };
    for (const auto& [what, end] : ways) {
        SCOPED_TRACE(what);
        if (!window)
            SetUp();
        QSignalSpy closed(window.get(), &DRUI::windowClosed);
        window->btnSlotRecord();
        for (int i = 0; i < 4; ++i)
            tick();
        end(*window);
        EXPECT_EQ(closed.count(), 1);
        EXPECT_FALSE(window->isVisible());
        EXPECT_FALSE(window->recording().isRecording());
        const QString path = window->recording().recordFilePath();
        window.reset();
        media::AviReader reader;
        ASSERT_EQ(reader.open(QFile::encodeName(path).toStdString()), 0);
        EXPECT_NE(reader.indexKind(), media::AviIndexKind::Scan);
        EXPECT_EQ(reader.recoveredChunks(), 0u);
        EXPECT_EQ(reader.stream(0).chunks.size(), 4u);
    }
}

TEST_F(RecordingSlotsWithDoubles, ClicksOnTheTrayIconBringTheWindowBack) {
    window->hide();
    window->trayiconActivated(QSystemTrayIcon::MiddleClick);
    EXPECT_FALSE(window->isVisible());
    window->trayiconActivated(QSystemTrayIcon::Context);
    EXPECT_FALSE(window->isVisible());
    window->trayiconActivated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(window->isVisible());
    window->showMinimized();
    window->trayiconActivated(QSystemTrayIcon::DoubleClick);
    EXPECT_FALSE(window->isMinimized());
}

TEST_F(RecordingSlotsWithDoubles, AScreenWithoutX11AccessIsNotRecorded) {
    auto screenDouble = std::make_unique<ScriptedScreenDouble>();
    screenDouble->probeStatus = kScreenErrNeedsX11;
    window->setRecordingSources(std::move(screenDouble), std::make_unique<ManualClockDouble>());
    window->btnSlotRecord();
    EXPECT_FALSE(window->recording().isRecording());
    EXPECT_EQ(window->recordButton->text(), QStringLiteral("Record"));
    EXPECT_TRUE(window->isVisible());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(
        messages[0].text.startsWith(QStringLiteral("Screen capture needs an X11 session.")));
}

// A save directory named in bytes that are not UTF-8, from the settings file
// to the recording on disk: made and written byte for byte, nowhere else.
TEST_F(RecordingSlotsWithDoubles, ARecordingLandsInASaveDirectoryThatIsNotUtf8) {
    const std::string saved = platform::encodePathStd(dir.path()) + "/bad\xff\xfe/x";
    QFile ini(dir.filePath(QStringLiteral("VodozaZevuri.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write(QByteArray("[screen_record]\nsave_path=") + saved.c_str() + "\n");
    ini.close();
    window->btnMaxSlot();  // the rebuilt record page reads the settings again
    window->btnSlotRecord();
    tick();
    tick();
    window->btnSlotRecord();
    ASSERT_TRUE(messages.empty()) << messages[0].text.toStdString();

    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(std::filesystem::path(saved)))
        names.push_back(item.path().filename().string());
    ASSERT_EQ(names, std::vector<std::string>{"20161205093007.avi"});
    const std::string file = saved + "/20161205093007.avi";
    EXPECT_EQ(platform::encodePathStd(window->recording().recordFilePath()), file);
    media::AviReader reader;
    ASSERT_EQ(reader.open(file), 0);
    const int video = reader.findStream(media::kFccVids, 0);
    ASSERT_GE(video, 0);
    EXPECT_EQ(reader.stream(video).chunks.size(), 2u);
}

}  // namespace
