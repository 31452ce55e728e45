// The directory buttons, the table clicks and the merge list editing of the
// cut and merge pages.
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "filelist/video_scan.h"
#include "platform/native_path.h"
#include "ui/drui.h"

namespace {

// The row selected in a table whose selection is by single whole rows, or -1.
int selectedRow(const QTableWidget* table) {
    const QList<QTableWidgetItem*> selected = table->selectedItems();
    return selected.isEmpty() ? -1 : selected.first()->row();
}

QString cellText(const QTableWidget* table, int row, int column) {
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QString();
}

}  // namespace

void DRUI::btnSlotLayout3Dir() {
    const QString chosen = chooseDirectory(this);
    if (chosen.isEmpty()) {
        return;
    }
    cutDirEdit->setText(chosen);
    fillCutTable(chosen);
    addButton->setEnabled(false);
}

void DRUI::btnSlotLayout4Dir() {
    const QString chosen = chooseDirectory(this);
    if (chosen.isEmpty()) {
        return;
    }
    mergeDirEdit->setText(chosen);
    fillSourceTable(chosen);
    addButton->setEnabled(false);
}

void DRUI::btnAddSlot() {
    if (mergeList_.isFull()) {
        showInformation(this, QStringLiteral("Merge"),
                        QStringLiteral("You can merge multiple files no more than 20 files at one "
                                       "time"));
        return;
    }
    // Selection is by whole rows: more than two cells is a whole row.
    if (sourceTable->selectedItems().size() <= 2) {
        return;
    }
    const int row = selectedRow(sourceTable);
    const QString name = cellText(sourceTable, row, 0);
    mergeList_.append({platform::joinPath(sourceTableDirectory_, name), name,
                       cellText(sourceTable, row, 1), cellText(sourceTable, row, 2)});
    showMergeList();
    updateMergeButton();
}

void DRUI::updateMergeButton() {
    mergeButton->setEnabled(mergeList_.canMerge());
}

void DRUI::btnUpSlot() {
    const int row = selectedRow(targetTable);
    if (row <= 0 || !mergeList_.swap(row, row - 1)) {
        return;
    }
    showMergeList(row - 1);
    if (row - 1 == 0) {
        upButton->setEnabled(false);
    } else {
        downButton->setEnabled(true);
    }
}

void DRUI::btnDownSlot() {
    const int row = selectedRow(targetTable);
    const int lastRow = mergeList_.size() - 1;
    if (row < 0 || row >= lastRow || !mergeList_.swap(row, row + 1)) {
        return;
    }
    showMergeList(row + 1);
    if (row + 1 >= lastRow) {
        downButton->setEnabled(false);
    } else {
        upButton->setEnabled(true);
    }
}

void DRUI::btnDelSlot() {
    const int row = selectedRow(targetTable);
    if (row >= 0) {
        mergeList_.remove(row);
        showMergeList();
    }
    updateMergeButton();
}

void DRUI::TargetTableItemClick(QTableWidgetItem*) {
    const int row = selectedRow(targetTable);
    if (row < 0) {
        return;
    }
    upButton->setEnabled(row != 0);
    downButton->setEnabled(row < targetTable->rowCount() - 1);
    deleteButton->setEnabled(true);
}

void DRUI::SourceTableItemClick(QTableWidgetItem*) {
    // Three cells are one whole row of the source table.
    addButton->setEnabled(sourceTable->selectedItems().size() >= 3);
}

void DRUI::SourceTableItemDoubleClick(QTableWidgetItem*) {
    btnAddSlot();
}

void DRUI::CutTableItemClick(QTableWidgetItem*) {
    const QList<QTableWidgetItem*> selected = cutTable->selectedItems();
    if (!selected.isEmpty()) {
        cutState_.selectedFile = platform::joinPath(cutTableDirectory_, selected.first()->text());
    }
    playButton->setEnabled(!selected.isEmpty());
    // A newly chosen recording needs a new range before it can be cut.
    cutButton->setEnabled(false);
}

void DRUI::CutTableItemDoubleClick(QTableWidgetItem*) {
    btnLayout3Play();
}
