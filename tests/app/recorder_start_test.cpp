// Starts the real recorder under X (the test runs inside a private Xvfb) and
// checks the single-instance behaviour from outside, with xdotool and
// xwininfo as the observers.
#include "platform/instance_lock.h"
#include "platform/x11_screen_source.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <functional>
#include <utility>
#include <vector>

namespace {

const QString kRecorder = QStringLiteral(TESSALY_BIN_DIR "/tessaly-recorder");
const QString kMainTitle = QStringLiteral("^Tessaly Recorder$");
const QString kRegisterTitle = QStringLiteral("^Register$");
const QString kLockProblemTitle = QStringLiteral("^Cannot start$");

// Generous bounds: a healthy run needs a fraction of them; they only keep a
// broken run from hanging.
constexpr int kStartDeadlineMs = 30000;
constexpr int kExitDeadlineMs = 15000;
constexpr int kPollMs = 100;

QCoreApplication& application() {
    static int argc = 1;
    static char name[] = "recorder_start_test";
    static char* argv[] = {name, nullptr};
    static auto* app = new QCoreApplication(argc, argv);
    return *app;
}

QStringList runTool(const QString& tool, const QStringList& args) {
    QProcess process;
    process.start(tool, args);
    if (!process.waitForFinished(kExitDeadlineMs)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

// Visible windows whose title matches `titleRegex`, of process `pid` when
// given (--all: every criterion must hold, not just one of them).
QStringList visibleWindows(const QString& titleRegex, qint64 pid = 0) {
    QStringList args{QStringLiteral("search"), QStringLiteral("--all"),
                     QStringLiteral("--onlyvisible")};
    if (pid > 0)
        args << QStringLiteral("--pid") << QString::number(pid);
    // The pattern comes last; --name says what it is matched against.
    return runTool(QStringLiteral("xdotool"), args << QStringLiteral("--name") << titleRegex);
}

bool waitUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kStartDeadlineMs) {
        if (done())
            return true;
        QThread::msleep(kPollMs);
    }
    return false;
}

// Polls until exactly one such window is visible; returns its id or "".
QString waitForWindow(qint64 pid, const QString& titleRegex) {
    QStringList windows;
    return waitUntil([&] { return (windows = visibleWindows(titleRegex, pid)).size() == 1; })
               ? windows.first()
               : QString();
}

bool isViewable(const QString& window) {
    const QStringList lines = runTool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
    return lines.filter(QStringLiteral("Map State: IsViewable")).size() == 1;
}

class RecorderStartTest : public ::testing::Test {
  protected:
    void SetUp() override {
        application();
        ASSERT_TRUE(QFileInfo(kRecorder).isExecutable()) << kRecorder.toStdString();
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "runs under Xvfb";
        ASSERT_TRUE(home_.isValid());
        ASSERT_TRUE(runtime_.isValid());  // a QTemporaryDir is made with mode 0700
        // A name of our own: never the real recorder's lock, nor another
        // test's when ctest runs several at once.
        static int serial = 0;
        instanceName_ = QStringLiteral("Global\\tessaly_start_test_%1_%2")
                            .arg(QCoreApplication::applicationPid())
                            .arg(++serial);
        lockPath_ = runtime_.filePath(instanceFileStem(instanceName_) + QStringLiteral(".lock"));
    }

    // Processes first (QProcess kills what still runs), then their files.
    void TearDown() override { processes_.clear(); }

    QProcess& startRecorder() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home_.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home_.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
        return startProcess(kRecorder, {}, env);
    }

    QProcess& startProcess(const QString& program, const QStringList& args,
                           QProcessEnvironment env) {
        auto& process = processes_.emplace_back(std::make_unique<QProcess>());
        env.insert(QStringLiteral("TESSALY_INSTANCE_NAME"), instanceName_);
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(program, args);
        process->waitForStarted(kStartDeadlineMs);
        return *process;
    }

    // Runs a later start to its end; returns its exit code, -1 if it
    // crashed or had to be killed.
    int runLaterStart() {
        QProcess& later = startRecorder();
        if (!later.waitForFinished(kExitDeadlineMs)) {
            later.kill();
            later.waitForFinished();
            return -1;
        }
        return later.exitStatus() == QProcess::NormalExit ? later.exitCode() : -1;
    }

    QTemporaryDir home_;
    QTemporaryDir runtime_;
    QString instanceName_;
    QString lockPath_;
    std::vector<std::unique_ptr<QProcess>> processes_;
};

