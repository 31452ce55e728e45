// The recordings tables of the cut and merge pages over a real directory, and
// the editing of the merge list.
#include <QDir>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedLayout>
#include <QTableWidget>
#include <QTest>

#include "filelist/format.h"
#include "tests/filelist/avi_samples.h"
#include "ui_test_support.h"

namespace {

const QString kMergeTitle = QStringLiteral("Merge");
const QString kMergeLimitText =
    QStringLiteral("You can merge multiple files no more than 20 files at one time");

struct Message {
    QWidget* parent;
    QString title;
    QString text;
};

class FileTablesTest : public MainWindowTest {
  protected:
    static void SetUpTestSuite() {
        ensureApplication();
        recordings_ = new QTemporaryDir;
        other_ = new QTemporaryDir;
        ASSERT_TRUE(recordings_->isValid() && other_->isValid());
        const QString problem = avisamples::makeMixedDirectory(recordings_->path());
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
        avisamples::RecordingShape shape;
        shape.frames = 600;  // 2 minutes
        ASSERT_EQ(avisamples::writeRecording(otherRecording(), shape), 0);
    }
    static void TearDownTestSuite() {
        delete recordings_;
        delete other_;
    }

    void SetUp() override {
        MainWindowTest::SetUp();
        writeIni(recordings());
        buildPages();
        window->showInformation = [this](QWidget* parent, const QString& title,
                                         const QString& text) {
            messages.append({parent, title, text});
        };
        window->show();
    }

    static QString recordings() { return recordings_->path(); }
    static QString otherDirectory() { return other_->path(); }
    static QString otherRecording() {
        return QDir(other_->path()).filePath(QStringLiteral("20170101120000.avi"));
    }

    // A real click on a cell, through the table's viewport.
    static void clickCell(QTableWidget* table, int row) {
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                          table->visualItemRect(table->item(row, 0)).center());
    }
    static void doubleClickCell(QTableWidget* table, int row) {
        const QPoint at = table->visualItemRect(table->item(row, 0)).center();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, at);
    }

    static QStringList rowTexts(const QTableWidget* table, int row) {
        QStringList texts;
        for (int column = 0; column < table->columnCount(); ++column) {
            texts << table->item(row, column)->text();
        }
        return texts;
    }
    static QStringList columnTexts(const QTableWidget* table, int column) {
        QStringList texts;
        for (int row = 0; row < table->rowCount(); ++row) {
            texts << table->item(row, column)->text();
        }
        return texts;
    }

    // Opens the merge page and adds source rows in the given order.
    void buildMergeList(std::initializer_list<int> sourceRows) {
        window->btnEditSlot();
        for (int row : sourceRows) {
            clickCell(window->sourceTable, row);
            window->addButton->click();
        }
    }

    static void sendFocusOut(QWidget* field) {
        QFocusEvent event(QEvent::FocusOut, Qt::OtherFocusReason);
        QCoreApplication::sendEvent(field, &event);
    }

    QList<Message> messages;

    static QTemporaryDir* recordings_;
    static QTemporaryDir* other_;
};

QTemporaryDir* FileTablesTest::recordings_ = nullptr;
QTemporaryDir* FileTablesTest::other_ = nullptr;

}  // namespace

// ---- Filling ----------------------------------------------------------------------

TEST_F(FileTablesTest, MergePageListsTheRecordingsWithDurationAndSize) {
    window->homeMergeButton->click();
    EXPECT_EQ(window->pageStack->currentIndex(), DRUI::kMergePage);

    const QVector<avisamples::ExpectedRow> expected = avisamples::mixedDirectoryRows(recordings());
    QTableWidget* table = window->sourceTable;
    ASSERT_EQ(table->rowCount(), expected.size());
    for (int row = 0; row < table->rowCount(); ++row) {
        const avisamples::ExpectedRow& e = expected[row];
        SCOPED_TRACE(e.name.toStdString());
        EXPECT_EQ(rowTexts(table, row),
                  (QStringList{e.name, formatDuration(e.seconds), formatSize(e.bytes)}));
        EXPECT_FALSE(table->item(row, 0)->icon().isNull());
    }
    // The documented texts of the special entries.
    EXPECT_EQ(rowTexts(table, 2),
              (QStringList{"20161205101500.avi", "1 M 6 S", formatSize(expected[2].bytes)}));
    EXPECT_EQ(rowTexts(table, 4), (QStringList{"big.avi", "0 S", "5.00 GB"}));
    EXPECT_EQ(rowTexts(table, 7), (QStringList{"x.avi", "0 S", "0 Bytes"}));
}

