// The worker thread of the editing jobs: a QThread that runs one stored
// function. The window owns one and gives it a cut or a merge to run; the
// progress dialog keeps a second job from starting while one is shown.
#pragma once

#include <QThread>

class CMyThread : public QThread {
    Q_OBJECT

  public:
    // A job entry: takes the argument stored with it and a progress counter
    // it may write, returns the job's status.
    using ThreadFunc = int (*)(void* arg, int& progress);

    explicit CMyThread(QObject* parent = nullptr);
    // Waits for a running job: a QThread must not go while its thread runs.
    // Whoever owns it gives the job up first, or this waits for the job's end.
    ~CMyThread() override;

    // Takes effect at the next start().
    void setThreadFunc(ThreadFunc func, void* arg);

  protected:
    void run() override;

  private:
    ThreadFunc threadFunc = nullptr;
    void* threadArg = nullptr;
};
