// A private connection to the PulseAudio server (PipeWire's PulseAudio server
// answers the same way): one main loop and one context, owned by the thread
// that made them. The server is found as every PulseAudio client finds it
// (PULSE_SERVER, the user's runtime directory); none is ever started.
#pragma once

#include <pulse/pulseaudio.h>

#include <atomic>
#include <cstdint>

namespace sound {

class PulseConnection {
  public:
    // `cancel`, when given, is a flag that another thread may raise (and
    // then call wakeUp()) to end a connect() or await() early.
    explicit PulseConnection(const std::atomic<bool>* cancel = nullptr);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Connects and waits until the server is ready, a failure, timeoutMs, or
    // the cancel flag.
    bool connect(int timeoutMs);
    // Runs the loop until `op` is done, the connection fails, timeoutMs, or
    // the cancel flag. Takes over `op`'s reference.
    bool await(pa_operation* op, int timeoutMs);
    // One turn of the loop; blocks until something happens or wakeUp().
    bool runOnce();
    // Any thread: makes a runOnce() that is blocked return.
    void wakeUp();

    pa_context* context() const { return context_; }
    bool isReady() const;

  private:
    // One turn that waits at most until the deadline.
    bool runUntil(std::int64_t deadlineUs);
    bool isCancelled() const { return cancel_ && *cancel_; }

    const std::atomic<bool>* cancel_;

    pa_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
};

}  // namespace sound
