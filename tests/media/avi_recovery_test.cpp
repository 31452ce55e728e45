// Files that were never closed, cut short, or damaged: everything complete is
// recovered, nothing crashes.
#include <gtest/gtest.h>

#include <climits>

#include "media/avi_file.h"
#include "media/avi_reader.h"
#include "tests/media/media_test_support.h"

using namespace media;
using namespace mediatest;

namespace {

void expectPrefixOf(const AviReader& constReader, const WrittenStreams& original,
                    std::size_t minVideo, std::size_t minAudio, const std::string& what) {
    AviReader& r = const_cast<AviReader&>(constReader);
    const auto& v = r.stream(0).chunks;
    const auto& a = r.stream(1).chunks;
    EXPECT_GE(v.size(), minVideo) << what;
    EXPECT_GE(a.size(), minAudio) << what;
    ASSERT_LE(v.size(), original.video.size()) << what;
    ASSERT_LE(a.size(), original.audio.size()) << what;
    Bytes data;
    for (std::size_t i = 0; i < v.size(); ++i) {
        ASSERT_EQ(r.readChunk(0, i, data), kAviOk);
        ASSERT_EQ(data, original.video[i]) << what << " frame " << i;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(r.readChunk(1, i, data), kAviOk);
        // Only the last sound block may be cut short, to whole samples.
        const Bytes& whole = original.audio[i];
        const std::size_t n = i + 1 == a.size() ? data.size() : whole.size();
        ASSERT_EQ(data.size(), n) << what << " audio chunk " << i;
        ASSERT_EQ(n % kSoundSampleBytes, 0u) << what << " audio chunk " << i;
        ASSERT_TRUE(std::equal(data.begin(), data.end(), whole.begin(), whole.begin() + n))
            << what << " audio chunk " << i;
    }
}

}  // namespace

TEST(AviRecovery, KilledBetweenFlushesKeepsEveryFlushedChunk) {
    const fs::path dir = scratchDir("killed");
    constexpr int kFlushEvery = 10;
    constexpr int kFrames = 90;
    struct Snapshot {
        int frame;
        int flushedFrames;
        int flushedAudio;
        fs::path path;
    };
    std::vector<Snapshot> snapshots;
    AviWriter writer;
    AviWriterOptions options;
    options.segmentLimit = 1 << 20;
    int flushedFrames = 0, flushedAudio = 0;
    const auto original = writeWithWriter(
        dir / "rec.avi", 160, 120, kFrames, options,
        [&](int f) {
            if ((f + 1) % kFlushEvery == 0) {
                ASSERT_EQ(writer.flush(), kAviOk);
                flushedFrames = f + 1;
                flushedAudio = static_cast<int>(writer.chunkCount(1));
            }
            // The copy sees what the operating system has, as after a kill:
            // bytes still in the writer's stdio buffer are lost.
            if (f == 3 || f == 13 || f == 36 || f == 77) {
                const fs::path copy = dir / ("killed" + std::to_string(f) + ".avi");
                fs::copy_file(dir / "rec.avi", copy, fs::copy_options::overwrite_existing);
                snapshots.push_back({f, flushedFrames, flushedAudio, copy});
            }
        },
        &writer);
    ASSERT_EQ(original.status, kAviOk);
    ASSERT_GE(original.segments, 3);

    for (const Snapshot& s : snapshots) {
        const std::string what = "killed after frame " + std::to_string(s.frame);
        AviReader r;
        ASSERT_EQ(r.open(s.path.string()), kAviOk) << what;
        expectPrefixOf(r, original, static_cast<std::size_t>(s.flushedFrames),
                       static_cast<std::size_t>(s.flushedAudio), what);
        if (s.flushedFrames > 0) {
            // The header was rewritten at the flush: lengths are known without the index.
            EXPECT_EQ(r.stream(0).header.length, static_cast<std::uint32_t>(s.flushedFrames))
                << what;
            EXPECT_EQ(r.indexKind(), AviIndexKind::OpenDml) << what;
        }
    }

    if (!haveTool("ffprobe") || !haveTool("ffmpeg"))
        GTEST_SKIP() << "FFmpeg not installed";
    const Bytes full = ffmpegDecode(dir / "rec.avi", "rgb555le");
    const std::size_t frameBytes = 160 * 120 * 2;
    ASSERT_EQ(full.size(), frameBytes * kFrames);
    for (const Snapshot& s : snapshots) {
        const std::string what = "killed after frame " + std::to_string(s.frame);
        auto v = ffprobeStream(s.path, "v:0");
        ASSERT_FALSE(v["nb_read_packets"].empty()) << what;
        EXPECT_GE(std::stoi(v["nb_read_packets"]), s.flushedFrames) << what;
        const Bytes part = ffmpegDecode(s.path, "rgb555le");
        ASSERT_GE(part.size(), frameBytes * static_cast<std::size_t>(s.flushedFrames)) << what;
        ASSERT_LE(part.size(), full.size()) << what;
        EXPECT_TRUE(std::equal(part.begin(), part.end(), full.begin())) << what;
    }
}

