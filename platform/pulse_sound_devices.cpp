#include "platform/pulse_sound_devices.h"

#include "platform/pulse_connection.h"

namespace sound {
namespace {

// A local server answers in a few milliseconds; a hung one must not keep the
// list away for long.
constexpr int kServerAnswerTimeoutMs = 1500;

struct Listing {
    std::string defaultSource;
    std::vector<SoundDevice> devices;
};

void onServerInfo(pa_context*, const pa_server_info* info, void* userdata) {
    if (info && info->default_source_name)
        static_cast<Listing*>(userdata)->defaultSource = info->default_source_name;
}

void onSourceInfo(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    if (eol != 0 || !info)
        return;
    SoundDevice device;
    device.name = info->name ? info->name : "";
    device.description = info->description ? info->description : device.name;
    device.isMonitor = info->monitor_of_sink != PA_INVALID_INDEX;
    static_cast<Listing*>(userdata)->devices.push_back(std::move(device));
}

std::vector<SoundDevice> askServer(PulseConnection& server) {
    if (!server.connect(kServerAnswerTimeoutMs))
        return {};
    Listing listing;
    if (!server.await(pa_context_get_server_info(server.context(), onServerInfo, &listing),
                      kServerAnswerTimeoutMs))
        return {};
    if (!server.await(pa_context_get_source_info_list(server.context(), onSourceInfo, &listing),
                      kServerAnswerTimeoutMs))
        return {};
    for (SoundDevice& device : listing.devices)
        device.isDefault = device.name == listing.defaultSource;
    return listing.devices;
}

}  // namespace

std::vector<SoundDevice> PulseSoundDeviceList::inputs() {
    PulseConnection server(&cancelled_);
    {
        const std::lock_guard lock(asking_);
        server_ = &server;
    }
    std::vector<SoundDevice> devices = askServer(server);
    const std::lock_guard lock(asking_);
    server_ = nullptr;
    return devices;
}

void PulseSoundDeviceList::cancel() {
    cancelled_ = true;
    const std::lock_guard lock(asking_);
    if (server_)
        server_->wakeUp();
}

}  // namespace sound
