#include "tests/support/recordings.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "media/avi_file.h"
#include "media/video1.h"

namespace testsupport {

using namespace media;

Bytes makeFrame24(int width, int height, int frame, bool noisy) {
    const std::size_t stride = dibRowBytes(width, 24);
    Bytes dib(stride * static_cast<std::size_t>(height));
    std::uint32_t seed = 12345u + static_cast<std::uint32_t>(frame) * 7919u;
    const int boxX = (frame * 4) % width;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = dib.data() + static_cast<std::size_t>(y) * stride + 3 * x;
            const bool inBox = x >= boxX && x < boxX + 16 && y >= 8 && y < 24;
            p[0] = inBox ? 255 : static_cast<std::uint8_t>(x * 4);
            p[1] = inBox ? 255 : static_cast<std::uint8_t>(y * 4);
            p[2] = inBox ? 255 : 96;
            if (noisy || (y >= height / 2 && y < height / 2 + 4)) {
                seed = seed * 1103515245u + 12345u;
                p[2] = static_cast<std::uint8_t>(seed >> 16);
            }
        }
    }
    return dib;
}

Bytes makeAudio(std::size_t bytes, int chunk) {
    Bytes pcm(bytes);
    for (std::size_t i = 0; i < bytes; ++i)
        pcm[i] = static_cast<std::uint8_t>((i * 31 + static_cast<std::size_t>(chunk) * 101) >> 2);
    return pcm;
}

BitmapInfoHeader frameHeader24(int width, int height) {
    BitmapInfoHeader h;
    h.width = width;
    h.height = height;
    h.bitCount = 24;
    h.sizeImage = static_cast<std::uint32_t>(dibRowBytes(width, 24) * height);
    return h;
}

namespace {

int setFormat(const AviStreamPtr& stream, const BitmapInfoHeader& header) {
    std::uint8_t raw[kBitmapInfoHeaderBytes];
    storeBitmapInfoHeader(header, raw);
    return aviStreamSetFormat(stream, 0, raw, sizeof raw);
}

int addSoundStream(const AviFilePtr& file, AviStreamPtr& sound) {
    AviStreamInfo info;
    info.fccType = kFccAuds;
    info.scale = 1;
    info.rate = kSoundSampleRate;
    info.suggestedBufferSize = kAudioChunkBytes;
    info.sampleSize = kSoundSampleBytes;
    if (int rc = aviFileCreateStream(file, sound, info); rc)
        return rc;
    std::uint8_t wf[kWaveFormatExBytes];
    storeWaveFormat(recordingAudioFormat(), wf);
    return aviStreamSetFormat(sound, 0, wf, sizeof wf);
}

int addVideo(const AviFilePtr& file, const RecordingShape& shape, AviStreamPtr& raw,
             AviStreamPtr& target) {
    AviStreamInfo info;
    info.fccType = kFccVids;
    info.scale = shape.scale;
    info.rate = shape.rate;
    info.suggestedBufferSize = frameHeader24(shape.width, shape.height).sizeImage;
    info.frame = {0, 0, shape.width, shape.height};
    if (int rc = aviFileCreateStream(file, raw, info); rc)
        return rc;
    target = raw;
    if (shape.video1) {
        AviCompressOptions options;
        options.fccType = kFccVids;
        options.fccHandler = kFccMsvc;
        options.keyFrameEvery = shape.keyFrameEvery;
        options.quality = 8500;
        options.flags = kCompressInterleave;
        if (int rc = aviMakeCompressedStream(target, raw, options); rc)
            return rc;
    }
    return setFormat(target, frameHeader24(shape.width, shape.height));
}

int writeFrames(const RecordingShape& shape, const AviStreamPtr& video, const AviStreamPtr& sound,
                std::vector<Bytes>& audioChunks) {
    for (int f = 0; f < shape.frames; ++f) {
        const Bytes dib = makeFrame24(shape.width, shape.height, f);
        if (int rc = aviStreamWrite(video, f, 1, dib.data(), static_cast<std::int32_t>(dib.size()),
                                    shape.video1 ? 0 : kAviifKeyFrame);
            rc) {
            return rc;
        }
        if (sound && f % 2 == 1) {
            Bytes pcm = makeAudio(kAudioChunkBytes, static_cast<int>(audioChunks.size()));
            if (int rc = aviStreamWrite(sound, kAppend, 1, pcm.data(),
                                        static_cast<std::int32_t>(pcm.size()), kAviifKeyFrame);
                rc) {
                return rc;
            }
            audioChunks.push_back(std::move(pcm));
        }
    }
    return kAviOk;
}

}  // namespace

