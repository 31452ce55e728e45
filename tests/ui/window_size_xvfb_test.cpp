// Maximising and restoring on a real X server: the window's size and place,
// the pages rebuilt for the new width, what carries over, and that nothing
// still points at the pages that were replaced.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStackedLayout>
#include <QTableWidget>
#include <QTest>
#include <vector>

#include "tests/filelist/avi_samples.h"
#include "ui/drui.h"
#include "ui_test_support.h"

namespace {

const char* const kPageNames[] = {"home", "record", "cut", "merge"};

QImage iconImage(const QIcon& icon) {
    return icon.pixmap(QSize(30, 30)).toImage();
}

QImage resourceIcon(const char* path) {
    return iconImage(QIcon(QLatin1String(path)));
}

// Every control member of the window, with the page it must belong to.
struct Member {
    const char* name;
    QWidget* widget;
    QWidget* page;
};

std::vector<Member> members(const DRUI& w) {
    return {
        {"homeRecordButton", w.homeRecordButton, w.homePage},
        {"homeMergeButton", w.homeMergeButton, w.homePage},
        {"homeTrimButton", w.homeTrimButton, w.homePage},
        {"maxButtons[0]", w.maxButtons[0], w.homePage},
        {"audioCombo", w.audioCombo, w.recordPage},
        {"audioHelpLink", w.audioHelpLink, w.recordPage},
        {"savePathEdit", w.savePathEdit, w.recordPage},
        {"recordFolderButton", w.recordFolderButton, w.recordPage},
        {"freeSpaceLabel", w.freeSpaceLabel, w.recordPage},
        {"recordBackButton", w.recordBackButton, w.recordPage},
        {"recordButton", w.recordButton, w.recordPage},
        {"recordPauseButton", w.recordPauseButton, w.recordPage},
        {"maxButtons[1]", w.maxButtons[1], w.recordPage},
        {"cutDirEdit", w.cutDirEdit, w.cutPage},
        {"cutFolderButton", w.cutFolderButton, w.cutPage},
        {"cutTable", w.cutTable, w.cutPage},
        {"videoLabel", w.videoLabel, w.cutPage},
        {"timeLabel", w.timeLabel, w.cutPage},
        {"positionSlider", w.positionSlider, w.cutPage},
        {"playButton", w.playButton, w.cutPage},
        {"startTimeButton", w.startTimeButton, w.cutPage},
        {"startTimeLabel", w.startTimeLabel, w.cutPage},
        {"endTimeButton", w.endTimeButton, w.cutPage},
        {"endTimeLabel", w.endTimeLabel, w.cutPage},
        {"cutButton", w.cutButton, w.cutPage},
        {"cutBackButton", w.cutBackButton, w.cutPage},
        {"maxButtons[2]", w.maxButtons[2], w.cutPage},
        {"mergeDirEdit", w.mergeDirEdit, w.mergePage},
        {"mergeFolderButton", w.mergeFolderButton, w.mergePage},
        {"sourceTable", w.sourceTable, w.mergePage},
        {"targetTable", w.targetTable, w.mergePage},
        {"addButton", w.addButton, w.mergePage},
        {"upButton", w.upButton, w.mergePage},
        {"downButton", w.downButton, w.mergePage},
        {"deleteButton", w.deleteButton, w.mergePage},
        {"mergeBackButton", w.mergeBackButton, w.mergePage},
        {"mergeButton", w.mergeButton, w.mergePage},
        {"maxButtons[3]", w.maxButtons[3], w.mergePage},
    };
}

class WindowSizeTest : public MainWindowTest {
  protected:
    static void SetUpTestSuite() {
        ensureApplication();
        recordings_ = new QTemporaryDir;
        ASSERT_TRUE(recordings_->isValid());
        for (const char* name :
             {"20161205083000.avi", "20161205093007.avi", "20161205101500.avi"}) {
            ASSERT_EQ(avisamples::writeRecording(QDir(recordings_->path()).filePath(name), {}), 0);
        }
    }
    static void TearDownTestSuite() { delete recordings_; }

    void SetUp() override {
        MainWindowTest::SetUp();
        writeIni(recordings_->path());
        buildPages();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        desktop = QGuiApplication::primaryScreen()->availableGeometry();
        ASSERT_GT(desktop.width(), DRUI::kNormalWidth) << "needs a desktop wider than the window";
    }

