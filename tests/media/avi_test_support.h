// Helpers of the AVI container tests: scratch files, child processes (ffprobe,
// ffmpeg, mplayer as independent oracles), test pictures and sound.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "media/avi_file.h"
#include "media/avi_writer.h"
#include "media/video1.h"

namespace avitest {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

// Scratch directories live until the test program ends.
class ScratchCleanup : public ::testing::Environment {
  public:
    static std::vector<fs::path>& dirs() {
        static std::vector<fs::path> list;
        return list;
    }
    void TearDown() override {
        std::error_code ignored;
        for (const fs::path& d : dirs())
            fs::remove_all(d, ignored);
    }
};
inline const bool kScratchCleanupRegistered =
    (::testing::AddGlobalTestEnvironment(new ScratchCleanup), true);

inline fs::path scratchDir(const std::string& name) {
    const fs::path dir =
        fs::temp_directory_path() / ("tessaly_avi_" + name + "_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    ScratchCleanup::dirs().push_back(dir);
    return dir;
}

inline Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeFile(const fs::path& path, const Bytes& bytes, std::size_t count) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(count));
}
inline void writeFile(const fs::path& path, const Bytes& bytes) {
    writeFile(path, bytes, bytes.size());
}

inline std::uint32_t get32(const Bytes& b, std::size_t at) {
    return media::le32(b.data() + at);
}
inline std::uint16_t get16(const Bytes& b, std::size_t at) {
    return media::le16(b.data() + at);
}

// Runs a shell command and returns its exit status; stdout goes to `out`.
inline int runCommand(const std::string& command, std::string& out) {
    out.clear();
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    std::array<char, 4096> buf{};
    std::size_t n = 0;
    while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0)
        out.append(buf.data(), n);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline bool haveTool(const std::string& name) {
    std::string out;
    return runCommand("command -v " + name + " >/dev/null 2>&1", out) == 0;
}

// "key=value" lines of ffprobe -of default=nw=1 for one stream.
inline std::map<std::string, std::string> ffprobeStream(const fs::path& file,
                                                        const std::string& selector) {
    std::string out;
    runCommand("ffprobe -v error -count_packets -select_streams " + selector +
                   " -show_entries stream=codec_name,codec_tag_string,width,height,r_frame_rate,"
                   "sample_rate,channels,nb_read_packets,bits_per_coded_sample -of default=nw=1 '" +
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

// Sizes of the packets of one stream as ffprobe reads them, in file order.
inline std::vector<std::uint32_t> ffprobePacketSizes(const fs::path& file, int stream) {
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

// Frames decoded by FFmpeg as raw rgb555le pictures (top row first).
inline Bytes ffmpegDecode555(const fs::path& file, const fs::path& out) {
    std::string log;
    runCommand("ffmpeg -v error -y -i '" + file.string() +
                   "' -map 0:v:0 -f rawvideo -pix_fmt rgb555le '" + out.string() + "' 2>&1",
               log);
    return readFile(out);
}

// A 24-bit bottom-up DIB with a scene that moves with `frame`: a gradient
// background, a moving box and a band of noise, so frames have both skippable
// and changing blocks.
inline Bytes makeFrame24(int width, int height, int frame, bool noisy = false) {
    const std::size_t stride = media::dibRowBytes(width, 24);
    Bytes dib(stride * static_cast<std::size_t>(height));
    std::uint32_t seed = 12345u + static_cast<std::uint32_t>(frame) * 7919u;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = dib.data() + static_cast<std::size_t>(y) * stride + 3 * x;
            p[0] = static_cast<std::uint8_t>(x * 4);
            p[1] = static_cast<std::uint8_t>(y * 4);
            p[2] = 96;
            const int bx = (frame * 4) % width;
            if (x >= bx && x < bx + 16 && y >= 8 && y < 24) {
                p[0] = 255;
                p[1] = 255;
                p[2] = 255;
            }
            if (noisy || (y >= height / 2 && y < height / 2 + 4)) {
                seed = seed * 1103515245u + 12345u;
                p[2] = static_cast<std::uint8_t>(seed >> 16);
            }
        }
    }
    return dib;
}

// PCM bytes that differ per chunk, so a misplaced chunk shows.
inline Bytes makeAudio(std::size_t bytes, int chunk) {
    Bytes pcm(bytes);
    for (std::size_t i = 0; i < bytes; ++i) {
        pcm[i] = static_cast<std::uint8_t>((i * 31 + static_cast<std::size_t>(chunk) * 101) >> 2);
    }
    return pcm;
}

inline media::BitmapInfoHeader frameHeader24(int width, int height) {
    media::BitmapInfoHeader h;
    h.width = width;
    h.height = height;
    h.bitCount = 24;
    h.sizeImage = static_cast<std::uint32_t>(media::dibRowBytes(width, 24) * height);
    return h;
}

// The audio block the recorder writes.
constexpr std::uint32_t kAudioChunkBytes = media::kSoundBlockBytes;

// Compares every frame FFmpeg decodes (rgb555le, top row first) with our
// frame decompressor's 16-bit bottom-up DIBs.
inline void expectSameDecodeAsFfmpeg(const fs::path& file, const fs::path& scratch,
                                     int expectedFrames) {
    const Bytes ff = ffmpegDecode555(file, scratch);
    media::AviFilePtr f;
    ASSERT_EQ(media::aviFileOpen(f, file.string(), media::kOpenRead), media::kAviOk);
    media::AviStreamPtr video;
    ASSERT_EQ(media::aviFileGetStream(f, video, media::kFccVids, 0), media::kAviOk);
    media::AviStreamInfo info;
    ASSERT_EQ(media::aviStreamInfo(video, info), media::kAviOk);
    const int w = info.frame.right;
    const int h = info.frame.bottom;
    const std::size_t ffFrame = static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 2;
    ASSERT_EQ(ff.size(), ffFrame * static_cast<std::size_t>(expectedFrames));
    auto gf = media::aviStreamGetFrameOpen(video);
    ASSERT_TRUE(gf);
    const std::size_t stride = media::dibRowBytes(w, 16);
    int mismatches = 0;
    for (int n = 0; n < expectedFrames; ++n) {
        const std::uint8_t* dib = media::aviStreamGetFrame(gf.get(), n);
        ASSERT_NE(dib, nullptr);
        for (int y = 0; y < h && mismatches < 5; ++y) {
            const std::uint8_t* ours = dib + 40 + static_cast<std::size_t>(h - 1 - y) * stride;
            const std::uint8_t* theirs =
                ff.data() + ffFrame * static_cast<std::size_t>(n) +
                static_cast<std::size_t>(y) * static_cast<std::size_t>(w) * 2;
            for (int x = 0; x < w; ++x) {
                const unsigned a = media::le16(ours + 2 * x) & 0x7FFF;
                const unsigned b = media::le16(theirs + 2 * x) & 0x7FFF;
                if (a != b) {
                    ADD_FAILURE() << "frame " << n << " pixel " << x << "," << y;
                    ++mismatches;
                    break;
                }
            }
        }
    }
}

// Writes frames encoded with our Video 1 encoder (every fifth a key frame) and
// 0.4 s PCM chunks straight through AviWriter, keeping the bytes of every
// chunk. `onFrame(n)` runs after frame n was written (to copy a file while it
// is being written, or to flush).
struct WrittenStreams {
    int status = 0;
    std::vector<Bytes> video;
    std::vector<bool> key;
    std::vector<Bytes> audio;
    int segments = 0;
};
template <typename OnFrame>
WrittenStreams writeWithWriter(const fs::path& path, int width, int height, int frames,
                               const media::AviWriterOptions& options, OnFrame onFrame,
                               media::AviWriter* writerOut = nullptr) {
    using namespace media;
    WrittenStreams out;
    AviWriter local;
    AviWriter& w = writerOut ? *writerOut : local;
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
        onFrame(f);
    }
    out.segments = w.segmentCount();
    out.status = w.close();
    return out;
}

