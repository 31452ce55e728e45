// Shared set-up of the widget tests: one QApplication for the process and a
// main window whose settings file lives in a private temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QPoint>
#include <QString>
#include <QTemporaryDir>
#include <memory>

#include "ui/drui.h"

class QWidget;

// The process's application object, created on first use.
void ensureApplication();

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override;

    // Constructs the window with the private settings file; pages are built
    // only by buildPages(), so a test can prepare the file first.
    void buildPages() { window->setupPages(); }

    // Writes the settings file by hand, as a user or an older run would leave it.
    void writeIni(const QString& savePath) const;
    QString iniPath() const { return tempDir.filePath(QStringLiteral("VodozaZevuri.ini")); }

    QTemporaryDir tempDir;
    std::unique_ptr<DRUI> window;
};

// The child of `page` with the given object name (the title bar's pieces).
QWidget* namedChild(QWidget* page, const char* name);

// Generous: only bounds a broken run, it is not a speed requirement.
constexpr int kSettleTimeoutMs = 10000;

// Lets the window handle what the X server sent until `done` holds.
template <typename Condition>
bool processEventsUntil(Condition done) {
    QDeadlineTimer deadline(kSettleTimeoutMs);
    while (!done() && !deadline.hasExpired()) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return done();
}

// With a real pointer on the X server (xdotool): presses the left button at
// global `from`, moves by `by` and releases.
bool pointerDrag(QPoint from, QPoint by);
