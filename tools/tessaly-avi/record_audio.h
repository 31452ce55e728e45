// The sound options of tessaly-avi record: --list-audio and --audio.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sound_devices.h"

namespace tools::avi {

// Prints one line per sound input: position, its kind ("monitor" of an
// output, or "input"), description, server name, and "default" for the
// server's default.
void printSoundInputs(const std::vector<sound::SoundDevice>& inputs);

// The choice for --audio: "none", "default", or an input whose description
// (or server name) is `wanted` or starts with it. False when nothing matches.
bool soundChoiceFor(const std::string& wanted, const std::vector<sound::SoundDevice>& inputs,
                    std::uint32_t& deviceId);

}  // namespace tools::avi
