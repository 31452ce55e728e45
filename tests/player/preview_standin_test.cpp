// The preview's command protocol and the player's life, driven through the
// window's cut page against a test double of MPlayer (standin_player.sh)
// that logs what it receives and answers like MPlayer.
#include <signal.h>
#include <unistd.h>

#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "platform/native_path.h"
#include "tests/support/sample_recordings.h"
#include "tests/ui/ui_test_support.h"

namespace {

using player::PlayerState;
const QString kStandIn = QStringLiteral(TESSALY_TEST_BIN_DIR "/standin_player");
const QStringList kQueryBatch = {"get_time_length", "get_time_pos", "get_percent_pos"};

bool processGone(qint64 pid) {
    return ::kill(static_cast<pid_t>(pid), 0) == -1 && errno == ESRCH;
}

class PreviewStandInTest : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        qputenv("STANDIN_LOG", QFile::encodeName(tempDir.filePath("player.log")));
        QFile::remove(tempDir.filePath("player.log"));
        qunsetenv("STANDIN_LENGTH_MS");
        qunsetenv("STANDIN_NOISY");
        ASSERT_EQ(avisamples::writeRecording(tempDir.filePath("a.avi"), {}), 0);
        writeIni(tempDir.path());
        buildPages();
        window->previewPlayer().findProgram = [] { return kStandIn; };
        window->showWarning = [this](QWidget*, const QString&, const QString& text) {
            warnings << text;
        };
        window->btnMontageSlot();
    }

    // Chooses a row and plays it until the length answer came back.
    qint64 play(int row) {
        window->cutTable->selectRow(row);
        window->CutTableItemClick(nullptr);
        window->btnLayout3Play();
        EXPECT_TRUE(processEventsUntil([&] { return window->startTimeButton->isEnabled(); }));
        return window->previewPlayer().process()->processId();
    }
    // The stand-in's log lines that start with `prefix`, without it.
    QStringList logged(const QString& prefix) const {
        QFile file(tempDir.filePath("player.log"));
        file.open(QIODevice::ReadOnly);
        const QRegularExpression start("^" + prefix);
        return QString::fromUtf8(file.readAll())
            .split('\n')
            .filter(start)
            .replaceInStrings(start, {});
    }
    QStringList commands() const { return logged("cmd "); }
    PlayerState state() const { return window->previewPlayer().state(); }
    void waitForCommands(const QStringList& tail) {
        EXPECT_TRUE(processEventsUntil([&] {
            return commands().mid(commands().size() - tail.size()) == tail;
        })) << commands().join(", ").toStdString();
    }
    QStringList warnings;
};

TEST_F(PreviewStandInTest, PlayPauseSeekAndResumeSendExactlyTheirCommands) {
    // A missing player says how to install it; one that cannot run, why.
    for (const QString& broken : {QString(), tempDir.filePath("a.avi")}) {
        window->previewPlayer().findProgram = [&broken] { return broken; };
        window->cutTable->selectRow(0);
        window->CutTableItemClick(nullptr);
        const qsizetype expected = warnings.size() + 1;
        window->btnLayout3Play();
        ASSERT_TRUE(processEventsUntil([&] { return warnings.size() == expected; }));
        EXPECT_EQ(window->playButton->text(), QStringLiteral("Play"));
        EXPECT_TRUE(window->cutState().playerFile.isEmpty());
    }
    EXPECT_EQ(warnings.first(), "Preview needs MPlayer: install the mplayer package.");
    window->previewPlayer().findProgram = [] { return kStandIn; };

    // A name that is not UTF-8 reaches the player as a link to its exact bytes.
    const QByteArray path = QFile::encodeName(tempDir.path()) + "/clip-\xff\xfe.avi";
    ASSERT_EQ(avisamples::writeRecording(platform::decodePath(path), {}), 0);
    window->btnMontageSlot();
    play(1);
    ASSERT_EQ(platform::encodePath(window->cutState().selectedFile), path);
    char target[4096] = {};
    ASSERT_GT(::readlink(logged("arg ").last().toUtf8().constData(), target, sizeof target - 1), 0);
    EXPECT_EQ(QByteArray(target), path);
    EXPECT_EQ(window->positionSlider->maximum(), 10);

    ASSERT_TRUE(processEventsUntil([&] { return commands().size() >= 6; }));  // two batches

    window->playButton->click();  // pause: nothing more may go out, it would resume
    EXPECT_EQ(window->playButton->text(), QStringLiteral("Play"));
    waitForCommands({"pause"});
    runEventLoopFor(400);
    // Before it only queries went out, in batches of three; after it, nothing.
    EXPECT_EQ(commands().join(' ').remove(kQueryBatch.join(' ') + ' '), QStringLiteral("pause"));
    window->current(4);  // a seek while paused stays paused; the label follows at once
    waitForCommands({"seek 4 2", "pause"});
    EXPECT_EQ(window->positionSlider->value(), 4);
    EXPECT_EQ(window->timeLabel->text(), QStringLiteral("4 S/10 S"));

    const qsizetype beforeResume = commands().size();
    window->playButton->click();  // resume: the next query batch
    ASSERT_TRUE(processEventsUntil([&] { return commands().size() >= beforeResume + 3; }));
    EXPECT_EQ(commands().mid(beforeResume, 3), kQueryBatch);
}

