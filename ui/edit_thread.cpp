#include "ui/edit_thread.h"

CMyThread::CMyThread(QObject* parent) : QThread(parent) {}

CMyThread::~CMyThread() {
    wait();
}

void CMyThread::setThreadFunc(ThreadFunc func, void* arg) {
    threadFunc = func;
    threadArg = arg;
}

void CMyThread::run() {
    if (!threadFunc) {
        return;
    }
    // The status reaches the user through the job's last report.
    int progress = 0;
    threadFunc(threadArg, progress);
}
