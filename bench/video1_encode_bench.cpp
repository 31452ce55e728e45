// Google Benchmark of the Video 1 encoder (and decoder) on 1920x1080 screens:
// a still screen (delta frames), desktop work (about a fifth of the blocks
// change per frame) and a playing video (about half). Frame sets come from
// video1_make_frames (directory in TESSALY_VIDEO1_FRAMES, default
// <build>/bench-frames); without them the frames are generated in memory.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "media/video1.h"
#include "video1_frame_set.h"
#include "video1_scenes.h"

namespace {

using namespace video1bench;
using Dibs = std::vector<std::vector<std::uint8_t>>;

// The recorder's quality; the editing jobs use 7500.
constexpr int kRecorderQuality = 8500;

std::string framesDir() {
    if (const char* dir = std::getenv("TESSALY_VIDEO1_FRAMES"))
        return dir;
    return (std::filesystem::path(TESSALY_BENCH_BIN_DIR) / ".." / "bench-frames").string();
}

const Dibs& frameSet(const std::string& kind) {
    static std::map<std::string, Dibs> sets;
    Dibs& dibs = sets[kind];
    if (!dibs.empty())
        return dibs;
    if (loadFrameSet(frameSetPath(framesDir(), kind), kBenchWidth, kBenchHeight, dibs))
        return dibs;
    SceneGenerator generator(kBenchWidth, kBenchHeight);
    SceneKind sceneKind = SceneKind::Still;
    sceneKindFromName(kind, sceneKind);
    std::vector<std::uint32_t> picture;
    for (int f = 0; f < kBenchFrames; ++f) {
        generator.render(sceneKind, f, picture);
        dibs.emplace_back();
        SceneGenerator::toDib32(picture, kBenchWidth, kBenchHeight, dibs.back());
    }
    return dibs;
}

// The same frames as 16-bit 5-5-5 DIBs: what the editing jobs feed the
// encoder after decoding a Video 1 recording.
const Dibs& frameSet16(const std::string& kind) {
    static std::map<std::string, Dibs> sets;
    Dibs& dibs = sets[kind];
    if (!dibs.empty())
        return dibs;
    for (const auto& dib32 : frameSet(kind)) {
        std::vector<std::uint8_t> dib16(dib32.size() / 2);
        for (std::size_t i = 0; i < dib16.size() / 2; ++i) {
            const std::uint8_t* p = dib32.data() + 4 * i;
            const unsigned word = ((p[2] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[0] >> 3);
            dib16[2 * i] = static_cast<std::uint8_t>(word & 0xFF);
            dib16[2 * i + 1] = static_cast<std::uint8_t>(word >> 8);
        }
        dibs.push_back(std::move(dib16));
    }
    return dibs;
}

// Encodes frames 1, 2, ... of the set as delta frames (every frame a key
// frame when `allKey`) after an untimed key frame 0; at the end of the set
// the encoder restarts, untimed, from frame 0.
void encodeSequence(benchmark::State& state, const std::string& kind, bool allKey, int quality,
                    int bitCount = 32) {
    const Dibs& dibs = bitCount == 16 ? frameSet16(kind) : frameSet(kind);
    media::Video1Encoder encoder(kBenchWidth, kBenchHeight, quality);
    std::vector<std::uint8_t> out;
    encoder.encode(dibs[0].data(), bitCount, true, out);
    std::size_t next = 1, bytes = 0, frames = 0;
    for (auto _ : state) {
        if (next == dibs.size()) {
            state.PauseTiming();
            encoder.reset();
            encoder.encode(dibs[0].data(), bitCount, true, out);
            next = 1;
            state.ResumeTiming();
        }
        encoder.encode(dibs[next++].data(), bitCount, allKey, out);
        benchmark::DoNotOptimize(out.data());
        bytes += out.size();
        ++frames;
    }
    state.counters["bytes_per_frame"] = frames ? double(bytes) / frames : 0;
    state.counters["fps"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
}

void BM_DeltaFrames(benchmark::State& state, const std::string& kind) {
    encodeSequence(state, kind, false, kRecorderQuality);
}
void BM_KeyFrames(benchmark::State& state, const std::string& kind) {
    encodeSequence(state, kind, true, kRecorderQuality);
}
void BM_DeltaFramesEditingQuality(benchmark::State& state, const std::string& kind) {
    encodeSequence(state, kind, false, 7500);
}
void BM_DeltaFramesEditing16Bit(benchmark::State& state, const std::string& kind) {
    encodeSequence(state, kind, false, 7500, 16);
}

// Decoding, for the editing jobs that decode every source frame: key frames
// of the desktop set made at the recorder's quality.
void BM_DecodeKeyFrames(benchmark::State& state, const std::string& kind) {
    const Dibs& dibs = frameSet(kind);
    media::Video1Encoder encoder(kBenchWidth, kBenchHeight, kRecorderQuality);
    std::vector<std::vector<std::uint8_t>> chunks(dibs.size());
    for (std::size_t f = 0; f < dibs.size(); ++f) {
        encoder.encode(dibs[f].data(), 32, true, chunks[f]);
    }
    media::Video1Decoder decoder(kBenchWidth, kBenchHeight, 16);
    std::size_t next = 0;
    for (auto _ : state) {
        const auto& chunk = chunks[next++ % chunks.size()];
        benchmark::DoNotOptimize(decoder.decode(chunk.data(), chunk.size()));
    }
    state.counters["fps"] = benchmark::Counter(double(next), benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(BM_DeltaFrames, still, std::string("still"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DeltaFrames, desktop, std::string("desktop"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DeltaFrames, video, std::string("video"))->Unit(benchmark::kMillisecond);
// The recorder may mark every frame as a key frame; unchanged blocks then
// repeat their stored coding instead of a skip.
BENCHMARK_CAPTURE(BM_KeyFrames, still, std::string("still"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_KeyFrames, desktop, std::string("desktop"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_KeyFrames, video, std::string("video"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DeltaFramesEditingQuality, desktop, std::string("desktop"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DeltaFramesEditingQuality, video, std::string("video"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DeltaFramesEditing16Bit, desktop, std::string("desktop"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DeltaFramesEditing16Bit, video, std::string("video"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeKeyFrames, desktop, std::string("desktop"))
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
