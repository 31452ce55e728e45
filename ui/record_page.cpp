// The record page: sound source, save directory with its free space, and the
// Record button.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/native_path.h"
#include "ui/drui.h"
#include "ui/look.h"
#include "ui/settings.h"
#include "ui/web_links.h"

namespace {

constexpr int kPanelMargin = 50;

QLabel* caption(const QString& text, QWidget* panel, const QRect& geometry) {
    auto* label = new QLabel(text, panel);
    label->setGeometry(geometry);
    label->setFont(look::recordAndCutPageFont());
    return label;
}

QPushButton* bottomBarButton(const QString& text, QWidget* bar, const QRect& geometry) {
    auto* button = new QPushButton(text, bar);
    button->setGeometry(geometry);
    button->setFlat(true);
    look::makeRoundButton(button);
    return button;
}

}  // namespace

void DRUI::buildRecordPage() {
    retirePage(recordPage);
    recordPage = new QWidget;
    const int w = pageWidth();
    const QFont font = look::recordAndCutPageFont();

    auto* panel = new QLabel;
    panel->setMinimumSize(300, 320);
    panel->setStyleSheet(look::greyFill());

    caption(QStringLiteral("Audio:"), panel, {50, 80, 120, 25});
    audioCombo = new QComboBox(panel);
    audioCombo->setGeometry(180, 80, 300, 25);
    audioCombo->setFont(font);
    connect(audioCombo, &QComboBox::currentIndexChanged, this, &DRUI::ComBoxIndexChange);

    audioHelpLink = new QLabel(panel);
    audioHelpLink->setGeometry(500, 80, 400, 25);
    audioHelpLink->setFont(font);
    audioHelpLink->setTextFormat(Qt::RichText);
    audioHelpLink->setText(
        QStringLiteral("<a href=\"%1\">Please Enable Audio Settings First. Learn How&gt;&gt;</a>")
            .arg(weblinks::audioSetup().toString(QUrl::FullyEncoded)));
    connect(audioHelpLink, &QLabel::linkActivated, this, &DRUI::btnOpenUrl);
    audioHelpLink->show();
    fillAudioCombo();

    caption(QStringLiteral("Save directory:"), panel, {50, 120, 120, 25});
    savePathEdit = new QLineEdit(panel);
    savePathEdit->setMinimumSize(300, 20);
    savePathEdit->setGeometry(180, 120, 200, 25);
    savePathEdit->setFont(font);
    savePathEdit->setStyleSheet(look::fieldBorder());
    savePathEdit->setEnabled(false);
    look::keepDisabledFieldReadable(savePathEdit);

    recordFolderButton = new QPushButton(panel);
    recordFolderButton->setGeometry(500, 120, 30, 25);
    recordFolderButton->setFont(font);
    recordFolderButton->setIcon(QIcon(QStringLiteral(":/image/folder.png")));
    connect(recordFolderButton, &QPushButton::clicked, this, &DRUI::btnSlotLayout2Dir);

    caption(QStringLiteral("Free space:"), panel, {50, 170, 200, 25});
    freeSpaceLabel = caption(QString(), panel, {220, 170, 100, 25});
    caption(QStringLiteral("The best screen recorder & video editor that you can use to "
                           "capture\neverything on your screen with original "
                           "picture-in-picture"),
            panel, {50, 220, 500, 50});

    loadSaveDirectory();

    auto* panelBox = new QVBoxLayout;
    panelBox->setContentsMargins(kPanelMargin, kPanelMargin, kPanelMargin, kPanelMargin);
    panelBox->addWidget(panel);

    auto* bottomBar = new QLabel;
    bottomBar->setMinimumSize(w, 40);
    recordBackButton = bottomBarButton(QStringLiteral("Back"), bottomBar, {50, 2, 100, 35});
    connect(recordBackButton, &QPushButton::clicked, this, &DRUI::btnSlotBack);
    recordButton = bottomBarButton(QStringLiteral("Record"), bottomBar, {w - 150, 2, 100, 35});
    connect(recordButton, &QPushButton::clicked, this, &DRUI::btnSlotRecord);
    recordPauseButton = bottomBarButton(QStringLiteral("Pause"), bottomBar, {w - 260, 2, 100, 35});
    connect(recordPauseButton, &QPushButton::clicked, this, &DRUI::btnSlotMenuPause);
    // A rebuild while recording shows the recording that goes on.
    showRecordingState();

    auto* page = new QVBoxLayout(recordPage);
    page->setSpacing(0);
    page->setContentsMargins(0, 0, 0, 0);
    page->addLayout(buildTitleBar(kRecordPage));
    page->addWidget(greyLine(2));
    page->addStretch(3);
    page->addLayout(panelBox);
    page->addStretch(5);
    page->addWidget(bottomBar);
    page->addWidget(greyLine(4));
    page->addWidget(buildFooter());
}

// ---- Save directory ---------------------------------------------------------

void DRUI::loadSaveDirectory() {
    saveDirectory_ = SaveDirSettings(iniPath).readSavePath();
    showSaveDirectory();
    savePathEdit->setCursorPosition(1);
    freeSpaceLabel->setText(QStringLiteral("Unknow"));
    if (!saveDirectory_.isEmpty()) {
        showFreeSpace();
    }
}

void DRUI::showSaveDirectory() {
    savePathEdit->setText(platform::displayPath(saveDirectory_));
}

void DRUI::showFreeSpace() {
    freeSpaceLabel->setText(freeSpaceText(saveDirectory_));
}

void DRUI::btnSlotLayout2Dir() {
    const QString chosen = chooseDirectory(this);
    if (chosen.isEmpty()) {
        return;
    }
    saveDirectory_ = chosen;
    showSaveDirectory();
    // A failed write is not reported: the choice still holds for this run.
    (void)SaveDirSettings(iniPath).writeSavePath(chosen);
    showFreeSpace();
}
