#include "platform/sound_devices.h"

namespace sound {

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
