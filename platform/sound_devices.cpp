#include "platform/sound_devices.h"

namespace sound {
namespace {

bool contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

QString computerSoundsText() {
    return QStringLiteral("Computer sounds");
}

QString microphoneText() {
    return QStringLiteral("Microphone");
}

QString noSoundText() {
    return QStringLiteral("None");
}

bool isMixingDevice(const std::string& description) {
    // PulseAudio (and PipeWire's PulseAudio server) describe the capture side
    // of every output as "Monitor of <output>": Linux's stereo mix.
    static const std::string kMonitorPrefix = "Monitor of";
    return contains(description, "\u7acb\u4f53\u58f0\u6df7\u97f3") ||
           contains(description, "mix") || contains(description, "Mix") ||
           description.compare(0, kMonitorPrefix.size(), kMonitorPrefix) == 0;
}

bool isMicrophone(const std::string& description) {
    return contains(description, "\u9ea6\u514b\u98ce") || contains(description, "microphone") ||
           contains(description, "Microphone");
}

std::vector<SoundSourceItem> soundSourceItems(const std::vector<SoundDevice>& devices) {
    std::vector<SoundSourceItem> items;
    bool mixingFound = false;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const auto id = static_cast<std::uint32_t>(i);
        if (isMixingDevice(devices[i].description)) {
            items.push_back({computerSoundsText(), id});
            mixingFound = true;
        } else if (isMicrophone(devices[i].description)) {
            items.push_back({microphoneText(), id});
        }
    }
    if (!mixingFound)
        items.push_back({computerSoundsText(), kAudioDeviceDefault});
    items.push_back({noSoundText(), kAudioDeviceNone});
    return items;
}

bool needsMixingHint(const QString& itemText) {
    return itemText == computerSoundsText();
}

bool deviceNameFor(std::uint32_t deviceId, const std::vector<SoundDevice>& devices,
                   std::string& name) {
    name.clear();
    if (deviceId == kAudioDeviceDefault)
        return true;
    if (deviceId == kAudioDeviceNone || deviceId >= devices.size())
        return false;
    name = devices[deviceId].name;
    return true;
}

}  // namespace sound
