// The title bar's window buttons: minimise, the switch between the normal
// size and the desktop's size (which rebuilds every page for the new width),
// and close.
#include <QIcon>
#include <QPushButton>
#include <QStackedLayout>
#include <QTableWidget>

#include "ui/desktop_geometry.h"
#include "ui/drui.h"

namespace {

const QString kMaximiseIcon = QStringLiteral(":/image/max.png");
const QString kRestoreIcon = QStringLiteral(":/image/normal.png");

QString cellText(const QTableWidget* table, int row, int column) {
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QString();
}

}  // namespace

void DRUI::btnMinSlot() {
    showMinimized();
}

void DRUI::btnMaxSlot() {
    const QRect area = desktop::maximisedArea();
    if (!isMaximised && area.isEmpty()) {
        return;  // no screen to fill
    }
    const int shownPage = pageStack->currentIndex();

    // The drag handler watches the window itself, so it carries over to the
    // new pages as it is; a second one would move the window twice.
    if (!isMaximised) {
        // The window fills the area, so centring it puts it at its corner.
        setFixedSize(area.size());
        resize(area.size());
        move(area.topLeft());
    } else {
        setFixedSize(kNormalWidth, kNormalHeight);
        resize(kNormalWidth, kNormalHeight);
        move(desktop::centred(size()));
    }

    savedTargetRows.clear();
    for (int row = 0; row < targetTable->rowCount(); ++row) {
        savedTargetRows.append({cellText(targetTable, row, 0), cellText(targetTable, row, 1),
                                cellText(targetTable, row, 2)});
    }

    rebuildPages();
    showPageAfterRebuild(shownPage);

    const bool nowMaximised = !isMaximised;
    for (QPushButton* button : maxButtons) {
        button->setIcon(QIcon(nowMaximised ? kRestoreIcon : kMaximiseIcon));
    }
    isMaximised = nowMaximised;
}

void DRUI::btnCloseSlot() {
    close();
}

void DRUI::rebuildPages() {
    // Record before cut and merge: both copy the save directory it reads.
    buildHomePage();
    buildRecordPage();
    buildCutPage();
    buildMergePage();
    for (QWidget* page : {homePage, recordPage, cutPage, mergePage}) {
        pageStack->addWidget(page);
    }
}

void DRUI::showPageAfterRebuild(int pageIndex) {
    switch (pageIndex) {
        case kRecordPage:
            pageStack->setCurrentWidget(recordPage);
            break;
        case kCutPage:
            btnMontageSlot();
            break;
        case kMergePage:
            btnEditSlot();
            // Only here does the merge list survive the rebuild.
            targetTable->setRowCount(0);
            for (const QStringList& row : savedTargetRows) {
                appendTargetRow(row.value(0), row.value(1), row.value(2));
                updateMergeButton();
            }
            break;
        default:
            pageStack->setCurrentWidget(homePage);
            break;
    }
}

void DRUI::retirePage(QWidget*& page) {
    if (!page) {
        return;
    }
    // Cut every tie from the old controls to the window first: hiding the page
    // moves the keyboard focus, and a focus-out of an old directory field must
    // not refill a table.
    for (QObject* child : page->findChildren<QObject*>()) {
        child->removeEventFilter(this);
        disconnect(child, nullptr, this, nullptr);
    }
    if (pageStack) {
        pageStack->removeWidget(page);
    }
    page->hide();
    // Deferred: the maximise button that started the rebuild is one of the
    // old page's controls and is still delivering its click.
    page->deleteLater();
    page = nullptr;
}