TEST_F(FileTablesTest, CutPageListsTheNamesInWhite) {
    window->homeTrimButton->click();
    EXPECT_EQ(window->pageStack->currentIndex(), DRUI::kCutPage);

    const QVector<avisamples::ExpectedRow> expected = avisamples::mixedDirectoryRows(recordings());
    QTableWidget* table = window->cutTable;
    ASSERT_EQ(table->rowCount(), expected.size());
    for (int row = 0; row < table->rowCount(); ++row) {
        EXPECT_EQ(table->item(row, 0)->text(), expected[row].name);
        EXPECT_EQ(table->item(row, 0)->foreground().color(), QColor(255, 255, 255, 255));
        EXPECT_FALSE(table->item(row, 0)->icon().isNull());
    }
}

TEST_F(FileTablesTest, OpeningAPageAgainRescansItsDirectory) {
    window->btnEditSlot();
    window->btnMontageSlot();
    const int rows = window->sourceTable->rowCount();
    QFile extra(QDir(recordings()).filePath(QStringLiteral("zz_new.avi")));
    ASSERT_TRUE(extra.open(QIODevice::WriteOnly));
    extra.close();

    window->btnEditSlot();
    window->btnMontageSlot();
    extra.remove();
    EXPECT_EQ(window->sourceTable->rowCount(), rows + 1);
    EXPECT_EQ(window->cutTable->rowCount(), rows + 1);
    EXPECT_EQ(window->sourceTable->item(rows, 0)->text(), QStringLiteral("zz_new.avi"));
}

TEST_F(FileTablesTest, FolderButtonsFillFromTheChosenDirectory) {
    window->btnEditSlot();
    window->btnMontageSlot();
    QString answer = otherDirectory();
    window->chooseDirectory = [&answer](QWidget*) { return answer; };

    window->addButton->setEnabled(true);
    window->mergeFolderButton->click();
    EXPECT_EQ(window->mergeDirEdit->text(), otherDirectory());
    EXPECT_EQ(columnTexts(window->sourceTable, 0), QStringList{"20170101120000.avi"});
    EXPECT_EQ(window->sourceTable->item(0, 1)->text(), QStringLiteral("2 M 0 S"));
    EXPECT_FALSE(window->addButton->isEnabled());

    window->addButton->setEnabled(true);
    window->cutFolderButton->click();
    EXPECT_EQ(window->cutDirEdit->text(), otherDirectory());
    EXPECT_EQ(columnTexts(window->cutTable, 0), QStringList{"20170101120000.avi"});
    EXPECT_FALSE(window->addButton->isEnabled());

    // A cancelled chooser changes neither field nor table.
    answer = QString();
    window->mergeFolderButton->click();
    window->cutFolderButton->click();
    EXPECT_EQ(window->mergeDirEdit->text(), otherDirectory());
    EXPECT_EQ(window->sourceTable->rowCount(), 1);
    EXPECT_EQ(window->cutTable->rowCount(), 1);
}

TEST_F(FileTablesTest, LeavingAFieldRefillsItsTableButAnEmptyFieldKeepsTheRows) {
    window->btnEditSlot();
    window->btnMontageSlot();
    for (QLineEdit* field : {window->mergeDirEdit, window->cutDirEdit}) {
        QTableWidget* table =
            field == window->mergeDirEdit ? window->sourceTable : window->cutTable;
        SCOPED_TRACE(field == window->mergeDirEdit ? "merge" : "cut");
        field->setText(otherDirectory());
        sendFocusOut(field);
        EXPECT_EQ(columnTexts(table, 0), QStringList{"20170101120000.avi"});

        field->clear();
        window->addButton->setEnabled(true);
        sendFocusOut(field);
        EXPECT_EQ(columnTexts(table, 0), QStringList{"20170101120000.avi"});
        EXPECT_FALSE(window->addButton->isEnabled());
    }
    // Leaving one field leaves the other page's table alone.
    window->mergeDirEdit->setText(recordings());
    sendFocusOut(window->mergeDirEdit);
    EXPECT_EQ(window->cutTable->rowCount(), 1);
}

