// Dragging the frameless window with a real pointer on a real X server:
// xdotool presses on the title bar, moves and releases; the window follows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QStackedLayout>
#include <QTest>

#include "ui/drui.h"
#include "ui_test_support.h"

TEST_F(MainWindowTest, RealPointerDragsTheWindowByItsTitleBar) {
    buildPages();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    const QPoint start = window->pos();

    ASSERT_TRUE(pointerDrag(window->mapToGlobal(QPoint(400, 30)), QPoint(60, 40)));
    EXPECT_TRUE(processEventsUntil([&] { return window->pos() == start + QPoint(60, 40); }))
        << "window at " << window->pos().x() << "," << window->pos().y();
}

TEST_F(MainWindowTest, RealPointerInAFieldSelectsTextAndLeavesTheWindow) {
    buildPages();
    window->pageStack->setCurrentWidget(window->cutPage);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    const QPoint start = window->pos();
    window->cutDirEdit->setText(QStringLiteral("/some/long/directory/name"));

    const QPoint inField = window->cutDirEdit->mapToGlobal(QPoint(5, 12));
    ASSERT_TRUE(pointerDrag(inField, QPoint(150, 0)));
    EXPECT_TRUE(processEventsUntil([&] { return window->cutDirEdit->hasSelectedText(); }));
    EXPECT_EQ(window->pos(), start);
}
