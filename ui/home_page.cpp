// The home page: three large task buttons between the title bar and footer.
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/drui.h"
#include "ui/look.h"

namespace {

// Free space left and right of each task button.
constexpr int kHomeButtonSideSpace = 100;
constexpr int kPageSpacing = 5;

QPushButton* taskButton(const QString& image, const QString& text) {
    auto* button = new QPushButton(text);
    button->setFlat(true);
    button->setStyleSheet(look::roundButtonStyle());
    look::setHomeButtonTextColour(button);
    button->setFont(look::linkFont());
    const QPixmap picture(image);
    if (!picture.isNull()) {
        button->setIcon(QIcon(picture));
        button->setIconSize(picture.size());
        button->resize(picture.size());
    }
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QHBoxLayout* centredRow(QWidget* button) {
    auto* row = new QHBoxLayout;
    row->addSpacing(kHomeButtonSideSpace);
    row->addWidget(button);
    row->addSpacing(kHomeButtonSideSpace);
    return row;
}

}  // namespace

void DRUI::buildHomePage() {
    retirePage(homePage);
    homePage = new QWidget;

    homeRecordButton = taskButton(
        QStringLiteral(":/image/rec.png"),
        QStringLiteral("The easiest screen recorder to capture any video or audio\n on your "
                       "computer and save them in high quality"));
    connect(homeRecordButton, &QPushButton::clicked, this, &DRUI::btnSlot);
    homeMergeButton =
        taskButton(QStringLiteral(":/image/edit.png"),
                   QStringLiteral("Merge your several capturing screen videos into one file"));
    connect(homeMergeButton, &QPushButton::clicked, this, &DRUI::btnEditSlot);
    homeTrimButton = taskButton(
        QStringLiteral(":/image/cut_main.png"),
        QStringLiteral("Trim your capturing screen video by setting the start time\nand end time"));
    connect(homeTrimButton, &QPushButton::clicked, this, &DRUI::btnMontageSlot);

    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(kPageSpacing);
    buttons->setContentsMargins(0, 0, 0, 0);
    for (QPushButton* button : {homeRecordButton, homeMergeButton, homeTrimButton}) {
        buttons->addLayout(centredRow(button));
        buttons->addStretch(1);
    }

    auto* page = new QVBoxLayout(homePage);
    page->setSpacing(kPageSpacing);
    page->setContentsMargins(0, 0, 0, 0);
    page->addLayout(buildTitleBar(kHomePage));
    page->addWidget(greyLine(4));
    page->addStretch(3);
    page->addLayout(buttons);
    page->addStretch(3);
    page->addWidget(greyLine(4));
    page->addWidget(buildFooter());
}
