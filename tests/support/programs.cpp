#include "tests/support/programs.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace testsupport {

int runCommand(const std::string& command, std::string& out) {
    out.clear();
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    std::array<char, 65536> buffer{};
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        out.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool haveTool(const std::string& name) {
    std::string out;
    return runCommand("command -v '" + name + "' >/dev/null 2>&1", out) == 0;
}

namespace {

// The lines ffprobe prints for `entries` of `file` (with `options` before).
std::vector<std::string> ffprobeLines(const std::filesystem::path& file, const std::string& options,
                                      const std::string& entries) {
    std::string out;
    runCommand("ffprobe -v error " + options + " -show_entries " + entries + " -of " +
                   (entries.starts_with("packet") ? "csv=p=0" : "default=nw=1") + " '" +
                   file.string() + "' 2>/dev/null",
               out);
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

}  // namespace

std::map<std::string, std::string> ffprobeStream(const std::filesystem::path& file,
                                                 const std::string& selector) {
    std::map<std::string, std::string> values;
    for (const std::string& line :
         ffprobeLines(file, "-count_packets -select_streams " + selector,
                      "stream=codec_name,codec_tag_string,width,height,r_frame_rate,"
                      "sample_rate,channels,nb_read_packets")) {
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

std::vector<std::uint32_t> ffprobePacketSizes(const std::filesystem::path& file, int stream) {
    std::vector<std::uint32_t> sizes;
    for (const std::string& line :
         ffprobeLines(file, "-select_streams " + std::to_string(stream), "packet=size"))
        sizes.push_back(static_cast<std::uint32_t>(std::stoul(line)));
    return sizes;
}

std::vector<int> ffprobeKeyFrames(const std::filesystem::path& file) {
    std::vector<int> keys;
    const std::vector<std::string> flags =
        ffprobeLines(file, "-select_streams v:0", "packet=flags");
    for (std::size_t i = 0; i < flags.size(); ++i) {
        if (flags[i].starts_with('K'))
            keys.push_back(static_cast<int>(i));
    }
    return keys;
}

int ffprobeDecodedFrames(const std::filesystem::path& file) {
    const std::vector<std::string> lines =
        ffprobeLines(file, "-count_frames -select_streams v:0", "stream=nb_read_frames");
    return lines.size() == 1 && lines[0].starts_with("nb_read_frames=")
               ? std::atoi(lines[0].c_str() + 15)
               : -1;
}

std::vector<std::uint8_t> ffmpegDecode(const std::filesystem::path& file,
                                       const std::string& pixelFormat) {
    std::string raw;
    if (runCommand("ffmpeg -hide_banner -loglevel error -i '" + file.string() +
                       "' -map 0:v:0 -f rawvideo -pix_fmt " + pixelFormat + " - 2>/dev/null",
                   raw) != 0) {
        return {};
    }
    return std::vector<std::uint8_t>(raw.begin(), raw.end());
}

std::vector<std::uint8_t> ffmpegDecodeSound(const std::filesystem::path& file) {
    std::string raw;
    if (runCommand(
            "ffmpeg -v error -i '" + file.string() + "' -map 0:a:0 -f s16le -ac 2 - 2>/dev/null",
            raw) != 0) {
        return {};
    }
    return std::vector<std::uint8_t>(raw.begin(), raw.end());
}

}  // namespace testsupport