TEST_F(RecorderStartTest, LaterStartShowsTheFirstWindowAndEndsWithZero) {
    QProcess& first = startRecorder();
    const QString window = waitForWindow(first.processId(), kMainTitle);
    ASSERT_FALSE(window.isEmpty()) << "the first start shows its window";

    EXPECT_EQ(runLaterStart(), 0);
    EXPECT_EQ(visibleWindows(kMainTitle), QStringList{window}) << "no second window";
    EXPECT_TRUE(isViewable(window));
    EXPECT_EQ(first.state(), QProcess::Running);

    // Hidden behind the first instance's back (as when it records with its
    // window hidden): the later start brings it back.
    runTool(QStringLiteral("xdotool"),
            {QStringLiteral("windowunmap"), QStringLiteral("--sync"), window});
    ASSERT_FALSE(isViewable(window));
    EXPECT_EQ(runLaterStart(), 0);
    EXPECT_TRUE(waitUntil([&] { return isViewable(window); }));
    EXPECT_EQ(visibleWindows(kMainTitle), QStringList{window});
}

TEST_F(RecorderStartTest, NextStartAfterTheFirstEndedBuildsItsOwnWindow) {
    QProcess& first = startRecorder();
    ASSERT_FALSE(waitForWindow(first.processId(), kMainTitle).isEmpty());
    first.kill();  // no clean-up of its own: the kernel drops the lock
    ASSERT_TRUE(first.waitForFinished(kExitDeadlineMs));

    QProcess& next = startRecorder();
    EXPECT_FALSE(waitForWindow(next.processId(), kMainTitle).isEmpty());
    EXPECT_EQ(next.state(), QProcess::Running);
}

TEST_F(RecorderStartTest, OfTwoStartsAtOnceExactlyOneBuildsAWindow) {
    QProcess& a = startRecorder();
    QProcess& b = startRecorder();
    QElapsedTimer clock;
    clock.start();
    while (a.state() == QProcess::Running && b.state() == QProcess::Running &&
           clock.elapsed() < kStartDeadlineMs) {
        a.waitForFinished(kPollMs);
        b.waitForFinished(kPollMs);
    }
    QProcess& ended = a.state() == QProcess::Running ? b : a;
    QProcess& running = a.state() == QProcess::Running ? a : b;
    ASSERT_NE(ended.state(), QProcess::Running) << "one of them hands over and ends";
    EXPECT_EQ(ended.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(ended.exitCode(), 0);
    EXPECT_EQ(running.state(), QProcess::Running);
    const QString window = waitForWindow(running.processId(), kMainTitle);
    EXPECT_FALSE(window.isEmpty());
    EXPECT_EQ(visibleWindows(kMainTitle), QStringList{window});
}

// Closes the message box `box` of `process` with Return (OK is its default
// button) and returns the process's exit code, -1 when it did not end. A key
// sent while the box is still being mapped can be lost, so it is sent again.
int closeBoxAndWait(const QString& box, QProcess& process) {
    constexpr int kAttempts = 10;
    for (int i = 0; i < kAttempts && process.state() == QProcess::Running; ++i) {
        runTool(QStringLiteral("xdotool"),
                {QStringLiteral("windowfocus"), QStringLiteral("--sync"), box});
        runTool(QStringLiteral("xdotool"),
                {QStringLiteral("key"), QStringLiteral("--window"), box, QStringLiteral("Return")});
        process.waitForFinished(kExitDeadlineMs / kAttempts);
    }
    if (process.state() == QProcess::Running || process.exitStatus() != QProcess::NormalExit) {
        return -1;
    }
    return process.exitCode();
}

TEST_F(RecorderStartTest, RegisterBoxWhenTheLockHolderDoesNotAnswer) {
    // flock(1) holds the lock and listens nowhere, like an instance that is
    // still starting or another program using the same name.
    QProcess holder;
    holder.start(
        QStringLiteral("flock"),
        {QStringLiteral("--nonblock"), QStringLiteral("--no-fork"), lockPath_, QStringLiteral("sh"),
         QStringLiteral("-c"), QStringLiteral("echo held; exec sleep 60")});
    ASSERT_TRUE(holder.waitForReadyRead(kExitDeadlineMs));

    QProcess& later = startRecorder();
    const QString box = waitForWindow(later.processId(), kRegisterTitle);
    ASSERT_FALSE(box.isEmpty()) << "the Register message box appears";
    EXPECT_TRUE(visibleWindows(kMainTitle, later.processId()).isEmpty()) << "no main window";
    EXPECT_EQ(later.state(), QProcess::Running) << "the box waits for the user";

    EXPECT_EQ(closeBoxAndWait(box, later), 0);
    holder.kill();
    holder.waitForFinished();
}

TEST_F(RecorderStartTest, ALinkAtTheLockPathIsReportedAndNothingRuns) {
    const QString victim = home_.filePath(QStringLiteral("victim"));
    {
        QFile file(victim);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("precious");
    }
    // One plant stands for all: the lock's own test goes through every kind.
    ASSERT_TRUE(QFile::link(victim, lockPath_));
    QProcess& start = startRecorder();
    const QString box = waitForWindow(start.processId(), kLockProblemTitle);
    ASSERT_FALSE(box.isEmpty()) << "the start says the lock cannot be taken";
    EXPECT_TRUE(visibleWindows(kMainTitle, start.processId()).isEmpty()) << "no main window";
    EXPECT_EQ(closeBoxAndWait(box, start), 1);
    // The link's target was neither locked nor changed.
    EXPECT_EQ(QProcess::execute(QStringLiteral("flock"),
                                {QStringLiteral("--nonblock"), victim, QStringLiteral("true")}),
              0);
    QFile file(victim);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("precious"));
}

