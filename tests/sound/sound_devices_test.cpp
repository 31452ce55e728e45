// The sound source list built from a test double list of inputs (no sound
// server needed): which inputs are offered, under which text, with which
// choice value.
#include <gtest/gtest.h>

#include "platform/sound_devices.h"

using namespace sound;

namespace {

std::vector<SoundDevice> devicesNamed(std::initializer_list<const char*> descriptions) {
    std::vector<SoundDevice> devices;
    int i = 0;
    for (const char* d : descriptions)
        devices.push_back({"source" + std::to_string(i++), d, false});
    return devices;
}

std::vector<std::pair<QString, std::uint32_t>> itemsOf(
    std::initializer_list<const char*> descriptions) {
    FixedSoundDeviceList list(devicesNamed(descriptions));
    std::vector<std::pair<QString, std::uint32_t>> out;
    for (const SoundSourceItem& item : soundSourceItems(list.inputs()))
        out.emplace_back(item.text, item.deviceId);
    return out;
}

using Items = std::vector<std::pair<QString, std::uint32_t>>;
const QString kComputer = QStringLiteral("Computer sounds");
const QString kMic = QStringLiteral("Microphone");
const QString kNone = QStringLiteral("None");

}  // namespace

TEST(SoundSourceListWithDoubleDevices, OnlyAMicrophoneAddsTheDefaultInputAsComputerSounds) {
    EXPECT_EQ(itemsOf({"Webcam Microphone"}),
              (Items{{kMic, 0}, {kComputer, kAudioDeviceDefault}, {kNone, kAudioDeviceNone}}));
}

TEST(SoundSourceListWithDoubleDevices, MonitorOfAnOutputIsComputerSounds) {
    EXPECT_EQ(itemsOf({"Built-in Audio Analog Stereo", "Monitor of Built-in Audio Analog Stereo",
                       "USB microphone"}),
              (Items{{kComputer, 1}, {kMic, 2}, {kNone, kAudioDeviceNone}}));
}

TEST(SoundSourceListWithDoubleDevices, StereoMixIsComputerSoundsWithoutADefaultItem) {
    EXPECT_EQ(itemsOf({"Microphone (Realtek)", "Stereo Mix (Realtek)"}),
              (Items{{kMic, 0}, {kComputer, 1}, {kNone, kAudioDeviceNone}}));
    EXPECT_EQ(itemsOf({"mixer capture"}), (Items{{kComputer, 0}, {kNone, kAudioDeviceNone}}));
    // The Chinese names of both kinds.
    EXPECT_EQ(itemsOf({"\u7acb\u4f53\u58f0\u6df7\u97f3 (Realtek)", "\u9ea6\u514b\u98ce"}),
              (Items{{kComputer, 0}, {kMic, 1}, {kNone, kAudioDeviceNone}}));
}

TEST(SoundSourceListWithDoubleDevices, InputsOfNeitherKindAreNotOffered) {
    EXPECT_EQ(itemsOf({"Line In", "MICROPHONE", "Studio Monitor of the Desk"}),
              (Items{{kComputer, kAudioDeviceDefault}, {kNone, kAudioDeviceNone}}));
}

TEST(SoundSourceListWithDoubleDevices, NoInputsAtAllStillOfferComputerSoundsAndNone) {
    EXPECT_EQ(itemsOf({}), (Items{{kComputer, kAudioDeviceDefault}, {kNone, kAudioDeviceNone}}));
}

TEST(SoundSourceListWithDoubleDevices, MixWinsOverMicrophoneInOneName) {
    EXPECT_EQ(itemsOf({"Microphone Mix"}), (Items{{kComputer, 0}, {kNone, kAudioDeviceNone}}));
}

TEST(SoundSourceChoice, MapsToTheInputToOpen) {
    const auto devices = devicesNamed({"Monitor of A", "Microphone"});
    std::string name = "stale";
    EXPECT_TRUE(deviceNameFor(1, devices, name));
    EXPECT_EQ(name, "source1");
    EXPECT_TRUE(deviceNameFor(kAudioDeviceDefault, devices, name));
    EXPECT_EQ(name, "");  // the server's default input
    EXPECT_FALSE(deviceNameFor(kAudioDeviceNone, devices, name));
    // An input that went away since the list was made.
    EXPECT_FALSE(deviceNameFor(2, devices, name));
}

TEST(SoundSourceChoice, OnlyComputerSoundsNeedsTheMixingHint) {
    EXPECT_TRUE(needsMixingHint(kComputer));
    EXPECT_FALSE(needsMixingHint(kMic));
    EXPECT_FALSE(needsMixingHint(kNone));
}
