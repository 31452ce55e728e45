// One running recorder per machine. The first start takes the instance lock
// and listens on a local socket; a later start finds the lock taken, asks the
// first one over that socket to show its window, and ends.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLocalSocket;
class QMessageBox;
class QWidget;

// The instance-lock name, "Global\Tessaly_Screen_Recorder_2016_For_Windows",
// unless the environment variable TESSALY_INSTANCE_NAME names another one
// (tests use that to stay apart from a real running recorder and from each
// other). Both the lock file and the socket are named after it.
QString instanceName();

// The local socket's full path: the lock file's path with ".socket" in place
// of ".lock".
QString instanceServerPath();

// True when another instance holds the instance lock. False otherwise, also
// when the lock cannot be taken at all (the program then starts normally).
// A lock taken here stays held until the process ends.
bool checkSingleInstance();

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
