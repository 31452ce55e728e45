// The preview's protocol and states, driven through the window's cut page
// against a stand-in player (standin_player.cpp) that answers like MPlayer
// and logs what it receives; and the answer parser on what players print.
#include <signal.h>
#include <unistd.h>

#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QStackedLayout>
#include <QTableWidget>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <cerrno>

#include "platform/native_path.h"
#include "player/answer_parser.h"
#include "tests/filelist/avi_samples.h"
#include "tests/ui/ui_test_support.h"

// Readable failures: gtest finds this printer for QString and its lists.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

using player::PlayerAnswer;
using player::PlayerState;
using Kind = PlayerAnswer::Kind;

const QString kStandIn = QStringLiteral(TESSALY_TEST_BIN_DIR "/standin_player");

TEST(AnswerParser, ReadsAnswersAndIgnoresTheRest) {
    struct Case {
        QByteArray line;
        Kind kind;
        QString value;
    } const cases[] = {
        {"ANS_LENGTH=125.60", Kind::Length, "125.60"},
        {"ANS_TIME_POSITION=12.9\r", Kind::TimePosition, "12.9"},
        {"ANS_PERCENT_POSITION=20", Kind::PercentPosition, "20"},
        {"\x1b[KANS_TIME_POSITION=3.0", Kind::TimePosition, "3.0"},
        {"A:   1.0 V:   1.0\r\x1b[2KANS_LENGTH=4.00\r", Kind::Length, "4.00"},
        {"Exiting... (End of file)", Kind::EndOfFile, ""},
        {"Exiting... (Quit)", Kind::Other, ""},
        {"junk ANS_LENGTH=3", Kind::Other, ""},
        {"", Kind::Other, ""},
    };
    for (const Case& c : cases) {
        const PlayerAnswer answer = player::parseAnswerLine(c.line);
        EXPECT_EQ(answer.kind, c.kind) << c.line.toStdString();
        EXPECT_EQ(answer.value, c.value) << c.line.toStdString();
    }
}

TEST(AnswerParser, NumbersAndLeadingIntegers) {
    struct Case {
        QString text;
        double number;
        qint64 integer;
    } const cases[] = {
        {"125.6", 125.6, 125}, {" 12.9 \r", 12.9, 12}, {"0.4", 0.4, 0}, {"-0.00", 0, 0},
        {"-3.5", -3.5, -3},    {"abc", 0, 0},          {"", 0, 0},      {"7x", 0, 7},
        {"+42", 42, 42}};
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(player::readNumber(c.text), c.number) << c.text.toStdString();
        EXPECT_EQ(player::leadingInteger(c.text), c.integer) << c.text.toStdString();
    }
}

TEST(AnswerParser, LinesWaitUntilTheyAreComplete) {
    player::AnswerLineSplitter splitter;
    splitter.append("ANS_LENG");
    EXPECT_TRUE(splitter.takeLines().empty());
    splitter.append("TH=3.00\nANS_TIME_POS");
    const auto first = splitter.takeLines();
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0], "ANS_LENGTH=3.00");
    splitter.append("ITION=1.0\r\n\n");
    const auto rest = splitter.takeLines();
    ASSERT_EQ(rest.size(), 2u);
    EXPECT_EQ(rest[0], "ANS_TIME_POSITION=1.0\r");
    EXPECT_EQ(rest[1], "");
}

class PreviewStandInTest : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        logPath = tempDir.filePath(QStringLiteral("player.log"));
        qputenv("STANDIN_LOG", QFile::encodeName(logPath));
        qputenv("STANDIN_LENGTH", "10");
        qputenv("STANDIN_SPEED", "1");
        qunsetenv("STANDIN_CRASH_MS");
        qunsetenv("STANDIN_NOISY");
        for (const char* name : {"a.avi", "b.avi"}) {
            ASSERT_EQ(avisamples::writeRecording(tempDir.filePath(QLatin1String(name)), {}), 0);
        }
        writeIni(tempDir.path());
        buildPages();
        window->previewPlayer().findProgram = [] { return kStandIn; };
        window->showWarning = [this](QWidget*, const QString&, const QString& text) {
            warnings << text;
        };
        window->btnMontageSlot();
    }

    void choose(int row) {
        window->cutTable->selectRow(row);
        window->CutTableItemClick(window->cutTable->item(row, 0));
    }

    QStringList logLines(const QString& prefix) const {
        QFile file(logPath);
        QStringList lines;
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : file.readAll().split('\n')) {
                if (line.startsWith(prefix.toUtf8())) {
                    lines << QString::fromUtf8(line.mid(prefix.size()));
                }
            }
        }
        return lines;
    }
    QStringList commands() const { return logLines(QStringLiteral("cmd ")); }

    bool waitFor(const std::function<bool()>& done) { return processEventsUntil(done); }
    bool startTimeEnabled() const { return window->startTimeButton->isEnabled(); }
    PlayerState state() const { return window->previewPlayer().state(); }
    // Lets the cycle run for a while without expecting anything.
    void runFor(int ms) {
        QDeadlineTimer until(ms);
        while (!until.hasExpired()) {
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        }
    }

    QString logPath;
    QStringList warnings;
};

