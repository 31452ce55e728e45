#include "ui/drui.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QStackedLayout>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "platform/x11_screen_source.h"
#include "ui/desktop_geometry.h"
#include "ui/look.h"
#include "ui/settings.h"
#include "ui/web_links.h"
#include "ui/window_drag.h"

namespace {

QString askForDirectory(QWidget* parent, const QString& startDirectory) {
    return QFileDialog::getExistingDirectory(parent, QString(), startDirectory,
                                             QFileDialog::ShowDirsOnly);
}

void informWithMessageBox(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::information(parent, title, text, QMessageBox::Ok);
}

void warnWithMessageBox(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}

}  // namespace

// The images come from a static library; naming their registration here makes
// the linker keep it in every program that shows this window.
static void registerImages() {
    Q_INIT_RESOURCE(images);
}

DRUI::DRUI(QWidget* parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags),
      chooseDirectory(askForDirectory),
      showInformation(informWithMessageBox),
      showWarning(warnWithMessageBox) {
    registerImages();
    if (objectName().isEmpty()) {
        setObjectName(QStringLiteral("DRUIClass"));
    }
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralWidget"));
    setCentralWidget(central);
    // Every page and every control without its own background inherits this.
    central->setStyleSheet(look::darkFill());

    setWindowTitle(QStringLiteral("Tessaly Recorder"));
    setWindowFlags(Qt::FramelessWindowHint);
    dragHandler = new WindowDragHandler(this);

    setFixedSize(kNormalWidth, kNormalHeight);
    resize(kNormalWidth, kNormalHeight);
    move(desktop::centred(size()));

    iniPath = SaveDirSettings::iniPathFor(QCoreApplication::applicationDirPath());
    // Measures the screen once; recordings keep this size.
    setRecordingSources(std::make_unique<X11ScreenSource>(),
                        std::make_unique<recorder::SystemClock>());
    connectPreview();
}

DRUI::~DRUI() {
    // The recording's file is completed before anything else goes.
    recordingController.reset();
    if (captureTimer) {
        captureTimer->stop();
        delete captureTimer;
        captureTimer = nullptr;
    }
    preview_.kill();
    giveUpEditJob();
}

void DRUI::setupPages() {
    // The record page comes before the cut and merge pages: both copy its
    // save directory into their own directory fields.
    buildHomePage();
    buildRecordPage();
    buildCutPage();
    buildMergePage();

    pageStack = new QStackedLayout;
    pageStack->addWidget(homePage);
    pageStack->addWidget(recordPage);
    pageStack->addWidget(cutPage);
    pageStack->addWidget(mergePage);
    pageStack->setCurrentWidget(homePage);

    auto* outer = new QVBoxLayout(centralWidget());
    outer->setSpacing(0);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addLayout(pageStack);

    // The timer is started by Record, not here.
    captureTimer = new QTimer(this);
    connect(captureTimer, &QTimer::timeout, this, &DRUI::doTimerRec);
    trayBlinkCount = 0;
    attachRecordingController();
}

bool DRUI::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        if (watched == mergeDirEdit) {
            const QString directory = mergeDirEdit->text();
            if (!directory.isEmpty()) {
                fillSourceTable(directory);
            }
            addButton->setEnabled(false);
        } else if (watched == cutDirEdit) {
            const QString directory = cutDirEdit->text();
            if (!directory.isEmpty()) {
                fillCutTable(directory);
            }
            addButton->setEnabled(false);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void DRUI::keyPressEvent(QKeyEvent* event) {
    // Escape would otherwise reach the base window; the pages have no use for it.
    if (event->key() == Qt::Key_Escape) {
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void DRUI::paintEvent(QPaintEvent*) {
    // Every surface comes from the style sheets of the child widgets.
}

void DRUI::closeEvent(QCloseEvent* event) {
    finishRecordingOnClose();
    event->accept();
    emit windowClosed();
}

// ---- Navigation -----------------------------------------------------------

void DRUI::btnSlot() {
    setupTrayIcon();
    pageStack->setCurrentWidget(recordPage);
}

void DRUI::btnEditSlot() {
    fillSourceTable(mergeDirEdit->text());
    sourceTable->resizeColumnsToContents();
    pageStack->setCurrentWidget(mergePage);
}

void DRUI::btnMontageSlot() {
    fillCutTable(cutDirEdit->text());
    cutTable->resizeColumnsToContents();
    pageStack->setCurrentWidget(cutPage);
    cutState_.playerFile.clear();
    btnLayout3Play();
}

void DRUI::btnSlotBack() {
    if (pageStack->currentIndex() == kCutPage) {
        endPreview();
    }
    pageStack->setCurrentWidget(homePage);
}

// ---- Web pages --------------------------------------------------------------

void DRUI::btnOpenUrl(QString link) {
    QDesktopServices::openUrl(QUrl(link));
}

void DRUI::btnHelpSlot() {
    QDesktopServices::openUrl(weblinks::userGuide());
}

void DRUI::btnSupportSlot() {
    QDesktopServices::openUrl(weblinks::support());
}

void DRUI::btnAboutSlot() {
    QDesktopServices::openUrl(weblinks::about());
}
