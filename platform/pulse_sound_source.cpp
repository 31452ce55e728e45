#include "platform/pulse_sound_source.h"

#include <chrono>

#include "platform/pulse_connection.h"

namespace sound {
namespace {

// Connecting to a local server takes milliseconds; a hung server leaves the
// recording without sound instead of waiting on.
constexpr int kConnectTimeoutMs = 2000;
// The server hands over sound every 10 ms: small enough that a stop loses at
// most this much of what was still on its way, large enough that the
// capture thread wakes only 100 times a second.
constexpr std::uint32_t kFragmentBytes = kSoundBytesPerSecond / 100;

std::int64_t steadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

struct PulseSoundSource::Capture {
    Capture(std::string device, SoundBlockSink sink)
        : deviceName(std::move(device)), blocks(std::move(sink)), server(&stopRequested) {}

    void run();
    bool openStream();
    void closeStream();
    void readAvailable();

    static void onReadable(pa_stream*, std::size_t, void* self) {
        static_cast<Capture*>(self)->readAvailable();
    }

    const std::string deviceName;
    SoundBlockAssembler blocks;
    std::atomic<bool> stopRequested{false};  // before the server, which reads it
    PulseConnection server;
    pa_stream* stream = nullptr;
};

void PulseSoundSource::Capture::run() {
    if (server.connect(kConnectTimeoutMs))
        openStream();
    // Sound arrives through onReadable while the loop turns; a stop request
    // wakes the loop up.
    while (!stopRequested) {
        if (!server.runOnce())
            break;
    }
    if (stream && pa_stream_get_state(stream) == PA_STREAM_READY)
        readAvailable();
    closeStream();
    blocks.finish();
}

bool PulseSoundSource::Capture::openStream() {
    const pa_sample_spec format{PA_SAMPLE_S16LE, kSoundSampleRate,
                                static_cast<std::uint8_t>(kSoundChannels)};
    if (!pa_sample_spec_valid(&format))
        return false;
    stream = pa_stream_new(server.context(), "Recording", &format, nullptr);
    if (!stream)
        return false;
    pa_stream_set_read_callback(stream, onReadable, this);
    pa_buffer_attr buffering;
    buffering.maxlength = static_cast<std::uint32_t>(-1);
    buffering.tlength = static_cast<std::uint32_t>(-1);
    buffering.prebuf = static_cast<std::uint32_t>(-1);
    buffering.minreq = static_cast<std::uint32_t>(-1);
    buffering.fragsize = kFragmentBytes;
    // No PA_STREAM_FIX_* flags: the server converts whatever the input
    // delivers to the recording format. ADJUST_LATENCY asks the input itself
    // to run at the fragment size, so sound arrives in small steps.
    const char* device = deviceName.empty() ? nullptr : deviceName.c_str();
    return pa_stream_connect_record(stream, device, &buffering, PA_STREAM_ADJUST_LATENCY) == 0;
}

void PulseSoundSource::Capture::readAvailable() {
    while (pa_stream_readable_size(stream) > 0) {
        const void* data = nullptr;
        std::size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0)
            return;
        if (data)
            blocks.append(static_cast<const std::uint8_t*>(data), bytes, steadyMs());
        else if (!blocks.isPaused())
            blocks.appendSilence(bytes);  // a hole in the input: keep the time
        pa_stream_drop(stream);
    }
}

void PulseSoundSource::Capture::closeStream() {
    if (!stream)
        return;
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
    stream = nullptr;
}

PulseSoundSource::PulseSoundSource() = default;

PulseSoundSource::~PulseSoundSource() {
    stop();
}

int PulseSoundSource::start(const std::string& deviceName, SoundBlockSink sink) {
    stop();
    capture_ = std::make_unique<Capture>(deviceName, std::move(sink));
    if (!capture_->server.context()) {
        capture_.reset();
        return 1;
    }
    capture_->blocks.begin(steadyMs());
    thread_ = std::thread([capture = capture_.get()] { capture->run(); });
    return 0;
}

void PulseSoundSource::setPaused(bool paused) {
    if (capture_)
        capture_->blocks.setPaused(paused, steadyMs());
}

void PulseSoundSource::stop() {
    if (!thread_.joinable()) {
        capture_.reset();
        return;
    }
    capture_->stopRequested = true;
    capture_->server.wakeUp();
    thread_.join();
    capture_.reset();
}

bool PulseSoundSource::isRunning() const {
    return thread_.joinable();
}

}  // namespace sound
