#include "app/single_instance.h"

#include "platform/instance_lock.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cerrno>
#include <cstring>

namespace {

const char kDefaultInstanceName[] = "Global\\Tessaly_Screen_Recorder_2016_For_Windows";
const char kInstanceNameVariable[] = "TESSALY_INSTANCE_NAME";

// The whole hand-over protocol: one request line, one answer line.
const QByteArray kShowRequest = QByteArrayLiteral("show\n");
const QByteArray kShownAnswer = QByteArrayLiteral("ok\n");
// Longer lines are not ours; the connection is dropped.
constexpr qint64 kMaxRequestLength = 64;

// Two starts a moment apart: the first may hold the lock but not yet listen.
// Listening follows the lock within milliseconds, so a few short retries
// cover that gap without making the "nobody answers" case feel slow.
constexpr int kConnectAttempts = 5;
constexpr int kConnectRetryDelayMs = 100;
constexpr int kConnectTimeoutMs = 500;
// The first instance answers from its event loop; two seconds is plenty for
// a responsive program and short enough for a user waiting on a second start.
constexpr int kAnswerTimeoutMs = 2000;
// A client that connects and says nothing is dropped after this long.
constexpr int kIdleClientTimeoutMs = 5000;

// Statuses of askRunningInstanceToShow.
constexpr int kNobodyListens = 1;
constexpr int kNoAnswer = 2;

const char kRegisterTitle[] = "Register";
const char kRegisterText[] = "Tessaly File Recovery is running.";
const char kRegisterStyle[] = "background-color:white";

const char kLockProblemTitle[] = "Cannot start";

QString describeError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString runtimeDirectoryProblem(const RuntimeDirectory& directory) {
    QString why;
    switch (directory.error) {
        case ENOTDIR:
            why = QStringLiteral("it is not a directory");
            break;
        case EPERM:
            why = QStringLiteral("it belongs to another user");
            break;
        case EACCES:
            why = QStringLiteral("other users may change it");
            break;
        default:
            why = describeError(directory.error);
            break;
    }
    return QStringLiteral(
               "The recorder keeps its single-instance lock in %1, "
               "and cannot use that directory: %2.")
        .arg(directory.path, why);
}

QString lockProblem(const QString& lockFile, int error) {
    const QString why = error == EINVAL ? QStringLiteral("something other than a file is there")
                                        : describeError(error);
    return QStringLiteral("The recorder cannot take its single-instance lock %1: %2.")
        .arg(lockFile, why);
}

bool connectWithRetries(QLocalSocket& socket, const QString& path) {
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        if (attempt > 0) {
            QThread::msleep(kConnectRetryDelayMs);
        }
        socket.connectToServer(path);
        if (socket.waitForConnected(kConnectTimeoutMs)) {
            return true;
        }
        socket.abort();
    }
    return false;
}

bool waitForAnswer(QLocalSocket& socket) {
    const QDeadlineTimer deadline(kAnswerTimeoutMs);
    while (!socket.canReadLine()) {
        if (socket.bytesAvailable() > kMaxRequestLength ||
            !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            return false;
        }
    }
    return socket.readLine(kMaxRequestLength + 1) == kShownAnswer;
}

}  // namespace

QString instanceName() {
    const QString fromEnvironment = qEnvironmentVariable(kInstanceNameVariable);
    return fromEnvironment.isEmpty() ? QString::fromLatin1(kDefaultInstanceName) : fromEnvironment;
}

InstancePaths instancePaths() {
    InstancePaths paths;
    paths.directory = userRuntimeDirectory();
    const QString stem = paths.directory.path + QLatin1Char('/') + instanceFileStem(instanceName());
    paths.lockFile = stem + QStringLiteral(".lock");
    paths.socket = stem + QStringLiteral(".socket");
    return paths;
}