TEST_F(FileTablesTest, DirectoriesThatCannotBeListedEmptyTheTables) {
    window->btnEditSlot();
    window->btnMontageSlot();
    ASSERT_GT(window->sourceTable->rowCount(), 0);
    window->mergeDirEdit->setText(QDir(recordings()).filePath(QStringLiteral("missing")));
    sendFocusOut(window->mergeDirEdit);
    EXPECT_EQ(window->sourceTable->rowCount(), 0);

    // The home page's buttons refill even from an emptied field.
    window->cutDirEdit->clear();
    window->btnMontageSlot();
    EXPECT_EQ(window->cutTable->rowCount(), 0);
    EXPECT_EQ(window->pageStack->currentIndex(), DRUI::kCutPage);
}

// ---- Cut table selection ------------------------------------------------------------

TEST_F(FileTablesTest, ClickingACutRowChoosesTheRecordingAndWithdrawsCut) {
    window->btnMontageSlot();
    window->cutButton->setEnabled(true);
    clickCell(window->cutTable, 1);
    EXPECT_EQ(window->cutState().selectedFile,
              QDir(recordings()).filePath(QStringLiteral("20161205093007.avi")));
    EXPECT_TRUE(window->playButton->isEnabled());
    EXPECT_FALSE(window->cutButton->isEnabled());

    // An empty selection keeps the chosen file but takes Play away.
    window->cutTable->clearSelection();
    window->CutTableItemClick(nullptr);
    EXPECT_EQ(window->cutState().selectedFile,
              QDir(recordings()).filePath(QStringLiteral("20161205093007.avi")));
    EXPECT_FALSE(window->playButton->isEnabled());

    // A new cut directory does not forget the chosen recording.
    window->chooseDirectory = [](QWidget*) { return otherDirectory(); };
    window->cutFolderButton->click();
    window->btnSlotBack();
    window->btnMontageSlot();
    EXPECT_EQ(window->cutState().selectedFile,
              QDir(recordings()).filePath(QStringLiteral("20161205093007.avi")));
}

// ---- Merge list ------------------------------------------------------------------------

TEST_F(FileTablesTest, ClickingASourceRowOffersAdd) {
    window->btnEditSlot();
    clickCell(window->sourceTable, 0);
    EXPECT_EQ(window->sourceTable->selectedItems().size(), 3);
    EXPECT_TRUE(window->addButton->isEnabled());

    window->sourceTable->clearSelection();
    window->SourceTableItemClick(nullptr);
    EXPECT_FALSE(window->addButton->isEnabled());
    // Without a selection Add adds nothing.
    window->btnAddSlot();
    EXPECT_EQ(window->targetTable->rowCount(), 0);
}

TEST_F(FileTablesTest, AddCopiesTheSelectedRowAndMergeNeedsTwoRows) {
    buildMergeList({2});
    QTableWidget* target = window->targetTable;
    ASSERT_EQ(target->rowCount(), 1);
    EXPECT_EQ(rowTexts(target, 0), rowTexts(window->sourceTable, 2));
    EXPECT_FALSE(target->item(0, 0)->icon().isNull());
    EXPECT_EQ(target->columnWidth(0), 180);
    EXPECT_FALSE(window->mergeButton->isEnabled());

    // The same recording may be listed twice.
    window->addButton->click();
    EXPECT_EQ(target->rowCount(), 2);
    EXPECT_EQ(rowTexts(target, 1), rowTexts(window->sourceTable, 2));
    EXPECT_TRUE(window->mergeButton->isEnabled());
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(FileTablesTest, TheTwentyFirstAdditionIsRefusedWithAMessage) {
    buildMergeList({0});
    for (int i = 1; i < 20; ++i) {
        window->addButton->click();
    }
    ASSERT_EQ(window->targetTable->rowCount(), 20);
    EXPECT_TRUE(messages.isEmpty());

    clickCell(window->sourceTable, 1);
    window->addButton->click();
    EXPECT_EQ(window->targetTable->rowCount(), 20);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].parent, window.get());
    EXPECT_EQ(messages[0].title, kMergeTitle);
    EXPECT_EQ(messages[0].text, kMergeLimitText);
    EXPECT_EQ(window->targetTable->item(19, 0)->text(), window->sourceTable->item(0, 0)->text());

    // A double-click is an Add, refusal included.
    doubleClickCell(window->sourceTable, 1);
    EXPECT_EQ(window->targetTable->rowCount(), 20);
    EXPECT_EQ(messages.size(), 2);
}

TEST_F(FileTablesTest, DoubleClickingASourceRowAddsIt) {
    window->btnEditSlot();
    doubleClickCell(window->sourceTable, 1);
    doubleClickCell(window->sourceTable, 0);
    EXPECT_EQ(columnTexts(window->targetTable, 0),
              (QStringList{"20161205093007.avi", "20161205083000.avi"}));
    EXPECT_TRUE(window->mergeButton->isEnabled());
}

