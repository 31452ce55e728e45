// The window itself: frame, size and place, keys and closing. Dragging is
// tested with a real pointer in window_drag_xvfb_test.cpp.
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QStackedLayout>

#include "ui_test_support.h"

TEST_F(MainWindowTest, IsAFramelessFixedWindowCentredOnTheDesktop) {
    buildPages();
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Window);
    EXPECT_EQ(flags & ~Qt::WindowType_Mask, Qt::FramelessWindowHint);

    EXPECT_EQ(window->size(), QSize(1000, 600));
    EXPECT_EQ(window->minimumSize(), QSize(1000, 600));
    EXPECT_EQ(window->maximumSize(), QSize(1000, 600));
    const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
    EXPECT_EQ(window->pos(), QPoint((desktop.width() - 1000) / 2, (desktop.height() - 600) / 2));
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
