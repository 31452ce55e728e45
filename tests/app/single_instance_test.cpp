// The hand-over between a later start and the running instance, in one
// process: the local-socket protocol, its failure cases, the message box and
// bringing the window back.
#include "app/single_instance.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QWidget>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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

TEST_F(HandOverTest, ShowRequestIsSignalledThenAcknowledged) {
    InstanceServer server;
    ASSERT_TRUE(server.listen(socketPath()));
    int shown = 0;
    QObject::connect(&server, &InstanceServer::showRequested, [&] { ++shown; });

    int status = -1;
    runBesideEventLoop([&] { status = askRunningInstanceToShow(socketPath()); });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(shown, 1);

    runBesideEventLoop([&] { status = askRunningInstanceToShow(socketPath()); });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(shown, 2);
}

TEST_F(HandOverTest, NobodyListeningIsAFailure) {
    EXPECT_NE(askRunningInstanceToShow(socketPath()), 0);
}

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

TEST_F(HandOverTest, StaleSocketOfACrashedInstanceIsReplaced) {
    // A bound socket whose owner is gone, as a crash leaves it behind.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(socketPath());
    ASSERT_LT(static_cast<size_t>(path.size()), sizeof(address.sun_path));
    std::copy(path.begin(), path.end(), address.sun_path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
    ASSERT_TRUE(QFileInfo::exists(socketPath()));

    InstanceServer server;
    ASSERT_TRUE(server.listen(socketPath()));
    int status = -1;
    runBesideEventLoop([&] { status = askRunningInstanceToShow(socketPath()); });
    EXPECT_EQ(status, 0);
}

TEST_F(HandOverTest, OnlyTheSameUserMayConnect) {
    InstanceServer server;
    ASSERT_TRUE(server.listen(socketPath()));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(socketPath()).constData(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 077, 0u);
}

TEST(InstanceNaming, EnvironmentChoosesTheNameOfLockAndSocket) {
    const QByteArray saved = qgetenv("TESSALY_INSTANCE_NAME");
    qunsetenv("TESSALY_INSTANCE_NAME");
    EXPECT_EQ(instanceName(), QStringLiteral("Global\\Tessaly_Screen_Recorder_2016_For_Windows"));
    EXPECT_EQ(
        instanceServerPath(),
        QDir::tempPath() + QStringLiteral("/Tessaly_Screen_Recorder_2016_For_Windows.socket"));
    qputenv("TESSALY_INSTANCE_NAME", "Local\\private test");
    EXPECT_EQ(instanceName(), QStringLiteral("Local\\private test"));
    EXPECT_EQ(instanceServerPath(), QDir::tempPath() + QStringLiteral("/private_test.socket"));
    if (saved.isEmpty()) {
        qunsetenv("TESSALY_INSTANCE_NAME");
    } else {
        qputenv("TESSALY_INSTANCE_NAME", saved);
    }
}

TEST(AlreadyRunningMessageBox, InformationBoxTitledRegisterWithOneOkButton) {
    application();
    const auto box = makeAlreadyRunningMessageBox();
    EXPECT_EQ(box->icon(), QMessageBox::Information);
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Register"));
    EXPECT_EQ(box->text(), QStringLiteral("Tessaly File Recovery is running."));
    EXPECT_EQ(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->parentWidget(), nullptr);
    EXPECT_EQ(box->styleSheet(), QStringLiteral("background-color:white"));
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
