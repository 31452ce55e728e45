// Starts the real recorder under X (the test runs inside a private Xvfb) and
// checks the single-instance behaviour from outside, with xdotool and
// xwininfo as the observers.
#include "platform/instance_lock.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

namespace {

const QString kRecorder = QStringLiteral(TESSALY_BIN_DIR "/tessaly-recorder");
const QString kMainTitle = QStringLiteral("^Tessaly Recorder$");
const QString kRegisterTitle = QStringLiteral("^Register$");

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

// Visible windows of process `pid` whose title matches `titleRegex` (--all:
// every criterion must hold, not just one of them).
QStringList visibleWindows(qint64 pid, const QString& titleRegex) {
    return runTool(
        QStringLiteral("xdotool"),
        {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
         QStringLiteral("--pid"), QString::number(pid), QStringLiteral("--name"), titleRegex});
}

QStringList allVisibleWindows(const QString& titleRegex) {
    return runTool(QStringLiteral("xdotool"),
                   {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                    QStringLiteral("--name"), titleRegex});
}

// Polls until exactly one such window is visible; returns its id or "".
QString waitForWindow(qint64 pid, const QString& titleRegex) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kStartDeadlineMs) {
        const QStringList windows = visibleWindows(pid, titleRegex);
        if (windows.size() == 1) {
            return windows.first();
        }
        QThread::msleep(kPollMs);
    }
    return {};
}

bool isViewable(const QString& window) {
    const QStringList lines = runTool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
    return lines.filter(QStringLiteral("Map State: IsViewable")).size() == 1;
}

bool waitUntilViewable(const QString& window) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kStartDeadlineMs) {
        if (isViewable(window)) {
            return true;
        }
        QThread::msleep(kPollMs);
    }
    return false;
}

class RecorderStartTest : public ::testing::Test {
  protected:
    void SetUp() override {
        application();
        ASSERT_TRUE(QFileInfo(kRecorder).isExecutable()) << kRecorder.toStdString();
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "runs under Xvfb";
        ASSERT_TRUE(home_.isValid());
        // A name of our own: never the real recorder's lock, nor another
        // test's when ctest runs several at once.
        static int serial = 0;
        instanceName_ = QStringLiteral("Global\\tessaly_start_test_%1_%2")
                            .arg(QCoreApplication::applicationPid())
                            .arg(++serial);
        lockPath_ = instanceLockFilePath(instanceName_);
        socketPath_ = lockPath_.chopped(5) + QStringLiteral(".socket");
    }

    void TearDown() override {
        // Processes first (QProcess kills what still runs), then their files.
        processes_.clear();
        QFile::remove(lockPath_);
        QFile::remove(socketPath_);
    }

    QProcess& startRecorder() {
        auto& process = processes_.emplace_back(std::make_unique<QProcess>());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TESSALY_INSTANCE_NAME"), instanceName_);
        env.insert(QStringLiteral("HOME"), home_.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home_.filePath(QStringLiteral("config")));
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(kRecorder, {});
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
    QString instanceName_;
    QString lockPath_;
    QString socketPath_;
    std::vector<std::unique_ptr<QProcess>> processes_;
};

TEST_F(RecorderStartTest, LaterStartShowsTheFirstWindowAndEndsWithZero) {
    QProcess& first = startRecorder();
    const QString window = waitForWindow(first.processId(), kMainTitle);
    ASSERT_FALSE(window.isEmpty()) << "the first start shows its window";

    EXPECT_EQ(runLaterStart(), 0);
    EXPECT_EQ(allVisibleWindows(kMainTitle), QStringList{window}) << "no second window";
    EXPECT_TRUE(isViewable(window));
    EXPECT_EQ(first.state(), QProcess::Running);

    // Hidden behind the first instance's back (as when it records with its
    // window hidden): the later start brings it back.
    runTool(QStringLiteral("xdotool"),
            {QStringLiteral("windowunmap"), QStringLiteral("--sync"), window});
    ASSERT_FALSE(isViewable(window));
    EXPECT_EQ(runLaterStart(), 0);
    EXPECT_TRUE(waitUntilViewable(window));
    EXPECT_EQ(allVisibleWindows(kMainTitle), QStringList{window});
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
    EXPECT_EQ(allVisibleWindows(kMainTitle), QStringList{window});
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
    EXPECT_TRUE(visibleWindows(later.processId(), kMainTitle).isEmpty()) << "no main window";
    EXPECT_EQ(later.state(), QProcess::Running) << "the box waits for the user";

    // OK is the default button: Return closes the box.
    runTool(QStringLiteral("xdotool"),
            {QStringLiteral("windowfocus"), QStringLiteral("--sync"), box});
    runTool(QStringLiteral("xdotool"),
            {QStringLiteral("key"), QStringLiteral("--window"), box, QStringLiteral("Return")});
    ASSERT_TRUE(later.waitForFinished(kExitDeadlineMs));
    EXPECT_EQ(later.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(later.exitCode(), 0);
    holder.kill();
    holder.waitForFinished();
}

TEST_F(RecorderStartTest, PlantedSymlinkAtTheLockPathIsLeftAloneAndTheRecorderStarts) {
    const QString victim = home_.filePath(QStringLiteral("victim"));
    {
        QFile file(victim);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("precious");
    }
    ASSERT_TRUE(QFile::link(victim, lockPath_));

    QProcess& first = startRecorder();
    EXPECT_FALSE(waitForWindow(first.processId(), kMainTitle).isEmpty());
    // The link's target is neither locked nor changed, and the link stays.
    EXPECT_EQ(QProcess::execute(QStringLiteral("flock"),
                                {QStringLiteral("--nonblock"), victim, QStringLiteral("true")}),
              0);
    QFile file(victim);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("precious"));
    EXPECT_TRUE(QFileInfo(lockPath_).isSymLink());
}

}  // namespace
