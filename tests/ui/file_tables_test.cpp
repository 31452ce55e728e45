// The recordings tables of the cut and merge pages over a real directory of
// recordings, and the editing of the merge list, through real clicks.
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "tests/support/sample_recordings.h"
#include "ui_test_support.h"

namespace {

class FileTablesTest : public MainWindowTest {
  protected:
    static void SetUpTestSuite() {
        recordings_ = new QTemporaryDir;
        ASSERT_TRUE(recordings_->isValid());
        const QString problem = avisamples::makeMixedDirectory(recordings_->path());
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
        ASSERT_TRUE(QDir(recordings_->path()).mkdir("other"));
        ASSERT_EQ(avisamples::writeRecording(other() + "/20170101120000.avi", {}), 0);
    }
    static void TearDownTestSuite() { delete recordings_; }
    // A directory of one recording; the listing of the one above leaves it out.
    static QString other() { return recordings_->filePath("other"); }

    void SetUp() override {
        MainWindowTest::SetUp();
        writeIni(recordings_->path());
        buildPages();
        window->showInformation = [this](QWidget* parent, const QString& title,
                                         const QString& text) {
            messages << (parent == window.get() ? "" : "no parent ") + title + ": " + text;
        };
        window->show();
    }

    // A real click on a row, through the table's viewport.
    static void clickCell(QTableWidget* table, int row, bool twice = false) {
        const QPoint at = table->visualItemRect(table->item(row, 0)).center();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, at);
        if (twice) {
            QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, at);
        }
    }
    QStringList messages;
    static inline QTemporaryDir* recordings_ = nullptr;
};

}  // namespace

TEST_F(FileTablesTest, BothPagesListTheRecordingsAndRescanWhenOpened) {
    window->homeMergeButton->click();
    QStringList expected;
    for (const avisamples::ExpectedRow& row : avisamples::mixedDirectoryRows(recordings_->path())) {
        expected << row.name;
    }
    EXPECT_EQ(names(window->sourceTable), expected);
    EXPECT_EQ(window->sourceTable->item(2, 1)->text(), "1 M 6 S");

    QFile extra(recordings_->filePath("zz_new.avi"));
    ASSERT_TRUE(extra.open(QIODevice::WriteOnly));
    extra.close();
    window->btnEditSlot();
    window->btnMontageSlot();
    extra.remove();
    EXPECT_EQ(names(window->sourceTable).last(), QStringLiteral("zz_new.avi"));
    EXPECT_EQ(names(window->cutTable), names(window->sourceTable));
}

// The folder button and leaving the field each refill the page's own table
// and leave the other page's alone; an emptied field keeps the rows.
TEST_F(FileTablesTest, EachPagesDirectoryFillsItsOwnTable) {
    const struct {
        QLineEdit* field;
        QPushButton* folder;
        QTableWidget* table;
        QTableWidget* otherTable;
    } pages[] = {
        {window->mergeDirEdit, window->mergeFolderButton, window->sourceTable, window->cutTable},
        {window->cutDirEdit, window->cutFolderButton, window->cutTable, window->sourceTable},
    };
    window->btnEditSlot();
    window->btnMontageSlot();
    const int all = window->cutTable->rowCount();
    window->chooseDirectory = [](QWidget*) { return other(); };
    for (const auto& page : pages) {
        SCOPED_TRACE(page.field == window->mergeDirEdit ? "merge" : "cut");
        page.folder->click();
        EXPECT_EQ(page.field->text(), other());
        EXPECT_EQ(names(page.table), QStringList{"20170101120000.avi"});
        EXPECT_EQ(page.otherTable->rowCount(), all);

        page.field->setText(recordings_->path());
        page.field->selectAll();
        leave(page.field);
        EXPECT_EQ(page.table->rowCount(), all);
        EXPECT_FALSE(page.field->hasSelectedText()) << "the field saw its focus-out too";
        page.field->clear();
        leave(page.field);
        EXPECT_EQ(page.table->rowCount(), all);
        page.field->setText(recordings_->path());
    }
}

// Up, Down and Delete move or remove the chosen row and follow it; Up and
// Down are withdrawn at the ends as each slot decides on its own.
TEST_F(FileTablesTest, AddUpDownAndDeleteEditTheMergeList) {
    window->btnEditSlot();
    for (int row : {0, 1, 2}) {
        clickCell(window->sourceTable, row);
        window->addButton->click();
    }
    const QStringList source = names(window->sourceTable);
    const struct {
        std::function<void()> action;
        const char* order;  // a, b, c: the first three source rows
        bool up;
        bool down;
    } steps[] = {
        {[this] { clickCell(window->targetTable, 2); }, "abc", true, false},
        {[this] { window->upButton->click(); }, "acb", true, true},
        {[this] { window->upButton->click(); }, "cab", false, true},
        {[this] { window->btnUpSlot(); }, "cab", false, true},  // at the top
        {[this] { window->downButton->click(); }, "acb", true, true},
        {[this] { window->downButton->click(); }, "abc", true, false},
        {[this] { window->btnDownSlot(); }, "abc", true, false},  // at the bottom
        {[this] { clickCell(window->targetTable, 1); }, "abc", true, true},
        {[this] { window->deleteButton->click(); }, "ac", true, true},
        {[this] { window->targetTable->clearSelection(), window->btnDelSlot(); }, "ac", true, true},
        {[this] { clickCell(window->targetTable, 1), window->btnDelSlot(); }, "a", true, false},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.order);
        step.action();
        QStringList expected;
        for (const char* letter = step.order; *letter; ++letter) {
            expected << source[*letter - 'a'];
        }
        EXPECT_EQ(names(window->targetTable), expected);
        EXPECT_EQ(window->upButton->isEnabled(), step.up);
        EXPECT_EQ(window->downButton->isEnabled(), step.down);
        EXPECT_EQ(window->mergeButton->isEnabled(), expected.size() >= 2);
    }
    // The list outlives a new directory and leaving the page; Add needs a
    // chosen row, a double-click adds too, and twenty rows at most.
    window->mergeDirEdit->setText(other());
    leave(window->mergeDirEdit);
    window->btnSlotBack();
    window->btnEditSlot();
    EXPECT_EQ(names(window->targetTable), QStringList{source[0]});
    window->mergeDirEdit->setText(recordings_->path());
    leave(window->mergeDirEdit);
    window->sourceTable->clearSelection();
    window->btnAddSlot();
    clickCell(window->sourceTable, 1, true);
    EXPECT_EQ(names(window->targetTable), (QStringList{source[0], source[1]}));
    for (int column : {1, 2}) {
        EXPECT_EQ(window->targetTable->item(1, column)->text(),
                  window->sourceTable->item(1, column)->text());
    }
    while (window->targetTable->rowCount() < 20) {
        window->addButton->click();  // the same recording may be listed again
    }
    clickCell(window->sourceTable, 0, true);
    EXPECT_EQ(window->targetTable->rowCount(), 20);
    EXPECT_EQ(messages,
              QStringList{"Merge: You can merge multiple files no more than 20 files at one time"});
}
