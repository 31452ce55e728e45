// tessaly-avi info: what our reader finds in AVI files, as text or JSON.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "media/avi_file.h"
#include "media/avi_reader.h"
#include "platform/native_path.h"
#include "tools/tessaly-avi/command_line.h"
#include "tools/tessaly-avi/commands.h"

namespace tools::avi {
namespace {

using namespace media;

struct StreamReport {
    int index = 0;
    std::string kind;  // "video", "audio" or the FOURCC of the type
    std::string codec;
    // Wide enough that any header value, negated, fits.
    std::int64_t width = 0;
    std::int64_t height = 0;
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
    QString path;  // as decoded from the command line
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
            const std::int64_t height = bih.height;
            r.height = height < 0 ? -height : height;
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

FileReport describeFile(const QString& name) {
    FileReport report;
    report.path = name;
    const std::string path = platform::encodePathStd(name);
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
    printOut(f.path + QLatin1Char('\n'));
    std::printf("  size: %" PRIu64 " bytes\n", f.size);
    std::printf("  index: %s, %d RIFF segment%s\n", f.index.c_str(), f.segments,
                f.segments == 1 ? "" : "s");
    std::printf("  duration: %u s\n", f.durationSeconds);
    for (const StreamReport& s : f.streams) {
        std::printf("  stream %d: %s", s.index, s.kind.c_str());
        if (s.kind == "video") {
            std::printf(" %s %" PRId64 "x%" PRId64
                        " %d bpp, %u/%u fps, %u frames (%.3f s), %u key frames\n",
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

QJsonObject jsonStream(const StreamReport& s) {
    QJsonObject o{{"index", s.index},
                  {"type", QString::fromStdString(s.kind)},
                  {"codec", QString::fromStdString(s.codec)},
                  {"rate", qint64(s.rate)},
                  {"scale", qint64(s.scale)},
                  {"length", qint64(s.length)},
                  {"seconds", s.seconds},
                  {"chunks", qint64(s.chunks)},
                  {"keyFrames", qint64(s.keyFrames)},
                  {"bytes", qint64(s.bytes)}};
    if (s.kind == "video") {
        o.insert("width", qint64(s.width));
        o.insert("height", qint64(s.height));
        o.insert("bitCount", s.bitCount);
    } else if (s.kind == "audio") {
        o.insert("channels", s.channels);
        o.insert("sampleRate", qint64(s.sampleRate));
        o.insert("bitsPerSample", s.bitsPerSample);
    }
    return o;
}

// Qt would write the escaped bytes of a name that is not UTF-8 as lone
// surrogates ("\udcff"), which are no characters: strict JSON readers refuse
// or replace them. So "file" shows such bytes as U+FFFD, and the exact name
// goes beside it in hex.
void insertFileName(QJsonObject& o, const QString& path) {
    const QString shown = platform::displayPath(path);
    o.insert("file", shown);
    if (shown != path)
        o.insert("fileBytesHex", QString::fromLatin1(platform::encodePath(path).toHex()));
}

QJsonObject jsonReport(const FileReport& f) {
    QJsonObject o{{"ok", f.status == kAviOk}};
    insertFileName(o, f.path);
    if (f.status != kAviOk) {
        o.insert("error", QString::fromStdString(errorText(f)));
        o.insert("status", f.status);
    } else {
        o.insert("size", qint64(f.size));
        o.insert("index", QString::fromStdString(f.index));
        o.insert("segments", f.segments);
        o.insert("durationSeconds", qint64(f.durationSeconds));
        QJsonArray streams;
        for (const StreamReport& s : f.streams)
            streams.append(jsonStream(s));
        o.insert("streams", streams);
    }
    QJsonArray problems;
    for (const std::string& p : f.problems)
        problems.append(QString::fromStdString(p));
    o.insert("problems", problems);
    return o;
}

}  // namespace

int runInfo(const QStringList& args) {
    QCommandLineParser parser;
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("Print one JSON array, an object per file; a "
                                                 "name that is not UTF-8 is shown in \"file\" "
                                                 "with U+FFFD and exactly in \"fileBytesHex\"."));
    parser.addOption(json);
    const CommandUsage usage{
        QStringLiteral("info"), QStringLiteral("[--json] FILE..."),
        QStringLiteral("Describes AVI files as our reader finds them: streams, codec,\n"
                       "frame size, rates, lengths, key frames, sound format, index kind\n"
                       "and problems."),
        Operands::Files, QStringLiteral("An AVI file to describe.")};
    if (const auto status = parseArguments(parser, usage, args))
        return *status;
    int exitStatus = 0;
    QJsonArray reports;
    for (const QString& file : parser.positionalArguments()) {
        const FileReport report = describeFile(file);
        if (report.status != kAviOk) {
            exitStatus = kExitFailed;
            printErr(QStringLiteral("tessaly-avi: %1: cannot read: %2\n")
                         .arg(file, QString::fromStdString(errorText(report))));
        }
        if (parser.isSet(json))
            reports.append(jsonReport(report));
        else if (report.status == kAviOk)
            printText(report);
    }
    if (parser.isSet(json))
        printOut(QString::fromUtf8(QJsonDocument(reports).toJson(QJsonDocument::Compact)) +
                 QLatin1Char('\n'));
    return exitStatus;
}

}  // namespace tools::avi
