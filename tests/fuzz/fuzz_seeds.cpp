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

Bytes picture(int frame) {
    Bytes dib(media::dibRowBytes(kWidth, 24) * kHeight);
    for (std::size_t i = 0; i < dib.size(); ++i)
        dib[i] = static_cast<std::uint8_t>(i * 7 + frame * 13);
    return dib;
}

struct Shape {
    const char* name;
    bool audio;
    bool close;  // false: stop after a flush, as a killed recording
    bool rgb;    // uncompressed frames instead of Video 1
};

bool writeSeed(const fs::path& path, const Shape& shape, std::vector<Bytes>& frames) {
    using namespace media;
    AviWriter w;
    AviWriterOptions options;
    options.superIndexEntries = kSeedSuperIndexEntries;
    if (w.create(path.string(), options) != kAviOk)
        return false;
    AviStreamHeader vh;
    vh.fccType = kFccVids;
    vh.fccHandler = shape.rgb ? 0 : kFccMsvc;
    vh.scale = 1;
    vh.rate = 5;
    int v = 0, a = 0;
    w.addStream(vh, "video", &v);
    BitmapInfoHeader bih;
    bih.width = kWidth;
    bih.height = kHeight;
    bih.bitCount = shape.rgb ? 24 : 16;
    bih.compression = shape.rgb ? kBiRgb : kFccMsvc;
    std::uint8_t raw[kBitmapInfoHeaderBytes];
    storeBitmapInfoHeader(bih, raw);
    w.setFormat(v, raw, sizeof raw);
    if (shape.audio) {
        AviStreamHeader ah;
        ah.fccType = kFccAuds;
        ah.scale = 1;
        ah.rate = kSoundSampleRate;
        w.addStream(ah, "", &a);
        std::uint8_t wf[kWaveFormatExBytes];
        storeWaveFormat(recordingAudioFormat(), wf);
        w.setFormat(a, wf, sizeof wf);
    }
    Video1Encoder encoder(kWidth, kHeight, 8000);
    Bytes encoded;
    for (int f = 0; f < 6; ++f) {
        const Bytes dib = picture(f);
        bool key = true;
        if (shape.rgb) {
            encoded = dib;
        } else {
            key = encoder.encode(dib.data(), 24, f % 3 == 0, encoded);
            frames.push_back(encoded);
        }
        w.writeChunk(v, encoded.data(), static_cast<std::uint32_t>(encoded.size()), key);
        if (shape.audio && f % 2 == 1) {
            const Bytes pcm(64, static_cast<std::uint8_t>(f));
            w.writeChunk(a, pcm.data(), static_cast<std::uint32_t>(pcm.size()), true);
        }
        if (f == 3)
            w.flush();
    }
    if (shape.close)
        return w.close() == kAviOk;
    // A killed recording: copy what the system has now, then finish normally.
    w.flush();
    fs::copy_file(path, path.string() + ".tmp", fs::copy_options::overwrite_existing);
    w.close();
    fs::rename(path.string() + ".tmp", path);
    return true;
}

void writeBytes(const fs::path& path, const Bytes& b) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fuzz_seeds AVI_DIR VIDEO1_DIR\n");
        return 2;
    }
    const fs::path aviDir = argv[1];
    const fs::path video1Dir = argv[2];
    fs::create_directories(aviDir);
    fs::create_directories(video1Dir);
    const Shape shapes[] = {
        {"video_audio.avi", true, true, false},
        {"video_only.avi", false, true, false},
        {"killed.avi", true, false, false},
        {"rgb.avi", false, true, true},
    };
    std::vector<Bytes> frames;
    for (const Shape& s : shapes) {
        if (!writeSeed(aviDir / s.name, s, frames)) {
            std::fprintf(stderr, "fuzz_seeds: cannot write %s\n", s.name);
            return 1;
        }
    }
    // Video 1 seeds: the setup bytes the decoder fuzzer reads (width - 1,
    // height - 1, 16-bit variant, split in the middle) and two frames.
    for (std::size_t i = 0; i + 1 < frames.size() && i < 4; ++i) {
        Bytes seed = {kWidth - 1, kHeight - 1, 0, 128};
        seed.insert(seed.end(), frames[i].begin(), frames[i].end());
        seed.insert(seed.end(), frames[i + 1].begin(), frames[i + 1].end());
        writeBytes(video1Dir / ("frames" + std::to_string(i) + ".bin"), seed);
    }
    return 0;
}
