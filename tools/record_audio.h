// The sound options of tessaly-avi record: --list-audio and --audio.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sound_devices.h"

namespace tessaly_avi {

// Prints one line per sound input: position, the source list entry it gives
// ("Computer sounds", "Microphone", or "-" when the window does not offer
// it), description, server name, and "default" for the server's default.
void printSoundInputs(const std::vector<sound::SoundDevice>& inputs);

// The choice for --audio: "none", "default", or an input whose description
// (or server name) is `wanted` or starts with it. False when nothing matches.
bool soundChoiceFor(const std::string& wanted, const std::vector<sound::SoundDevice>& inputs,
                    std::uint32_t& deviceId);

}  // namespace tessaly_avi