    // Clicks the shown page's maximise button with the mouse, then lets the
    // event loop finish the old pages.
    void clickMaximise() {
        QPushButton* button = window->maxButtons[window->pageStack->currentIndex()];
        ASSERT_TRUE(button->isVisible());
        QTest::mouseClick(button, Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void openPage(int page) {
        switch (page) {
            case DRUI::kRecordPage:
                window->btnSlot();
                break;
            case DRUI::kCutPage:
                window->btnMontageSlot();
                break;
            case DRUI::kMergePage:
                window->btnEditSlot();
                break;
            default:
                break;
        }
        ASSERT_EQ(window->pageStack->currentIndex(), page);
    }

    // Adds source rows in the given order to the merge list.
    void buildMergeList(std::initializer_list<int> sourceRows) {
        window->btnEditSlot();
        for (int row : sourceRows) {
            window->sourceTable->selectRow(row);
            window->btnAddSlot();
        }
        window->btnSlotBack();
    }

    QStringList mergeListNames() const {
        QStringList names;
        for (int row = 0; row < window->targetTable->rowCount(); ++row) {
            names << window->targetTable->item(row, 0)->text();
        }
        return names;
    }

    void expectPagesBuiltFor(int width) {
        for (int page = DRUI::kHomePage; page <= DRUI::kMergePage; ++page) {
            QWidget* widget = window->pageStack->widget(page);
            SCOPED_TRACE(kPageNames[page]);
            EXPECT_EQ(namedChild(widget, "titleBar")->minimumWidth(), width);
            EXPECT_EQ(namedChild(widget, "closeButton")->x(), width - 30);
            EXPECT_EQ(namedChild(widget, "maxButton"), window->maxButtons[page]);
            EXPECT_EQ(window->maxButtons[page]->x(), width - 61);
        }
        EXPECT_EQ(window->mergeButton->x(), width - 180);
        EXPECT_EQ(window->recordButton->x(), width - 150);
        EXPECT_EQ(window->playButton->x(), width / 4);
    }

    void expectMaxIcons(const char* icon) {
        ASSERT_NE(resourceIcon(":/image/normal.png"), resourceIcon(":/image/max.png"))
            << "the two icons must be told apart";
        for (int page = DRUI::kHomePage; page <= DRUI::kMergePage; ++page) {
            EXPECT_EQ(iconImage(window->maxButtons[page]->icon()), resourceIcon(icon))
                << kPageNames[page];
        }
    }

    static QTemporaryDir* recordings_;
    QRect desktop;
};

QTemporaryDir* WindowSizeTest::recordings_ = nullptr;

}  // namespace

TEST_F(WindowSizeTest, MaximiseAndRestoreOnEveryPageKeepTheShownPage) {
    const QPoint centred((QGuiApplication::primaryScreen()->virtualGeometry().width() - 1000) / 2,
                         (QGuiApplication::primaryScreen()->virtualGeometry().height() - 600) / 2);
    for (int page = DRUI::kHomePage; page <= DRUI::kMergePage; ++page) {
        SCOPED_TRACE(kPageNames[page]);
        openPage(page);

        clickMaximise();
        EXPECT_TRUE(window->isMaximised());
        EXPECT_EQ(window->size(), desktop.size());
        EXPECT_EQ(window->minimumSize(), desktop.size());
        EXPECT_EQ(window->maximumSize(), desktop.size());
        EXPECT_EQ(window->pos(), desktop.topLeft());
        EXPECT_EQ(window->pageStack->currentIndex(), page);
        EXPECT_EQ(window->pageStack->count(), 4);
        expectPagesBuiltFor(desktop.width());
        expectMaxIcons(":/image/normal.png");

        clickMaximise();
        EXPECT_FALSE(window->isMaximised());
        EXPECT_EQ(window->size(), QSize(1000, 600));
        EXPECT_EQ(window->minimumSize(), QSize(1000, 600));
        EXPECT_EQ(window->maximumSize(), QSize(1000, 600));
        EXPECT_EQ(window->pos(), centred);
        EXPECT_EQ(window->pageStack->currentIndex(), page);
        expectPagesBuiltFor(1000);
        expectMaxIcons(":/image/max.png");
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Tessaly Recorder"));
    }
}

TEST_F(WindowSizeTest, TheMergeListComesBackOnTheMergePage) {
    buildMergeList({2, 0, 1});
    window->btnEditSlot();
    clickMaximise();
    EXPECT_EQ(mergeListNames(),
              (QStringList{"20161205101500.avi", "20161205083000.avi", "20161205093007.avi"}));
    EXPECT_EQ(window->targetTable->item(0, 1)->text(), QStringLiteral("2 S"));
    for (int row = 0; row < 3; ++row) {
        EXPECT_FALSE(window->targetTable->item(row, 0)->icon().isNull());
    }
    EXPECT_EQ(window->targetTable->columnWidth(0), 180);
    EXPECT_TRUE(window->mergeButton->isEnabled());
    EXPECT_EQ(window->sourceTable->rowCount(), 3);
    EXPECT_EQ(window->mergeList().size(), 3);

    clickMaximise();
    EXPECT_EQ(mergeListNames().size(), 3);
    EXPECT_TRUE(window->mergeButton->isEnabled());
}

TEST_F(WindowSizeTest, MergeListRowsKeepTheDirectoryTheyCameFrom) {
    // The same name in two directories: only the full paths tell them apart.
    QTemporaryDir other;
    ASSERT_TRUE(other.isValid());
    const QString name = QStringLiteral("20161205083000.avi");
    ASSERT_EQ(avisamples::writeRecording(QDir(other.path()).filePath(name), {}), 0);
    buildMergeList({0});
    window->btnEditSlot();
    window->chooseDirectory = [&](QWidget*) { return other.path(); };
    window->btnSlotLayout4Dir();
    window->sourceTable->selectRow(0);
    window->btnAddSlot();
    const QStringList expected = {QDir(recordings_->path()).filePath(name),
                                  QDir(other.path()).filePath(name)};
    EXPECT_EQ(window->mergeList().paths(), expected);
    for (int round = 0; round < 2; ++round) {
        clickMaximise();
        EXPECT_EQ(window->mergeList().paths(), expected);
        EXPECT_EQ(mergeListNames(), (QStringList{name, name}));
    }
}

TEST_F(WindowSizeTest, OneRowComesBackWithMergeStillDisabled) {
    buildMergeList({1});
    window->btnEditSlot();
    clickMaximise();
    EXPECT_EQ(mergeListNames(), QStringList{"20161205093007.avi"});
    EXPECT_FALSE(window->mergeButton->isEnabled());
}

TEST_F(WindowSizeTest, TheMergeListIsDroppedWhenAnotherPageIsShown) {
    for (int page : {DRUI::kHomePage, DRUI::kRecordPage, DRUI::kCutPage}) {
        SCOPED_TRACE(kPageNames[page]);
        buildMergeList({0, 1});
        openPage(page);
        clickMaximise();
        EXPECT_EQ(window->mergeList().size(), 0);
        EXPECT_EQ(window->targetTable->rowCount(), 0);
        EXPECT_FALSE(window->mergeButton->isEnabled());
        clickMaximise();
    }
}

TEST_F(WindowSizeTest, TheCutPageIsRefilledAndEditsOfTheFieldsAreLost) {
    window->btnMontageSlot();
    window->cutDirEdit->setText(QStringLiteral("/somewhere/else"));
    window->mergeDirEdit->setText(QStringLiteral("/somewhere/else"));
    window->cutTable->selectRow(0);
    window->CutTableItemClick(nullptr);
    const QString chosen = window->cutState().selectedFile;

    clickMaximise();
    EXPECT_EQ(window->cutDirEdit->text(), recordings_->path());
    EXPECT_EQ(window->mergeDirEdit->text(), recordings_->path());
    EXPECT_EQ(window->cutTable->rowCount(), 3);
    // The chosen recording plays again, in the new page's video area.
    EXPECT_EQ(window->cutState().selectedFile, chosen);
    EXPECT_EQ(window->cutState().playerFile, chosen);
    EXPECT_FALSE(window->playButton->isEnabled());
    EXPECT_EQ(window->videoLabel->minimumWidth(), desktop.width() - 300);
}

TEST_F(WindowSizeTest, EveryMemberPointsIntoTheCurrentPagesAfterEachSwitch) {
    window->btnEditSlot();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "maximised" : "restored");
        std::vector<QPointer<QWidget>> old;
        for (const Member& m : members(*window)) {
            old.emplace_back(m.widget);
        }
        for (QWidget* page :
             {window->homePage, window->recordPage, window->cutPage, window->mergePage}) {
            old.emplace_back(page);
        }
        QPointer<QLineEdit> oldMergeField = window->mergeDirEdit;
        QPointer<QLineEdit> oldCutField = window->cutDirEdit;
        QPointer<QPushButton> oldBack = window->mergeBackButton;

