// The sound inputs of the PulseAudio server (PipeWire's included), monitors of
// the outputs among them.
#pragma once

#include <atomic>
#include <mutex>

#include "platform/sound_devices.h"

namespace sound {

class PulseConnection;

// Asks the server on every call; no server, or one that does not answer in
// time, gives an empty list. A local server answers within milliseconds.
class PulseSoundDeviceList final : public SoundDeviceList {
  public:
    std::vector<SoundDevice> inputs() override;
    void cancel() override;

  private:
    std::atomic<bool> cancelled_{false};
    std::mutex asking_;                  // guards server_
    PulseConnection* server_ = nullptr;  // the connection of a running inputs()
};

}  // namespace sound