TEST_F(FileTablesTest, UpAndDownMoveTheTextsAndFollowTheEnds) {
    buildMergeList({0, 1, 2});
    QTableWidget* target = window->targetTable;
    const QStringList a = rowTexts(target, 0);
    const QStringList b = rowTexts(target, 1);
    const QStringList c = rowTexts(target, 2);

    clickCell(target, 2);
    EXPECT_TRUE(window->upButton->isEnabled());
    EXPECT_FALSE(window->downButton->isEnabled());
    EXPECT_TRUE(window->deleteButton->isEnabled());

    window->upButton->click();
    EXPECT_EQ(rowTexts(target, 1), c);
    EXPECT_EQ(rowTexts(target, 2), b);
    EXPECT_EQ(target->selectedItems().first()->row(), 1);
    EXPECT_EQ(target->selectedItems().size(), 3);
    EXPECT_TRUE(window->downButton->isEnabled());
    EXPECT_TRUE(window->upButton->isEnabled());

    window->upButton->click();
    EXPECT_EQ(rowTexts(target, 0), c);
    EXPECT_EQ(rowTexts(target, 1), a);
    EXPECT_FALSE(window->upButton->isEnabled());

    // At the top, Up changes nothing.
    window->btnUpSlot();
    EXPECT_EQ(rowTexts(target, 0), c);

    window->downButton->click();
    EXPECT_EQ(rowTexts(target, 0), a);
    EXPECT_EQ(rowTexts(target, 1), c);
    EXPECT_TRUE(window->upButton->isEnabled());
    EXPECT_TRUE(window->downButton->isEnabled());

    window->downButton->click();
    EXPECT_EQ(rowTexts(target, 2), c);
    EXPECT_EQ(rowTexts(target, 1), b);
    EXPECT_FALSE(window->downButton->isEnabled());
    // At the bottom, Down changes nothing.
    window->btnDownSlot();
    EXPECT_EQ(columnTexts(target, 0), (QStringList{a[0], b[0], c[0]}));

    // Only texts moved: every row still shows the icon.
    for (int row = 0; row < target->rowCount(); ++row) {
        EXPECT_FALSE(target->item(row, 0)->icon().isNull());
    }
}

TEST_F(FileTablesTest, DownOnTheTopOfTwoRowsLeavesUpAsItWas) {
    buildMergeList({0, 1});
    clickCell(window->targetTable, 0);
    EXPECT_FALSE(window->upButton->isEnabled());
    EXPECT_TRUE(window->downButton->isEnabled());

    window->downButton->click();
    EXPECT_EQ(window->targetTable->item(1, 0)->text(), QStringLiteral("20161205083000.avi"));
    EXPECT_FALSE(window->downButton->isEnabled());
    EXPECT_FALSE(window->upButton->isEnabled());
}

TEST_F(FileTablesTest, DeleteRemovesTheSelectedRowAndMergeFollowsTheCount) {
    buildMergeList({0, 1, 2});
    QTableWidget* target = window->targetTable;
    ASSERT_TRUE(window->mergeButton->isEnabled());

    clickCell(target, 1);
    const bool up = window->upButton->isEnabled();
    const bool down = window->downButton->isEnabled();
    window->deleteButton->click();
    EXPECT_EQ(columnTexts(target, 0), (QStringList{"20161205083000.avi", "20161205101500.avi"}));
    EXPECT_TRUE(window->mergeButton->isEnabled());
    EXPECT_EQ(window->upButton->isEnabled(), up);
    EXPECT_EQ(window->downButton->isEnabled(), down);
    EXPECT_TRUE(window->deleteButton->isEnabled());

    clickCell(target, 0);
    window->deleteButton->click();
    EXPECT_EQ(columnTexts(target, 0), QStringList{"20161205101500.avi"});
    EXPECT_FALSE(window->mergeButton->isEnabled());

    // Without a selection nothing is removed.
    target->clearSelection();
    window->btnDelSlot();
    EXPECT_EQ(target->rowCount(), 1);
}

TEST_F(FileTablesTest, TheMergeListOutlivesDirectoryChangesAndPageSwitches) {
    buildMergeList({0, 1});
    window->mergeDirEdit->setText(otherDirectory());
    sendFocusOut(window->mergeDirEdit);
    window->btnSlotBack();
    window->btnEditSlot();
    EXPECT_EQ(columnTexts(window->targetTable, 0),
              (QStringList{"20161205083000.avi", "20161205093007.avi"}));
}
