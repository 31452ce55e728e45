// The tray icon: its set-up with the Pause, Stop and Quit entries, clicks on
// it, and Quit.
#include <QAction>
#include <QIcon>
#include <QMenu>

#include "ui/drui.h"

void DRUI::setupTrayIcon() {
    if (trayIcon) {
        QMenu* menu = trayIcon->contextMenu();
        if (menu) {
            qDeleteAll(menu->actions());
            delete menu;
        }
        delete trayIcon;
        trayIcon = nullptr;
    }
    trayIcon = new QSystemTrayIcon(QIcon(QStringLiteral(":/image/rec1.png")), this);
    trayIcon->setToolTip(tr("Tessaly Recorder"));
    connect(trayIcon, &QSystemTrayIcon::activated, this, &DRUI::trayiconActivated);

    auto* pause = new QAction(QIcon(QStringLiteral(":/image/pause.png")), tr("Pause"), this);
    auto* stop = new QAction(QIcon(QStringLiteral(":/image/stop.png")), tr("Stop"), this);
    auto* quit = new QAction(QIcon(QStringLiteral(":/image/quit.png")), tr("Quit"), this);
    connect(pause, &QAction::triggered, this, &DRUI::btnSlotMenuPause);
    connect(stop, &QAction::triggered, this, &DRUI::btnSlotMenuStop);
    connect(quit, &QAction::triggered, this, &DRUI::btnSlotMenuQuit);

    auto* menu = new QMenu(this);
    menu->addAction(pause);
    menu->addAction(stop);
    menu->addAction(quit);
    trayIcon->setContextMenu(menu);

    // A recording that runs while the page is opened again keeps its entries.
    if (recordingController && recordingController->isRecording()) {
        trayIcon->setVisible(true);
        applyTrayEntries(recordingController->isPaused() ? TrayState::Paused
                                                         : TrayState::Recording);
    }
}

void DRUI::trayiconActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
        showNormal();
        raise();
    }
}

void DRUI::btnSlotMenuQuit() {
    // Only a running recording is stopped: starting one just to close the
    // window at once would create nothing anyway.
    if (recordingController->isRecording())
        btnSlotMenuStop();
    close();
}