InstanceCheck checkSingleInstance() {
    const InstancePaths paths = instancePaths();
    InstanceCheck check;
    check.socket = paths.socket;
    if (paths.directory.error != 0) {
        check.problem = runtimeDirectoryProblem(paths.directory);
        return check;
    }
    auto lock = std::make_unique<InstanceLock>(paths.lockFile);
    switch (lock->state()) {
        case InstanceLock::State::Owned: {
            // Held until the process ends; the kernel releases it then,
            // however the process ends.
            static std::unique_ptr<InstanceLock> held;
            held = std::move(lock);
            check.role = InstanceRole::First;
            break;
        }
        case InstanceLock::State::HeldByAnother:
            check.role = InstanceRole::Later;
            break;
        case InstanceLock::State::Unavailable:
            check.problem = lockProblem(paths.lockFile, lock->error());
            break;
    }
    return check;
}

void runMessageBox(QMessageBox& box) {
    box.exec();
}

int finishLaterStart(const InstanceCheck& check, const MessageBoxRunner& showBox) {
    if (check.role == InstanceRole::LockUnavailable) {
        showBox(*makeLockProblemMessageBox(check.problem));
        return kLockUnavailableExitCode;
    }
    if (askRunningInstanceToShow(check.socket) != 0) {
        showBox(*makeAlreadyRunningMessageBox());
    }
    return 0;
}

InstanceServer::InstanceServer(QObject* parent) : QObject(parent) {}

InstanceServer::~InstanceServer() = default;

bool InstanceServer::listen(const QString& path) {
    delete server_;
    server_ = new QLocalServer(this);
    // Only the same user may ask this window to show itself.
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(path);
    if (!server_->listen(path)) {
        return false;
    }
    connect(server_, &QLocalServer::newConnection, this, &InstanceServer::acceptConnections);
    return true;
}

void InstanceServer::acceptConnections() {
    while (QLocalSocket* client = server_->nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QLocalSocket::readyRead, this, [this, client] { readRequest(client); });
        QTimer::singleShot(kIdleClientTimeoutMs, client, [client] { client->abort(); });
        if (client->bytesAvailable() > 0) {
            readRequest(client);
        }
    }
}

void InstanceServer::readRequest(QLocalSocket* client) {
    if (!client->canReadLine()) {
        if (client->bytesAvailable() > kMaxRequestLength) {
            client->abort();
        }
        return;
    }
    if (client->readLine(kMaxRequestLength + 1) != kShowRequest) {
        client->abort();
        return;
    }
    emit showRequested();
    client->write(kShownAnswer);
    client->flush();
    client->disconnectFromServer();
}

int askRunningInstanceToShow(const QString& path) {
    QLocalSocket socket;
    if (!connectWithRetries(socket, path)) {
        return kNobodyListens;
    }
    socket.write(kShowRequest);
    if (!socket.waitForBytesWritten(kAnswerTimeoutMs) || !waitForAnswer(socket)) {
        return kNoAnswer;
    }
    return 0;
}

void bringWindowToFront(QWidget* window) {
    // A window unmapped from outside still counts as visible for Qt; hiding
    // it first makes the show below map it again.
    const QWindow* handle = window->windowHandle();
    if (window->isVisible() && handle != nullptr && !handle->isExposed() &&
        !window->isMinimized()) {
        window->hide();
    }
    window->showNormal();
    window->raise();
    window->activateWindow();
}

std::unique_ptr<QMessageBox> makeLockProblemMessageBox(const QString& problem) {
    return std::make_unique<QMessageBox>(
        QMessageBox::Critical, QString::fromLatin1(kLockProblemTitle), problem, QMessageBox::Ok);
}

std::unique_ptr<QMessageBox> makeAlreadyRunningMessageBox() {
    auto box =
        std::make_unique<QMessageBox>(QMessageBox::Information, QString::fromLatin1(kRegisterTitle),
                                      QString::fromLatin1(kRegisterText), QMessageBox::Ok);
    box->setStyleSheet(QString::fromLatin1(kRegisterStyle));
    return box;
}