// Another account on the same machine: `nobody`, through setpriv, which
// becomes that user and runs the program in its own place (so the pid is the
// program's, and killing it kills the program).
class OtherUserTest : public RecorderStartTest {
  protected:
    void SetUp() override {
        RecorderStartTest::SetUp();
        const passwd* nobody = ::getpwnam("nobody");
        ASSERT_NE(nobody, nullptr);
        char pattern[] = "/tmp/tessaly-nobody-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        otherHome_ = QString::fromLocal8Bit(pattern);
        ASSERT_EQ(::chown(pattern, nobody->pw_uid, nobody->pw_gid), 0);
    }
    void TearDown() override {
        RecorderStartTest::TearDown();
        QDir(otherHome_).removeRecursively();
    }

    QProcess& startAsOtherUser(const QStringList& command) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), otherHome_);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), otherHome_ + QStringLiteral("/config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), otherHome_);
        return startProcess(
            QStringLiteral("setpriv"),
            QStringList{QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                        QStringLiteral("--clear-groups"), QStringLiteral("--")} +
                command,
            env);
    }

    QString otherHome_;
};

TEST_F(OtherUserTest, AnotherUserCanNeitherBlockNorReachARunningRecorder) {
    // The other user holds the lock of the same instance name, in its place,
    // and listens nowhere.
    const QString otherLock =
        otherHome_ + QLatin1Char('/') + instanceFileStem(instanceName_) + QStringLiteral(".lock");
    QProcess& holder =
        startAsOtherUser({QStringLiteral("flock"), QStringLiteral("--nonblock"),
                          QStringLiteral("--no-fork"), otherLock, QStringLiteral("sh"),
                          QStringLiteral("-c"), QStringLiteral("echo held; exec sleep 60")});
    ASSERT_TRUE(holder.waitForReadyRead(kExitDeadlineMs)) << "the other user holds its lock";

    QProcess& ours = startRecorder();
    const QString ourWindow = waitForWindow(ours.processId(), kMainTitle);
    ASSERT_FALSE(ourWindow.isEmpty()) << "not blocked by the other user's lock";
    // Our lock and socket are out of the other user's reach.
    QProcess& probe = startAsOtherUser(
        {QStringLiteral("flock"), QStringLiteral("--nonblock"), lockPath_, QStringLiteral("true")});
    ASSERT_TRUE(probe.waitForFinished(kExitDeadlineMs));
    EXPECT_NE(probe.exitCode(), 0);

    // With its own lock free again, the other user's start builds its own
    // window instead of handing over to ours, and ours stays as it was.
    holder.kill();
    holder.waitForFinished(kExitDeadlineMs);
    QProcess& theirs = startAsOtherUser({kRecorder});
    EXPECT_FALSE(waitForWindow(theirs.processId(), kMainTitle).isEmpty())
        << "the other user's start builds its own window";
    EXPECT_EQ(theirs.state(), QProcess::Running);
    EXPECT_EQ(ours.state(), QProcess::Running);
    EXPECT_EQ(visibleWindows(kMainTitle, ours.processId()), QStringList{ourWindow});
}

QRect windowRect(const QString& window);