// The end of the file (told in pieces, behind escapes, among junk), a player
// that dies, maximising and the window's end: each ends the player, and Play
// starts a new one on the chosen recording.
TEST_F(PreviewStandInTest, EveryWayThePlayerEnds) {
    enum How { EndOfFile, Killed, Maximise, WindowGone };
    for (How how : {EndOfFile, Killed, Maximise, WindowGone}) {
        SCOPED_TRACE(how);
        SetUp();
        if (how == EndOfFile) {
            qputenv("STANDIN_LENGTH_MS", "1500");
            qputenv("STANDIN_NOISY", "1");
        }
        const qint64 pid = play(0);
        window->btnSetHead();
        ASSERT_TRUE(window->endTimeButton->isEnabled());
        QPointer<QTimer> timer = window->captureTimer;
        if (how == Killed) {
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        } else if (how == Maximise) {
            window->btnMaxSlot();
        } else if (how == WindowGone) {
            window.reset();
            EXPECT_TRUE(processGone(pid));
            EXPECT_TRUE(timer.isNull());
            continue;
        }
        if (how != Maximise) {
            ASSERT_TRUE(processEventsUntil([&] { return state() == PlayerState::Ended; }));
            EXPECT_EQ(window->playButton->text(), QStringLiteral("Play"));
            EXPECT_TRUE(window->cutState().playerFile.isEmpty());
            if (how == EndOfFile) {
                EXPECT_EQ(window->timeLabel->text(), QStringLiteral("1 S/1 S"));
            }
            window->btnLayout3Play();
        }
        EXPECT_TRUE(processEventsUntil([&] { return processGone(pid); }));
        EXPECT_EQ(state(), PlayerState::Playing);
        ASSERT_TRUE(processEventsUntil([&] { return logged("arg ").size() == 2 * 17; }));
        const QStringList arguments = logged("arg ").mid(17);
        EXPECT_EQ(arguments[5], QString::number(window->videoLabel->winId()));
        EXPECT_EQ(arguments.last(), window->cutState().selectedFile);
        EXPECT_FALSE(window->endTimeButton->isEnabled()) << "the range starts afresh";
        EXPECT_TRUE(warnings.isEmpty());
    }
}

// Not a check of its own: the recorder that the next test runs in a process of
// its own and kills while its player runs.
TEST(PreviewPlayerLife, DISABLED_RecorderToKill) {
    ensureApplication();
    player::PreviewPlayer preview;
    preview.findProgram = [] { return kStandIn; };
    preview.start(QStringLiteral("/nonexistent.avi"), 0);
    ASSERT_TRUE(preview.process() && preview.process()->waitForStarted());
    std::printf("player %lld\n", static_cast<long long>(preview.process()->processId()));
    std::fflush(stdout);
    QTest::qWait(kSettleTimeoutMs * 6);  // killed long before
}

TEST(PreviewPlayerLife, ThePlayerDiesWithAKilledRecorder) {
    ensureApplication();
    qunsetenv("STANDIN_LOG");  // an earlier test's directory is gone
    QProcess parent;
    parent.start(QCoreApplication::applicationFilePath(),
                 {"--gtest_also_run_disabled_tests", "--gtest_filter=*.DISABLED_RecorderToKill"});
    QByteArray line;
    while (!line.startsWith("player ") &&
           (parent.canReadLine() || parent.waitForReadyRead(kSettleTimeoutMs))) {
        line = parent.readLine();
    }
    const pid_t playerPid = line.mid(7).trimmed().toInt();
    ASSERT_GT(playerPid, 0);
    ASSERT_EQ(::kill(playerPid, 0), 0);
    parent.kill();
    parent.waitForFinished();
    // The player is our grandchild: once it dies, init reaps it.
    EXPECT_TRUE(processEventsUntil([&] { return processGone(playerPid); }));
}

}  // namespace
