#include "tests/filelist/avi_samples.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <vector>

#include "media/avi_file.h"
#include "media/video1.h"
#include "platform/native_path.h"

namespace avisamples {
namespace {

constexpr int kBitCount = 24;
using media::kSoundBlockBytes;
constexpr std::uint32_t kSoundBlockAlign = media::kSoundSampleBytes;

std::vector<std::uint8_t> frameBytes(const RecordingShape& shape, int frame) {
    std::vector<std::uint8_t> dib(media::dibRowBytes(shape.width, kBitCount) *
                                  static_cast<std::size_t>(shape.height));
    for (std::size_t i = 0; i < dib.size(); ++i) {
        dib[i] = static_cast<std::uint8_t>(i * 7 + static_cast<std::size_t>(frame) * 13);
    }
    return dib;
}

int addVideo(const media::AviFilePtr& file, const RecordingShape& shape, media::AviStreamPtr& raw,
             media::AviStreamPtr& target) {
    media::AviStreamInfo info;
    info.fccType = media::kFccVids;
    info.fccHandler = shape.video1 ? media::kFccMsvc : 0;
    info.scale = shape.scale;
    info.rate = shape.rate;
    info.frame.right = shape.width;
    info.frame.bottom = shape.height;
    if (int status = media::aviFileCreateStream(file, raw, info)) {
        return status;
    }
    target = raw;
    if (shape.video1) {
        media::AviCompressOptions options;
        options.fccType = media::kFccVids;
        options.fccHandler = media::kFccMsvc;
        if (int status = media::aviMakeCompressedStream(target, raw, options)) {
            return status;
        }
    }
    media::BitmapInfoHeader header;
    header.width = shape.width;
    header.height = shape.height;
    header.bitCount = kBitCount;
    header.sizeImage =
        static_cast<std::uint32_t>(media::dibRowBytes(shape.width, kBitCount) * shape.height);
    std::uint8_t bytes[media::kBitmapInfoHeaderBytes];
    media::storeBitmapInfoHeader(header, bytes);
    return media::aviStreamSetFormat(target, 0, bytes, sizeof bytes);
}

int addSound(const media::AviFilePtr& file, media::AviStreamPtr& sound) {
    const media::WaveFormatEx format = media::recordingAudioFormat();
    media::AviStreamInfo info;
    info.fccType = media::kFccAuds;
    info.scale = 1;
    info.rate = format.samplesPerSec;
    info.sampleSize = kSoundBlockAlign;
    if (int status = media::aviFileCreateStream(file, sound, info)) {
        return status;
    }
    std::uint8_t bytes[media::kWaveFormatExBytes];
    media::storeWaveFormat(format, bytes);
    return media::aviStreamSetFormat(sound, 0, bytes, sizeof bytes);
}

int writeFrames(const RecordingShape& shape, const media::AviStreamPtr& video,
                const media::AviStreamPtr& sound) {
    // One sound block per two frames at 5 fps, as the recorder interleaves them.
    const std::vector<std::uint8_t> block(kSoundBlockBytes, 0);
    for (int frame = 0; frame < shape.frames; ++frame) {
        const std::vector<std::uint8_t> dib = frameBytes(shape, frame);
        if (int status = media::aviStreamWrite(video, frame, 1, dib.data(),
                                               static_cast<std::int32_t>(dib.size()),
                                               media::kAviifKeyFrame)) {
            return status;
        }
        if (sound && frame % 2 == 1) {
            if (int status = media::aviStreamWrite(sound, media::kAppend, 1, block.data(),
                                                   static_cast<std::int32_t>(block.size()), 0)) {
                return status;
            }
        }
    }
    return 0;
}

}  // namespace

int writeRecording(const QString& path, const RecordingShape& shape) {
    media::AviWriterOptions options;
    options.segmentLimit = shape.segmentLimit;
    media::AviFilePtr file;
    if (int status = media::aviFileCreate(file, platform::encodePathStd(path), options)) {
        return status;
    }
    media::AviStreamPtr raw;
    media::AviStreamPtr video;
    media::AviStreamPtr sound;
    int status = addVideo(file, shape, raw, video);
    if (status == 0 && shape.withSound) {
        status = addSound(file, sound);
    }
    if (status == 0) {
        status = writeFrames(shape, video, sound);
    }
    media::aviStreamRelease(sound);
    media::aviStreamRelease(video);
    media::aviStreamRelease(raw);
    const int closed = media::aviFileRelease(file);
    return status ? status : closed;
}

namespace {

struct SampleRecording {
    const char* name;
    RecordingShape shape;
};

RecordingShape frames(int count) {
    RecordingShape shape;
    shape.frames = count;
    return shape;
}

RecordingShape withVideo1AndSound(int count) {
    RecordingShape shape = frames(count);
    shape.video1 = true;
    shape.withSound = true;
    return shape;
}

const SampleRecording kRecordings[] = {
    {"20161205083000.avi", withVideo1AndSound(35)},  // 7 s
    {"20161205093007.avi", frames(12)},              // 2 s
    {"20161205101500.avi", frames(330)},             // 66 s
    {"clip.avi.txt", frames(10)},                    // 2 s
    {"clip.AVI", frames(10)},
    {".hidden.avi", frames(10)},
};

bool writeText(const QString& path, const QByteArray& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

}  // namespace

QString makeMixedDirectory(const QString& directory) {
    const QDir dir(directory);
    for (const SampleRecording& recording : kRecordings) {
        const QString path = dir.filePath(QLatin1String(recording.name));
        if (int status = writeRecording(path, recording.shape)) {
            return QStringLiteral("writing %1 failed with %2").arg(path).arg(status);
        }
    }
    if (!writeText(dir.filePath(QStringLiteral("bad.avi")), "This is not a recording.\n") ||
        !writeText(dir.filePath(QStringLiteral("notes.txt")), "notes\n")) {
        return QStringLiteral("writing a text file failed");
    }
    QFile big(dir.filePath(QStringLiteral("big.avi")));
    if (!big.open(QIODevice::WriteOnly) || !big.resize(kBigFileBytes)) {
        return QStringLiteral("making the sparse file failed");
    }
    big.close();
    if (!dir.mkdir(QStringLiteral("x.avi"))) {
        return QStringLiteral("making the directory x.avi failed");
    }
    if (::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("f.avi"))).constData(), 0600) != 0) {
        return QStringLiteral("making the FIFO failed");
    }
    if (!QFile::link(QStringLiteral("20161205093007.avi"),
                     dir.filePath(QStringLiteral("link.avi"))) ||
        !QFile::link(QStringLiteral("missing.avi"), dir.filePath(QStringLiteral("broken.avi")))) {
        return QStringLiteral("making the links failed");
    }
    return QString();
}

QVector<ExpectedRow> mixedDirectoryRows(const QString& directory) {
    const QDir dir(directory);
    auto fileSize = [&](const char* name) {
        return QFileInfo(dir.filePath(QLatin1String(name))).size();
    };
    return {
        {QStringLiteral("20161205083000.avi"), 7, fileSize("20161205083000.avi")},
        {QStringLiteral("20161205093007.avi"), 2, fileSize("20161205093007.avi")},
        {QStringLiteral("20161205101500.avi"), 66, fileSize("20161205101500.avi")},
        {QStringLiteral("bad.avi"), 0, fileSize("bad.avi")},
        {QStringLiteral("big.avi"), 0, kBigFileBytes},
        {QStringLiteral("clip.avi.txt"), 2, fileSize("clip.avi.txt")},
        {QStringLiteral("link.avi"), 2, fileSize("20161205093007.avi")},
        {QStringLiteral("x.avi"), 0, 0},
    };
}

}  // namespace avisamples