// ffprobe's frame count from the file's header and the count of frames it
// really finds, for the video stream of `file`.
std::pair<QString, QString> headerAndFoundFrames(const QString& file) {
    const QStringList lines = runTool(
        QStringLiteral("ffprobe"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_packets"),
         QStringLiteral("-select_streams"), QStringLiteral("v:0"), QStringLiteral("-show_entries"),
         QStringLiteral("stream=nb_frames,nb_read_packets"), QStringLiteral("-of"),
         QStringLiteral("csv=p=0"), file});
    const QStringList fields = lines.value(0).split(u',');
    return {fields.value(0), fields.value(1)};
}

// SIGTERM (a logout) goes through the window's own close. The three
// signals are caught by one shared table: the command-line recorder's test
// sends each of them.
TEST_F(RecorderStartTest, SigtermWhileRecordingCompletesTheFile) {
    QProcess& recorder = startRecorder();
    const QString window = waitForWindow(recorder.processId(), kMainTitle);
    ASSERT_FALSE(window.isEmpty());
    const QRect area = windowRect(window);
    ASSERT_FALSE(area.isEmpty());
    // The home page's Record task, then the record page's Record button.
    for (const QPoint spot : {QPoint(500, 195), QPoint(900, 535)}) {
        const QPoint at = area.topLeft() + spot;
        runTool(QStringLiteral("xdotool"),
                {QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                 QStringLiteral("click"), QStringLiteral("1")});
        QThread::msleep(500);
    }
    const QDir saved(home_.filePath(QStringLiteral("TessalySave")));
    waitUntil([&] { return !saved.entryList(QDir::Files).isEmpty(); });
    ASSERT_EQ(saved.entryList(QDir::Files).size(), 1) << "the clicks did not start a recording";
    QThread::msleep(2000);  // about ten frames

    ::kill(static_cast<pid_t>(recorder.processId()), SIGTERM);
    ASSERT_TRUE(recorder.waitForFinished(kExitDeadlineMs));
    EXPECT_EQ(recorder.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(recorder.exitCode(), 0);
    const auto [header, found] =
        headerAndFoundFrames(saved.filePath(saved.entryList(QDir::Files).first()));
    EXPECT_GE(found.toInt(), 5);
    EXPECT_EQ(header, found);
}

// xdotool's "Position: X,Y" and "Geometry: WxH" of `window`.
QRect windowRect(const QString& window) {
    const QString text =
        runTool(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), window})
            .join(u'\n');
    const auto position = QRegularExpression(QStringLiteral("Position: (\\d+),(\\d+)")).match(text);
    const auto size = QRegularExpression(QStringLiteral("Geometry: (\\d+)x(\\d+)")).match(text);
    if (!position.hasMatch() || !size.hasMatch()) {
        return {};
    }
    return {position.captured(1).toInt(), position.captured(2).toInt(), size.captured(1).toInt(),
            size.captured(2).toInt()};
}

bool setMonitor(const QString& name, const QString& geometry) {
    return QProcess::execute(QStringLiteral("xrandr"), {QStringLiteral("--setmonitor"), name,
                                                        geometry, QStringLiteral("none")}) == 0;
}

TEST_F(RecorderStartTest, WindowIsCentredOnThePrimaryMonitorThatIsRecorded) {
    // Two monitors side by side on the 1920x1080 root window, the right one
    // primary ('*').
    ASSERT_TRUE(setMonitor(QStringLiteral("LEFT"), QStringLiteral("720/190x1080/290+0+0")));
    ASSERT_TRUE(setMonitor(QStringLiteral("*RIGHT"), QStringLiteral("1200/320x1080/290+720+0")));
    const auto removeMonitors = qScopeGuard([] {
        for (const QString& name : {QStringLiteral("LEFT"), QStringLiteral("RIGHT")}) {
            QProcess::execute(QStringLiteral("xrandr"), {QStringLiteral("--delmonitor"), name});
        }
    });
    X11ScreenSource screen;
    ScreenArea recorded;
    ASSERT_EQ(screen.probePrimaryArea(recorded), kScreenOk);
    EXPECT_EQ(recorded, (ScreenArea{720, 0, 1200, 1080}));

    QProcess& first = startRecorder();
    const QString window = waitForWindow(first.processId(), kMainTitle);
    ASSERT_FALSE(window.isEmpty());
    const QRect placed = windowRect(window);
    ASSERT_FALSE(placed.isEmpty());
    EXPECT_EQ(placed.x(), recorded.x + (recorded.width - placed.width()) / 2);
    EXPECT_EQ(placed.y(), recorded.y + (recorded.height - placed.height()) / 2);
}

}  // namespace
