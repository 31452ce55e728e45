#include "tests/support/pulse_test_server.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QEventLoop>
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

pid_t spawnShell(const QString& command) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        // A test killed by its timeout takes its server and players along.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        ::execl("/bin/sh", "sh", "-c", command.toUtf8().constData(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

void stopProcess(pid_t pid) {
    if (pid <= 0)
        return;
    ::kill(-pid, SIGTERM);  // the shell's whole group: sh and what it started
    ::waitpid(pid, nullptr, 0);
}

bool run(const QString& command) {
    return std::system(command.toUtf8().constData()) == 0;
}

}  // namespace

PulseTestServer::~PulseTestServer() {
    stopProcess(player_);
    stopProcess(keeper_);
    stopProcess(server_);
}

bool PulseTestServer::start() {
    const QString dir = dir_.path();
    pulseServer_.emplace("PULSE_SERVER", qPrintable(QStringLiteral("unix:%1/native").arg(dir)));
    // exec: the shell's process is the server itself, stopped by its id.
    server_ = spawnShell(
        QStringLiteral("HOME='%1' exec pulseaudio --daemonize=no --system=false "
                       "--use-pid-file=no --exit-idle-time=-1 --disallow-exit=yes -n "
                       "--log-target=file:'%1/pulse.log' "
                       "-L 'module-native-protocol-unix socket=%1/native auth-anonymous=1' "
                       "-L \"module-null-sink sink_name=out rate=44100 channels=2 "
                       "sink_properties='device.description=\\\"Test Speakers\\\"'\"")
            .arg(dir));
    for (int i = 0; i < kReadyPolls; ++i) {
        if (run(QStringLiteral("pactl info >/dev/null 2>&1")))
            return true;
        QThread::msleep(kReadyPollMs);
    }
    why_ = QStringLiteral("pulseaudio did not answer pactl within 5 s; see %1/pulse.log").arg(dir);
    return false;
}

void PulseTestServer::keepOutputBusy() {
    keeper_ = spawnShell("exec parecord --latency-msec=20 --raw -d out.monitor /dev/null");
    QThread::msleep(kSettleMs);  // short periods from the output's next wake-up
}

bool PulseTestServer::playTone(int hz, double seconds) {
    const QString file = dir_.path() + QStringLiteral("/tone.wav");
    if (!run(QStringLiteral("sox -n -r 44100 -c 2 -b 16 '%1' synth %2 sine %3 vol 0.5")
                 .arg(file)
                 .arg(seconds)
                 .arg(hz)))
        return false;
    player_ = spawnShell(QStringLiteral("exec paplay --latency-msec=20 -d out '%1'").arg(file));
    return player_ > 0;
}

bool PulseTestServer::addInput(const QString& name, const QString& description) {
    return run(QStringLiteral("pactl load-module module-null-source source_name='%1' "
                              "\"description='%2'\" >/dev/null")
                   .arg(name, description));
}

bool waitForInputsListed(sound::SoundInputLister& lister) {
    QEventLoop loop;
    QObject::connect(&lister, &sound::SoundInputLister::inputsListed, &loop, &QEventLoop::quit);
    QTimer::singleShot(kListingLimitMs, &loop, &QEventLoop::quit);
    if (lister.isAsking())
        loop.exec();
    return !lister.isAsking();
}
