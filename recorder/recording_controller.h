// A recording from start to stop: the states (idle, recording, paused), the
// capture tick that grabs the screen and appends the frame, the file's name
// and place, and the telling of a full drive from other failures.
//
// The controller knows no widgets. Its owner connects a QTimer's timeout to
// tick() and hands the timer over; the main window and the command-line
// recorder both drive it, each showing the outcome its own way.
#pragma once

#include <QPointer>
#include <QString>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/screen_source.h"
#include "platform/sound_devices.h"
#include "platform/sound_source.h"
#include "recorder/clock.h"
#include "recorder/recording_writer.h"

namespace recorder {

// One tick per frame: 200 ms for 5 frames a second.
constexpr int kCapturePeriodMs = 1000 / static_cast<int>(kVideoFramesPerSecond);
// A drive with less free space than this when a write fails counts as full:
// the failure is then reported as lack of space.
constexpr qint64 kFullDriveBytes = 10 * 1024 * 1024;
// lastRecordError of a write that failed on a full drive.
constexpr int kRecordErrNoSpace = -101;

// The two texts a stopped recording may report.
QString noSpaceMessage();
QString recordFailedMessage();
// The text for a failed tick's status; `detail` (why and where) follows on
// a second line when there is one.
QString recordErrorMessage(int lastRecordError, const QString& detail = {});
// Why a file at `path` could not be created, and where: "Not a directory:
// /a/b/20240101120000.avi" and the like. Asked after the creation failed.
QString createFailureDetail(const QString& path);
// The text for a screen that cannot be recorded (probe status), or empty
// when the screen can be recorded.
QString screenUnavailableMessage(int screenStatus);

class RecordingController {
  public:
    // Which stop clears the pause flag first: the record button clears it
    // before the file is closed, the tray menu after (so sound arriving
    // while a paused recording closes is not written).
    enum class PauseClearing { BeforeClose, AfterClose };

    // Measures the screen once, as the main window does at start-up.
    RecordingController(ScreenSource& screen, const Clock& clock);
    ~RecordingController();
    RecordingController(const RecordingController&) = delete;
    RecordingController& operator=(const RecordingController&) = delete;

    // The probe's status (0 when the screen can be recorded) and geometry.
    int screenStatus() const { return screenStatus_; }
    const ScreenGeometry& geometry() const { return geometry_; }

    // The timer whose timeout calls tick(); started and stopped here.
    void setCaptureTimer(QTimer* timer);
    // Where recordings go, read on the first tick of each recording.
    void setSaveDirectory(std::function<QString()> saveDirectory);
    // Free-space query used after a failed write (driveFreeSpace by default).
    void setFreeSpaceQuery(std::function<int(const QString&, qint64&)> query);

    // ---- Sound ----
    // The sound inputs the choice was made from and the capture that
    // recordings use; both outlive the controller. Without them (the
    // default) recordings have no sound.
    void setSoundSources(const sound::FixedSoundDeviceList* devices, sound::SoundSource* capture);
    // The chosen sound source: an input's position in the device list,
    // sound::kAudioDeviceDefault or sound::kAudioDeviceNone. Read when a
    // recording's file is created.
    void setAudioDeviceId(std::uint32_t id) { audioDeviceId_ = id; }
    std::uint32_t audioDeviceId() const { return audioDeviceId_; }

    // Idle -> recording. The file is created by the first tick.
    void start();
    // Recording or paused -> idle: the timer stops, the file is completed.
    // Returns the completion status of the file (0 also when there was none).
    int stop(PauseClearing clearing);
    // Recording <-> paused. Ignored (false) when no recording runs.
    bool togglePause();

    // One capture tick: grab, create the file on the first tick, append.
    // Late ticks first fill the slots they missed with repeat frames.
    // Returns the tick's result, also kept as lastRecordError().
    int tick();

    bool isRecording() const { return isRecording_; }
    bool isPaused() const { return isPaused_; }
    int lastRecordError() const { return lastRecordError_; }
    // The text that reports lastRecordError(), with why and where it failed.
    QString failureMessage() const;
    std::uint64_t frameCount() const { return writer_.frameCount(); }
    QString recordFilePath() const;
    RecordingWriter& writer() { return writer_; }

  private:
    int beginFile(QString& saveDir);
    int appendFrame(std::int64_t now);
    int failureResult(int status, const QString& saveDir);
    void startTimer();
    void stopTimer();
    void releaseScreen();
    // Adds the audio stream when a sound source is chosen and an input
    // exists, then starts capture into it (its failure leaves the stream
    // empty). Returns the file's creation status.
    int createFileWithSound(const QString& path);
    void stopSound();

    ScreenSource& screen_;
    const Clock& clock_;
    RecordingWriter writer_;
    ScreenGeometry geometry_;
    int screenStatus_ = kScreenErrNotOpen;
    QPointer<QTimer> timer_;
    std::function<QString()> saveDirectory_;
    std::function<int(const QString&, qint64&)> freeSpace_;
    const sound::FixedSoundDeviceList* soundDevices_ = nullptr;
    sound::SoundSource* soundCapture_ = nullptr;
    std::uint32_t audioDeviceId_ = sound::kAudioDeviceDefault;

    // Read by the sound thread as well.
    std::atomic<bool> isRecording_{false};
    std::atomic<bool> isPaused_{false};
    std::atomic<int> lastRecordError_{0};

    // Made on the first tick of a recording, reused by every tick.
    std::vector<std::uint8_t> frame_;
    media::BitmapInfoHeader frameHeader_;
    bool screenOpen_ = false;
    QString lastSaveDir_;
    // Why and where the latest failed tick failed; empty when unknown.
    QString failureDetail_;

    // Pacing: the steady time of the first frame since the start or the last
    // resume, and the frames (repeats included) written since then.
    bool runStarted_ = false;
    std::int64_t runStartMs_ = 0;
    std::uint64_t runFrames_ = 0;
};

}  // namespace recorder
