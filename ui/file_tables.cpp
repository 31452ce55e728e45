// The recordings tables of the cut and merge pages and their fills.
#include <QBrush>
#include <QColor>
#include <QHeaderView>
#include <QIcon>
#include <QItemSelectionModel>
#include <QTableWidget>

#include "filelist/avi_duration.h"
#include "filelist/format.h"
#include "filelist/video_scan.h"
#include "platform/native_path.h"
#include "ui/drui.h"
#include "ui/look.h"

namespace {

// Wide enough for a recording's date-time file name.
constexpr int kNameColumnWidth = 180;
// The merge list starts narrower; each Add widens it to kNameColumnWidth.
constexpr int kTargetNameColumnWidth = 80;

QTableWidget* recordingsTable(int columns, const QStringList& headers, int nameWidth,
                              const QSize& minimum) {
    auto* table = new QTableWidget(0, columns);
    table->setHorizontalHeaderLabels(headers);
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft);
    table->verticalHeader()->hide();
    table->setColumnWidth(0, nameWidth);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setMinimumSize(minimum);
    return table;
}

const QString kAviIcon = QStringLiteral(":/image/avi.png");

const QStringList kListHeaders = {QStringLiteral("FileName"), QStringLiteral("Time"),
                                  QStringLiteral("Size")};

}  // namespace

QTableWidget* DRUI::buildCutTable() {
    auto* table = recordingsTable(1, {QString()}, kNameColumnWidth, {200, 100});
    connect(table, &QTableWidget::itemClicked, this, &DRUI::CutTableItemClick);
    connect(table, &QTableWidget::itemDoubleClicked, this, &DRUI::CutTableItemDoubleClick);
    return table;
}

QTableWidget* DRUI::buildSourceTable() {
    auto* table = recordingsTable(3, kListHeaders, kNameColumnWidth, {200, 180});
    table->setStyleSheet(look::greyFill());
    connect(table, &QTableWidget::itemClicked, this, &DRUI::SourceTableItemClick);
    connect(table, &QTableWidget::itemDoubleClicked, this, &DRUI::SourceTableItemDoubleClick);
    return table;
}

QTableWidget* DRUI::buildTargetTable() {
    auto* table = recordingsTable(3, kListHeaders, kTargetNameColumnWidth, {200, 180});
    table->setStyleSheet(look::greyFill());
    connect(table, &QTableWidget::itemClicked, this, &DRUI::TargetTableItemClick);
    return table;
}

void DRUI::fillSourceTable(const QString& directory) {
    sourceTableDirectory_ = directory;
    QVector<VideoFileEntry> entries;
    scanVideoDirectory(directory, entries);
    sourceTable->setRowCount(0);
    sourceTable->setRowCount(static_cast<int>(entries.size()));
    const QIcon icon(kAviIcon);
    int row = 0;
    for (VideoFileEntry& entry : entries) {
        entry.duration = aviDurationSeconds(platform::joinPath(directory, entry.name));
        sourceTable->setItem(row, 0, new QTableWidgetItem(icon, entry.name));
        sourceTable->setItem(row, 1, new QTableWidgetItem(formatDuration(entry.duration)));
        sourceTable->setItem(row, 2, new QTableWidgetItem(formatSize(entry.size)));
        ++row;
    }
}

void DRUI::fillCutTable(const QString& directory) {
    cutTableDirectory_ = directory;
    QVector<VideoFileEntry> entries;
    scanVideoDirectory(directory, entries);
    cutTable->setRowCount(0);
    cutTable->setRowCount(static_cast<int>(entries.size()));
    const QIcon icon(kAviIcon);
    const QBrush white(QColor(255, 255, 255, 255));
    int row = 0;
    for (const VideoFileEntry& entry : entries) {
        auto* item = new QTableWidgetItem(icon, entry.name);
        item->setForeground(white);
        cutTable->setItem(row, 0, item);
        ++row;
    }
}

void DRUI::showMergeList(int selectedRow) {
    targetTable->setRowCount(0);
    const QIcon icon(kAviIcon);
    for (const MergeListRow& entry : mergeList_.rows()) {
        const int row = targetTable->rowCount();
        targetTable->setRowCount(row + 1);
        targetTable->setColumnWidth(0, kNameColumnWidth);
        targetTable->setItem(row, 0, new QTableWidgetItem(icon, entry.name));
        targetTable->setItem(row, 1, new QTableWidgetItem(entry.durationText));
        targetTable->setItem(row, 2, new QTableWidgetItem(entry.sizeText));
    }
    if (selectedRow >= 0 && selectedRow < targetTable->rowCount()) {
        targetTable->selectRow(selectedRow);
        // Keyboard focus follows the moved row.
        targetTable->setCurrentCell(selectedRow, 0, QItemSelectionModel::NoUpdate);
    }
}
