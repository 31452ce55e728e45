#include "platform/pulse_connection.h"

#include <chrono>

namespace sound {
namespace {

std::int64_t nowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

bool hasEnded(pa_context* context) {
    const pa_context_state_t state = pa_context_get_state(context);
    return state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED;
}

}  // namespace

PulseConnection::PulseConnection(const std::atomic<bool>* cancel) : cancel_(cancel) {
    loop_ = pa_mainloop_new();
    if (loop_)
        context_ = pa_context_new(pa_mainloop_get_api(loop_), "Tessaly Recorder");
}

PulseConnection::~PulseConnection() {
    if (context_) {
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    if (loop_)
        pa_mainloop_free(loop_);
}

bool PulseConnection::connect(int timeoutMs) {
    if (!context_)
        return false;
    // No autospawn: a recorder must not start a sound server behind the
    // user's back; without one there is simply no sound input.
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return false;
    const std::int64_t deadline = nowUs() + std::int64_t{timeoutMs} * 1000;
    while (!isReady()) {
        if (isCancelled() || hasEnded(context_) || !runUntil(deadline))
            return false;
    }
    return true;
}

bool PulseConnection::await(pa_operation* op, int timeoutMs) {
    if (!op)
        return false;
    const std::int64_t deadline = nowUs() + std::int64_t{timeoutMs} * 1000;
    bool done = true;
    while (pa_operation_get_state(op) == PA_OPERATION_RUNNING) {
        if (isCancelled() || hasEnded(context_) || !runUntil(deadline)) {
            done = false;
            break;
        }
    }
    if (!done)
        pa_operation_cancel(op);
    pa_operation_unref(op);
    return done;
}

bool PulseConnection::runUntil(std::int64_t deadlineUs) {
    const std::int64_t left = deadlineUs - nowUs();
    if (left <= 0)
        return false;
    if (pa_mainloop_prepare(loop_, static_cast<int>(left)) < 0)
        return false;
    if (pa_mainloop_poll(loop_) < 0)
        return false;
    return pa_mainloop_dispatch(loop_) >= 0;
}

bool PulseConnection::runOnce() {
    return loop_ && pa_mainloop_iterate(loop_, 1, nullptr) >= 0;
}

void PulseConnection::wakeUp() {
    if (loop_)
        pa_mainloop_wakeup(loop_);
}

bool PulseConnection::isReady() const {
    return context_ && pa_context_get_state(context_) == PA_CONTEXT_READY;
}

}  // namespace sound
