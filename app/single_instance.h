// One running recorder per user. The first start takes the instance lock and
// listens on a local socket; a later start finds the lock taken, asks the
// first one over that socket to show its window, and ends. Both live in the
// user's runtime directory, out of every other user's reach.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

#include "platform/instance_lock.h"

class QLocalServer;
class QLocalSocket;
class QMessageBox;
class QWidget;

// The instance-lock name, "Global\Tessaly_Screen_Recorder_2016_For_Windows",
// unless the environment variable TESSALY_INSTANCE_NAME names another one
// (tests use that to stay apart from a real running recorder and from each
// other). Both the lock file and the socket are named after it.
QString instanceName();

// The lock file ("<stem>.lock") and the socket ("<stem>.socket") in the
// user's runtime directory, and whether that directory can be used.
struct InstancePaths {
    RuntimeDirectory directory;
    QString lockFile;
    QString socket;
};
InstancePaths instancePaths();

enum class InstanceRole {
    First,            // this process holds the lock: it builds the window
    Later,            // another instance holds it: hand over to that one
    LockUnavailable,  // the lock cannot be taken at all: report it and end
};

struct InstanceCheck {
    InstanceRole role = InstanceRole::LockUnavailable;
    QString socket;   // where the first instance listens
    QString problem;  // for LockUnavailable: what went wrong, for the user
};

// Tries to take the instance lock; a lock taken here stays held until the
// process ends. A lock that cannot be taken (an unusable runtime directory,
// something other than a file at its path, a failing open or flock) is never
// mistaken for "no other instance".
InstanceCheck checkSingleInstance();

// Shows a message box modally and returns once it is closed. Tests replace
// it so that no box ever waits for a user.
using MessageBoxRunner = std::function<void(QMessageBox& box)>;
void runMessageBox(QMessageBox& box);

// The exit code of a start that could not take the lock.
constexpr int kLockUnavailableExitCode = 1;

// Ends a start that is not the first instance and returns its exit code:
// 0 after the running instance showed its window, 0 after the "Register" box
// when it could not be reached, kLockUnavailableExitCode after a box that
// says why the lock could not be taken.
int finishLaterStart(const InstanceCheck& check, const MessageBoxRunner& showBox = runMessageBox);

// The first instance's end of the hand-over: accepts "show" requests and
// answers each once showRequested() has been emitted.
class InstanceServer : public QObject {
    Q_OBJECT

  public:
    explicit InstanceServer(QObject* parent = nullptr);
    ~InstanceServer() override;

    // Starts listening at `path`, replacing a stale socket left by a crashed
    // instance: only the lock holder calls this, so nobody else owns it.
    // Returns false when the socket cannot be created; the program then runs
    // on, and later starts show the "Register" message box instead.
    bool listen(const QString& path);

  signals:
    void showRequested();

  private:
    void acceptConnections();
    void readRequest(QLocalSocket* client);

    QLocalServer* server_ = nullptr;
};

// Shows the window in its normal state, raised and active: also when it was
// hidden (while recording) or unmapped behind Qt's back.
void bringWindowToFront(QWidget* window);

// A later start's end: asks the instance listening at `path` to show its
// window and waits briefly for its answer. Returns 0 when it answered,
// nonzero when nobody listens or nobody answered in time.
int askRunningInstanceToShow(const QString& path);

// The message box a later start shows when the running instance cannot be
// reached: information icon, title "Register", one OK button, no parent.
std::unique_ptr<QMessageBox> makeAlreadyRunningMessageBox();

// The message box of a start that could not take the lock: critical icon,
// title "Cannot start", `problem` as its text, one OK button, no parent.
std::unique_ptr<QMessageBox> makeLockProblemMessageBox(const QString& problem);
