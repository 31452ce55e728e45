// The title bar's window buttons: minimise, the switch between the normal
// size and the desktop's size (which rebuilds every page for the new width),
// and close.
#include <QIcon>
#include <QPushButton>
#include <QStackedLayout>

#include "ui/desktop_geometry.h"
#include "ui/drui.h"

namespace {

const QString kMaximiseIcon = QStringLiteral(":/image/max.png");
const QString kRestoreIcon = QStringLiteral(":/image/normal.png");

}  // namespace

void DRUI::btnMinSlot() {
    showMinimized();
}

void DRUI::btnMaxSlot() {
    const QRect area = desktop::maximisedArea();
    if (!maximised_ && area.isEmpty()) {
        return;  // no screen to fill
    }
    const int shownPage = pageStack->currentIndex();

    // The drag handler watches the window itself, so it carries over to the
    // new pages as it is; a second one would move the window twice.
    if (!maximised_) {
        // The window fills the area, so centring it puts it at its corner.
        setFixedSize(area.size());
        resize(area.size());
        move(area.topLeft());
    } else {
        setFixedSize(kNormalWidth, kNormalHeight);
        resize(kNormalWidth, kNormalHeight);
        move(desktop::centred(size()));
    }

    rebuildPages();
    showPageAfterRebuild(shownPage);

    const bool nowMaximised = !maximised_;
    for (QPushButton* button : maxButtons) {
        button->setIcon(QIcon(nowMaximised ? kRestoreIcon : kMaximiseIcon));
    }
    maximised_ = nowMaximised;
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
            showMergeList();
            updateMergeButton();
            return;
        default:
            pageStack->setCurrentWidget(homePage);
            break;
    }
    // Only a switch made on the merge page carries the merge list over.
    mergeList_.clear();
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
