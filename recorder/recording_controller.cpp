#include "recorder/recording_controller.h"

#include "platform/disk_space.h"
#include "platform/native_path.h"
#include "recorder/recording_names.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <cstring>

namespace recorder {

QString noSpaceMessage() {
    return QStringLiteral("Not enough space, recording stopped.");
}

QString recordFailedMessage() {
    return QStringLiteral("Record failed. Create Avi file failed.");
}

QString recordErrorMessage(int lastRecordError, const QString& detail) {
    const QString first =
        lastRecordError == kRecordErrNoSpace ? noSpaceMessage() : recordFailedMessage();
    return detail.isEmpty() ? first : first + QLatin1Char('\n') + detail;
}

QString createFailureDetail(const QString& path) {
    const QByteArray file = platform::encodePath(path);
    const QByteArray dir = platform::encodePath(QFileInfo(path).path());
    int error = 0;
    struct stat status {};
    if (QFileInfo(path).fileName().toUtf8().size() > NAME_MAX || file.size() >= PATH_MAX)
        error = ENAMETOOLONG;
    else if (::stat(dir.constData(), &status) != 0)
        error = errno;
    else if (!S_ISDIR(status.st_mode))
        error = ENOTDIR;
    else if (::faccessat(AT_FDCWD, dir.constData(), W_OK | X_OK, AT_EACCESS) != 0)
        error = errno;
    else if (::stat(file.constData(), &status) == 0 && S_ISDIR(status.st_mode))
        error = EISDIR;
    QString why;
    switch (error) {
        case 0:
            why = QStringLiteral("The file cannot be written");
            break;
        case EACCES:
        case EPERM:
            why = QStringLiteral("No permission to write");
            break;
        case ENOTDIR:
            why = QStringLiteral("Not a directory");
            break;
        case ENOENT:
            why = QStringLiteral("No such directory");
            break;
        case ENAMETOOLONG:
            why = QStringLiteral("Path too long");
            break;
        default:
            why = QString::fromLocal8Bit(std::strerror(error));
            break;
    }
    return why + QStringLiteral(": ") + path;
}

QString screenUnavailableMessage(int screenStatus) {
    switch (screenStatus) {
        case kScreenOk:
            return {};
        case kScreenErrNeedsX11:
            return QStringLiteral(
                "Screen capture needs an X11 session. This Wayland session gives no access to "
                "the screen; log in with an X11 (Xorg) session to record.");
        default:
            return QStringLiteral("Record failed. The screen cannot be read (%1).")
                .arg(QString::fromLatin1(screenStatusName(screenStatus)));
    }
}

RecordingController::RecordingController(ScreenSource& screen, const Clock& clock)
    : screen_(screen), clock_(clock), writer_(clock), freeSpace_(driveFreeSpace) {
    screenStatus_ = screen_.probe(geometry_);
    if (screenStatus_ == kScreenOk && !isUsableGeometry(geometry_))
        screenStatus_ = kScreenErrBadGeometry;
}

RecordingController::~RecordingController() {
    // Whatever ends the program, the recording's file is completed.
    stopTimer();
    stopSound();
    writer_.closeAviFile();
    releaseScreen();
}

void RecordingController::setCaptureTimer(QTimer* timer) {
    timer_ = timer;
    if (timer_) {
        // Ticks pace the video against the wall clock; a coarse timer would
        // let them wander by 5%.
        timer_->setTimerType(Qt::PreciseTimer);
    }
}

void RecordingController::setSaveDirectory(std::function<QString()> saveDirectory) {
    saveDirectory_ = std::move(saveDirectory);
}

void RecordingController::setFreeSpaceQuery(std::function<int(const QString&, qint64&)> query) {
    freeSpace_ = std::move(query);
}

void RecordingController::setSoundSources(const sound::FixedSoundDeviceList* devices,
                                          sound::SoundSource* capture) {
    stopSound();
    soundDevices_ = devices;
    soundCapture_ = capture;
}

void RecordingController::start() {
    stopTimer();
    stopSound();
    writer_.resetFrameCount();
    // An earlier recording's failure must not be reported again by a stop
    // that comes before this recording's first tick.
    lastRecordError_ = 0;
    failureDetail_.clear();
    runStarted_ = false;
    startTimer();
    isRecording_ = true;
}

int RecordingController::stop(PauseClearing clearing) {
    if (clearing == PauseClearing::BeforeClose)
        isPaused_ = false;
    stopTimer();
    // Capture ends first and hands over its last, partly filled block; only
    // then are the streams released.
    stopSound();
    const int closed = writer_.closeAviFile();
    if (clearing == PauseClearing::AfterClose) {
        writer_.resetFrameCount();
        isPaused_ = false;
    }
    releaseScreen();
    isRecording_ = false;
    return closed;
}

bool RecordingController::togglePause() {
    if (!isRecording_)
        return false;
    // Capture goes on while paused and drops what arrives, so after the
    // resume the sound continues with the picture.
    if (soundCapture_)
        soundCapture_->setPaused(!isPaused_);
    if (!isPaused_) {
        stopTimer();
        // What was written so far survives a pause of any length.
        writer_.refreshNow();
    } else {
        // The paused time is left out: pacing starts again from the next frame.
        runStarted_ = false;
        startTimer();
    }
    isPaused_ = !isPaused_;
    return true;
}

int RecordingController::tick() {
    if (!isRecording_ || isPaused_) {
        // A tick queued before the timer stopped: nothing to do, and nothing
        // for the caller to stop.
        return 0;
    }
    const std::int64_t now = clock_.monotonicMs();
    int result = kScreenOk;
    failureDetail_.clear();
    QString saveDir = lastSaveDir_;
    if (writer_.frameCount() == 0)
        result = beginFile(saveDir);
    if (result == 0) {
        const int status = appendFrame(now);
        if (status != 0)
            result = failureResult(status, saveDir);
    }
    lastRecordError_ = result;
    return result;
}

int RecordingController::beginFile(QString& saveDir) {
    if (!screenOpen_) {
        if (int rc = screen_.open(geometry_); rc != kScreenOk)
            return rc;
        screenOpen_ = true;
        frame_.assign(frameBytes(geometry_), 0);
        frameHeader_ = frameFormatHeader(geometry_);
    }
    // The grab's own failures leave a black frame, which is still written.
    screen_.grab(frame_);
    saveDir = saveDirectory_ ? saveDirectory_() : QString();
    // No directory at all would put the recording in the working directory.
    if (saveDir.isEmpty())
        saveDir = defaultSaveDirectory();
    lastSaveDir_ = saveDir;
    // A directory that cannot be made shows up as a failure to create the file.
    (void)platform::makeDirectoryPath(saveDir);
    const QString path = freeRecordingPath(saveDir, clock_.localNow());
    runStarted_ = false;
    writer_.setFreeSpaceProbe([this, saveDir] {
        qint64 freeBytes = -1;
        if (freeSpace_)
            freeSpace_(saveDir, freeBytes);
        return static_cast<std::int64_t>(freeBytes);
    });
    const int created = createFileWithSound(path);
    if (created != 0)
        failureDetail_ = createFailureDetail(path);
    return created;
}

int RecordingController::createFileWithSound(const QString& path) {
    const std::string file = platform::encodePathStd(path);
    if (!soundDevices_ || !soundCapture_ || audioDeviceId_ == sound::kAudioDeviceNone)
        return writer_.createAviFile(file, frameHeader_, false);
    // No input at all (or no sound server): no audio stream.
    const std::vector<sound::SoundDevice>& inputs = soundDevices_->devices();
    const bool withAudio = !inputs.empty();
    if (int rc = writer_.createAviFile(file, frameHeader_, withAudio); rc != 0 || !withAudio)
        return rc;
    std::string input;
    if (sound::deviceNameFor(audioDeviceId_, inputs, input)) {
        soundCapture_->start(input, [this](const std::uint8_t* data, std::size_t bytes) {
            writer_.writeAviAudio(data, static_cast<std::int32_t>(bytes));
        });
    }
    return 0;
}

void RecordingController::stopSound() {
    if (soundCapture_)
        soundCapture_->stop();
}

int RecordingController::appendFrame(std::int64_t now) {
    if (writer_.frameCount() > 0) {
        // Not the first tick: this tick's frame was grabbed in beginFile otherwise.
        screen_.grab(frame_);
    }
    if (!runStarted_) {
        runStarted_ = true;
        runStartMs_ = now;
        runFrames_ = 0;
    }
    // A tick that comes a whole period or more after its slot fills the slots
    // it missed with the previous picture, so the video keeps to the wall
    // clock (and to the sound) instead of playing faster than real time.
    const std::int64_t due = runStartMs_ + static_cast<std::int64_t>(runFrames_) * kCapturePeriodMs;
    const std::int64_t late = now - due;
    const std::int64_t missed = late >= kCapturePeriodMs ? late / kCapturePeriodMs : 0;
    for (std::int64_t i = 0; i < missed; ++i) {
        if (int rc = writer_.writeRepeatFrame(); rc != 0)
            return rc;
        ++runFrames_;
    }
    if (int rc = writer_.writeAviFrame(frame_.data(), frameHeader_); rc != 0)
        return rc;
    ++runFrames_;
    return 0;
}

int RecordingController::failureResult(int status, const QString& saveDir) {
    const QString path = recordFilePath();
    if (status == kRecordErrFileGone) {
        failureDetail_ = QStringLiteral("The recording's file or its folder was deleted: ") + path;
        return status;
    }
    failureDetail_ = QStringLiteral("Writing failed: ") + path;
    qint64 freeBytes = 0;
    if (freeSpace_)
        freeSpace_(saveDir, freeBytes);
    return freeBytes < kFullDriveBytes ? kRecordErrNoSpace : status;
}

QString RecordingController::failureMessage() const {
    const int error = lastRecordError_;
    return recordErrorMessage(error, error == kRecordErrNoSpace ? QString() : failureDetail_);
}

QString RecordingController::recordFilePath() const {
    return platform::decodePath(writer_.recordFilePath());
}

void RecordingController::startTimer() {
    if (timer_)
        timer_->start(kCapturePeriodMs);
}

void RecordingController::stopTimer() {
    if (timer_)
        timer_->stop();
}

void RecordingController::releaseScreen() {
    screen_.close();
    screenOpen_ = false;
    // 8 MB at 1920 by 1080: not kept while no recording runs.
    std::vector<std::uint8_t>().swap(frame_);
}

}  // namespace recorder
