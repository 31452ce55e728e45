// SIGTERM (a logout, a service stop), SIGINT (Ctrl+C) and SIGHUP (a closed
// terminal) as a Qt signal: the handler only writes the signal's number into
// a pipe, and the event loop reads it and emits terminationRequested(), where
// completing a recording's file is safe.
//
// One watcher at a time per process (a signal has one handler); a second one
// fails to watch. Needs a QCoreApplication.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace platform {

class TerminationSignals final : public QObject {
    Q_OBJECT

  public:
    explicit TerminationSignals(QObject* parent = nullptr);
    // The default handlers come back: a signal after this ends the process.
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // False when the signals could not be caught (no pipe, or another
    // watcher exists).
    bool isWatching() const { return notifier_ != nullptr; }

  signals:
    void terminationRequested(int signalNumber);

  private:
    void drain();

    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace platform