        QTest::mouseClick(window->maxButtons[DRUI::kMergePage], Qt::LeftButton);

        // Before the old pages are gone, leaving their fields does nothing.
        ASSERT_FALSE(oldMergeField.isNull());
        window->addButton->setEnabled(true);
        window->sourceTable->setRowCount(0);
        window->cutTable->setRowCount(0);
        for (QLineEdit* field : {oldMergeField.data(), oldCutField.data()}) {
            QFocusEvent out(QEvent::FocusOut, Qt::OtherFocusReason);
            QCoreApplication::sendEvent(field, &out);
        }
        EXPECT_TRUE(window->addButton->isEnabled());
        EXPECT_EQ(window->sourceTable->rowCount(), 0);
        EXPECT_EQ(window->cutTable->rowCount(), 0);
        // Nor do their buttons.
        ASSERT_FALSE(oldBack.isNull());
        oldBack->click();
        EXPECT_EQ(window->pageStack->currentIndex(), DRUI::kMergePage);

        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (const QPointer<QWidget>& gone : old) {
            EXPECT_TRUE(gone.isNull());
        }
        const QWidget* pages[] = {window->homePage, window->recordPage, window->cutPage,
                                  window->mergePage};
        for (int index = 0; index < 4; ++index) {
            EXPECT_EQ(window->pageStack->widget(index), pages[index]);
        }
        for (const Member& m : members(*window)) {
            ASSERT_NE(m.widget, nullptr) << m.name;
            EXPECT_TRUE(m.page->isAncestorOf(m.widget)) << m.name;
        }