RecordingResult writeRecording(const std::filesystem::path& path, const RecordingShape& shape) {
    RecordingResult result;
    AviWriterOptions options;
    options.segmentLimit = shape.segmentLimit;
    AviFilePtr file;
    if ((result.status = aviFileCreate(file, path.string(), options)))
        return result;
    AviStreamPtr raw, video, sound;
    result.status = addVideo(file, shape, raw, video);
    if (!result.status && shape.withSound)
        result.status = addSoundStream(file, sound);
    if (!result.status)
        result.status = writeFrames(shape, video, sound, result.audioChunks);
    aviStreamRelease(sound);
    aviStreamRelease(video);
    aviStreamRelease(raw);
    const int closed = aviFileRelease(file);
    if (!result.status)
        result.status = closed;
    return result;
}

WrittenStreams writeWithWriter(const std::filesystem::path& path, int width, int height, int frames,
                               const AviWriterOptions& options,
                               const std::function<void(int)>& onFrame, AviWriter* writer) {
    WrittenStreams out;
    AviWriter local;
    AviWriter& w = writer ? *writer : local;
    if ((out.status = w.create(path.string(), options)))
        return out;
    AviStreamHeader vh;
    vh.fccType = kFccVids;
    vh.fccHandler = kFccMsvc;
    vh.scale = 1;
    vh.rate = 5;
    AviStreamHeader ah;
    ah.fccType = kFccAuds;
    ah.scale = 1;
    ah.rate = kSoundSampleRate;
    int v = 0, a = 0;
    w.addStream(vh, "", &v);
    w.addStream(ah, "", &a);
    BitmapInfoHeader bih;
    bih.width = width;
    bih.height = height;
    bih.bitCount = 16;
    bih.compression = kFccMsvc;
    std::uint8_t raw[kBitmapInfoHeaderBytes];
    storeBitmapInfoHeader(bih, raw);
    w.setFormat(v, raw, sizeof raw);
    std::uint8_t wf[kWaveFormatExBytes];
    storeWaveFormat(recordingAudioFormat(), wf);
    w.setFormat(a, wf, sizeof wf);
    Video1Encoder encoder(width, height, Video1Encoder::kMaxQuality);
    Bytes encoded;
    for (int f = 0; f < frames; ++f) {
        const Bytes dib = makeFrame24(width, height, f, true);
        const bool key = encoder.encode(dib.data(), 24, f % 5 == 0, encoded);
        if ((out.status = w.writeChunk(v, encoded.data(),
                                       static_cast<std::uint32_t>(encoded.size()), key))) {
            return out;
        }
        out.video.push_back(encoded);
        out.key.push_back(key);
        if (f % 2 == 1) {
            Bytes pcm = makeAudio(kAudioChunkBytes, static_cast<int>(out.audio.size()));
            if ((out.status = w.writeChunk(a, pcm.data(), kAudioChunkBytes, true)))
                return out;
            out.audio.push_back(std::move(pcm));
        }
        if (onFrame)
            onFrame(f);
    }
    out.segments = w.segmentCount();
    out.status = w.close();
    return out;
}

namespace {

void put16(Bytes& b, unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v & 0xFF));
    b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}