// Writes a recording the way the recorder does: a video stream at 5 fps made
// compressing with Video 1 (key frame every 5), optionally a PCM stream with
// one 0.4 s chunk after every second frame; flushes every `flushEvery` frames.
struct RecordingResult {
    int status = 0;
    std::vector<Bytes> audioChunks;
};
inline RecordingResult writeRecording(const fs::path& path, int width, int height, int frames,
                                      bool audio, int flushEvery = 0,
                                      const media::AviWriterOptions& options = {},
                                      bool noisy = false) {
    using namespace media;
    RecordingResult result;
    AviFilePtr file;
    AviStreamPtr video, compressed, sound;
    auto fail = [&](int rc) {
        result.status = rc;
        return result;
    };
    if (int rc = aviFileCreate(file, path.string(), options); rc)
        return fail(rc);
    AviStreamInfo vi;
    vi.fccType = kFccVids;
    vi.scale = 1;
    vi.rate = 5;
    vi.suggestedBufferSize = frameHeader24(width, height).sizeImage;
    vi.frame = {0, 0, width, height};
    if (int rc = aviFileCreateStream(file, video, vi); rc)
        return fail(rc);
    AviCompressOptions co;
    co.fccType = kFccVids;
    co.fccHandler = kFccMsvc;
    co.keyFrameEvery = 5;
    co.quality = 8500;
    co.flags = kCompressInterleave;
    if (int rc = aviMakeCompressedStream(compressed, video, co); rc)
        return fail(rc);
    const BitmapInfoHeader bih = frameHeader24(width, height);
    std::uint8_t raw[kBitmapInfoHeaderBytes];
    storeBitmapInfoHeader(bih, raw);
    if (int rc = aviStreamSetFormat(compressed, 0, raw, sizeof raw); rc)
        return fail(rc);
    if (audio) {
        AviStreamInfo ai;
        ai.fccType = kFccAuds;
        ai.scale = 1;
        ai.rate = kSoundSampleRate;
        ai.suggestedBufferSize = kAudioChunkBytes;
        ai.sampleSize = kSoundSampleBytes;
        if (int rc = aviFileCreateStream(file, sound, ai); rc)
            return fail(rc);
        std::uint8_t wf[kWaveFormatExBytes];
        storeWaveFormat(recordingAudioFormat(), wf);
        if (int rc = aviStreamSetFormat(sound, 0, wf, sizeof wf); rc)
            return fail(rc);
    }
    for (int f = 0; f < frames; ++f) {
        const Bytes dib = makeFrame24(width, height, f, noisy);
        if (int rc = aviStreamWrite(compressed, f, 1, dib.data(),
                                    static_cast<std::int32_t>(dib.size()), 0);
            rc) {
            return fail(rc);
        }
        if (audio && f % 2 == 1) {
            Bytes pcm = makeAudio(kAudioChunkBytes, static_cast<int>(result.audioChunks.size()));
            if (int rc = aviStreamWrite(sound, kAppend, 1, pcm.data(),
                                        static_cast<std::int32_t>(pcm.size()), kAviifKeyFrame);
                rc) {
                return fail(rc);
            }
            result.audioChunks.push_back(std::move(pcm));
        }
        if (flushEvery > 0 && (f + 1) % flushEvery == 0) {
            if (int rc = aviFileFlush(file); rc)
                return fail(rc);
        }
    }
    aviStreamRelease(sound);
    aviStreamRelease(video);
    aviStreamRelease(compressed);
    result.status = aviFileRelease(file);
    return result;
}

}  // namespace avitest
