// A private PulseAudio server for the sound tests: its own directory and
// socket, one null output "Test Speakers" (44100 Hz stereo) whose monitor is
// the input "Monitor of Test Speakers". PULSE_SERVER points at it while it
// runs; the destructor stops it and what it started by their process ids.
#pragma once

#include <sys/types.h>

#include <QString>
#include <QTemporaryDir>
#include <optional>

#include "platform/sound_input_lister.h"
#include "tests/support/scoped_env.h"

class PulseTestServer {
  public:
    PulseTestServer() = default;
    ~PulseTestServer();
    PulseTestServer(const PulseTestServer&) = delete;
    PulseTestServer& operator=(const PulseTestServer&) = delete;

    // Starts the server and waits until it answers. False (with why()) when
    // it cannot run here.
    bool start();
    QString why() const { return why_; }
    // Keeps a low-latency listener on the output's monitor, as a desktop
    // with sound playing has: an idle null output runs with long periods,
    // and its monitor then stays silent for the first seconds of a capture.
    void keepOutputBusy();
    // Plays a sine tone of `hz` for `seconds` into "Test Speakers" in the
    // background (a tone file made by sox, played by paplay).
    bool playTone(int hz, double seconds);
    // Adds a capture input that is not a monitor (a null source), with the
    // server name and the description given, as hardware inputs are listed.
    bool addInput(const QString& name, const QString& description);

  private:
    QTemporaryDir dir_;
    std::optional<ScopedEnv> pulseServer_;
    pid_t server_ = -1;
    pid_t player_ = -1;
    pid_t keeper_ = -1;
    QString why_;
};

// Runs the event loop until the lister has no question out (its answer, if
// any, delivered). False when no answer came within a generous limit.
bool waitForInputsListed(sound::SoundInputLister& lister);

// A PULSE_SERVER that nobody answers, while it lives.
class NoPulseServer {
    ScopedEnv server_{"PULSE_SERVER", "unix:/nonexistent/tessaly-no-sound-server"};
};
