#include "recorder_test_support.h"

#include <QFile>
#include <QProcess>

#include "media/avi_reader.h"
#include "media/video1.h"

RecordingContents readRecording(const QString& path) {
    RecordingContents out;
    media::AviReader reader;
    out.status = reader.open(QFile::encodeName(path).toStdString());
    if (out.status != 0)
        return out;
    out.streams = reader.streamCount();
    const int video = reader.findStream(media::kFccVids, 0);
    if (video < 0) {
        out.status = -2;
        return out;
    }
    const media::AviReaderStream& s = reader.stream(video);
    const media::BitmapInfoHeader h = media::loadBitmapInfoHeader(s.format.data());
    out.width = h.width;
    out.height = h.height;
    media::Video1Decoder decoder(h.width, h.height, 16);
    std::vector<std::uint8_t> chunk;
    for (std::size_t i = 0; i < s.chunks.size(); ++i) {
        out.frameSizes.push_back(s.chunks[i].size);
        out.keyFrames.push_back(s.chunks[i].key);
        if (reader.readChunk(video, i, chunk) != 0) {
            out.status = -3;
            return out;
        }
        if (!chunk.empty() && decoder.decode(chunk.data(), chunk.size()) != 0) {
            out.status = -4;
            return out;
        }
        out.pictures.push_back(decoder.picture());
    }
    return out;
}

std::uint16_t rgb555(std::uint32_t rgb) {
    const unsigned r = (rgb >> 16) & 0xFF;
    const unsigned g = (rgb >> 8) & 0xFF;
    const unsigned b = rgb & 0xFF;
    return static_cast<std::uint16_t>(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
}

QString runProgram(const QString& program, const QStringList& arguments, int* exitCode,
                   int timeoutMs) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted() || !process.waitForFinished(timeoutMs)) {
        if (exitCode)
            *exitCode = -1;
        process.kill();
        process.waitForFinished();
        return {};
    }
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput());
}

ProbeResult probeWithFfprobe(const QString& path) {
    ProbeResult result;
    int code = 0;
    const QString out =
        runProgram(QStringLiteral("ffprobe"),
                   {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_packets"),
                    QStringLiteral("-count_frames"), QStringLiteral("-show_entries"),
                    QStringLiteral("stream=codec_name,width,height,r_frame_rate,nb_read_packets,"
                                   "nb_read_frames"),
                    QStringLiteral("-of"), QStringLiteral("default=noprint_wrappers=1"), path},
                   &code);
    if (code != 0)
        return result;
    for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString key = line.section(QLatin1Char('='), 0, 0);
        const QString value = line.section(QLatin1Char('='), 1);
        if (key == QLatin1String("codec_name")) {
            ++result.streams;
            if (result.streams == 1)
                result.codec = value;
        }
        if (result.streams != 1)
            continue;
        if (key == QLatin1String("width"))
            result.width = value.toInt();
        else if (key == QLatin1String("height"))
            result.height = value.toInt();
        else if (key == QLatin1String("r_frame_rate"))
            result.frameRate = value;
        else if (key == QLatin1String("nb_read_packets"))
            result.packets = value.toInt();
        else if (key == QLatin1String("nb_read_frames"))
            result.decodedFrames = value.toInt();
    }
    result.ok = result.streams > 0;
    return result;
}

std::vector<std::uint8_t> decodedSound(const QString& path) {
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-v", "error", "-i", path, "-map", "0:a:0", "-f", "s16le", "-ac", "2", "-"});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
        return {};
    const QByteArray out = ffmpeg.readAllStandardOutput();
    return {out.begin(), out.end()};
}

QString audioStreamDescription(const QString& path) {
    return runProgram(QStringLiteral("ffprobe"),
                      {"-v", "error", "-select_streams", "a:0", "-show_entries",
                       "stream=codec_name,sample_rate,channels", "-of", "csv=p=0", path})
        .trimmed();
}
