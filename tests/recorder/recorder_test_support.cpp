#include "recorder_test_support.h"

#include <QFile>

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
