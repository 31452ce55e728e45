// The hand-over between a later start and the running instance, in one
// process: the failure cases of the local-socket protocol, what a start makes
// of the lock, and bringing the window back. The hand-over that works, a
// crashed instance's leftovers and the boxes on screen are the real
// program's test (recorder_start_test); what may stand at the lock's path is
// the lock's own test.
#include "app/single_instance.h"
#include "tests/platform/scoped_env.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
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

// What a start finds at the lock, and what it must make of it.
struct StartCase {
    const char* description;
    // Prepares the runtime directory; returns false when that failed.
    std::function<bool(const QString& runtimeDir, const QString& lockFile)> prepare;
    InstanceRole role;
    const char* problemMentions;  // part of the problem text, or nullptr
};

TEST(CheckSingleInstance, TakesTheLockOrSaysWhyItCannot) {
    application();
    const std::vector<StartCase> cases{
        {"nothing there yet: the first instance",
         [](const QString&, const QString&) { return true; }, InstanceRole::First, nullptr},
        {"a runtime directory others may change",
         [](const QString& dir, const QString&) {
             return ::chmod(QFile::encodeName(dir).constData(), 0777) == 0;
         },
         InstanceRole::LockUnavailable, "other users may change it"},
    };
    int serial = 0;
    for (const StartCase& c : cases) {
        SCOPED_TRACE(c.description);
        QTemporaryDir runtime;
        ASSERT_TRUE(runtime.isValid());
        // The environment names the instance and where its lock and socket go.
        const QByteArray stem = "check_test_" + QByteArray::number(++serial);
        const ScopedEnv runtimeDir("XDG_RUNTIME_DIR",
                                   QFile::encodeName(runtime.path()).constData());
        const ScopedEnv name("TESSALY_INSTANCE_NAME", ("Global\\" + stem).constData());
        ASSERT_TRUE(c.prepare(runtime.path(), instancePaths().lockFile));
        const InstanceCheck check = checkSingleInstance();
        EXPECT_EQ(check.role, c.role);
        EXPECT_EQ(check.socket, runtime.filePath(QString::fromLatin1(stem + ".socket")));
        if (c.problemMentions != nullptr) {
            EXPECT_TRUE(check.problem.contains(QLatin1String(c.problemMentions)))
                << check.problem.toStdString();
        }
        if (c.role == InstanceRole::First) {
            // Held for the life of the process: the next start is a later one.
            EXPECT_EQ(checkSingleInstance().role, InstanceRole::Later);
        }
    }
}

TEST_F(HandOverTest, LaterStartEndsAfterTheHandOverOrAfterSayingWhy) {
    InstanceServer server;
    const QString listening = dir_.filePath(QStringLiteral("listening.socket"));
    ASSERT_TRUE(server.listen(listening));
    struct Case {
        const char* description;
        InstanceCheck check;
        int exitCode;
        const char* boxTitle;  // nullptr: no box
    };
    const std::vector<Case> cases{
        {"the running instance answers", {InstanceRole::Later, listening, {}}, 0, nullptr},
        {"nobody answers", {InstanceRole::Later, socketPath(), {}}, 0, "Register"},
        {"the lock cannot be taken",
         {InstanceRole::LockUnavailable, listening, QStringLiteral("the reason")},
         kLockUnavailableExitCode,
         "Cannot start"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        QStringList boxes;
        int exitCode = -1;
        runBesideEventLoop([&] {
            exitCode = finishLaterStart(c.check, [&](QMessageBox& box) {
                boxes << box.windowTitle() + QLatin1Char('|') + box.text();
            });
        });
        EXPECT_EQ(exitCode, c.exitCode);
        if (c.boxTitle == nullptr) {
            EXPECT_TRUE(boxes.isEmpty());
        } else {
            ASSERT_EQ(boxes.size(), 1);
            EXPECT_TRUE(boxes.front().startsWith(QLatin1String(c.boxTitle) + QLatin1Char('|')));
            EXPECT_TRUE(c.check.problem.isEmpty() || boxes.front().endsWith(c.check.problem));
        }
    }
}

TEST(BringWindowToFront, HiddenOrMinimisedWindowComesBackNormal) {
    application();
    QWidget window;
    window.resize(200, 100);
    window.show();
    window.hide();
    bringWindowToFront(&window);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowState(), Qt::WindowNoState);

    window.showMinimized();
    ASSERT_TRUE(window.isMinimized());
    bringWindowToFront(&window);
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());
}

}  // namespace