TEST_F(PreviewStandInTest, PlayStartsThePlayerWithItsArgumentsAndFollowsItsAnswers) {
    window->btnLayout3Play();  // no row chosen: nothing happens
    EXPECT_EQ(state(), PlayerState::Idle);

    choose(0);
    window->playButton->click();
    EXPECT_EQ(window->playButton->text(), QStringLiteral("Pause"));
    ASSERT_TRUE(waitFor([&] { return startTimeEnabled(); }));

    const QStringList expected = {"-slave",
                                  "-quiet",
                                  "-aspect",
                                  "16:9",
                                  "-wid",
                                  QString::number(window->videoLabel->winId()),
                                  "-vo",
                                  "xv,x11,",
                                  "-lavdopts",
                                  "threads=4",
                                  "-geometry",
                                  "700:300",
                                  "-x",
                                  "700",
                                  "-y",
                                  "300",
                                  window->cutState().selectedFile};
    EXPECT_EQ(logLines(QStringLiteral("arg ")), expected);
    EXPECT_EQ(window->positionSlider->maximum(), 10);
    EXPECT_TRUE(window->timeLabel->text().endsWith(QStringLiteral("/10 S")))
        << window->timeLabel->text().toStdString();
    ASSERT_TRUE(waitFor([&] { return window->positionSlider->value() >= 1; }));

    // The queries go out in batches of three, in that order, and no faster
    // than one batch per query interval.
    QElapsedTimer clock;
    clock.start();
    const qsizetype before = commands().size();
    runFor(1000);
    const QStringList batch = commands().mid(before);
    const qsizetype batches = batch.count(QStringLiteral("get_time_length"));
    EXPECT_GE(batches, 2);
    EXPECT_LE(batches, clock.elapsed() / player::PreviewPlayer::kQueryIntervalMs + 2);
    for (qsizetype i = 0; i + 2 < batch.size(); i += 3) {
        EXPECT_EQ(batch.mid(i, 3),
                  QStringList({"get_time_length", "get_time_pos", "get_percent_pos"}));
    }
}

TEST_F(PreviewStandInTest, PauseResumeAndSeekSendExactlyTheirCommands) {
    choose(0);
    window->btnLayout3Play();
    ASSERT_TRUE(waitFor([&] { return startTimeEnabled(); }));

    window->playButton->click();  // pause
    EXPECT_EQ(window->playButton->text(), QStringLiteral("Play"));
    ASSERT_TRUE(waitFor([&] { return commands().contains(QStringLiteral("pause")); }));
    runFor(400);
    const QStringList afterPause = commands().mid(commands().lastIndexOf(QStringLiteral("pause")));
    EXPECT_EQ(afterPause, QStringList({"pause"})) << "nothing may resume a paused player";

    // A seek while paused stays paused; the label follows at once.
    window->current(4);
    ASSERT_TRUE(waitFor([&] {
        return commands().mid(commands().size() - 2) == QStringList({"seek 4 2", "pause"});
    }));
    EXPECT_EQ(window->positionSlider->value(), 4);
    EXPECT_EQ(window->timeLabel->text(), QStringLiteral("4 S/10 S"));

    const qsizetype beforeResume = commands().size();
    window->playButton->click();  // resume
    EXPECT_EQ(window->playButton->text(), QStringLiteral("Pause"));
    ASSERT_TRUE(waitFor([&] { return commands().size() >= beforeResume + 3; }));
    EXPECT_EQ(commands().mid(beforeResume, 3),
              QStringList({"get_time_length", "get_time_pos", "get_percent_pos"}));
    ASSERT_TRUE(waitFor([&] { return window->positionSlider->value() >= 5; }));

    // While playing a seek is the seek alone.
    window->current(2);
    runFor(200);
    const QStringList tail = commands().mid(commands().lastIndexOf(QStringLiteral("seek 2 2")));
    EXPECT_FALSE(tail.contains(QStringLiteral("pause")));
}

