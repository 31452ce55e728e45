// The hand-over between a later start and the running instance, in one
// process: the failure cases of the local-socket protocol, what a start makes
// of the lock, and bringing a minimised window back. The hand-over that
// works, the boxes a later start shows and its exit codes, and a crashed
// instance's leftovers are the real program's test (recorder_start_test);
// what may stand at the lock's path is the lock's own test.
#include "app/single_instance.h"
#include "tests/support/scoped_env.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QWidget>

#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <functional>
#include <thread>

namespace {

// Generous: only a broken hand-over ever waits this long.
constexpr int kDeadlineMs = 15000;

QApplication& application() {
    static int argc = 1;
    static char name[] = "single_instance_test";
    static char* argv[] = {name, nullptr};
    // Never destroyed: it lives as long as the test process.
    static auto* app = new QApplication(argc, argv);
    return *app;
}

// Runs `work` on its own thread while this thread's event loop serves the
// server side; returns once the work is done.
void runBesideEventLoop(const std::function<void()>& work) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    QElapsedTimer clock;
    clock.start();
    while (!done && clock.elapsed() < kDeadlineMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    worker.join();
}

class HandOverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        application();
        ASSERT_TRUE(dir_.isValid());
    }
    QString socketPath() const { return dir_.filePath(QStringLiteral("instance.socket")); }
    QTemporaryDir dir_;
};

TEST_F(HandOverTest, ListenerThatNeverAnswersIsAFailure) {
    QLocalServer silent;
    ASSERT_TRUE(silent.listen(socketPath()));
    int status = 0;
    runBesideEventLoop([&] { status = askRunningInstanceToShow(socketPath()); });
    EXPECT_NE(status, 0);
}

TEST_F(HandOverTest, OtherRequestsAreDroppedUnanswered) {
    InstanceServer server;
    ASSERT_TRUE(server.listen(socketPath()));
    int shown = 0;
    QObject::connect(&server, &InstanceServer::showRequested, [&] { ++shown; });

    for (const QByteArray& request :
         {QByteArray("hide\n"), QByteArray("showshowshow\n"), QByteArray(200, 's')}) {
        QByteArray answer = "<not run>";
        runBesideEventLoop([&] {
            QLocalSocket client;
            client.connectToServer(socketPath());
            if (!client.waitForConnected(kDeadlineMs)) {
                answer = "<no connection>";
                return;
            }
            client.write(request);
            client.waitForBytesWritten(kDeadlineMs);
            // The server closes the connection without a word.
            client.waitForDisconnected(kDeadlineMs);
            answer = client.readAll();
        });
        EXPECT_EQ(answer, QByteArray()) << request.toStdString();
    }
    EXPECT_EQ(shown, 0);
}

TEST_F(HandOverTest, OnlyTheSameUserMayConnect) {
    InstanceServer server;
    ASSERT_TRUE(server.listen(socketPath()));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(socketPath()).constData(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 077, 0u);
}

// A start whose runtime directory others may change takes no lock and says
// why; a start that finds the lock free or held is the real program's test.
TEST(CheckSingleInstance, ARuntimeDirectoryOthersMayChangeIsNoPlaceForTheLock) {
    application();
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    ASSERT_EQ(::chmod(QFile::encodeName(runtime.path()).constData(), 0777), 0);
    const ScopedEnv runtimeDir("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()).constData());
    const ScopedEnv name("TESSALY_INSTANCE_NAME", "Global\\check_test");
    const InstanceCheck check = checkSingleInstance();
    EXPECT_EQ(check.role, InstanceRole::LockUnavailable);
    EXPECT_EQ(check.socket, runtime.filePath(QStringLiteral("check_test.socket")));
    EXPECT_TRUE(check.problem.contains(QLatin1String("other users may change it")))
        << check.problem.toStdString();
}

// The real program's test brings back a hidden window; this one a minimised one.
TEST(BringWindowToFront, MinimisedWindowComesBackNormal) {
    application();
    QWidget window;
    window.resize(200, 100);
    window.showMinimized();
    ASSERT_TRUE(window.isMinimized());
    bringWindowToFront(&window);
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());
}

}  // namespace
