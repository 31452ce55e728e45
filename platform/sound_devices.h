// The sound inputs a recording can take its sound from, as the sound server
// reports them: facts only. What the user is offered for them is the user
// interface's business.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sound {

// One capture input of the sound server.
struct SoundDevice {
    std::string name;         // the server's name for it, used to open it
    std::string description;  // the server's text for it, meant for people
    bool isMonitor = false;   // captures what one of the server's outputs plays
    bool isDefault = false;   // the server's default input

    bool operator==(const SoundDevice&) const = default;
};

// The sound server's inputs, in the server's order. An empty list means no
// input at all (or no sound server).
class SoundDeviceList {
  public:
    virtual ~SoundDeviceList() = default;
    // May wait for the server: never call it on the user-interface thread.
    virtual std::vector<SoundDevice> inputs() = 0;
    // Any thread: makes a running inputs() return soon (with an empty list),
    // and every later one at once. For shutting down while a query runs.
    virtual void cancel() {}
};

// A fixed list of inputs: the list a choice was made from (kept so that a
// choice's position names the input the user saw), and a test double.
class FixedSoundDeviceList final : public SoundDeviceList {
  public:
    explicit FixedSoundDeviceList(std::vector<SoundDevice> devices = {})
        : devices_(std::move(devices)) {}
    std::vector<SoundDevice> inputs() override { return devices_; }
    const std::vector<SoundDevice>& devices() const { return devices_; }
    void setInputs(std::vector<SoundDevice> devices) { devices_ = std::move(devices); }

  private:
    std::vector<SoundDevice> devices_;
};

// Sound source choices besides the inputs' positions 0..n-1 in a list.
constexpr std::uint32_t kAudioDeviceDefault = 0xFFFFFFFFu;
constexpr std::uint32_t kAudioDeviceNone = 0xFFFFFFFEu;

// The server name of the input a choice stands for: empty for the server's
// default input. False for "no sound", or for a position beyond the list (an
// input that went away since the list was made).
bool deviceNameFor(std::uint32_t deviceId, const std::vector<SoundDevice>& devices,
                   std::string& name);

}  // namespace sound