TEST_F(PreviewStandInTest, TheEndOfTheFileReturnsToPlayAndPlayStartsAgain) {
    qputenv("STANDIN_LENGTH", "1.5");
    qputenv("STANDIN_SPEED", "3");
    qputenv("STANDIN_NOISY", "1");
    choose(0);
    window->btnLayout3Play();
    ASSERT_TRUE(waitFor([&] { return window->playButton->text() == QStringLiteral("Play"); }));
    EXPECT_EQ(state(), PlayerState::Ended);
    EXPECT_TRUE(window->cutState().playerFile.isEmpty());
    EXPECT_TRUE(startTimeEnabled()) << "the noisy answers were read";
    EXPECT_EQ(window->positionSlider->value(), 1);
    EXPECT_EQ(window->timeLabel->text(), QStringLiteral("1 S/1 S"));

    window->btnLayout3Play();
    EXPECT_EQ(state(), PlayerState::Playing);
    ASSERT_TRUE(waitFor([&] { return logLines(QStringLiteral("pid ")).size() == 2; }));
}

TEST_F(PreviewStandInTest, APlayerThatDiesWithoutTheEndLineIsNoticed) {
    qputenv("STANDIN_CRASH_MS", "300");
    choose(0);
    window->btnLayout3Play();
    ASSERT_TRUE(waitFor([&] { return state() == PlayerState::Ended; }));
    EXPECT_EQ(window->playButton->text(), QStringLiteral("Play"));
    EXPECT_TRUE(window->cutState().playerFile.isEmpty());
    EXPECT_TRUE(warnings.isEmpty());
}

TEST_F(PreviewStandInTest, AnotherRecordingReplacesThePlayerAndResetsTheRange) {
    choose(0);
    window->btnLayout3Play();
    ASSERT_TRUE(waitFor([&] { return startTimeEnabled(); }));
    ASSERT_TRUE(waitFor([&] { return window->previewPlayer().positionText() != "0.0"; }));
    window->btnSetHead();
    EXPECT_TRUE(window->endTimeButton->isEnabled());
    const qint64 firstPid = window->previewPlayer().process()->processId();

    choose(1);
    window->btnLayout3Play();
    EXPECT_EQ(::kill(static_cast<pid_t>(firstPid), 0), -1) << "the old player is gone";
    EXPECT_EQ(errno, ESRCH);
    EXPECT_EQ(window->startTimeLabel->text(), QStringLiteral("00:00"));
    EXPECT_EQ(window->endTimeLabel->text(), QStringLiteral("00:00"));
    EXPECT_FALSE(window->endTimeButton->isEnabled());
    EXPECT_TRUE(startTimeEnabled()) << "Start Time stays until the page is rebuilt";
    ASSERT_TRUE(waitFor([&] { return logLines(QStringLiteral("pid ")).size() == 2; }));
    EXPECT_EQ(logLines(QStringLiteral("arg ")).last(), window->cutState().selectedFile);
}

TEST_F(PreviewStandInTest, TheTrimRangeTakesTheWholeSecondsOfThePosition) {
    choose(0);
    window->btnLayout3Play();
    ASSERT_TRUE(waitFor([&] { return startTimeEnabled(); }));
    window->playButton->click();  // pause, so the position stays put

    window->current(75);
    window->btnSetTail();
    EXPECT_EQ(window->cutState().trimEndSeconds, 75);
    EXPECT_EQ(window->endTimeLabel->text(), QStringLiteral("1 M 15 S"));
    EXPECT_TRUE(window->cutButton->isEnabled());
    window->current(12);
    window->btnSetHead();
    EXPECT_EQ(window->cutState().trimStartSeconds, 12);
    EXPECT_EQ(window->startTimeLabel->text(), QStringLiteral("12 S"));

    // An end before the start is taken as it is: the cut refuses it.
    window->current(3);
    window->btnSetTail();
    EXPECT_EQ(window->cutState().trimEndSeconds, 3);
    EXPECT_FALSE(window->cutState().endsAfterStart());

    // Choosing a row withdraws Cut until an end is taken again.
    choose(1);
    EXPECT_FALSE(window->cutButton->isEnabled());
    EXPECT_TRUE(window->endTimeButton->isEnabled());
}

