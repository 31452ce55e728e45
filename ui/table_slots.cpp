// The directory buttons, the table clicks and the merge list editing of the
// cut and merge pages.
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "filelist/video_scan.h"
#include "ui/drui.h"

namespace {

// The merger joins at most this many recordings, and needs at least two.
constexpr int kMaxMergeRows = 20;
constexpr int kMinMergeRows = 2;

QString cellText(const QTableWidget* table, int row, int column) {
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QString();
}

// Exchanges the text of `cell` with the cell of the same column in `toRow`
// and moves the selection with it. Only texts move: every row keeps its own
// item and icon.
void moveSelectedCell(QTableWidget* table, QTableWidgetItem* cell, int toRow) {
    QTableWidgetItem* other = table->item(toRow, cell->column());
    if (!other) {
        other = new QTableWidgetItem;
        table->setItem(toRow, cell->column(), other);
    }
    const QString text = other->text();
    other->setText(cell->text());
    cell->setText(text);
    cell->setSelected(false);
    other->setSelected(true);
    // Keyboard focus follows the moved row without touching the selection.
    table->selectionModel()->setCurrentIndex(table->indexFromItem(other),
                                             QItemSelectionModel::NoUpdate);
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
    if (targetTable->rowCount() >= kMaxMergeRows) {
        showInformation(this, QStringLiteral("Merge"),
                        QStringLiteral("You can merge multiple files no more than 20 files at one "
                                       "time"));
        return;
    }
    const QList<QTableWidgetItem*> selected = sourceTable->selectedItems();
    // Selection is by whole rows: more than two cells is a whole row.
    if (selected.size() <= 2) {
        return;
    }
    const int row = selected.first()->row();
    appendTargetRow(cellText(sourceTable, row, 0), cellText(sourceTable, row, 1),
                    cellText(sourceTable, row, 2));
    updateMergeButton();
}

void DRUI::updateMergeButton() {
    mergeButton->setEnabled(targetTable->rowCount() >= kMinMergeRows);
}

void DRUI::btnUpSlot() {
    const QList<QTableWidgetItem*> selected = targetTable->selectedItems();
    for (QTableWidgetItem* cell : selected) {
        const int row = cell->row();
        if (row == 0) {
            continue;
        }
        moveSelectedCell(targetTable, cell, row - 1);
        if (row - 1 == 0) {
            upButton->setEnabled(false);
        } else {
            downButton->setEnabled(true);
        }
    }
}

void DRUI::btnDownSlot() {
    const QList<QTableWidgetItem*> selected = targetTable->selectedItems();
    for (QTableWidgetItem* cell : selected) {
        const int row = cell->row();
        const int lastRow = targetTable->rowCount() - 1;
        if (row >= lastRow) {
            continue;
        }
        moveSelectedCell(targetTable, cell, row + 1);
        if (row + 1 >= lastRow) {
            downButton->setEnabled(false);
        } else {
            upButton->setEnabled(true);
        }
    }
}

void DRUI::btnDelSlot() {
    const QList<QTableWidgetItem*> selected = targetTable->selectedItems();
    if (!selected.isEmpty()) {
        targetTable->removeRow(selected.first()->row());
    }
    updateMergeButton();
}

void DRUI::TargetTableItemClick(QTableWidgetItem*) {
    const QList<QTableWidgetItem*> selected = targetTable->selectedItems();
    if (selected.isEmpty()) {
        return;
    }
    const int row = selected.first()->row();
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
        selectedFile = recordingPath(cutDirEdit->text(), selected.first()->text());
    }
    playButton->setEnabled(!selected.isEmpty());
    // A newly chosen recording needs a new range before it can be cut.
    cutButton->setEnabled(false);
}

void DRUI::CutTableItemDoubleClick(QTableWidgetItem*) {
    btnLayout3Play();
}
