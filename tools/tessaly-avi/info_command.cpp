// tessaly-avi info: what our reader finds in AVI files, as text or JSON.
#include <cinttypes>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "media/avi_file.h"
#include "media/avi_reader.h"
#include "tools/tessaly-avi/commands.h"

namespace tessaly_avi {
namespace {

using namespace media;

struct StreamReport {
    int index = 0;
    std::string kind;  // "video", "audio" or the FOURCC of the type
    std::string codec;
    int width = 0;
    int height = 0;
    int bitCount = 0;
    std::uint32_t rate = 0;
    std::uint32_t scale = 0;
    std::uint32_t length = 0;
    double seconds = 0;
    std::size_t chunks = 0;
    std::uint32_t keyFrames = 0;
    std::uint64_t bytes = 0;
    int channels = 0;
    std::uint32_t sampleRate = 0;
    int bitsPerSample = 0;
    std::uint32_t headerLength = 0;
};

struct FileReport {
    std::string path;
    int status = kAviOk;
    std::uint64_t size = 0;
    std::string index;
    int segments = 0;
    std::uint32_t durationSeconds = 0;
    std::vector<StreamReport> streams;
    std::vector<std::string> problems;
};

std::string codecName(std::uint32_t compression) {
    return compression == kBiRgb ? "RGB" : fourccText(compression);
}

StreamReport describeStream(const AviReaderStream& s, int index) {
    StreamReport r;
    r.index = index;
    r.rate = s.header.rate;
    r.scale = s.header.scale;
    r.length = s.length();
    r.headerLength = s.header.length;
    r.chunks = s.chunks.size();
    r.keyFrames = s.keyFrames;
    r.bytes = s.totalBytes;
    if (s.header.rate)
        r.seconds = static_cast<double>(r.length) * s.header.scale / s.header.rate;
    if (s.isVideo()) {
        r.kind = "video";
        if (s.hasBitmapFormat()) {
            const BitmapInfoHeader bih = loadBitmapInfoHeader(s.format.data());
            r.codec = codecName(bih.compression);
            r.width = bih.width;
            r.height = bih.height < 0 ? -bih.height : bih.height;
            r.bitCount = bih.bitCount;
        }
    } else if (s.isAudio()) {
        r.kind = "audio";
        if (s.hasWaveFormat()) {
            const WaveFormatEx w = loadWaveFormat(s.format.data(), s.format.size());
            r.codec =
                w.formatTag == kWaveFormatPcm ? "PCM" : "format " + std::to_string(w.formatTag);
            r.channels = w.channels;
            r.sampleRate = w.samplesPerSec;
            r.bitsPerSample = w.bitsPerSample;
        }
    } else {
        r.kind = fourccText(s.header.fccType);
    }
    return r;
}

FileReport describeFile(const std::string& path) {
    FileReport report;
    report.path = path;
    AviFilePtr file;
    report.status = aviFileOpen(file, path, kOpenRead);
    if (report.status != kAviOk) {
        // The reader's own words say what was wrong, when it got that far.
        AviReader probe;
        probe.open(path);
        report.problems = probe.problems();
        return report;
    }
    AviReader& r = *file->reader();
    report.size = r.fileSize();
    report.index = aviIndexKindName(r.indexKind());
    report.segments = r.segmentCount();
    AviFileInfo info;
    aviFileInfo(file, info);
    // Whole seconds as the file tables show them: length / (rate / scale).
    if (info.scale && info.rate / info.scale)
        report.durationSeconds = info.length / (info.rate / info.scale);
    for (int i = 0; i < r.streamCount(); ++i)
        report.streams.push_back(describeStream(r.stream(i), i));
    report.problems = r.problems();
    for (const StreamReport& s : report.streams) {
        if (s.headerLength != s.length) {
            report.problems.push_back("stream " + std::to_string(s.index) + ": header length " +
                                      std::to_string(s.headerLength) + " differs from the " +
                                      std::to_string(s.length) + " found");
        }
    }
    return report;
}

std::string errorText(const FileReport& f) {
    std::string text = aviErrorName(f.status);
    if (!f.problems.empty())
        text += ": " + f.problems.front();
    return text;
}

void printText(const FileReport& f) {
    std::printf("%s\n", f.path.c_str());
    std::printf("  size: %" PRIu64 " bytes\n", f.size);
    std::printf("  index: %s, %d RIFF segment%s\n", f.index.c_str(), f.segments,
                f.segments == 1 ? "" : "s");
    std::printf("  duration: %u s\n", f.durationSeconds);
    for (const StreamReport& s : f.streams) {
        std::printf("  stream %d: %s", s.index, s.kind.c_str());
        if (s.kind == "video") {
            std::printf(" %s %dx%d %d bpp, %u/%u fps, %u frames (%.3f s), %u key frames\n",
                        s.codec.c_str(), s.width, s.height, s.bitCount, s.rate, s.scale, s.length,
                        s.seconds, s.keyFrames);
        } else if (s.kind == "audio") {
            std::printf(" %s %d ch %u Hz %d bit, %u samples (%.3f s), %zu chunks, %" PRIu64
                        " bytes\n",
                        s.codec.c_str(), s.channels, s.sampleRate, s.bitsPerSample, s.length,
                        s.seconds, s.chunks, s.bytes);
        } else {
            std::printf(", %zu chunks\n", s.chunks);
        }
    }
    if (f.problems.empty()) {
        std::printf("  problems: none\n");
    } else {
        std::printf("  problems:\n");
        for (const std::string& p : f.problems)
            std::printf("    %s\n", p.c_str());
    }
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string jsonReport(const FileReport& f) {
    std::ostringstream o;
    o << "{\"file\":" << jsonString(f.path)
      << ",\"ok\":" << (f.status == kAviOk ? "true" : "false");
    if (f.status != kAviOk) {
        o << ",\"error\":" << jsonString(errorText(f)) << ",\"status\":" << f.status;
    } else {
        o << ",\"size\":" << f.size << ",\"index\":" << jsonString(f.index)
          << ",\"segments\":" << f.segments << ",\"durationSeconds\":" << f.durationSeconds
          << ",\"streams\":[";
        for (std::size_t i = 0; i < f.streams.size(); ++i) {
            const StreamReport& s = f.streams[i];
            o << (i ? "," : "") << "{\"index\":" << s.index << ",\"type\":" << jsonString(s.kind)
              << ",\"codec\":" << jsonString(s.codec) << ",\"rate\":" << s.rate
              << ",\"scale\":" << s.scale << ",\"length\":" << s.length
              << ",\"seconds\":" << s.seconds << ",\"chunks\":" << s.chunks
              << ",\"keyFrames\":" << s.keyFrames << ",\"bytes\":" << s.bytes;
            if (s.kind == "video") {
                o << ",\"width\":" << s.width << ",\"height\":" << s.height
                  << ",\"bitCount\":" << s.bitCount;
            } else if (s.kind == "audio") {
                o << ",\"channels\":" << s.channels << ",\"sampleRate\":" << s.sampleRate
                  << ",\"bitsPerSample\":" << s.bitsPerSample;
            }
            o << "}";
        }
        o << "]";
    }
    o << ",\"problems\":[";
    for (std::size_t i = 0; i < f.problems.size(); ++i) {
        o << (i ? "," : "") << jsonString(f.problems[i]);
    }
    o << "]}";
    return o.str();
}

}  // namespace

int runInfo(const std::vector<std::string>& args) {
    bool json = false;
    std::vector<std::string> files;
    for (const std::string& a : args) {
        if (a == "--json") {
            json = true;
        } else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "tessaly-avi info: unknown option '%s'\n", a.c_str());
            return 2;
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: tessaly-avi info [--json] FILE...\n");
        return 2;
    }
    int exitStatus = 0;
    if (json)
        std::printf("[");
    for (std::size_t i = 0; i < files.size(); ++i) {
        const FileReport report = describeFile(files[i]);
        if (report.status != kAviOk) {
            exitStatus = 1;
            std::fprintf(stderr, "tessaly-avi: %s: cannot read: %s\n", files[i].c_str(),
                         errorText(report).c_str());
        }
        if (json) {
            std::printf("%s%s", i ? ",\n" : "", jsonReport(report).c_str());
        } else if (report.status == kAviOk) {
            printText(report);
        }
    }
    if (json)
        std::printf("]\n");
    return exitStatus;
}

}  // namespace tessaly_avi
