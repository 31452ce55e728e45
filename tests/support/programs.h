// Running programs from tests, and FFmpeg's tools as independent oracles.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

// Runs a shell command and returns its exit status (-1 when it did not end
// normally); its standard output lands in `out`.
int runCommand(const std::string& command, std::string& out);

// Whether a program of this name is on the PATH.
bool haveTool(const std::string& name);

// The "key=value" entries ffprobe gives for one stream (`selector` as in
// -select_streams, e.g. "v:0"): codec_name, codec_tag_string, width, height,
// r_frame_rate, sample_rate, channels and nb_read_packets.
std::map<std::string, std::string> ffprobeStream(const std::filesystem::path& file,
                                                 const std::string& selector);

// Sizes of the packets ffprobe reads from stream number `stream`, in order.
std::vector<std::uint32_t> ffprobePacketSizes(const std::filesystem::path& file, int stream);

// The indexes of the packets ffprobe flags as key frames in the first video stream.
std::vector<int> ffprobeKeyFrames(const std::filesystem::path& file);
// How many frames FFmpeg decodes from the first video stream (-1 when ffprobe fails).
int ffprobeDecodedFrames(const std::filesystem::path& file);

// Every frame of the first video stream decoded by FFmpeg as raw pictures of
// `pixelFormat` (rgb555le, rgb24, ...), top row first; empty when FFmpeg fails.
std::vector<std::uint8_t> ffmpegDecode(const std::filesystem::path& file,
                                       const std::string& pixelFormat);

// The first audio stream decoded by FFmpeg as 16-bit stereo samples; empty
// when FFmpeg fails.
std::vector<std::uint8_t> ffmpegDecodeSound(const std::filesystem::path& file);

}  // namespace testsupport
