// tessaly-avi record: the recording controller and writer of the main window,
// driven by a plain event loop instead of widgets.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "platform/pulse_sound_devices.h"
#include "platform/pulse_sound_source.h"
#include "platform/x11_screen_source.h"
#include "recorder/clock.h"
#include "recorder/recording_controller.h"
#include "recorder/recording_names.h"
#include "tools/record_audio.h"
#include "tools/recorder_commands.h"

namespace tessaly_avi {
namespace {

struct RecordOptions {
    QString directory = recorder::defaultSaveDirectory();
    double seconds = 0;          // 0: until a signal
    std::string audio = "none";  // --audio: none, default or an input's description
    bool listAudio = false;
};

// Returns 0, or 2 after printing what is wrong.
int parseRecordOptions(const std::vector<std::string>& args, RecordOptions& options) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--dir" && hasValue) {
            options.directory = QFile::decodeName(QByteArray::fromStdString(args[++i]));
        } else if (a == "--seconds" && hasValue) {
            char* end = nullptr;
            const std::string& value = args[++i];
            options.seconds = std::strtod(value.c_str(), &end);
            if (end == value.c_str() || *end != '\0' || !(options.seconds > 0) ||
                options.seconds > 2e6) {
                std::fprintf(stderr, "tessaly-avi record: --seconds needs a positive number\n");
                return 2;
            }
        } else if (a == "--audio" && hasValue) {
            options.audio = args[++i];
        } else if (a == "--list-audio") {
            options.listAudio = true;
        } else {
            std::fprintf(stderr,
                         "usage: tessaly-avi record [--dir DIR] [--seconds N] "
                         "[--audio none|default|NAME] [--list-audio]\n");
            return 2;
        }
    }
    if (options.directory.isEmpty()) {
        std::fprintf(stderr, "tessaly-avi record: --dir needs a directory\n");
        return 2;
    }
    return 0;
}

// SIGINT and SIGTERM reach the event loop through a pipe, where stopping the
// recording is safe.
int signalPipe[2] = {-1, -1};

void onStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

bool catchStopSignals() {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 &&
           ::sigaction(SIGTERM, &action, nullptr) == 0;
}

class HeadlessRecording {
  public:
    explicit HeadlessRecording(recorder::RecordingController& controller)
        : controller_(controller) {}

    void tick() {
        const int result = controller_.tick();
        announcePath();
        if (result != 0) {
            std::fprintf(stderr, "tessaly-avi record: %s (status %d)\n",
                         qPrintable(recorder::recordErrorMessage(result)), result);
            finish(1);
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
            status = 1;
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
        std::printf("%s\n", QFile::encodeName(controller_.recordFilePath()).constData());
        std::fflush(stdout);
    }

    recorder::RecordingController& controller_;
    bool announced_ = false;
    bool finished_ = false;
};

}  // namespace

int runRecord(const std::vector<std::string>& args) {
    RecordOptions options;
    if (int rc = parseRecordOptions(args, options); rc != 0)
        return rc;
    // The inputs are listed once: --audio picks from this list, and the
    // recording opens the input it picked. Both outlive the controller.
    sound::FixedSoundDeviceList soundInputs(sound::PulseSoundDeviceList().inputs());
    sound::PulseSoundSource soundCapture;
    if (options.listAudio) {
        printSoundInputs(soundInputs.inputs());
        return 0;
    }
    std::uint32_t audioDeviceId = sound::kAudioDeviceNone;
    if (!soundChoiceFor(options.audio, soundInputs.inputs(), audioDeviceId)) {
        std::fprintf(stderr,
                     "tessaly-avi record: no sound input is described as \"%s\" "
                     "(see --list-audio)\n",
                     options.audio.c_str());
        return 2;
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
        return 1;
    }
    if (!catchStopSignals()) {
        std::fprintf(stderr, "tessaly-avi record: cannot catch SIGINT/SIGTERM\n");
        return 1;
    }
    QTimer captureTimer;
    controller.setCaptureTimer(&captureTimer);
    controller.setSaveDirectory([dir = options.directory] { return dir; });
    controller.setSoundSources(&soundInputs, &soundCapture);
    controller.setAudioDeviceId(audioDeviceId);
    HeadlessRecording recording(controller);
    QObject::connect(&captureTimer, &QTimer::timeout, [&recording] { recording.tick(); });

    QSocketNotifier stopRequests(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopRequests, &QSocketNotifier::activated, [&recording] {
        char drain[16];
        while (::read(signalPipe[0], drain, sizeof drain) > 0) {
        }
        recording.finish(0);
    });
    if (options.seconds > 0) {
        // Half a capture period past the end, so that the tick due exactly at
        // the end still runs: N seconds hold N x 5 frames.
        const int stopMs =
            static_cast<int>(options.seconds * 1000) + recorder::kCapturePeriodMs / 2;
        QTimer::singleShot(stopMs, Qt::PreciseTimer, [&recording] { recording.finish(0); });
    }
    controller.start();
    return app.exec();
}

}  // namespace tessaly_avi
