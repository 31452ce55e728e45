// The cut page: directory, recordings table, preview area with its position
// slider, and the bottom bar with the player and trim controls.
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/drui.h"
#include "ui/look.h"

namespace {

constexpr int kRowMargin = 20;
// Width kept free right of the directory strip, and the room the table and
// the gap leave beside the preview.
constexpr int kBesideStrip = 300;
constexpr int kBesideVideo = 300;
constexpr int kVideoHeight = 300;

QHBoxLayout* pageRow() {
    auto* row = new QHBoxLayout;
    row->setContentsMargins(kRowMargin, 0, kRowMargin, 0);
    return row;
}

QPushButton* barButton(const QString& text, const QString& icon, QWidget* bar,
                       const QRect& geometry) {
    auto* button = new QPushButton(text, bar);
    button->setGeometry(geometry);
    button->setFont(look::recordAndCutPageFont());
    if (!icon.isEmpty()) {
        button->setIcon(QIcon(icon));
    }
    button->setFlat(true);
    look::makeRoundButton(button);
    return button;
}

QLabel* timeText(QWidget* bar, const QRect& geometry) {
    auto* label = new QLabel(QStringLiteral("00:00"), bar);
    label->setGeometry(geometry);
    label->setFont(look::recordAndCutPageFont());
    label->setStyleSheet(look::whiteText());
    return label;
}

}  // namespace

void DRUI::buildCutPage() {
    // The preview draws into the old page's video area, whose window goes
    // with it: the player ends first (a maximise starts it again).
    preview_.kill();
    retirePage(cutPage);
    cutPage = new QWidget;
    const int w = pageWidth();
    const QFont font = look::recordAndCutPageFont();

    auto* strip = new QLabel;
    strip->setMinimumSize(200, 25);
    strip->setStyleSheet(look::greyFill());
    cutDirEdit = new QLineEdit(strip);
    cutDirEdit->setGeometry(0, 0, 220, 25);
    cutDirEdit->setFont(font);
    cutDirEdit->setStyleSheet(look::fieldBorder());
    cutDirEdit->setText(saveDirectory());
    cutDirEdit->setCursorPosition(1);
    // Installed on every build, so the refresh on leaving the field survives
    // a rebuild of the page.
    cutDirEdit->installEventFilter(this);
    cutFolderButton = new QPushButton(strip);
    cutFolderButton->setGeometry(230, 0, 30, 25);
    cutFolderButton->setFont(font);
    cutFolderButton->setIcon(QIcon(QStringLiteral(":/image/folder.png")));
    connect(cutFolderButton, &QPushButton::clicked, this, &DRUI::btnSlotLayout3Dir);

    cutTable = buildCutTable();
    videoLabel = new QLabel;
    videoLabel->setMinimumSize(w - kBesideVideo, kVideoHeight);
    videoLabel->setAlignment(Qt::AlignCenter);

    positionSlider = new QSlider(Qt::Horizontal);
    positionSlider->setStyleSheet(look::sliderStyle());
    connect(positionSlider, &QSlider::sliderMoved, this, &DRUI::current);
    timeLabel = new QLabel;
    timeLabel->setFont(font);
    timeLabel->setStyleSheet(look::whiteText());

    auto* bottomBar = new QLabel;
    bottomBar->setMinimumSize(w, 40);
    const int q = w / 4;
    playButton = barButton(QStringLiteral("Play"), QStringLiteral(":/image/play.png"), bottomBar,
                           {q, 2, 70, 25});
    connect(playButton, &QPushButton::clicked, this, &DRUI::btnLayout3Play);
    startTimeButton =
        barButton(QStringLiteral("Start Time"), QString(), bottomBar, {q + 80, 2, 80, 25});
    connect(startTimeButton, &QPushButton::clicked, this, &DRUI::btnSetHead);
    startTimeLabel = timeText(bottomBar, {q + 170, 2, 100, 25});
    endTimeButton =
        barButton(QStringLiteral("End Time"), QString(), bottomBar, {q + 280, 2, 90, 25});
    connect(endTimeButton, &QPushButton::clicked, this, &DRUI::btnSetTail);
    endTimeLabel = timeText(bottomBar, {q + 380, 2, 100, 25});
    cutButton = barButton(QStringLiteral("Cut"), QStringLiteral(":/image/cut.png"), bottomBar,
                          {q + 480, 2, 70, 25});
    connect(cutButton, &QPushButton::clicked, this, &DRUI::btnSlotLayout3Cut);
    cutBackButton = barButton(QStringLiteral("Back"), QString(), bottomBar, {q + 560, 2, 70, 25});
    connect(cutBackButton, &QPushButton::clicked, this, &DRUI::btnSlotBack);
    for (QPushButton* button : {playButton, startTimeButton, endTimeButton, cutButton}) {
        button->setEnabled(false);
    }

    auto* directoryRow = pageRow();
    directoryRow->addWidget(strip);
    directoryRow->addSpacing(w - kBesideStrip);
    auto* previewRow = pageRow();
    previewRow->addWidget(cutTable);
    previewRow->addSpacing(10);
    previewRow->addWidget(videoLabel);
    auto* sliderRow = pageRow();
    sliderRow->addWidget(positionSlider);
    sliderRow->addWidget(timeLabel);

    auto* page = new QVBoxLayout(cutPage);
    page->setContentsMargins(0, 0, 0, 0);
    page->addLayout(buildTitleBar(kCutPage));
    page->addLayout(directoryRow);
    page->addLayout(previewRow);
    page->addLayout(sliderRow);
    page->addWidget(bottomBar);
    page->addWidget(greyLine(4));
    page->addWidget(buildFooter());
}
