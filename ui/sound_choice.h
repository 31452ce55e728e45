// The record page's sound source list, made from the sound server's inputs:
// every monitor of an output is "Computer sounds" (what the computer plays),
// every other input is "Microphone". Where several entries would read the
// same, each names its input in brackets. Then "Computer sounds" for the
// server's default input when no monitor exists, then "None".
#pragma once

#include <QString>
#include <QVariant>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/sound_devices.h"

namespace soundchoice {

// One entry: its text and the choice it stands for (an input's position in
// the list, sound::kAudioDeviceDefault or sound::kAudioDeviceNone).
struct SoundChoice {
    QString text;
    std::uint32_t deviceId = sound::kAudioDeviceNone;
};

std::vector<SoundChoice> soundChoices(const std::vector<sound::SoundDevice>& inputs);

// The entry's item data: an input's position as an integer, the two special
// choices as unsigned numbers.
QVariant itemData(std::uint32_t deviceId);

// True when the choice captures what the computer plays, which may need the
// user to enable it first (the hint link is shown).
bool capturesComputerSounds(std::uint32_t deviceId, const std::vector<sound::SoundDevice>& inputs);

// The choice `deviceId` made in `before`, in the newer list `after`: the same
// special choice, or the position of the input with the same server name.
// Nothing when that input is gone.
std::optional<std::uint32_t> sameChoiceIn(std::uint32_t deviceId,
                                          const std::vector<sound::SoundDevice>& before,
                                          const std::vector<sound::SoundDevice>& after);

}  // namespace soundchoice
