// Starts the real recorder under X (the test runs inside a private Xvfb) and
// checks from outside, with xdotool, flock and ffprobe as the observers: one
// instance per user, the boxes of a start that cannot hand over, and a
// recording that SIGTERM completes.
#include "app/single_instance.h"
#include "platform/instance_lock.h"
#include "tests/support/window_test_application.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRect>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>

#include <signal.h>
#include <functional>
#include <memory>
#include <vector>

namespace {

const QString kRecorder = QStringLiteral(TESSALY_BIN_DIR "/tessaly-recorder");
const QString kMainTitle = QStringLiteral("^Tessaly Recorder$");

// Generous bounds: a healthy run needs a fraction of them; they only keep a
// broken run from hanging.
constexpr int kStartDeadlineMs = 30000;
constexpr int kExitDeadlineMs = 15000;
constexpr int kPollMs = 100;

QStringList words(const QString& line) {
    return line.split(u' ', Qt::SkipEmptyParts);
}

// Runs the command `args` and returns its output lines.
QStringList run(QStringList args) {
    QProcess process;
    process.start(args.takeFirst(), args);
    if (!process.waitForFinished(kExitDeadlineMs))
        process.kill();
    process.waitForFinished();
    return QString::fromLocal8Bit(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

// Visible windows whose title matches `titleRegex`, of process `pid` when
// given (--all: every criterion must hold, not just one of them).
QStringList visibleWindows(const QString& titleRegex, qint64 pid = 0) {
    const QString owner = pid > 0 ? QStringLiteral("--pid %1").arg(pid) : QString();
    return run(words("xdotool search --all --onlyvisible --name " + owner) << titleRegex);
}

bool waitUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > kStartDeadlineMs)
            return false;
        QThread::msleep(kPollMs);
    }
    return true;
}

// Polls until exactly one such window of `process` is visible; its id or "".
QString waitForWindow(const QProcess& process, const QString& titleRegex) {
    QStringList found;
    waitUntil(
        [&] { return (found = visibleWindows(titleRegex, process.processId())).size() == 1; });
    return found.size() == 1 ? found.first() : QString();
}

// The window's place and size, from xdotool's X=, Y=, WIDTH= and HEIGHT= lines.
QRect windowRect(const QString& window) {
    const QStringList lines = run(words("xdotool getwindowgeometry --shell " + window));
    const auto value = [&](int line) { return lines.value(line).section(u'=', 1).toInt(); };
    return {value(1), value(2), value(3), value(4)};  // after WINDOW=
}

// The exit code of an ended process, -1 while it runs or after a crash.
int exitCodeOf(const QProcess& p) {
    const bool ended = p.state() == QProcess::NotRunning && p.exitStatus() == QProcess::NormalExit;
    return ended ? p.exitCode() : -1;
}

// Closes the message box `box` with Return (OK is its default button) and
// returns the process's exit code, -1 when it did not end. A key sent while
// the box is still being mapped can be lost, so it is sent again.
int closeBoxAndWait(const QString& box, QProcess& process) {
    constexpr int kAttempts = 10;
    for (int i = 0; i < kAttempts && process.state() == QProcess::Running; ++i) {
        run(words("xdotool windowfocus --sync " + box));
        run(words("xdotool key --window " + box + " Return"));
        process.waitForFinished(kExitDeadlineMs / kAttempts);
    }
    // A box that goes on the key press leaves the key down for the server,
    // which would repeat it into the next window to take the focus.
    run(words("xdotool keyup Return"));
    return exitCodeOf(process);
}

class RecorderStartTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ensureApplication();
        ASSERT_TRUE(QFileInfo(kRecorder).isExecutable()) << kRecorder.toStdString();
        ASSERT_TRUE(home_.isValid() && runtime_.isValid());  // made with mode 0700
        // A name of our own (the runtime directory's is unique): never the
        // real recorder's lock, nor another test's when ctest runs several.
        instanceName_ = QStringLiteral("Global\\") + QFileInfo(runtime_.path()).fileName();
        lockPath_ = runtime_.filePath(instanceFileStem(instanceName_) + QStringLiteral(".lock"));
    }

    // Processes first (QProcess kills what still runs), then their files.
    void TearDown() override { processes_.clear(); }

    // `command` in the test's home and runtime directory.
    QProcess& start(QStringList command = QStringList{kRecorder}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home_.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home_.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
        env.insert(QStringLiteral("TESSALY_INSTANCE_NAME"), instanceName_);
        env.insert(QStringLiteral("LOCK"), lockPath_);  // for the shell commands of the tests
        env.insert(QStringLiteral("SOCKET"), QString(lockPath_).replace(".lock", ".socket"));
        auto& process = processes_.emplace_back(std::make_unique<QProcess>());
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(command.takeFirst(), command);
        process->waitForStarted(kStartDeadlineMs);
        return *process;
    }

    QTemporaryDir home_, runtime_;
    QString instanceName_, lockPath_;
    std::vector<std::unique_ptr<QProcess>> processes_;
};

