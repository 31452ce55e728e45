// The window itself: title, frame, size and place, keys, closing, dragging,
// and the title bar every page carries.
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStackedLayout>
#include <QTimer>

#include "ui_test_support.h"

#include <signal.h>
#include <cerrno>

namespace {

void sendMouse(QWidget* target, QEvent::Type type, QPoint local, Qt::MouseButton button,
               Qt::MouseButtons held) {
    const QPointF global = target->mapToGlobal(QPointF(local));
    QMouseEvent event(type, QPointF(local), global, button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// Presses the left button at `from` on `target`, moves by `by`, releases.
void drag(QWidget* target, QPoint from, QPoint by) {
    sendMouse(target, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    sendMouse(target, QEvent::MouseMove, from + by, Qt::NoButton, Qt::LeftButton);
    sendMouse(target, QEvent::MouseButtonRelease, from + by, Qt::LeftButton, Qt::NoButton);
}

}  // namespace

TEST_F(MainWindowTest, IsAFramelessFixedWindowCentredOnTheDesktop) {
    buildPages();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tessaly Recorder"));
    EXPECT_EQ(window->objectName(), QStringLiteral("DRUIClass"));
    EXPECT_EQ(window->centralWidget()->objectName(), QStringLiteral("centralWidget"));
    EXPECT_EQ(window->centralWidget()->styleSheet(),
              QStringLiteral("background-color: rgb(51, 52, 55);"));

    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Window);
    EXPECT_EQ(flags & ~Qt::WindowType_Mask, Qt::FramelessWindowHint);

    EXPECT_EQ(window->size(), QSize(1000, 600));
    EXPECT_EQ(window->minimumSize(), QSize(1000, 600));
    EXPECT_EQ(window->maximumSize(), QSize(1000, 600));
    const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
    EXPECT_EQ(window->pos(), QPoint((desktop.width() - 1000) / 2, (desktop.height() - 600) / 2));
}

TEST_F(MainWindowTest, StartsOnTheHomePageWithFourPagesInOrder) {
    buildPages();
    ASSERT_NE(window->pageStack, nullptr);
    ASSERT_EQ(window->pageStack->count(), 4);
    EXPECT_EQ(window->pageStack->widget(DRUI::kHomePage), window->homePage);
    EXPECT_EQ(window->pageStack->widget(DRUI::kRecordPage), window->recordPage);
    EXPECT_EQ(window->pageStack->widget(DRUI::kCutPage), window->cutPage);
    EXPECT_EQ(window->pageStack->widget(DRUI::kMergePage), window->mergePage);
    EXPECT_EQ(window->pageStack->currentIndex(), DRUI::kHomePage);
}

TEST_F(MainWindowTest, CaptureTimerExistsButIsNotRunning) {
    buildPages();
    ASSERT_NE(window->captureTimer, nullptr);
    EXPECT_EQ(window->captureTimer->parent(), window.get());
    EXPECT_FALSE(window->captureTimer->isActive());
}

TEST_F(MainWindowTest, EscapeIsSwallowedOnEveryPageAndOtherKeysPassOn) {
    buildPages();
    window->show();
    for (int page = DRUI::kHomePage; page <= DRUI::kMergePage; ++page) {
        window->pageStack->setCurrentIndex(page);
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &escape);
        EXPECT_TRUE(escape.isAccepted()) << "page " << page;
        EXPECT_EQ(window->pageStack->currentIndex(), page);
        EXPECT_TRUE(window->isVisible());
    }
    // The base window ignores a plain key, so the event travels on.
    QKeyEvent letter(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(window.get(), &letter);
    EXPECT_FALSE(letter.isAccepted());
}

TEST_F(MainWindowTest, CloseAndMinimiseButtonsActOnTheWindow) {
    buildPages();
    window->show();
    auto* minimise = qobject_cast<QPushButton*>(namedChild(window->homePage, "minimizeButton"));
    ASSERT_NE(minimise, nullptr);
    minimise->click();
    EXPECT_TRUE(window->windowState() & Qt::WindowMinimized);

    window->showNormal();
    auto* close = qobject_cast<QPushButton*>(namedChild(window->homePage, "closeButton"));
    ASSERT_NE(close, nullptr);
    close->click();
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, TitleBarButtonsSitAtTheDocumentedPlacesOnEveryPage) {
    buildPages();
    for (QWidget* page :
         {window->homePage, window->recordPage, window->cutPage, window->mergePage}) {
        SCOPED_TRACE(page == window->homePage     ? "home"
                     : page == window->recordPage ? "record"
                     : page == window->cutPage    ? "cut"
                                                  : "merge");
        EXPECT_EQ(namedChild(page, "closeButton")->geometry(), QRect(970, 0, 30, 30));
        EXPECT_EQ(namedChild(page, "maxButton")->geometry(), QRect(939, 0, 30, 30));
        EXPECT_EQ(namedChild(page, "minimizeButton")->geometry(), QRect(908, 0, 30, 30));
        EXPECT_EQ(namedChild(page, "aboutLink")->pos(), QPoint(970, 40));
        EXPECT_EQ(namedChild(page, "supportLink")->pos(), QPoint(940, 40));
        EXPECT_EQ(namedChild(page, "helpLink")->pos(), QPoint(910, 40));
        EXPECT_EQ(namedChild(page, "titleBar")->minimumSize(), QSize(1000, 70));

        auto* title = qobject_cast<QLabel*>(namedChild(page, "title"));
        ASSERT_NE(title, nullptr);
        EXPECT_EQ(title->text(), QStringLiteral("Tessaly Recorder"));
        EXPECT_EQ(title->geometry(), QRect(65, 12, 300, 30));
        EXPECT_EQ(title->font().family(), QStringLiteral("Arial"));
        EXPECT_EQ(title->font().pointSize(), 12);

        auto* notice = qobject_cast<QLabel*>(namedChild(page, "legalNotice"));
        ASSERT_NE(notice, nullptr);
        EXPECT_EQ(notice->text(), QStringLiteral("\u00a9 2026 Tessaly. All rights reserved."));
        EXPECT_EQ(notice->geometry(), QRect(10, 10, 1000, 30));
    }
    EXPECT_EQ(window->maxButtons[DRUI::kHomePage], namedChild(window->homePage, "maxButton"));
    EXPECT_EQ(window->maxButtons[DRUI::kMergePage], namedChild(window->mergePage, "maxButton"));
}

TEST_F(MainWindowTest, LinkButtonsShowTheirImageAtTwoFifthsOfItsSize) {
    buildPages();
    const QPixmap image(QStringLiteral(":/image/help.png"));
    ASSERT_FALSE(image.isNull()) << "the image resources are not linked in";
    auto* help = qobject_cast<QPushButton*>(namedChild(window->homePage, "helpLink"));
    const QSize shown(int(image.width() / 2.5), int(image.height() / 2.5));
    EXPECT_EQ(help->size(), shown);
    EXPECT_EQ(help->iconSize(), shown);
    EXPECT_TRUE(help->isFlat());
}

TEST_F(MainWindowTest, DraggingTheWindowSurfaceMovesTheWindow) {
    buildPages();
    window->show();
    const QPoint start = window->pos();
    drag(namedChild(window->homePage, "titleBar"), QPoint(200, 20), QPoint(40, 25));
    EXPECT_EQ(window->pos(), start + QPoint(40, 25));

    // The footer is window surface too, on another page.
    window->pageStack->setCurrentWidget(window->mergePage);
    drag(namedChild(window->mergePage, "footer"), QPoint(300, 10), QPoint(-15, -5));
    EXPECT_EQ(window->pos(), start + QPoint(25, 20));
}

TEST_F(MainWindowTest, DraggingInsideAFieldDoesNotMoveTheWindow) {
    buildPages();
    window->show();
    window->pageStack->setCurrentWidget(window->cutPage);
    const QPoint start = window->pos();
    drag(window->cutDirEdit, QPoint(10, 10), QPoint(50, 0));
    EXPECT_EQ(window->pos(), start);
}

TEST_F(MainWindowTest, DestroyingTheWindowStopsTheTimerAndEndsThePlayer) {
    buildPages();
    window->captureTimer->start(200);
    QPointer<QTimer> timer = window->captureTimer;
    auto* player = new QProcess;
    player->start(QStringLiteral("sleep"), {QStringLiteral("60")});
    ASSERT_TRUE(player->waitForStarted());
    const qint64 pid = player->processId();
    window->playerProcess = player;
    QPointer<QProcess> watch = player;

    window.reset();

    EXPECT_TRUE(timer.isNull());
    EXPECT_TRUE(watch.isNull());
    // The child was killed and reaped: its process id no longer exists.
    EXPECT_EQ(::kill(static_cast<pid_t>(pid), 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

// Other parts of the program connect to these by their signature strings.
TEST_F(MainWindowTest, DeclaresEverySlotAndSignalUnderItsKnownSignature) {
    const QMetaObject* meta = window->metaObject();
    const char* const signalNames[] = {"AddProcessCallBack(int,QString,QString,int)",
                                       "CutProcessCallBack(int,QString,QString,int)"};
    for (const char* signal : signalNames) {
        EXPECT_GE(meta->indexOfSignal(signal), 0) << signal;
    }
    const char* const slotNames[] = {
        "btnMinSlot()",
        "btnMaxSlot()",
        "btnCloseSlot()",
        "btnSlot()",
        "btnEditSlot()",
        "btnMontageSlot()",
        "btnAddSlot()",
        "btnSlotBack()",
        "btnSlotRecord()",
        "btnSlotLayout4Dir()",
        "btnSlotLayout4Merge()",
        "btnSlotLayout3Dir()",
        "btnSlotLayout3Cut()",
        "btnSlotLayout2Dir()",
        "btnUpSlot()",
        "btnDownSlot()",
        "btnDelSlot()",
        "mplayerDataRecieve()",
        "current(int)",
        "btnOpenUrl(QString)",
        "btnHelpSlot()",
        "btnSupportSlot()",
        "btnAboutSlot()",
        "btnLayout3Play()",
        "btnSetHead()",
        "btnSetTail()",
        "CutVedio(WCHAR*,int&)",
        "btnSlotMenuStop()",
        "btnSlotMenuPause()",
        "btnSlotMenuQuit()",
        "TargetTableItemClick(QTableWidgetItem*)",
        "SourceTableItemClick(QTableWidgetItem*)",
        "SourceTableItemDoubleClick(QTableWidgetItem*)",
        "CutTableItemClick(QTableWidgetItem*)",
        "CutTableItemDoubleClick(QTableWidgetItem*)",
        "trayiconActivated(QSystemTrayIcon::ActivationReason)",
        "ComBoxIndexChange(int)",
        "doTimerRec()",
    };
    for (const char* slot : slotNames) {
        EXPECT_GE(meta->indexOfSlot(QMetaObject::normalizedSignature(slot)), 0) << slot;
    }
}
