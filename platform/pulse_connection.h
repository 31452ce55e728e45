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
    PulseConnection();
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Connects and waits until the server is ready, a failure, timeoutMs, or
    // `cancel` (when given) is raised and wakeUp() called.
    bool connect(int timeoutMs, const std::atomic<bool>* cancel = nullptr);
    // Runs the loop until `op` is done, the connection fails, or timeoutMs.
    // Takes over `op`'s reference.
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

    pa_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
};

}  // namespace sound
