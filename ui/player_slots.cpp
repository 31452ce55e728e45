// The preview player's controls on the cut page, and the trim range taken
// from its position. The player engine does the work; these slots show it.
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include "filelist/format.h"
#include "ui/drui.h"

using player::PlayerAnswer;
using player::PlayerState;

void DRUI::connectPreview() {
    connect(&preview_, &player::PreviewPlayer::outputArrived, this, &DRUI::mplayerDataRecieve);
    connect(&preview_, &player::PreviewPlayer::ended, this, [this] {
        cutState_.playerFile.clear();
        showPlayButton(false);
    });
    connect(&preview_, &player::PreviewPlayer::startFailed, this, [this](const QString& message) {
        cutState_.playerFile.clear();
        showPlayButton(false);
        showWarning(this, QStringLiteral("Preview"), message);
    });
}

void DRUI::btnLayout3Play() {
    if (cutState_.selectedFile.isEmpty()) {
        return;
    }
    const bool playerGone =
        preview_.state() == PlayerState::Idle || preview_.state() == PlayerState::Ended;
    if (cutState_.selectedFile != cutState_.playerFile || playerGone) {
        startTimeLabel->setText(QStringLiteral("00:00"));
        endTimeLabel->setText(QStringLiteral("00:00"));
        endTimeButton->setEnabled(false);
        cutState_.playerFile = cutState_.selectedFile;
        showPlayButton(true);
        // Last: a player that cannot start resets the button at once.
        preview_.start(cutState_.playerFile, videoLabel->winId());
    } else if (preview_.state() == PlayerState::Playing) {
        preview_.pause();
        showPlayButton(false);
    } else {
        preview_.resume();
        showPlayButton(true);
    }
}

void DRUI::mplayerDataRecieve() {
    for (const PlayerAnswer& answer : preview_.readAnswers()) {
        showPreviewAnswer(answer);
    }
}

void DRUI::showPreviewAnswer(const PlayerAnswer& answer) {
    switch (answer.kind) {
        case PlayerAnswer::Kind::TimePosition:
            positionSlider->setValue(static_cast<int>(player::readNumber(answer.value)));
            break;
        case PlayerAnswer::Kind::Length:
            // The position shown is the one of the previous batch: the length
            // is asked for first.
            showPreviewTime(player::leadingInteger(preview_.positionText()));
            positionSlider->setRange(0, static_cast<int>(preview_.lengthExact()));
            startTimeButton->setEnabled(true);
            break;
        case PlayerAnswer::Kind::EndOfFile:
            showPreviewEnded();
            break;
        case PlayerAnswer::Kind::PercentPosition:
        case PlayerAnswer::Kind::Other:
            break;
    }
}

void DRUI::showPreviewEnded() {
    positionSlider->setValue(static_cast<int>(preview_.lengthExact()));
    showPreviewTime(preview_.lengthSeconds());
    showPlayButton(false);
    // The next Play starts the same recording again from its beginning.
    cutState_.playerFile.clear();
}

void DRUI::current(int value) {
    if (preview_.state() == PlayerState::Idle) {
        return;
    }
    preview_.seek(value);
    positionSlider->setValue(value);
    showPreviewTime(value);
}

void DRUI::showPreviewTime(qint64 positionSeconds) {
    timeLabel->setText(formatDuration(positionSeconds) + u'/' +
                       formatDuration(preview_.lengthSeconds()));
}

void DRUI::showPlayButton(bool playing) {
    playButton->setText(playing ? QStringLiteral("Pause") : QStringLiteral("Play"));
    playButton->setIcon(
        QIcon(playing ? QStringLiteral(":/image/pause.png") : QStringLiteral(":/image/play.png")));
}

void DRUI::endPreview() {
    preview_.quit();
    cutState_.playerFile.clear();
    if (positionSlider) {
        positionSlider->setValue(0);
    }
}

void DRUI::btnSetHead() {
    cutState_.takeStart(preview_.positionText());
    startTimeLabel->setText(formatDuration(cutState_.trimStartSeconds));
    endTimeButton->setEnabled(true);
}

void DRUI::btnSetTail() {
    cutState_.takeEnd(preview_.positionText());
    endTimeLabel->setText(formatDuration(cutState_.trimEndSeconds));
    cutButton->setEnabled(true);
}
