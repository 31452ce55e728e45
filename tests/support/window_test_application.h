// The one QApplication of a test program that builds windows (made on first
// use and kept for the whole run), and its event loop run for a while.
#pragma once

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

inline void ensureApplication() {
    static int argc = 1;
    static char name[] = "tessaly_window_test";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance())
        new QApplication(argc, argv);
}

// Runs the event loop, and with it the window's timers, for `ms`.
inline void runEventLoopFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}
