#include "tools/tessaly-avi/record_audio.h"

#include <cstdio>

namespace tools::avi {
namespace {

bool startsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

}  // namespace

void printSoundInputs(const std::vector<sound::SoundDevice>& inputs) {
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const sound::SoundDevice& d = inputs[i];
        std::printf("%zu\t%s\t%s\t%s%s\n", i, d.isMonitor ? "monitor" : "input",
                    d.description.c_str(), d.name.c_str(), d.isDefault ? "\tdefault" : "");
    }
}

bool soundChoiceFor(const std::string& wanted, const std::vector<sound::SoundDevice>& inputs,
                    std::uint32_t& deviceId) {
    if (wanted == "none") {
        deviceId = sound::kAudioDeviceNone;
        return true;
    }
    if (wanted == "default") {
        deviceId = sound::kAudioDeviceDefault;
        return true;
    }
    if (wanted.empty())
        return false;
    // An exact description or server name first, so that "Monitor of A" is
    // not taken for "Monitor of A B".
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (inputs[i].description == wanted || inputs[i].name == wanted) {
            deviceId = static_cast<std::uint32_t>(i);
            return true;
        }
    }
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (startsWith(inputs[i].description, wanted)) {
            deviceId = static_cast<std::uint32_t>(i);
            return true;
        }
    }
    return false;
}

}  // namespace tools::avi