void put32(Bytes& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void putTag(Bytes& b, const char* tag) {
    b.insert(b.end(), tag, tag + 4);
}
void patchSize(Bytes& b, std::size_t sizeAt) {
    const auto v = static_cast<std::uint32_t>(b.size() - sizeAt - 4);
    for (int i = 0; i < 4; ++i)
        b[sizeAt + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::size_t openList(Bytes& b, const char* type) {
    putTag(b, "LIST");
    const std::size_t sizeAt = b.size();
    put32(b, 0);
    putTag(b, type);
    return sizeAt;
}

void putHeaders(Bytes& b, int width, int height, int bitCount, std::uint32_t frames,
                std::uint32_t largest, const std::vector<std::uint32_t>& palette) {
    const std::size_t hdrl = openList(b, "hdrl");
    putTag(b, "avih");
    put32(b, 56);
    for (std::uint32_t v :
         {200000u, 0u, 0u, 0x10u, frames, 0u, 1u, largest, static_cast<std::uint32_t>(width),
          static_cast<std::uint32_t>(height), 0u, 0u, 0u, 0u})
        put32(b, v);
    const std::size_t strl = openList(b, "strl");
    putTag(b, "strh");
    put32(b, 56);
    putTag(b, "vids"), putTag(b, "MSVC");
    for (std::uint32_t v : {0u, 0u, 0u, 1u, 5u, 0u, frames, largest, 0xFFFFFFFFu, 0u})
        put32(b, v);
    put16(b, 0), put16(b, 0), put16(b, static_cast<unsigned>(width)),
        put16(b, static_cast<unsigned>(height));
    const bool paletted = bitCount == 8;
    putTag(b, "strf");
    put32(b, paletted ? 40 + 1024 : 40);
    put32(b, 40), put32(b, static_cast<std::uint32_t>(width)),
        put32(b, static_cast<std::uint32_t>(height));
    put16(b, 1), put16(b, static_cast<unsigned>(bitCount));
    putTag(b, "CRAM");
    put32(b, static_cast<std::uint32_t>(dibRowBytes(width, bitCount) * height));
    put32(b, 0), put32(b, 0), put32(b, paletted ? 256 : 0), put32(b, 0);
    for (std::size_t i = 0; paletted && i < 256; ++i)
        put32(b, i < palette.size() ? palette[i] : 0);
    patchSize(b, strl);
    patchSize(b, hdrl);
}

}  // namespace

void writeVideo1Avi(const std::filesystem::path& path, int width, int height, int bitCount,
                    const std::vector<AviFrame>& frames,
                    const std::vector<std::uint32_t>& palette) {
    std::size_t largest = 0;
    for (const AviFrame& f : frames)
        largest = std::max(largest, f.data.size());
    Bytes b;
    putTag(b, "RIFF");
    put32(b, 0);
    putTag(b, "AVI ");
    putHeaders(b, width, height, bitCount, static_cast<std::uint32_t>(frames.size()),
               static_cast<std::uint32_t>(largest), palette);
    const std::size_t movi = openList(b, "movi");
    const std::size_t moviTag = movi + 4;
    Bytes index;
    auto chunk = [&](const char* tag, const Bytes& data, std::uint32_t flags) {
        putTag(index, tag);
        put32(index, flags);
        put32(index, static_cast<std::uint32_t>(b.size() - moviTag));
        put32(index, static_cast<std::uint32_t>(data.size()));
        putTag(b, tag);
        put32(b, static_cast<std::uint32_t>(data.size()));
        b.insert(b.end(), data.begin(), data.end());
        if (data.size() % 2)
            b.push_back(0);
    };
    for (const AviFrame& f : frames) {
        if (!f.paletteChange.empty())
            chunk("00pc", f.paletteChange, kAviifNoTime);
        chunk("00dc", f.data, f.key ? kAviifKeyFrame : 0);
    }
    patchSize(b, movi);
    putTag(b, "idx1");
    put32(b, static_cast<std::uint32_t>(index.size()));
    b.insert(b.end(), index.begin(), index.end());
    patchSize(b, 4);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

namespace {

// Walks the chunks of [begin, end), descending into the lists.
void walkChunks(const Bytes& b, std::size_t begin, std::size_t end, bool inMovi,
                std::vector<AviChunk>& chunks) {
    std::size_t at = begin;
    while (at + 8 <= end) {
        const std::string tag(b.begin() + static_cast<std::ptrdiff_t>(at),
                              b.begin() + static_cast<std::ptrdiff_t>(at + 4));
        const std::size_t size = le32(b.data() + at + 4);
        const std::size_t dataEnd = std::min(end, at + 8 + size);
        const auto data = b.begin() + static_cast<std::ptrdiff_t>(at + 8);
        if ((tag == "LIST" || tag == "RIFF") && at + 12 <= dataEnd) {
            const std::string type(data, data + 4);
            walkChunks(b, at + 12, dataEnd, inMovi || type == "movi", chunks);
        } else if (inMovi && tag[0] == '0' && tag[1] == '0') {
            chunks.push_back({tag, Bytes(data, b.begin() + static_cast<std::ptrdiff_t>(dataEnd))});
        }
        at = static_cast<std::size_t>(nextChunkPos(at, size));
    }
}

}  // namespace

bool readAviChunks(const std::filesystem::path& path, std::vector<AviChunk>& chunks) {
    std::ifstream in(path, std::ios::binary);
    const Bytes b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    chunks.clear();
    if (b.size() >= 12)
        walkChunks(b, 0, b.size(), false, chunks);
    return !chunks.empty();
}

}  // namespace testsupport