TEST_F(PreviewStandInTest, BackAndTheWindowsEndEndThePlayer) {
    choose(0);
    window->btnLayout3Play();
    ASSERT_TRUE(waitFor([&] { return startTimeEnabled(); }));
    window->positionSlider->setValue(4);
    qint64 pid = window->previewPlayer().process()->processId();
    window->cutBackButton->click();
    EXPECT_EQ(state(), PlayerState::Idle);
    EXPECT_EQ(window->positionSlider->value(), 0);
    EXPECT_EQ(::kill(static_cast<pid_t>(pid), 0), -1);
    EXPECT_EQ(window->pageStack->currentIndex(), DRUI::kHomePage);

    window->btnMontageSlot();  // the cut page plays the last recording again
    EXPECT_EQ(state(), PlayerState::Playing);
    pid = window->previewPlayer().process()->processId();
    QPointer<QTimer> timer = window->captureTimer;
    window.reset();
    EXPECT_EQ(::kill(static_cast<pid_t>(pid), 0), -1);
    EXPECT_EQ(errno, ESRCH);
    EXPECT_TRUE(timer.isNull());
}

TEST_F(PreviewStandInTest, MaximiseRestartsThePreviewInTheNewVideoArea) {
    choose(0);
    window->btnLayout3Play();
    ASSERT_TRUE(waitFor([&] { return startTimeEnabled(); }));
    const qint64 oldPid = window->previewPlayer().process()->processId();

    window->btnMaxSlot();
    ASSERT_TRUE(window->isMaximised());
    EXPECT_EQ(::kill(static_cast<pid_t>(oldPid), 0), -1) << "the old player is ended first";
    EXPECT_EQ(state(), PlayerState::Playing);
    ASSERT_TRUE(waitFor([&] { return logLines(QStringLiteral("pid ")).size() == 2; }));
    const QStringList arguments = logLines(QStringLiteral("arg "));
    EXPECT_EQ(arguments.at(arguments.size() - 17 + 5),
              QString::number(window->videoLabel->winId()));
}

TEST_F(PreviewStandInTest, ARecordingWhoseNameIsNotUtf8ReachesThePlayer) {
    const QByteArray name = "clip-\xff\xfe.avi";
    const QByteArray path = QFile::encodeName(tempDir.path()) + '/' + name;
    ASSERT_EQ(avisamples::writeRecording(platform::decodePath(path), {}), 0);
    window->btnMontageSlot();
    for (int row = 0; row < window->cutTable->rowCount(); ++row) {
        if (platform::encodePath(window->cutTable->item(row, 0)->text()) == name) {
            choose(row);
        }
    }
    ASSERT_EQ(platform::encodePath(window->cutState().selectedFile), path);
    window->btnLayout3Play();
    ASSERT_TRUE(waitFor([&] { return startTimeEnabled(); }));
    // The player is handed a link whose target is the file's exact bytes.
    const QByteArray handed = logLines(QStringLiteral("arg ")).last().toUtf8();
    char target[4096] = {};
    ASSERT_GT(::readlink(handed.constData(), target, sizeof target - 1), 0);
    EXPECT_EQ(QByteArray(target), path);
}

TEST_F(PreviewStandInTest, AMissingPlayerSaysHowToInstallIt) {
    struct Case {
        QString program;
        QString message;
    } const cases[] = {
        {QString(), QStringLiteral("Preview needs MPlayer: install the mplayer package.")},
        {tempDir.filePath(QStringLiteral("a.avi")), QString()},  // not executable
    };
    for (const Case& c : cases) {
        warnings.clear();
        window->previewPlayer().findProgram = [&c] { return c.program; };
        choose(0);
        window->btnLayout3Play();
        ASSERT_TRUE(waitFor([&] { return !warnings.isEmpty(); })) << c.program.toStdString();
        runFor(200);
        EXPECT_EQ(warnings.size(), 1);
        if (!c.message.isEmpty()) {
            EXPECT_EQ(warnings.first(), c.message);
        }
        EXPECT_EQ(window->playButton->text(), QStringLiteral("Play"));
        EXPECT_TRUE(window->cutState().playerFile.isEmpty());
    }
}

}  // namespace

namespace {

TEST(PreviewPlayerLife, ThePlayerDiesWithAKilledRecorder) {
    QProcess parent;
    parent.start(QStringLiteral(TESSALY_TEST_BIN_DIR "/preview_parent"), {kStandIn});
    ASSERT_TRUE(parent.waitForReadyRead(kSettleTimeoutMs));
    const pid_t playerPid = parent.readLine().trimmed().toInt();
    ASSERT_GT(playerPid, 0);
    ASSERT_EQ(::kill(playerPid, 0), 0);

    parent.kill();
    parent.waitForFinished();
    // The player is our grandchild: once it dies, init reaps it.
    QDeadlineTimer deadline(kSettleTimeoutMs);
    while (::kill(playerPid, 0) == 0 && !deadline.hasExpired()) {
        QThread::msleep(20);
    }
    EXPECT_EQ(::kill(playerPid, 0), -1);
}

}  // namespace