TEST(AviRecovery, CutShortAtManyPointsKeepsEveryCompleteChunk) {
    const fs::path dir = scratchDir("cut");
    AviWriterOptions options;
    const auto original = writeWithWriter(dir / "rec.avi", 64, 48, 20, options);
    ASSERT_EQ(original.status, kAviOk);
    const Bytes b = readFile(dir / "rec.avi");
    AviReader whole;
    ASSERT_EQ(whole.open((dir / "rec.avi").string()), kAviOk);
    struct End {
        int stream;
        std::uint64_t end;
    };
    std::vector<End> ends;
    std::vector<std::size_t> cuts;
    for (int s = 0; s < 2; ++s) {
        for (const AviChunkRef& c : whole.stream(s).chunks) {
            ends.push_back({s, c.dataPos + c.size});
            for (std::int64_t d : {-9, -8, -1, 0, 1, 3}) {
                cuts.push_back(static_cast<std::size_t>(static_cast<std::int64_t>(c.dataPos) + d));
            }
            cuts.push_back(static_cast<std::size_t>(c.dataPos + c.size / 2));
            cuts.push_back(static_cast<std::size_t>(c.dataPos + c.size));
        }
    }
    for (std::size_t cut = 0; cut < 400; cut += 5)
        cuts.push_back(cut);
    for (std::size_t cut = 400; cut < b.size(); cut += 3001)
        cuts.push_back(cut);
    const std::uint64_t moviData = whole.stream(0).chunks.front().dataPos - 8;

    const fs::path cutFile = dir / "cut.avi";
    for (const std::size_t cut : cuts) {
        if (cut > b.size())
            continue;
        writeFile(cutFile, b, cut);
        AviReader r;
        const int rc = r.open(cutFile.string());
        if (cut < moviData) {
            // Inside the headers: a status, or a file without chunks.
            if (rc == kAviOk) {
                EXPECT_EQ(r.stream(0).chunks.size(), 0u) << "cut at " << cut;
            }
            continue;
        }
        ASSERT_EQ(rc, kAviOk) << "cut at " << cut;
        std::size_t complete[2] = {0, 0};
        for (const End& e : ends) {
            if (e.end <= cut)
                ++complete[e.stream];
            // A sound block cut short keeps the whole samples it still holds.
            if (e.stream == 1 && e.end > cut && e.end - kAudioChunkBytes + kSoundSampleBytes <= cut)
                ++complete[1];
        }
        expectPrefixOf(r, original, complete[0], complete[1], "cut at " + std::to_string(cut));
        EXPECT_EQ(r.stream(0).chunks.size(), complete[0]) << "cut at " << cut;
        EXPECT_EQ(r.stream(1).chunks.size(), complete[1]) << "cut at " << cut;
    }
}

// Fuzzing found start + length overflowing int in a caller; the services keep
// every position they report within int range and refuse ones outside.
TEST(AviRecovery, HugeStreamStartStaysInRange) {
    const fs::path dir = scratchDir("huge-start");
    ASSERT_EQ(writeRecording(dir / "rec.avi", 32, 16, 4, true).status, kAviOk);
    Bytes b = readFile(dir / "rec.avi");
    int patched = 0;
    for (std::size_t at = 12; at + 64 < b.size() && patched < 2; at += 2) {
        if (get32(b, at) == kFccStrh) {
            put32(b.data() + at + 8 + 28, 0xFFFFFFF0u);  // dwStart
            ++patched;
        }
    }
    ASSERT_EQ(patched, 2);
    writeFile(dir / "huge.avi", b);
    AviFilePtr file;
    ASSERT_EQ(aviFileOpen(file, (dir / "huge.avi").string(), kOpenRead), kAviOk);
    for (std::uint32_t type : {kFccVids, kFccAuds}) {
        AviStreamPtr s;
        ASSERT_EQ(aviFileGetStream(file, s, type, 0), kAviOk);
        EXPECT_EQ(aviStreamStart(s), INT32_MAX);
        std::int32_t bytes = 0, samples = 0;
        for (std::int32_t pos : {0, INT32_MAX, INT32_MIN, -1}) {
            EXPECT_EQ(aviStreamRead(s, pos, kReadConvenient, nullptr, 0, &bytes, &samples),
                      kAviErrNoData);
        }
        if (auto gf = aviStreamGetFrameOpen(s)) {
            EXPECT_EQ(aviStreamGetFrame(gf.get(), INT32_MAX), nullptr);
            EXPECT_EQ(aviStreamGetFrame(gf.get(), 0), nullptr);
        }
    }
}
