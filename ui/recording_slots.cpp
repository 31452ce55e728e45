// The record page's controls, the tray menu's recording entries and the
// capture tick: each slot moves the recording controller and keeps the
// window, the record button and the tray in step with it.
#include <QAction>
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>

#include "platform/x11_screen_source.h"
#include "ui/drui.h"
#include "ui/sound_choice.h"

namespace {

using recorder::RecordingController;

const char* const kPictureStill = ":/image/rec1.png";
const char* const kPictureBlink = ":/image/rec2.png";
const char* const kIconPause = ":/image/pause.png";
const char* const kIconPlay = ":/image/play.png";
const char* const kIconStop = ":/image/stop.png";

// The tray picture alternates every 16 ticks (3.2 s): slow enough to read as
// "recording" rather than as a warning.
constexpr int kBlinkFirstPictureTicks = 15;
constexpr int kBlinkSecondPictureTicks = 30;

QString messageTitle() {
    return QStringLiteral("Recorder");
}

QAction* trayEntry(QSystemTrayIcon* icon, int position) {
    if (!icon || !icon->contextMenu())
        return nullptr;
    const QList<QAction*> actions = icon->contextMenu()->actions();
    return position < actions.size() ? actions[position] : nullptr;
}

void setEntry(QAction* action, const char* text, const char* icon) {
    if (!action)
        return;
    action->setText(DRUI::tr(text));
    action->setIcon(QIcon(QString::fromLatin1(icon)));
}

}  // namespace

void DRUI::setRecordingSources(std::unique_ptr<ScreenSource> screen,
                               std::unique_ptr<recorder::Clock> clock) {
    // The old controller completes its file before its parts go.
    recordingController.reset();
    screenSource = std::move(screen);
    recordingClock = std::move(clock);
    recordingController = std::make_unique<RecordingController>(*screenSource, *recordingClock);
    attachRecordingController();
}

void DRUI::attachRecordingController() {
    if (!recordingController)
        return;
    recordingController->setCaptureTimer(captureTimer);
    recordingController->setSaveDirectory([this] { return saveDirectory_; });
    recordingController->setSoundSources(&soundInputsShown_, soundCapture_.get());
    recordingController->setAudioDeviceId(audioDeviceId_);
}

void DRUI::setSoundSources(std::unique_ptr<sound::SoundDeviceList> devices,
                           std::unique_ptr<sound::SoundSource> capture) {
    // The controller lets go of the old capture (stopping it) first.
    if (recordingController)
        recordingController->setSoundSources(&soundInputsShown_, capture.get());
    // The old lister gives up a question still out.
    soundInputs_ = std::make_unique<sound::SoundInputLister>(std::move(devices));
    soundCapture_ = std::move(capture);
}

void DRUI::fillAudioCombo() {
    // The page never waits for the sound server: it shows the last known
    // inputs at once, and a newer list when the server has answered.
    audioChosenByUser_ = false;
    listSoundChoices(false);
    connect(soundInputs_.get(), &sound::SoundInputLister::inputsListed, this,
            &DRUI::showListedSoundInputs, Qt::UniqueConnection);
    soundInputs_->refresh();
}

void DRUI::showListedSoundInputs() {
    if (!audioCombo || soundInputs_->inputs() == soundInputsShown_.devices())
        return;
    // What the user chose stands, and so does the choice a running recording
    // was started with; otherwise the first entry, as after every build.
    const bool keepChoice =
        audioChosenByUser_ || (recordingController && recordingController->isRecording());
    listSoundChoices(keepChoice);
}

void DRUI::listSoundChoices(bool keepChoice) {
    const std::vector<sound::SoundDevice>& inputs = soundInputs_->inputs();
    const std::optional<std::uint32_t> kept =
        keepChoice ? soundchoice::sameChoiceIn(audioDeviceId_, soundInputsShown_.devices(), inputs)
                   : std::nullopt;
    int current = 0;
    const QSignalBlocker quiet(audioCombo);
    audioCombo->clear();
    for (const soundchoice::SoundChoice& choice : soundchoice::soundChoices(inputs)) {
        if (kept == choice.deviceId)
            current = audioCombo->count();
        audioCombo->addItem(choice.text, soundchoice::itemData(choice.deviceId));
    }
    soundInputsShown_.setInputs(inputs);
    audioCombo->setCurrentIndex(current);
    applyAudioChoice(current);
}

