// Files past the segment limit: RIFF 'AVIX' segments with OpenDML indexes,
// read back completely by our reader, and by FFmpeg and MPlayer as oracles. The limit is lowered
// to 1 MiB so a few megabytes cross it several times.
#include <gtest/gtest.h>

#include "media/avi_reader.h"
#include "tests/media/media_test_support.h"

using namespace media;
using namespace mediatest;

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr int kFrames = 120;
constexpr std::uint64_t kLimit = 1 << 20;

class AviOpenDml : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new fs::path(scratchDir("opendml"));
        AviWriterOptions options;
        options.segmentLimit = kLimit;
        written_ = new WrittenStreams(
            writeWithWriter(*dir_ / "long.avi", kWidth, kHeight, kFrames, options));
    }
    static void TearDownTestSuite() {
        delete written_;
        delete dir_;
    }
    static fs::path file() { return *dir_ / "long.avi"; }

    static void expectAllChunks(const fs::path& path, AviIndexKind kind) {
        AviReader r;
        ASSERT_EQ(r.open(path.string()), kAviOk);
        EXPECT_EQ(r.indexKind(), kind);
        EXPECT_EQ(r.segmentCount(), written_->segments);
        ASSERT_EQ(r.stream(0).chunks.size(), written_->video.size());
        ASSERT_EQ(r.stream(1).chunks.size(), written_->audio.size());
        Bytes data;
        for (std::size_t i = 0; i < written_->video.size(); ++i) {
            ASSERT_EQ(r.readChunk(0, i, data), kAviOk);
            EXPECT_EQ(data, written_->video[i]) << "frame " << i;
            EXPECT_EQ(r.stream(0).chunks[i].key, written_->key[i]) << "frame " << i;
        }
        for (std::size_t i = 0; i < written_->audio.size(); ++i) {
            ASSERT_EQ(r.readChunk(1, i, data), kAviOk);
            EXPECT_EQ(data, written_->audio[i]) << "audio chunk " << i;
        }
        EXPECT_EQ(r.odmlTotalFrames(), static_cast<std::uint32_t>(kFrames));
        EXPECT_EQ(r.recoveredChunks(), 0u);
    }

    static fs::path* dir_;
    static WrittenStreams* written_;
};
fs::path* AviOpenDml::dir_ = nullptr;
WrittenStreams* AviOpenDml::written_ = nullptr;

}  // namespace

TEST_F(AviOpenDml, SegmentsStayWithinTheLimit) {
    ASSERT_EQ(written_->status, kAviOk);
    EXPECT_GE(written_->segments, 4);
    const Bytes b = readFile(file());
    std::size_t pos = 0;
    int segments = 0;
    while (pos + 12 <= b.size()) {
        ASSERT_EQ(get32(b, pos), kFccRiff) << "at " << pos;
        EXPECT_EQ(get32(b, pos + 8), segments == 0 ? kFccAvi : kFccAvix);
        const std::uint32_t size = get32(b, pos + 4);
        EXPECT_LE(size + 8u, kLimit);
        pos = static_cast<std::size_t>(nextChunkPos(pos, size));
        ++segments;
    }
    EXPECT_EQ(pos, b.size());
    EXPECT_EQ(segments, written_->segments);
    // avih counts the first RIFF's frames only; strh the whole stream.
    AviReader r;
    ASSERT_EQ(r.open(file().string()), kAviOk);
    EXPECT_LT(r.mainTotalFrames(), static_cast<std::uint32_t>(kFrames));
    EXPECT_GT(r.mainTotalFrames(), 0u);
    EXPECT_EQ(r.stream(0).header.length, static_cast<std::uint32_t>(kFrames));
    EXPECT_EQ(r.stream(1).header.length, written_->audio.size() * kAudioChunkBytes / 4);
}

TEST_F(AviOpenDml, OurReaderGetsEveryChunkThroughEitherIndex) {
    expectAllChunks(file(), AviIndexKind::OpenDml);
    // Without super indexes: idx1 for the first RIFF, then the AVIX segments
    // are scanned.
    Bytes b = readFile(file());
    int cleared = 0;
    for (std::size_t at = 12; at < 2048 * 64 && at + 16 < b.size(); at += 2) {
        if (get32(b, at) == kFccIndx) {
            put32(b.data() + at + 12, 0);
            ++cleared;
        }
    }
    ASSERT_EQ(cleared, 2);
    writeFile(*dir_ / "no-indx.avi", b);
    expectAllChunks(*dir_ / "no-indx.avi", AviIndexKind::Idx1);
}

// FFmpeg reads every segment with the parameters we wrote, sound included,
// and decodes every frame to the pixels our decompressor gives.
TEST_F(AviOpenDml, FfmpegReadsAndDecodesEverySegment) {
    if (!haveTool("ffprobe") || !haveTool("ffmpeg"))
        GTEST_SKIP() << "FFmpeg not installed";
    auto v = ffprobeStream(file(), "v:0");
    EXPECT_EQ(v["codec_name"], "msvideo1");
    EXPECT_EQ(v["codec_tag_string"], "MSVC");
    EXPECT_EQ(v["width"], std::to_string(kWidth));
    EXPECT_EQ(v["height"], std::to_string(kHeight));
    EXPECT_EQ(v["r_frame_rate"], "5/1");
    EXPECT_EQ(v["nb_read_packets"], std::to_string(kFrames));
    auto a = ffprobeStream(file(), "a:0");
    EXPECT_EQ(a["codec_name"], "pcm_s16le");
    EXPECT_EQ(a["sample_rate"], "44100");
    EXPECT_EQ(a["channels"], "2");
    std::uint64_t audioBytes = 0;
    for (std::uint32_t s : ffprobePacketSizes(file(), 1))
        audioBytes += s;
    EXPECT_EQ(audioBytes, written_->audio.size() * kAudioChunkBytes);
    expectSameDecodeAsFfmpeg(file(), kFrames);
}

TEST_F(AviOpenDml, MplayerPlaysAcrossSegmentsToTheEnd) {
    if (!haveTool("mplayer"))
        GTEST_SKIP() << "MPlayer not installed";
    std::string out;
    // At a hundred times the speed MPlayer need not play in real time.
    EXPECT_EQ(runCommand("mplayer -nolirc -noconfig all -speed 100 -vo null -ao null '" +
                             file().string() + "' 2>/dev/null",
                         out),
              0);
    EXPECT_NE(out.find("ODML"), std::string::npos) << out;
    EXPECT_NE(out.find("VIDEO:  [MSVC]  160x120  16bpp  5.000 fps"), std::string::npos) << out;
    EXPECT_NE(out.find("AUDIO: 44100 Hz, 2 ch"), std::string::npos) << out;
    EXPECT_NE(out.find("Exiting... (End of file)"), std::string::npos) << out;
}