// Of two starts at once exactly one builds a window; the other hands over
// and ends with 0, as does a later start, which also brings back the window
// hidden behind the first one's back (as while recording). Once the first
// one is killed (no clean-up of its own: the kernel drops the lock) the next
// start builds its own window, on a desktop of two monitors centred on the
// primary one, which is what is recorded. SIGTERM (a logout) goes through the
// window's own close and completes the file: ffprobe finds as many frames as
// its header promises, at the primary monitor's size.
TEST_F(RecorderStartTest, OneInstanceAtATimeAndSigtermCompletesItsRecording) {
    // '*' makes the right one the primary monitor; they stay for the rest of
    // this program's Xvfb.
    run(words("sh -c") << "xrandr --setmonitor LEFT 720/190x1080/290+0+0 none && "
                          "xrandr --setmonitor *RIGHT 1200/320x1080/290+720+0 none");
    QProcess& a = start();
    QProcess& b = start();
    // waitForFinished() also brings a process's state up to date.
    waitUntil([&] {
        return a.waitForFinished(kPollMs) || b.waitForFinished(kPollMs) ||
               a.state() == QProcess::NotRunning || b.state() == QProcess::NotRunning;
    });
    QProcess& first = a.state() == QProcess::Running ? a : b;
    QProcess& ended = &first == &a ? b : a;
    ASSERT_EQ(ended.state(), QProcess::NotRunning) << "one of them hands over and ends";
    EXPECT_EQ(exitCodeOf(ended), 0);
    const QString window = waitForWindow(first, kMainTitle);
    ASSERT_FALSE(window.isEmpty()) << "the first start shows its window";

    run(words("xdotool windowunmap --sync " + window));
    ASSERT_TRUE(visibleWindows(kMainTitle).isEmpty());
    QProcess& later = start();
    later.waitForFinished(kExitDeadlineMs);
    EXPECT_EQ(exitCodeOf(later), 0);
    EXPECT_TRUE(waitUntil([&] { return visibleWindows(kMainTitle) == QStringList{window}; }))
        << "the same window shown again, and no second one";

    first.kill();
    ASSERT_TRUE(first.waitForFinished(kExitDeadlineMs));
    QProcess& recorder = start();
    const QString own = waitForWindow(recorder, kMainTitle);
    ASSERT_FALSE(own.isEmpty());
    const QRect area = windowRect(own);
    EXPECT_EQ(area.x(), 720 + (1200 - area.width()) / 2);
    EXPECT_EQ(area.y(), (1080 - area.height()) / 2);
    // The home page's Record task, then the record page's Record button.
    for (const QPoint spot : {QPoint(500, 195), QPoint(900, 535)}) {
        const QPoint at = area.topLeft() + spot;
        run(words(QStringLiteral("xdotool mousemove %1 %2 click 1").arg(at.x()).arg(at.y())));
        QThread::msleep(500);
    }
    const QDir saved(home_.filePath(QStringLiteral("TessalySave")));
    waitUntil([&] { return !saved.entryList(QDir::Files).isEmpty(); });
    ASSERT_EQ(saved.entryList(QDir::Files).size(), 1) << "the clicks did not start a recording";
    QThread::msleep(2000);  // about ten frames

    ::kill(static_cast<pid_t>(recorder.processId()), SIGTERM);
    ASSERT_TRUE(recorder.waitForFinished(kExitDeadlineMs));
    EXPECT_EQ(exitCodeOf(recorder), 0);
    const QStringList fields =
        run(words("ffprobe -v error -count_packets -select_streams v:0 -of csv=p=0 -show_entries "
                  "stream=width,height,nb_frames,nb_read_packets " +
                  saved.filePath(saved.entryList(QDir::Files).first())))
            .value(0)
            .split(u',');
    EXPECT_EQ(fields.mid(0, 2), words("1200 1080")) << "the primary monitor's size";
    EXPECT_GE(fields.value(3).toInt(), 5);
    EXPECT_EQ(fields.value(2), fields.value(3)) << "header and file agree";
}

// A lock holder that does not answer (an instance still starting, another
// program of the same name), listening or not, gets the "Register" box and
// exit 0 rather than a hang; a lock that cannot be taken at all (here: a
// runtime directory anybody may write to) gets a box saying why and exit 1.
// Each set-up is a shell command that prints "ready" when done.
TEST_F(RecorderStartTest, AStartThatCannotHandOverSaysSoInABox) {
    const QString holdLock =
        "exec flock -n --no-fork $LOCK perl -MIO::Socket::UNIX -e '%1 "
        "$| = 1; print qq(ready\\n); sleep 60'";
    const struct {
        QString setUp;
        const char* title;
        int exitCode;
    } cases[] = {
        {holdLock.arg(""), "^Register$", 0},
        {holdLock.arg("my $s = IO::Socket::UNIX->new(Local => $ENV{SOCKET}, Listen => 1) or die;"),
         "^Register$", 0},
        {"chmod 777 $XDG_RUNTIME_DIR; echo ready", "^Cannot start$", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setUp.toStdString());
        ASSERT_TRUE(start(words("sh -c") << "rm -f $LOCK $SOCKET; " + c.setUp)
                        .waitForReadyRead(kExitDeadlineMs));
        QProcess& later = start();
        const QString box = waitForWindow(later, QLatin1String(c.title));
        ASSERT_FALSE(box.isEmpty()) << "the box appears";
        EXPECT_TRUE(visibleWindows(kMainTitle, later.processId()).isEmpty()) << "no main window";
        EXPECT_EQ(closeBoxAndWait(box, later), c.exitCode);
        processes_.clear();
    }
}

// A minimised window comes back too: Xvfb has no window manager to minimise
// the real one, so this is done in this process.
TEST(BringWindowToFront, MinimisedWindowComesBackNormal) {
    ensureApplication();
    QWidget window;
    window.resize(200, 100);
    window.showMinimized();
    ASSERT_TRUE(window.isMinimized());
    bringWindowToFront(&window);
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());
}

}  // namespace
