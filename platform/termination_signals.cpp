#include "platform/termination_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace platform {
namespace {

constexpr int kCaught[] = {SIGTERM, SIGINT, SIGHUP};

// Written by the handler, so plain ints set before the handler is installed.
int pipeRead = -1;
int pipeWrite = -1;
std::atomic<bool> watcherExists{false};

void onTerminationSignal(int signalNumber) {
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a request: dropping this one loses nothing.
    [[maybe_unused]] const ssize_t n = ::write(pipeWrite, &byte, 1);
    errno = savedErrno;
}

void restoreDefaults() {
    for (int signalNumber : kCaught)
        ::signal(signalNumber, SIG_DFL);
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (watcherExists.exchange(true))
        return;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        watcherExists = false;
        return;
    }
    pipeRead = fds[0];
    pipeWrite = fds[1];
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : kCaught) {
        if (::sigaction(signalNumber, &action, nullptr) != 0) {
            restoreDefaults();
            ::close(pipeRead);
            ::close(pipeWrite);
            pipeRead = pipeWrite = -1;
            watcherExists = false;
            return;
        }
    }
    notifier_ = std::make_unique<QSocketNotifier>(pipeRead, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TerminationSignals::drain);
}

TerminationSignals::~TerminationSignals() {
    if (!notifier_)
        return;
    restoreDefaults();
    notifier_.reset();
    ::close(pipeRead);
    ::close(pipeWrite);
    pipeRead = pipeWrite = -1;
    watcherExists = false;
}

void TerminationSignals::drain() {
    unsigned char pending[16];
    ssize_t n = 0;
    int last = 0;
    while ((n = ::read(pipeRead, pending, sizeof pending)) > 0)
        last = pending[n - 1];
    if (last != 0)
        emit terminationRequested(last);
}

}  // namespace platform
