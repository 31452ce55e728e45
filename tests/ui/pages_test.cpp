// What each page builder leaves: the controls' initial states, the tables,
// and rebuilding a page.
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QTableWidget>

#include "ui_test_support.h"

TEST_F(MainWindowTest, ControlsStartInTheirDocumentedStates) {
    buildPages();
    for (QPushButton* button : {window->playButton, window->startTimeButton, window->endTimeButton,
                                window->cutButton, window->addButton, window->upButton,
                                window->downButton, window->deleteButton, window->mergeButton}) {
        EXPECT_FALSE(button->isEnabled()) << button->text().toStdString();
    }
    for (QPushButton* button :
         {window->cutBackButton, window->mergeBackButton, window->recordBackButton,
          window->recordButton, window->recordFolderButton, window->cutFolderButton,
          window->mergeFolderButton}) {
        EXPECT_TRUE(button->isEnabled()) << button->text().toStdString();
    }
    // The save directory changes only through the chooser; the other two
    // directories can be typed.
    EXPECT_FALSE(window->savePathEdit->isEnabled());
    EXPECT_TRUE(window->cutDirEdit->isEnabled());
    EXPECT_FALSE(window->cutDirEdit->isReadOnly());
    EXPECT_TRUE(window->mergeDirEdit->isEnabled());
    EXPECT_FALSE(window->mergeDirEdit->isReadOnly());
    EXPECT_FALSE(window->audioHelpLink->isHidden());
    EXPECT_EQ(window->positionSlider->value(), 0);
}

TEST_F(MainWindowTest, TablesAreBuiltEmptyWithTheirColumnsAndPickWholeRows) {
    buildPages();
    const QStringList listHeaders = {"FileName", "Time", "Size"};
    const std::pair<QTableWidget*, QStringList> tables[] = {{window->cutTable, {QString()}},
                                                            {window->sourceTable, listHeaders},
                                                            {window->targetTable, listHeaders}};
    for (const auto& [table, headers] : tables) {
        EXPECT_EQ(table->rowCount(), 0);
        ASSERT_EQ(table->columnCount(), headers.size());
        for (int column = 0; column < headers.size(); ++column) {
            EXPECT_EQ(table->horizontalHeaderItem(column)->text(), headers[column]);
        }
        EXPECT_EQ(table->selectionBehavior(), QAbstractItemView::SelectRows);
        EXPECT_EQ(table->selectionMode(), QAbstractItemView::SingleSelection);
        EXPECT_EQ(table->editTriggers(), QAbstractItemView::NoEditTriggers);
    }
}

TEST_F(MainWindowTest, RebuildingAPageReplacesItAndItsControls) {
    buildPages();
    window->mergeButton->setEnabled(true);
    QPointer<QWidget> oldPage = window->mergePage;
    QPointer<QPushButton> oldMerge = window->mergeButton;
    QPointer<QTableWidget> oldTarget = window->targetTable;

    window->buildMergePage();
    // The old page leaves the screen at once and is deleted once control is
    // back in the event loop (its own maximise button may be mid-click).
    ASSERT_FALSE(oldPage.isNull());
    EXPECT_TRUE(oldPage->isHidden());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    EXPECT_TRUE(oldPage.isNull());
    EXPECT_TRUE(oldMerge.isNull());
    EXPECT_TRUE(oldTarget.isNull());
    ASSERT_NE(window->mergeButton, nullptr);
    EXPECT_FALSE(window->mergeButton->isEnabled());
    EXPECT_EQ(window->mergeButton->geometry(), QRect(820, 2, 100, 35));
    EXPECT_TRUE(window->mergePage->isAncestorOf(window->mergeButton));
    EXPECT_EQ(window->maxButtons[DRUI::kMergePage], namedChild(window->mergePage, "maxButton"));
    EXPECT_EQ(window->mergeDirEdit->text(), window->savePathEdit->text());
}
