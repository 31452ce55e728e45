// The sound inputs of the PulseAudio server (PipeWire's included), monitors of
// the outputs among them.
#pragma once

#include "platform/sound_devices.h"

namespace sound {

// Asks the server on every call; no server, or one that does not answer in
// time, gives an empty list. A local server answers within milliseconds.
class PulseSoundDeviceList final : public SoundDeviceList {
  public:
    std::vector<SoundDevice> inputs() override;
};

}  // namespace sound