void DRUI::btnSlotRecord() {
    if (!recordingController->isRecording()) {
        if (refuseUnrecordableScreen())
            return;
        recordButton->setText(QStringLiteral("Stop"));
        applyTrayEntries(TrayState::Recording);
        recordingController->start();
        showRecordingState();
        if (trayIcon)
            trayIcon->setVisible(true);
        hideForRecording();
        return;
    }
    recordButton->setText(QStringLiteral("Start"));
    applyTrayEntries(TrayState::Stopped);
    setTrayPicture(kPictureStill);
    recordingController->stop(RecordingController::PauseClearing::BeforeClose);
    showRecordingState();
    showAfterRecording();
    if (recordingController->lastRecordError() != 0)
        showInformation(this, messageTitle(), recordingController->failureMessage());
}

void DRUI::btnSlotMenuStop() {
    if (recordingController->isRecording()) {
        recordingController->stop(RecordingController::PauseClearing::AfterClose);
        recordButton->setText(QStringLiteral("Start"));
        applyTrayEntries(TrayState::Stopped);
        setTrayPicture(kPictureStill);
        showRecordingState();
        showAfterRecording();
        return;
    }
    if (refuseUnrecordableScreen())
        return;
    applyTrayEntries(TrayState::Recording);
    recordingController->start();
    showRecordingState();
    hideForRecording();
}

void DRUI::btnSlotMenuPause() {
    if (!recordingController->togglePause())
        return;
    if (recordingController->isPaused()) {
        applyTrayEntries(TrayState::Paused);
        setTrayPicture(kPictureStill);
    } else {
        applyTrayEntries(TrayState::Recording);
    }
    showRecordingState();
}

void DRUI::doTimerRec() {
    const int result = recordingController->tick();
    advanceTrayBlink();
    if (result != 0)
        btnSlotRecord();
}

void DRUI::ComBoxIndexChange(int index) {
    audioChosenByUser_ = true;
    applyAudioChoice(index);
}

void DRUI::applyAudioChoice(int index) {
    if (!audioCombo || index < 0 || index >= audioCombo->count())
        return;
    audioDeviceId_ = audioCombo->itemData(index).toUInt();
    if (recordingController)
        recordingController->setAudioDeviceId(audioDeviceId_);
    if (audioHelpLink) {
        audioHelpLink->setVisible(
            soundchoice::capturesComputerSounds(audioDeviceId_, soundInputsShown_.devices()));
    }
}

void DRUI::applyTrayEntries(TrayState state) {
    QAction* pause = trayEntry(trayIcon, 0);
    QAction* stop = trayEntry(trayIcon, 1);
    switch (state) {
        case TrayState::Recording:
            if (pause)
                pause->setEnabled(true);
            setEntry(pause, "Pause", kIconPause);
            setEntry(stop, "Stop", kIconStop);
            break;
        case TrayState::Paused:
            setEntry(pause, "Start", kIconPlay);
            break;
        case TrayState::Stopped:
            if (pause)
                pause->setEnabled(false);
            setEntry(pause, "Pause", kIconPause);
            setEntry(stop, "Start", kIconPlay);
            break;
    }
}

void DRUI::setTrayPicture(const char* resource) {
    if (trayIcon)
        trayIcon->setIcon(QIcon(QString::fromLatin1(resource)));
}

void DRUI::advanceTrayBlink() {
    if (trayBlinkCount <= kBlinkFirstPictureTicks) {
        ++trayBlinkCount;
        setTrayPicture(kPictureStill);
    } else if (trayBlinkCount <= kBlinkSecondPictureTicks) {
        ++trayBlinkCount;
        setTrayPicture(kPictureBlink);
    } else {
        trayBlinkCount = 0;
    }
}

void DRUI::showRecordingState() {
    const bool recording = recordingController && recordingController->isRecording();
    if (recording && recordButton)
        recordButton->setText(QStringLiteral("Stop"));
    if (!recordPauseButton)
        return;
    recordPauseButton->setVisible(!QSystemTrayIcon::isSystemTrayAvailable());
    recordPauseButton->setEnabled(recording);
    recordPauseButton->setText(recording && recordingController->isPaused()
                                   ? QStringLiteral("Resume")
                                   : QStringLiteral("Pause"));
}

void DRUI::hideForRecording() {
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        hide();
        return;
    }
    minimisedForRecording = true;
    showMinimized();
}

void DRUI::showAfterRecording() {
    if (minimisedForRecording) {
        minimisedForRecording = false;
        showNormal();
        return;
    }
    show();
}

bool DRUI::refuseUnrecordableScreen() {
    const QString why = recorder::screenUnavailableMessage(recordingController->screenStatus());
    if (why.isEmpty())
        return false;
    showInformation(this, messageTitle(), why);
    return true;
}

void DRUI::finishRecordingOnClose() {
    if (recordingController && recordingController->isRecording())
        btnSlotMenuStop();
}
