// tessaly-avi record: the recording controller and writer of the main window,
// driven by a plain event loop instead of widgets.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "platform/native_path.h"
#include "platform/pulse_sound_devices.h"
#include "platform/pulse_sound_source.h"
#include "platform/termination_signals.h"
#include "platform/x11_screen_source.h"
#include "recorder/clock.h"
#include "recorder/recording_controller.h"
#include "recorder/recording_names.h"
#include "tools/tessaly-avi/command_line.h"
#include "tools/tessaly-avi/commands.h"
#include "tools/tessaly-avi/record_audio.h"

namespace tools::avi {
namespace {

// The longest recording a command line can ask for: 2e6 s (23 days), far
// past any real use, keeps the frame count it turns into plainly in range.
constexpr double kMaxSeconds = 2e6;

struct RecordOptions {
    QString directory = recorder::defaultSaveDirectory();
    double seconds = 0;                      // 0: until a signal
    QString audio = QStringLiteral("none");  // --audio: none, default or an input's description
    bool listAudio = false;
};

const CommandUsage kUsage{
    QStringLiteral("record"),
    QStringLiteral("[--dir DIR] [--seconds N] [--audio none|default|NAME] [--list-audio]"),
    QStringLiteral("Records the X11 screen (and sound) with the window's recording engine\n"
                   "until N seconds have passed or SIGINT, SIGTERM or SIGHUP arrives, completes\n"
                   "the file and prints its path as soon as it exists.")};

// Returns the exit status when the command ends here (help, or misuse).
std::optional<int> parseRecordOptions(const QStringList& args, RecordOptions& options) {
    QCommandLineParser parser;
    const QCommandLineOption dir(
        QStringLiteral("dir"),
        QStringLiteral("Save the recording in DIR (default: %1).").arg(options.directory),
        QStringLiteral("DIR"));
    const QCommandLineOption seconds(
        QStringLiteral("seconds"),
        QStringLiteral("Stop after N seconds (default: at SIGINT, SIGTERM or SIGHUP)."),
        QStringLiteral("N"));
    const QCommandLineOption audio(
        QStringLiteral("audio"),
        QStringLiteral("Sound input: none (default), default (the server's), or an input's "
                       "description or its start, or its server name."),
        QStringLiteral("NAME"));
    const QCommandLineOption listAudio(QStringLiteral("list-audio"),
                                       QStringLiteral("List the sound inputs and end."));
    parser.addOptions({dir, seconds, audio, listAudio});
    if (const auto status = parseArguments(parser, kUsage, args))
        return status;
    if (parser.isSet(dir))
        options.directory = parser.value(dir);
    if (options.directory.isEmpty())
        return usageError(kUsage.name, QStringLiteral("--dir needs a directory"));
    if (parser.isSet(seconds)) {
        bool isNumber = false;
        options.seconds = parser.value(seconds).toDouble(&isNumber);
        if (!isNumber || !(options.seconds > 0) || options.seconds > kMaxSeconds) {
            return usageError(kUsage.name,
                              QStringLiteral("--seconds '%1' is not a number above 0 and up to %2")
                                  .arg(parser.value(seconds))
                                  .arg(kMaxSeconds, 0, 'f', 0));
        }
    }
    if (parser.isSet(audio))
        options.audio = parser.value(audio);
    options.listAudio = parser.isSet(listAudio);
    return std::nullopt;
}

class HeadlessRecording {
  public:
    // `frameLimit` frames end the recording (0: only a signal does).
    HeadlessRecording(recorder::RecordingController& controller, std::uint64_t frameLimit)
        : controller_(controller), frameLimit_(frameLimit) {}

    void tick() {
        const int result = controller_.tick();
        announcePath();
        if (result != 0) {
            std::fprintf(stderr, "tessaly-avi record: %s (status %d)\n",
                         qPrintable(controller_.failureMessage()), result);
            finish(kExitFailed);
        } else if (frameLimit_ > 0 && controller_.frameCount() >= frameLimit_) {
            finish(0);
        }
    }

    void finish(int status) {
        if (finished_)
            return;
        finished_ = true;
        const int closed =
            controller_.stop(recorder::RecordingController::PauseClearing::BeforeClose);
        if (closed != 0) {
            std::fprintf(stderr, "tessaly-avi record: completing the file failed (status %d)\n",
                         closed);
            status = kExitFailed;
        }
        if (!announced_ && status == 0)
            std::fprintf(stderr, "tessaly-avi record: stopped before the first frame\n");
        QCoreApplication::exit(status);
    }

  private:
    void announcePath() {
        if (announced_ || controller_.frameCount() == 0)
            return;
        announced_ = true;
        printOut(controller_.recordFilePath() + QLatin1Char('\n'));
        std::fflush(stdout);
    }

    recorder::RecordingController& controller_;
    const std::uint64_t frameLimit_;
    bool announced_ = false;
    bool finished_ = false;
};

}  // namespace

int runRecord(const QStringList& args) {
    RecordOptions options;
    if (const auto status = parseRecordOptions(args, options))
        return *status;
    // The inputs are listed once: --audio picks from this list, and the
    // recording opens the input it picked. Both outlive the controller.
    sound::FixedSoundDeviceList soundInputs(sound::PulseSoundDeviceList().inputs());
    sound::PulseSoundSource soundCapture;
    if (options.listAudio) {
        printSoundInputs(soundInputs.inputs());
        return 0;
    }
    std::uint32_t audioDeviceId = sound::kAudioDeviceNone;
    if (!soundChoiceFor(platform::encodePathStd(options.audio), soundInputs.inputs(),
                        audioDeviceId)) {
        return usageError(kUsage.name,
                          QStringLiteral("--audio: no sound input is described as \"%1\" "
                                         "(see --list-audio)")
                              .arg(options.audio));
    }
    static int argc = 1;
    static char name[] = "tessaly-avi";
    static char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    X11ScreenSource screen;
    recorder::SystemClock clock;
    recorder::RecordingController controller(screen, clock);
    const QString unavailable = recorder::screenUnavailableMessage(controller.screenStatus());
    if (!unavailable.isEmpty()) {
        std::fprintf(stderr, "tessaly-avi record: %s\n", qPrintable(unavailable));
        return kExitFailed;
    }
    // A closed terminal or a logout ends the recording as Ctrl+C does: the
    // file is completed.
    platform::TerminationSignals stopRequests;
    if (!stopRequests.isWatching()) {
        std::fprintf(stderr, "tessaly-avi record: cannot catch SIGINT/SIGTERM/SIGHUP\n");
        return kExitFailed;
    }
    QTimer captureTimer;
    controller.setCaptureTimer(&captureTimer);
    controller.setSaveDirectory([dir = options.directory] { return dir; });
    controller.setSoundSources(&soundInputs, &soundCapture);
    controller.setAudioDeviceId(audioDeviceId);
    // --seconds counts frames, not wall-clock time: a stop timer would lose
    // the last frame whenever the tick due at the end runs late, while a late
    // tick still fills the slots it missed.
    const auto frameLimit = static_cast<std::uint64_t>(
        std::max(1.0, std::round(options.seconds * 1000 / recorder::kCapturePeriodMs)));
    HeadlessRecording recording(controller, options.seconds > 0 ? frameLimit : 0);
    QObject::connect(&captureTimer, &QTimer::timeout, [&recording] { recording.tick(); });

    QObject::connect(&stopRequests, &platform::TerminationSignals::terminationRequested,
                     [&recording] { recording.finish(0); });
    controller.start();
    return app.exec();
}

}  // namespace tools::avi
