#include "tests/support/programs.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
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

std::map<std::string, std::string> ffprobeStream(const std::filesystem::path& file,
                                                 const std::string& selector) {
    std::string out;
    runCommand("ffprobe -v error -count_packets -select_streams " + selector +
                   " -show_entries stream=codec_name,codec_tag_string,width,height,r_frame_rate,"
                   "sample_rate,channels,nb_read_packets -of default=nw=1 '" +
                   file.string() + "' 2>/dev/null",
               out);
    std::map<std::string, std::string> values;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

std::vector<std::uint32_t> ffprobePacketSizes(const std::filesystem::path& file, int stream) {
    std::string out;
    runCommand("ffprobe -v error -select_streams " + std::to_string(stream) +
                   " -show_entries packet=size -of csv=p=0 '" + file.string() + "' 2>/dev/null",
               out);
    std::vector<std::uint32_t> sizes;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty())
            sizes.push_back(static_cast<std::uint32_t>(std::stoul(line)));
    }
    return sizes;
}

std::vector<int> ffprobeKeyFrames(const std::filesystem::path& file) {
    std::string out;
    runCommand("ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 '" +
                   file.string() + "' 2>/dev/null",
               out);
    std::vector<int> keys;
    std::istringstream lines(out);
    std::string line;
    for (int index = 0; std::getline(lines, line); ++index) {
        if (line.starts_with('K'))
            keys.push_back(index);
    }
    return keys;
}

int ffprobeDecodedFrames(const std::filesystem::path& file) {
    std::string out;
    if (runCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                   "stream=nb_read_frames -of csv=p=0 '" +
                       file.string() + "' 2>/dev/null",
                   out) != 0 ||
        out.empty()) {
        return -1;
    }
    return std::stoi(out);
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
