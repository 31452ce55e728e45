// Writes the seed corpora of the fuzz targets with our own writer and
// encoder: small but complete files of every shape the reader handles.
//   fuzz_seeds AVI_DIR VIDEO1_DIR
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "media/avi_writer.h"
#include "media/video1.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

// Tiny pictures keep the seeds small, so the fuzzer's inputs stay small.
constexpr int kWidth = 16;
constexpr int kHeight = 8;
// Room for a few index windows only: the reserved header stays ~1 KB.
constexpr std::uint32_t kSeedSuperIndexEntries = 4;

enum class Shape { VideoAndSound, VideoOnly, Killed, Uncompressed };

// Six frames (a flush after the fourth) kept in `frames`, with a sound block
// after every second one; a killed recording is the copy taken after a last
// flush.
bool writeSeed(const fs::path& path, Shape shape, std::vector<Bytes>& frames) {
    using namespace media;
    const bool rgb = shape == Shape::Uncompressed,
               sound = shape == Shape::VideoAndSound || shape == Shape::Killed;
    AviWriter w;
    if (w.create(path.string(), {kDefaultSegmentLimit, kSeedSuperIndexEntries}) != kAviOk)
        return false;
    AviStreamHeader vh;
    vh.fccType = kFccVids;
    vh.fccHandler = rgb ? 0 : kFccMsvc;
    vh.scale = 1;
    vh.rate = 5;
    AviStreamHeader ah = vh;
    ah.fccType = kFccAuds;
    ah.fccHandler = 0;
    ah.rate = kSoundSampleRate;
    BitmapInfoHeader bih;
    bih.width = kWidth;
    bih.height = kHeight;
    bih.bitCount = rgb ? 24 : 16;
    bih.compression = rgb ? kBiRgb : kFccMsvc;
    std::uint8_t raw[kBitmapInfoHeaderBytes], wf[kWaveFormatExBytes];
    storeBitmapInfoHeader(bih, raw);
    storeWaveFormat(recordingAudioFormat(), wf);
    int v = 0, a = 0;
    w.addStream(vh, "video", &v);
    w.setFormat(v, raw, sizeof raw);
    if (sound) {
        w.addStream(ah, "", &a);
        w.setFormat(a, wf, sizeof wf);
    }
    Video1Encoder encoder(kWidth, kHeight, 8000);
    Bytes dib(dibRowBytes(kWidth, 24) * kHeight), encoded;
    for (int f = 0; f < 6; ++f) {
        for (std::size_t i = 0; i < dib.size(); ++i)
            dib[i] = static_cast<std::uint8_t>(i * 7 + f * 13);
        const bool key = rgb || encoder.encode(dib.data(), 24, f % 3 == 0, encoded);
        const Bytes& chunk = rgb ? dib : encoded;
        frames.push_back(chunk);
        w.writeChunk(v, chunk.data(), static_cast<std::uint32_t>(chunk.size()), key);
        if (sound && f % 2 == 1) {
            const Bytes pcm(64, static_cast<std::uint8_t>(f));
            w.writeChunk(a, pcm.data(), static_cast<std::uint32_t>(pcm.size()), true);
        }
        if (f == 3)
            w.flush();
    }
    if (shape == Shape::Killed) {
        w.flush();
        fs::copy_file(path, path.string() + ".tmp", fs::copy_options::overwrite_existing);
    }
    const bool closed = w.close() == kAviOk;
    if (shape == Shape::Killed)
        fs::rename(path.string() + ".tmp", path);
    return closed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fuzz_seeds AVI_DIR VIDEO1_DIR\n");
        return 2;
    }
    const fs::path aviDir = argv[1], video1Dir = argv[2];
    fs::create_directories(aviDir);
    fs::create_directories(video1Dir);
    const std::pair<const char*, Shape> seeds[] = {{"video_audio.avi", Shape::VideoAndSound},
                                                   {"video_only.avi", Shape::VideoOnly},
                                                   {"killed.avi", Shape::Killed},
                                                   {"rgb.avi", Shape::Uncompressed}};
    std::vector<Bytes> frames;
    for (const auto& [name, shape] : seeds) {
        if (!writeSeed(aviDir / name, shape, frames)) {
            std::fprintf(stderr, "fuzz_seeds: cannot write %s\n", name);
            return 1;
        }
    }
    // Video 1 seeds: the setup bytes the decoder fuzzer reads (width - 1,
    // height - 1, 16-bit variant, split in the middle) and two frames.
    for (std::size_t i = 0; i + 1 < frames.size() && i < 4; ++i) {
        Bytes seed = {kWidth - 1, kHeight - 1, 0, 128};
        seed.insert(seed.end(), frames[i].begin(), frames[i].end());
        seed.insert(seed.end(), frames[i + 1].begin(), frames[i + 1].end());
        std::ofstream(video1Dir / ("frames" + std::to_string(i) + ".bin"), std::ios::binary)
            .write(reinterpret_cast<const char*>(seed.data()),
                   static_cast<std::streamsize>(seed.size()));
    }
    return 0;
}
