// libFuzzer target: the Video 1 decoder (media/video1.h) on arbitrary frame
// data. The first bytes choose the picture size, variant and frame split.
#include <cstdint>
#include <vector>

#include "media/video1.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kSetupBytes = 4;
    if (size < kSetupBytes)
        return 0;
    // Pictures up to 256 x 256 cover every block layout, edge and skip run.
    const int width = 1 + data[0];
    const int height = 1 + data[1];
    const bool paletted = (data[2] & 1) != 0;
    const std::size_t split = kSetupBytes + (size - kSetupBytes) * data[3] / 255;

    std::vector<std::uint32_t> palette;
    if (paletted) {
        for (std::uint32_t i = 0; i < 256; ++i)
            palette.push_back(i * 0x010101u);
    }
    media::Video1Decoder decoder(width, height, paletted ? 8 : 16, palette);
    // Two frames: the second decodes on top of the first (skip blocks).
    decoder.decode(data + kSetupBytes, split - kSetupBytes);
    if (paletted && (data[2] & 2)) {
        decoder.applyPaletteChange(data + split, size - split);
    } else {
        decoder.decode(data + split, size - split);
    }
    volatile std::uint8_t sink = decoder.picture().empty() ? 0 : decoder.picture().back();
    (void)sink;
    return 0;
}
