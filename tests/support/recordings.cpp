#include "tests/support/recordings.h"

#include <algorithm>
#include <fstream>

#include "media/avi_file.h"

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

namespace {

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
    info.suggestedBufferSize =
        static_cast<std::uint32_t>(dibRowBytes(shape.width, 24) * shape.height);
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
    return setDib24Format(target, shape.width, shape.height);
}

int writeFrames(const AviFilePtr& file, const RecordingShape& shape, const AviStreamPtr& video,
                const AviStreamPtr& sound, const FrameHook& onFrame,
                std::vector<Bytes>& audioChunks) {
    for (int f = 0; f < shape.frames; ++f) {
        const Bytes dib = makeFrame24(shape.width, shape.height, f, shape.noisy);
        int rc = aviStreamWrite(video, f, 1, dib.data(), static_cast<std::int32_t>(dib.size()),
                                shape.video1 ? 0 : kAviifKeyFrame);
        if (!rc && sound && f % 2 == 1) {
            audioChunks.push_back(
                makeAudio(kAudioChunkBytes, static_cast<int>(audioChunks.size())));
            rc = aviStreamWrite(sound, kAppend, 1, audioChunks.back().data(), kAudioChunkBytes,
                                kAviifKeyFrame);
        }
        if (rc)
            return rc;
        if (onFrame)
            onFrame(file, f);
    }
    return kAviOk;
}

}  // namespace

int setDib24Format(const AviStreamPtr& stream, int width, int height) {
    BitmapInfoHeader h;
    h.width = width;
    h.height = height;
    h.bitCount = 24;
    std::uint8_t format[kBitmapInfoHeaderBytes];
    storeBitmapInfoHeader(h, format);
    return aviStreamSetFormat(stream, 0, format, sizeof format);
}

RecordingResult writeRecording(const std::filesystem::path& path, const RecordingShape& shape,
                               const FrameHook& onFrame) {
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
        result.status = writeFrames(file, shape, video, sound, onFrame, result.audioChunks);
    result.segments = file->writer()->segmentCount();
    aviStreamRelease(sound);
    aviStreamRelease(video);
    aviStreamRelease(raw);
    const int closed = aviFileRelease(file);
    if (!result.status)
        result.status = closed;
    return result;
}

namespace {

// Little-endian words, tags and sized chunks appended to a byte buffer.
struct RiffBytes {
    Bytes b;
    void u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void tag(const char* t) {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<std::uint8_t>(t[i]));
    }
    // Starts a chunk (a list when `type` is given); end() sets its size.
    std::size_t begin(const char* id, const char* type = nullptr) {
        tag(id);
        const std::size_t sizeAt = b.size();
        u32(0);
        if (type)
            tag(type);
        return sizeAt;
    }
    void end(std::size_t sizeAt) {
        put32(b.data() + sizeAt, static_cast<std::uint32_t>(b.size() - sizeAt - 4));
    }
};

}  // namespace

void writeVideo1Avi(const std::filesystem::path& path, int width, int height, int bitCount,
                    const std::vector<AviFrame>& frames,
                    const std::vector<std::uint32_t>& palette) {
    std::size_t largestFrame = 0;
    for (const AviFrame& f : frames)
        largestFrame = std::max(largestFrame, f.data.size());
    const auto n = static_cast<std::uint32_t>(frames.size()),
               largest = static_cast<std::uint32_t>(largestFrame),
               w = static_cast<std::uint32_t>(width), h = static_cast<std::uint32_t>(height);
    const bool paletted = bitCount == 8;
    RiffBytes o;
    const std::size_t riff = o.begin("RIFF", "AVI "), hdrl = o.begin("LIST", "hdrl");
    o.tag("avih");
    o.u32(56);
    for (std::uint32_t v : {200000u, 0u, 0u, 0x10u, n, 0u, 1u, largest, w, h, 0u, 0u, 0u, 0u})
        o.u32(v);
    const std::size_t strl = o.begin("LIST", "strl");
    o.tag("strh");
    o.u32(56);
    o.tag("vids");
    o.tag("MSVC");
    for (std::uint32_t v : {0u, 0u, 0u, 1u, 5u, 0u, n, largest, 0xFFFFFFFFu, 0u, 0u, w | h << 16})
        o.u32(v);
    o.tag("strf");
    o.u32(paletted ? 40 + 1024 : 40);
    for (std::uint32_t v : {40u, w, h, 1u | static_cast<std::uint32_t>(bitCount) << 16})
        o.u32(v);
    o.tag("CRAM");
    for (std::uint32_t v : {static_cast<std::uint32_t>(dibRowBytes(width, bitCount) * height), 0u,
                            0u, paletted ? 256u : 0u, 0u})
        o.u32(v);
    for (std::size_t i = 0; paletted && i < 256; ++i)
        o.u32(i < palette.size() ? palette[i] : 0);
    o.end(strl);
    o.end(hdrl);
    const std::size_t movi = o.begin("LIST", "movi");
    RiffBytes index;
    auto chunk = [&](const char* tag, const Bytes& data, std::uint32_t flags) {
        index.tag(tag);
        for (std::size_t v : {std::size_t{flags}, o.b.size() - movi - 4, data.size()})
            index.u32(static_cast<std::uint32_t>(v));
        const std::size_t at = o.begin(tag);
        o.b.insert(o.b.end(), data.begin(), data.end());
        o.end(at);
        if (data.size() % 2)
            o.b.push_back(0);
    };
    for (const AviFrame& f : frames) {
        if (!f.paletteChange.empty())
            chunk("00pc", f.paletteChange, kAviifNoTime);
        chunk("00dc", f.data, f.key ? kAviifKeyFrame : 0);
    }
    o.end(movi);
    const std::size_t idx1 = o.begin("idx1");
    o.b.insert(o.b.end(), index.b.begin(), index.b.end());
    o.end(idx1);
    o.end(riff);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(o.b.data()), static_cast<std::streamsize>(o.b.size()));
}

}  // namespace testsupport
