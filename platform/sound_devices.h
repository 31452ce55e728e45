// The sound inputs a recording can take its sound from, and the record page's
// list of sound sources built from them.
//
// Two kinds of input are told apart by their descriptions: a mixing input
// that captures what the computer plays ("Computer sounds": a stereo mix, or
// a PulseAudio monitor of an output) and a microphone. Inputs of neither kind
// (a line input, say) are not offered.
#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

namespace sound {

// One capture input of the sound server.
struct SoundDevice {
    std::string name;         // the server's name for it, used to open it
    std::string description;  // what the user sees, searched for the kind
    bool isDefault = false;   // the server's default input
};

// The sound server's inputs, in the server's order. An empty list means no
// input at all (or no sound server).
class SoundDeviceList {
  public:
    virtual ~SoundDeviceList() = default;
    virtual std::vector<SoundDevice> inputs() = 0;
};

// A fixed list of inputs: the list a choice was made from (kept so that a
// choice's position names the input the user saw), and a test double.
class FixedSoundDeviceList final : public SoundDeviceList {
  public:
    explicit FixedSoundDeviceList(std::vector<SoundDevice> devices = {})
        : devices_(std::move(devices)) {}
    std::vector<SoundDevice> inputs() override { return devices_; }
    void setInputs(std::vector<SoundDevice> devices) { devices_ = std::move(devices); }

  private:
    std::vector<SoundDevice> devices_;
};

// Sound source choices besides the inputs' positions 0..n-1 in the list.
constexpr std::uint32_t kAudioDeviceDefault = 0xFFFFFFFFu;
constexpr std::uint32_t kAudioDeviceNone = 0xFFFFFFFEu;

// One entry of the sound source list: its text and the choice it stands for
// (an input's position in the list, or one of the two values above).
struct SoundSourceItem {
    QString text;
    std::uint32_t deviceId = kAudioDeviceNone;
};

QString computerSoundsText();
QString microphoneText();
QString noSoundText();

// True for an input that captures what the computer plays.
bool isMixingDevice(const std::string& description);
// True for a microphone (checked only when the input is not a mixing one).
bool isMicrophone(const std::string& description);

// The sound source list for these inputs: "Computer sounds" for each mixing
// input, "Microphone" for each microphone, in the inputs' order; then
// "Computer sounds" for the default input when no mixing input was found;
// then "None". The first entry is the one chosen after every build.
std::vector<SoundSourceItem> soundSourceItems(const std::vector<SoundDevice>& devices);

// True when the entry with this text needs the hint about enabling mixed sound.
bool needsMixingHint(const QString& itemText);

// The server name of the input a choice stands for: empty for the server's
// default input. False for "None", or for a position beyond the list (an
// input that went away since the list was made).
bool deviceNameFor(std::uint32_t deviceId, const std::vector<SoundDevice>& devices,
                   std::string& name);

}  // namespace sound
