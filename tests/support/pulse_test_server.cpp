#include "tests/support/pulse_test_server.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QEventLoop>
#include <QFile>
#include <QThread>
#include <QTimer>
#include <cstdlib>

namespace {

// pactl answers within about a second of the start here.
constexpr int kReadyPolls = 100;
constexpr int kReadyPollMs = 50;
// Far beyond the answer of a local server (milliseconds) or the end of a
// query to a server that does not answer (a few seconds).
constexpr int kListingLimitMs = 20000;
// An idle null output wakes up every two seconds at most; after that it runs
// at the latency its listeners ask for.
constexpr int kSettleMs = 2200;

pid_t spawnShell(const QByteArray& command) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        // A test killed by its timeout takes its server and players along.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        ::execl("/bin/sh", "sh", "-c", command.constData(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

void stopProcess(pid_t& pid) {
    if (pid <= 0)
        return;
    // The shell's whole group: sh and what it started.
    ::kill(-pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    pid = -1;
}

}  // namespace

PulseTestServer::PulseTestServer() {
    hadPreviousServer_ = qEnvironmentVariableIsSet("PULSE_SERVER");
    previousServer_ = qgetenv("PULSE_SERVER");
}

PulseTestServer::~PulseTestServer() {
    stopProcess(player_);
    stopProcess(keeper_);
    stopProcess(server_);
    if (hadPreviousServer_)
        qputenv("PULSE_SERVER", previousServer_);
    else
        qunsetenv("PULSE_SERVER");
}

bool PulseTestServer::start() {
    if (!dir_.isValid()) {
        why_ = QStringLiteral("no temporary directory");
        return false;
    }
    const QString dir = dir_.path();
    QFile config(dir + QStringLiteral("/server.pa"));
    if (!config.open(QIODevice::WriteOnly)) {
        why_ = QStringLiteral("cannot write server.pa");
        return false;
    }
    config.write(QStringLiteral("load-module module-native-protocol-unix socket=%1/native "
                                "auth-anonymous=1\n"
                                "load-module module-null-sink sink_name=out rate=44100 "
                                "channels=2 sink_properties='device.description=\"Test "
                                "Speakers\"'\n")
                     .arg(dir)
                     .toUtf8());
    config.close();
    if (std::system("command -v pulseaudio >/dev/null 2>&1") != 0) {
        why_ = QStringLiteral("pulseaudio is not installed");
        return false;
    }
    qputenv("PULSE_SERVER", QStringLiteral("unix:%1/native").arg(dir).toUtf8());
    // exec: the shell's process is the server itself, stopped by its id.
    const QByteArray command = QStringLiteral(
                                   "HOME='%1' exec pulseaudio --daemonize=no --system=false "
                                   "--use-pid-file=no --exit-idle-time=-1 --disallow-exit=yes "
                                   "-n -F '%1/server.pa' --log-target=file:'%1/pulse.log'")
                                   .arg(dir)
                                   .toUtf8();
    server_ = spawnShell(command);
    for (int i = 0; i < kReadyPolls; ++i) {
        if (run(QStringLiteral("pactl info >/dev/null 2>&1")) == 0) {
            return true;
        }
        int status = 0;
        if (::waitpid(server_, &status, WNOHANG) == server_) {
            server_ = -1;
            why_ = QStringLiteral("pulseaudio exited at start; see its log in %1").arg(dir);
            return false;
        }
        QThread::msleep(kReadyPollMs);
    }
    why_ = QStringLiteral("pulseaudio did not answer pactl within 5 s");
    return false;
}

void PulseTestServer::keepOutputBusy() {
    if (keeper_ > 0)
        return;
    keeper_ = spawnShell("exec parecord --latency-msec=20 --raw -d out.monitor /dev/null");
    // The output switches to short periods at its next wake-up.
    QThread::msleep(kSettleMs);
}

bool PulseTestServer::playTone(int hz, double seconds) {
    const QString file = dir_.path() + QStringLiteral("/tone.wav");
    if (run(QStringLiteral("sox -n -r 44100 -c 2 -b 16 '%1' synth %2 sine %3 vol 0.5")
                .arg(file)
                .arg(seconds)
                .arg(hz)) != 0)
        return false;
    stopProcess(player_);
    player_ =
        spawnShell(QStringLiteral("exec paplay --latency-msec=20 -d out '%1'").arg(file).toUtf8());
    return player_ > 0;
}

bool PulseTestServer::addInput(const QString& name, const QString& description) {
    return run(QStringLiteral("pactl load-module module-null-source source_name='%1' "
                              "\"description='%2'\" >/dev/null")
                   .arg(name, description)) == 0;
}

int PulseTestServer::run(const QString& command) const {
    const int status = std::system(command.toUtf8().constData());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool waitForInputsListed(sound::SoundInputLister& lister) {
    if (!lister.isAsking())
        return true;
    QEventLoop loop;
    QObject::connect(&lister, &sound::SoundInputLister::inputsListed, &loop, &QEventLoop::quit);
    QTimer::singleShot(kListingLimitMs, &loop, &QEventLoop::quit);
    loop.exec();
    return !lister.isAsking();
}
