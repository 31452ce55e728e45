// A private PulseAudio server for the sound tests: its own directory and
// socket, one null output "Test Speakers" (44100 Hz stereo) whose monitor is
// the input "Monitor of Test Speakers". PULSE_SERVER points at it while it
// runs; the destructor stops it by its process id.
#pragma once

#include <sys/types.h>

#include <QString>
#include <QTemporaryDir>

#include "platform/sound_input_lister.h"
#include "tests/support/scoped_env.h"

class PulseTestServer {
  public:
    PulseTestServer();
    ~PulseTestServer();
    PulseTestServer(const PulseTestServer&) = delete;
    PulseTestServer& operator=(const PulseTestServer&) = delete;

    // Starts the server and waits until it answers. False (with why()) when
    // it cannot run here.
    bool start();
    // Keeps a low-latency listener on the output's monitor, as a desktop
    // with sound playing has: an idle null output runs with long periods,
    // and its monitor then stays silent for the first seconds of a capture.
    void keepOutputBusy();
    QString why() const { return why_; }

    // Plays a sine tone of `hz` for `seconds` into "Test Speakers" (paplay,
    // tone file made by sox), in the background; the destructor ends it.
    bool playTone(int hz, double seconds);
    // Adds a capture input that is not a monitor (a null source), with the
    // server name and the description given, as hardware inputs are listed.
    bool addInput(const QString& name, const QString& description);
    // Runs a shell command with PULSE_SERVER set; its exit status.
    int run(const QString& command) const;

  private:
    QTemporaryDir dir_;
    pid_t server_ = -1;
    pid_t player_ = -1;
    pid_t keeper_ = -1;
    QString why_;
    QByteArray previousServer_;
    bool hadPreviousServer_ = false;
};

// Runs the event loop until the lister has no question out (its answer, if
// any, delivered). False when no answer came within a generous limit.
bool waitForInputsListed(sound::SoundInputLister& lister);

// A PULSE_SERVER that nobody answers, while it lives.
class NoPulseServer {
    ScopedEnv server_{"PULSE_SERVER", "unix:/nonexistent/tessaly-no-sound-server"};
};
