// What each page builder leaves: geometry for the normal width, texts,
// initial enabled states, the tables, and rebuilding a page.
#include <QComboBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QTableWidget>

#include "ui_test_support.h"

TEST_F(MainWindowTest, RecordPageControlsAreWhereTheyBelong) {
    buildPages();
    EXPECT_EQ(window->recordBackButton->geometry(), QRect(50, 2, 100, 35));
    EXPECT_EQ(window->recordButton->geometry(), QRect(850, 2, 100, 35));
    EXPECT_EQ(window->recordButton->text(), QStringLiteral("Record"));
    EXPECT_TRUE(window->recordButton->isFlat());

    // The minimum size wins over the narrower geometry: the field is 300 wide.
    EXPECT_EQ(window->savePathEdit->geometry(), QRect(180, 120, 300, 25));
    EXPECT_EQ(window->recordFolderButton->geometry(), QRect(500, 120, 30, 25));
    EXPECT_EQ(window->audioCombo->geometry(), QRect(180, 80, 300, 25));
    EXPECT_EQ(window->audioHelpLink->geometry(), QRect(500, 80, 400, 25));
    EXPECT_EQ(window->freeSpaceLabel->geometry(), QRect(220, 170, 100, 25));
    EXPECT_EQ(window->savePathEdit->font().pointSize(), 11);
    EXPECT_TRUE(window->savePathEdit->font().bold());
}

TEST_F(MainWindowTest, CutPageBottomBarFollowsAQuarterOfTheWidth) {
    buildPages();
    const std::pair<QWidget*, QRect> expected[] = {
        {window->playButton, {250, 2, 70, 25}},      {window->startTimeButton, {330, 2, 80, 25}},
        {window->startTimeLabel, {420, 2, 100, 25}}, {window->endTimeButton, {530, 2, 90, 25}},
        {window->endTimeLabel, {630, 2, 100, 25}},   {window->cutButton, {730, 2, 70, 25}},
        {window->cutBackButton, {810, 2, 70, 25}},
    };
    for (const auto& [widget, rect] : expected) {
        EXPECT_EQ(widget->geometry(), rect) << widget->metaObject()->className();
    }
    EXPECT_EQ(window->startTimeLabel->text(), QStringLiteral("00:00"));
    EXPECT_EQ(window->endTimeLabel->text(), QStringLiteral("00:00"));
    EXPECT_EQ(window->cutDirEdit->geometry(), QRect(0, 0, 220, 25));
    EXPECT_EQ(window->cutFolderButton->geometry(), QRect(230, 0, 30, 25));
    EXPECT_EQ(window->videoLabel->minimumSize(), QSize(700, 300));
    EXPECT_EQ(window->positionSlider->orientation(), Qt::Horizontal);
}

TEST_F(MainWindowTest, MergePageControlsAreWhereTheyBelong) {
    buildPages();
    EXPECT_EQ(window->mergeBackButton->geometry(), QRect(20, 2, 100, 35));
    EXPECT_EQ(window->mergeButton->geometry(), QRect(820, 2, 100, 35));
    EXPECT_EQ(window->mergeButton->text(), QStringLiteral("Merge"));
    EXPECT_EQ(window->mergeDirEdit->geometry(), QRect(120, 0, 240, 25));
    EXPECT_EQ(window->mergeFolderButton->geometry(), QRect(383, 0, 30, 25));
    for (QPushButton* side :
         {window->addButton, window->upButton, window->downButton, window->deleteButton}) {
        EXPECT_EQ(side->minimumSize(), QSize(60, 25));
    }
    EXPECT_EQ(window->mergeDirEdit->font().pointSize(), 10);
}

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

TEST_F(MainWindowTest, EveryButtonButTheFolderButtonsShowsTheHandCursor) {
    buildPages();
    const QList<QPushButton*> folders = {window->recordFolderButton, window->cutFolderButton,
                                         window->mergeFolderButton};
    int checked = 0;
    for (QWidget* page :
         {window->homePage, window->recordPage, window->cutPage, window->mergePage}) {
        for (QPushButton* button : page->findChildren<QPushButton*>()) {
            const bool hand = button->cursor().shape() == Qt::PointingHandCursor;
            EXPECT_EQ(hand, !folders.contains(button))
                << button->objectName().toStdString() << " " << button->text().toStdString();
            ++checked;
        }
    }
    // 3 task buttons, 4 x 6 title bar buttons, 3 + 5 + 6 page buttons, 3 folders.
    EXPECT_EQ(checked, 3 + 24 + 14 + 3);
}

TEST_F(MainWindowTest, HomePageOffersThreeTasksWithTheirTexts) {
    buildPages();
    EXPECT_EQ(window->homeRecordButton->text(),
              QStringLiteral("The easiest screen recorder to capture any video or audio\n on "
                             "your computer and save them in high quality"));
    EXPECT_EQ(window->homeMergeButton->text(),
              QStringLiteral("Merge your several capturing screen videos into one file"));
    EXPECT_EQ(window->homeTrimButton->text(),
              QStringLiteral("Trim your capturing screen video by setting the start "
                             "time\nand end time"));
    for (QPushButton* task :
         {window->homeRecordButton, window->homeMergeButton, window->homeTrimButton}) {
        EXPECT_TRUE(task->isFlat());
        EXPECT_EQ(task->palette().color(QPalette::Active, QPalette::ButtonText),
                  QColor(54, 75, 75));
        EXPECT_EQ(task->palette().color(QPalette::Disabled, QPalette::WindowText),
                  QColor(54, 75, 75));
        EXPECT_FALSE(task->icon().isNull());
    }
}

TEST_F(MainWindowTest, TablesAreBuiltEmptyWithTheirColumns) {
    buildPages();
    const QStringList listHeaders = {"FileName", "Time", "Size"};
    struct Expectation {
        QTableWidget* table;
        QStringList headers;
        int nameWidth;
        QSize minimum;
    };
    const Expectation tables[] = {{window->cutTable, {QString()}, 180, {200, 100}},
                                  {window->sourceTable, listHeaders, 180, {200, 180}},
                                  {window->targetTable, listHeaders, 80, {200, 180}}};
    for (const Expectation& e : tables) {
        QTableWidget* table = e.table;
        EXPECT_EQ(table->rowCount(), 0);
        ASSERT_EQ(table->columnCount(), e.headers.size());
        for (int column = 0; column < e.headers.size(); ++column) {
            EXPECT_EQ(table->horizontalHeaderItem(column)->text(), e.headers[column]);
        }
        // A single column is also the last one, which stretches over the table.
        if (table->columnCount() > 1) {
            EXPECT_EQ(table->columnWidth(0), e.nameWidth);
        }
        EXPECT_TRUE(table->verticalHeader()->isHidden());
        EXPECT_TRUE(table->horizontalHeader()->stretchLastSection());
        EXPECT_EQ(table->horizontalHeader()->defaultAlignment() & Qt::AlignHorizontal_Mask,
                  Qt::AlignLeft);
        EXPECT_EQ(table->selectionBehavior(), QAbstractItemView::SelectRows);
        EXPECT_EQ(table->selectionMode(), QAbstractItemView::SingleSelection);
        EXPECT_EQ(table->editTriggers(), QAbstractItemView::NoEditTriggers);
        EXPECT_EQ(table->minimumSize(), e.minimum);
    }
    EXPECT_TRUE(window->cutTable->styleSheet().isEmpty());
    EXPECT_EQ(window->sourceTable->styleSheet(),
              QStringLiteral("background-color: rgb(191, 191, 191);"));
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
