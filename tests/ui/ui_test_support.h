// Set-up shared by the window tests: a main window whose settings file lives
// in a private temporary directory, and no modal box that could hang a test.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFocusEvent>
#include <QTableWidget>
#include <QTemporaryDir>
#include <memory>

#include "tests/support/window_test_application.h"
#include "ui/drui.h"

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ensureApplication();
        ASSERT_TRUE(tempDir.isValid());
        window = std::make_unique<DRUI>();
        window->setIniPath(iniPath());
        // No modal box or chooser may wait for a user; a test that needs
        // one answers it through these hooks.
        window->showWarning = [](QWidget*, const QString&, const QString&) {};
        window->showInformation = [](QWidget*, const QString&, const QString&) {};
        window->chooseDirectory = [](QWidget*) { return QString(); };
    }

    // The pages are built only here, so a test can write the settings first.
    void buildPages() { window->setupPages(); }

    // The settings file as a user or an earlier run leaves it.
    void writeIni(const QString& savePath) const {
        QFile file(iniPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[screen_record]\nsave_path=" + QFile::encodeName(savePath) + "\n");
    }
    QString iniPath() const { return tempDir.filePath(QStringLiteral("VodozaZevuri.ini")); }

    QTemporaryDir tempDir;
    std::unique_ptr<DRUI> window;
};

// Generous: only bounds a broken run, it is not a speed requirement.
constexpr int kSettleTimeoutMs = 10000;

// Runs the event loop until `done` holds (or the settle time is over).
template <typename Condition>
bool processEventsUntil(Condition done) {
    QDeadlineTimer deadline(kSettleTimeoutMs);
    while (!done() && !deadline.hasExpired()) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return done();
}

// Tells a field that the focus left it, as a click elsewhere does.
inline void leave(QWidget* field) {
    QFocusEvent event(QEvent::FocusOut, Qt::OtherFocusReason);
    QCoreApplication::sendEvent(field, &event);
}

// The names a recordings table lists: its first column.
inline QStringList names(const QTableWidget* table) {
    QStringList texts;
    for (int row = 0; row < table->rowCount(); ++row) {
        texts << table->item(row, 0)->text();
    }
    return texts;
}
