// The merge page: directory, the recordings of that directory, the merge
// list with its ordering buttons, and Merge.
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/drui.h"
#include "ui/look.h"

namespace {

constexpr int kRowMargin = 20;
// Width kept free right of the directory strip.
constexpr int kBesideStrip = 450;
constexpr int kGap = 4;
constexpr int kSideStretch = 5;

QPushButton* sideButton(const QString& icon) {
    auto* button = new QPushButton;
    button->setMinimumSize(60, 25);
    button->setFont(look::mergePageFont());
    button->setIcon(QIcon(icon));
    look::makeRoundButton(button);
    button->setEnabled(false);
    return button;
}

QPushButton* barButton(const QString& text, QWidget* bar, const QRect& geometry) {
    auto* button = new QPushButton(text, bar);
    button->setGeometry(geometry);
    button->setFont(look::mergePageFont());
    button->setFlat(true);
    look::makeRoundButton(button);
    return button;
}

}  // namespace

void DRUI::buildMergePage() {
    retirePage(mergePage);
    mergePage = new QWidget;
    const int w = pageWidth();
    const QFont font = look::mergePageFont();

    auto* strip = new QLabel;
    strip->setMinimumSize(300, 25);
    strip->setStyleSheet(look::greyFill());
    auto* caption = new QLabel(QStringLiteral("Video directory:"), strip);
    caption->setGeometry(10, 0, 100, 25);
    caption->setFont(font);
    mergeDirEdit = new QLineEdit(strip);
    mergeDirEdit->setGeometry(120, 0, 240, 25);
    mergeDirEdit->setFont(font);
    mergeDirEdit->setStyleSheet(look::fieldBorder());
    mergeDirEdit->setText(saveDirectory());
    mergeDirEdit->setCursorPosition(1);
    // Installed on every build, so the refresh on leaving the field survives
    // a rebuild of the page.
    mergeDirEdit->installEventFilter(this);
    mergeFolderButton = new QPushButton(strip);
    mergeFolderButton->setGeometry(383, 0, 30, 25);
    mergeFolderButton->setFont(font);
    mergeFolderButton->setIcon(QIcon(QStringLiteral(":/image/folder.png")));
    connect(mergeFolderButton, &QPushButton::clicked, this, &DRUI::btnSlotLayout4Dir);

    sourceTable = buildSourceTable();
    targetTable = buildTargetTable();
    addButton = sideButton(QStringLiteral(":/image/add.png"));
    connect(addButton, &QPushButton::clicked, this, &DRUI::btnAddSlot);
    upButton = sideButton(QStringLiteral(":/image/up.png"));
    connect(upButton, &QPushButton::clicked, this, &DRUI::btnUpSlot);
    downButton = sideButton(QStringLiteral(":/image/down.png"));
    connect(downButton, &QPushButton::clicked, this, &DRUI::btnDownSlot);
    deleteButton = sideButton(QStringLiteral(":/image/delete.png"));
    connect(deleteButton, &QPushButton::clicked, this, &DRUI::btnDelSlot);

    auto* bottomBar = new QLabel;
    bottomBar->setMinimumSize(w, 40);
    mergeBackButton = barButton(QStringLiteral("Back"), bottomBar, {20, 2, 100, 35});
    connect(mergeBackButton, &QPushButton::clicked, this, &DRUI::btnSlotBack);
    mergeButton = barButton(QStringLiteral("Merge"), bottomBar, {w - 180, 2, 100, 35});
    mergeButton->setEnabled(false);
    connect(mergeButton, &QPushButton::clicked, this, &DRUI::btnSlotLayout4Merge);

    auto* directoryRow = new QHBoxLayout;
    directoryRow->setContentsMargins(kRowMargin, 0, kRowMargin, 0);
    directoryRow->addWidget(strip);
    directoryRow->addSpacing(w - kBesideStrip);

    auto* addColumn = new QVBoxLayout;
    addColumn->addStretch(kSideStretch);
    addColumn->addWidget(addButton);
    addColumn->addStretch(kSideStretch);
    auto* orderColumn = new QVBoxLayout;
    orderColumn->addStretch(kSideStretch);
    orderColumn->addWidget(upButton);
    orderColumn->addSpacing(kGap);
    orderColumn->addWidget(downButton);
    orderColumn->addSpacing(kGap);
    orderColumn->addWidget(deleteButton);
    orderColumn->addStretch(kSideStretch);

    auto* listsRow = new QHBoxLayout;
    listsRow->setContentsMargins(kRowMargin, 0, kRowMargin, 0);
    listsRow->addWidget(sourceTable);
    listsRow->addSpacing(kGap);
    listsRow->addLayout(addColumn);
    listsRow->addSpacing(kGap);
    listsRow->addWidget(targetTable);
    listsRow->addSpacing(kGap);
    listsRow->addLayout(orderColumn);

    auto* bottomPart = new QVBoxLayout;
    bottomPart->setContentsMargins(0, 0, 0, 0);
    bottomPart->addWidget(bottomBar);
    bottomPart->addWidget(buildFooter());

    auto* page = new QVBoxLayout(mergePage);
    page->setSpacing(0);
    page->setContentsMargins(0, 0, 0, 0);
    page->addLayout(buildTitleBar(kMergePage));
    page->addLayout(directoryRow);
    page->addSpacing(2);
    page->addLayout(listsRow);
    page->addSpacing(kGap);
    page->addLayout(bottomPart);
}
