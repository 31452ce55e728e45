// Sound capture from a PulseAudio input (PipeWire's PulseAudio server too).
#pragma once

#include <memory>
#include <thread>

#include "platform/sound_source.h"

namespace sound {

class PulseSoundSource final : public SoundSource {
  public:
    PulseSoundSource();
    ~PulseSoundSource() override;
    PulseSoundSource(const PulseSoundSource&) = delete;
    PulseSoundSource& operator=(const PulseSoundSource&) = delete;

    int start(const std::string& deviceName, SoundBlockSink sink) override;
    void setPaused(bool paused) override;
    void stop() override;
    bool isRunning() const override;

    // The capture thread's state, private to the implementation.
    struct Capture;

  private:
    std::unique_ptr<Capture> capture_;
    std::thread thread_;
};

}  // namespace sound
