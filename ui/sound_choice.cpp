#include "ui/sound_choice.h"

#include <QCoreApplication>
#include <algorithm>

namespace soundchoice {
namespace {

using sound::SoundDevice;

QString computerSoundsText() {
    return QCoreApplication::translate("DRUI", "Computer sounds");
}

QString microphoneText() {
    return QCoreApplication::translate("DRUI", "Microphone");
}

QString noSoundText() {
    return QCoreApplication::translate("DRUI", "None");
}

QString kindText(const SoundDevice& input) {
    return input.isMonitor ? computerSoundsText() : microphoneText();
}

bool sameKind(const SoundDevice& a, const SoundDevice& b) {
    return a.isMonitor == b.isMonitor;
}

// What tells this input apart from the others of its kind: its description,
// or its server name where two share a description.
QString label(const SoundDevice& input, const std::vector<SoundDevice>& inputs) {
    const auto sharing = std::count_if(inputs.begin(), inputs.end(), [&](const SoundDevice& other) {
        return sameKind(other, input) && other.description == input.description;
    });
    const std::string& text =
        sharing > 1 || input.description.empty() ? input.name : input.description;
    return QString::fromStdString(text);
}

}  // namespace

std::vector<SoundChoice> soundChoices(const std::vector<SoundDevice>& inputs) {
    std::vector<SoundChoice> choices;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const SoundDevice& input = inputs[i];
        const auto kindCount = std::count_if(
            inputs.begin(), inputs.end(), [&](const SoundDevice& d) { return sameKind(d, input); });
        QString text = kindText(input);
        if (kindCount > 1)
            text += QStringLiteral(" (%1)").arg(label(input, inputs));
        choices.push_back({text, static_cast<std::uint32_t>(i)});
    }
    const bool monitorFound =
        std::any_of(inputs.begin(), inputs.end(), [](const SoundDevice& d) { return d.isMonitor; });
    if (!monitorFound)
        choices.push_back({computerSoundsText(), sound::kAudioDeviceDefault});
    choices.push_back({noSoundText(), sound::kAudioDeviceNone});
    return choices;
}

QVariant itemData(std::uint32_t deviceId) {
    if (deviceId == sound::kAudioDeviceDefault || deviceId == sound::kAudioDeviceNone)
        return QVariant(deviceId);
    return QVariant(static_cast<int>(deviceId));
}

bool capturesComputerSounds(std::uint32_t deviceId, const std::vector<SoundDevice>& inputs) {
    if (deviceId == sound::kAudioDeviceDefault)
        return true;
    return deviceId < inputs.size() && inputs[deviceId].isMonitor;
}

std::optional<std::uint32_t> sameChoiceIn(std::uint32_t deviceId,
                                          const std::vector<SoundDevice>& before,
                                          const std::vector<SoundDevice>& after) {
    if (deviceId == sound::kAudioDeviceNone)
        return deviceId;
    if (deviceId == sound::kAudioDeviceDefault) {
        // The default entry is offered only while no monitor is listed.
        const bool offered = std::none_of(after.begin(), after.end(),
                                          [](const SoundDevice& d) { return d.isMonitor; });
        return offered ? std::optional<std::uint32_t>(deviceId) : std::nullopt;
    }
    if (deviceId >= before.size())
        return std::nullopt;
    const auto same = std::find_if(after.begin(), after.end(), [&](const SoundDevice& d) {
        return d.name == before[deviceId].name;
    });
    if (same == after.end())
        return std::nullopt;
    return static_cast<std::uint32_t>(same - after.begin());
}

}  // namespace soundchoice