        // The slots now act on the new controls.
        window->mergeDirEdit->setText(recordings_->path());
        QFocusEvent out(QEvent::FocusOut, Qt::OtherFocusReason);
        QCoreApplication::sendEvent(window->mergeDirEdit, &out);
        EXPECT_EQ(window->sourceTable->rowCount(), 3);
        EXPECT_FALSE(window->addButton->isEnabled());
        QTest::mouseClick(
            window->sourceTable->viewport(), Qt::LeftButton, {},
            window->sourceTable->visualItemRect(window->sourceTable->item(0, 0)).center());
        EXPECT_TRUE(window->addButton->isEnabled());
        window->addButton->click();
        // The merge page was shown, so the list of the round before came along.
        EXPECT_EQ(window->targetTable->rowCount(), round + 1);
        window->mergeBackButton->click();
        EXPECT_EQ(window->pageStack->currentIndex(), DRUI::kHomePage);
        window->homeMergeButton->click();
        EXPECT_EQ(window->pageStack->currentIndex(), DRUI::kMergePage);
    }
}

TEST_F(WindowSizeTest, MinimiseThenShowNormalKeepsTheSize) {
    window->btnEditSlot();
    clickMaximise();
    QTest::mouseClick(qobject_cast<QPushButton*>(namedChild(window->mergePage, "minimizeButton")),
                      Qt::LeftButton);
    EXPECT_TRUE(window->windowState() & Qt::WindowMinimized);
    window->showNormal();
    EXPECT_EQ(window->size(), desktop.size());
    EXPECT_TRUE(window->isMaximised());
}

TEST_F(WindowSizeTest, RealPointerDragsTheWindowAfterEachSwitch) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "maximised" : "restored");
        clickMaximise();
        ASSERT_TRUE(processEventsUntil([&] { return window->isVisible(); }));
        QApplication::processEvents();
        const QPoint start = window->pos();
        ASSERT_TRUE(pointerDrag(window->mapToGlobal(QPoint(400, 30)), QPoint(60, 40)));
        EXPECT_TRUE(processEventsUntil([&] { return window->pos() == start + QPoint(60, 40); }))
            << "window at " << window->pos().x() << "," << window->pos().y();
    }
}
