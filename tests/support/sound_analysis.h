// Measurements of recorded 16-bit stereo sound for the sound tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/programs.h"

namespace sound_test {

constexpr int kRate = 44100;

// ffprobe's "codec,sample rate,channels" of a recording's first sound stream.
inline std::string soundFormat(const std::filesystem::path& file) {
    auto stream = testsupport::ffprobeStream(file, "a:0");
    return stream["codec_name"] + "," + stream["sample_rate"] + "," + stream["channels"];
}

// The left channel of interleaved 16-bit stereo bytes.
inline std::vector<std::int16_t> leftChannel(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::int16_t> left(bytes.size() / 4);
    for (std::size_t i = 0; i < left.size(); ++i)
        std::memcpy(&left[i], bytes.data() + i * 4, 2);
    return left;
}

// The tone's frequency in s[from, from + count): upward zero crossings
// counted in 0.1 s windows, the median taken, so a gap in what the test's
// player fed the server (it underruns on a loaded machine) does not read as
// a lower pitch. Gaps are what loudSeconds() measures.
inline double frequency(const std::vector<std::int16_t>& s, std::size_t from, std::size_t count) {
    constexpr std::size_t kWindow = kRate / 10;
    std::vector<double> found;
    for (std::size_t at = from; at + kWindow <= std::min(from + count, s.size()); at += kWindow) {
        std::size_t first = 0, last = 0, crossings = 0;
        for (std::size_t i = at + 1; i < at + kWindow; ++i) {
            if (s[i - 1] < 0 && s[i] >= 0) {
                first = crossings++ == 0 ? i : first;
                last = i;
            }
        }
        if (crossings >= 2)
            found.push_back(double(crossings - 1) * kRate / double(last - first));
    }
    std::sort(found.begin(), found.end());
    return found.empty() ? 0 : found[found.size() / 2];
}

// Seconds of sound louder than `level` (RMS, on the 0..32767 scale),
// counted in 10 ms windows.
inline double loudSeconds(const std::vector<std::int16_t>& s, double level) {
    constexpr std::size_t kWindow = kRate / 100;
    std::size_t loud = 0;
    for (std::size_t at = 0; at + kWindow <= s.size(); at += kWindow) {
        double sum = 0;
        for (std::size_t i = at; i < at + kWindow; ++i)
            sum += double(s[i]) * s[i];
        loud += sum / kWindow > level * level;
    }
    return loud / 100.0;
}

}  // namespace sound_test
