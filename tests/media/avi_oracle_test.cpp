// FFmpeg and MPlayer as independent oracles: they read our files with the
// stream parameters we wrote, and our reader reads FFmpeg's files the way
// ffprobe does.
#include <gtest/gtest.h>

#include <cstring>

#include "media/avi_file.h"
#include "tests/media/avi_test_support.h"

using namespace media;
using namespace avitest;

namespace {

// FFmpeg hands out PCM in packets of at most 1024 samples of 4 bytes.
constexpr std::uint32_t kFfmpegPcmPacketBytes = 4096;

std::uint32_t ffmpegPacketsPerChunk(std::uint32_t bytes) {
    return (bytes + kFfmpegPcmPacketBytes - 1) / kFfmpegPcmPacketBytes;
}

}  // namespace

TEST(AviOracle, FfprobeReadsOurRecordingExactly) {
    if (!haveTool("ffprobe") || !haveTool("ffmpeg"))
        GTEST_SKIP() << "FFmpeg not installed";
    const fs::path dir = scratchDir("ffprobe");
    const fs::path file = dir / "rec.avi";
    constexpr int kFrames = 25;
    const auto rec = writeRecording(file, 160, 120, kFrames, true);
    ASSERT_EQ(rec.status, kAviOk);

    auto v = ffprobeStream(file, "v:0");
    EXPECT_EQ(v["codec_name"], "msvideo1");
    EXPECT_EQ(v["codec_tag_string"], "MSVC");
    EXPECT_EQ(v["width"], "160");
    EXPECT_EQ(v["height"], "120");
    EXPECT_EQ(v["r_frame_rate"], "5/1");
    EXPECT_EQ(v["nb_read_packets"], std::to_string(kFrames));
    auto a = ffprobeStream(file, "a:0");
    EXPECT_EQ(a["codec_name"], "pcm_s16le");
    EXPECT_EQ(a["sample_rate"], "44100");
    EXPECT_EQ(a["channels"], "2");
    EXPECT_EQ(a["nb_read_packets"],
              std::to_string(rec.audioChunks.size() * ffmpegPacketsPerChunk(kAudioChunkBytes)));
    std::uint64_t audioBytes = 0;
    for (std::uint32_t s : ffprobePacketSizes(file, 1))
        audioBytes += s;
    EXPECT_EQ(audioBytes, rec.audioChunks.size() * kAudioChunkBytes);

    expectSameDecodeAsFfmpeg(file, dir / "frames.raw", kFrames);
}

TEST(AviOracle, MplayerPlaysOurRecordingToTheEnd) {
    if (!haveTool("mplayer"))
        GTEST_SKIP() << "MPlayer not installed";
    const fs::path dir = scratchDir("mplayer");
    const fs::path file = dir / "rec.avi";
    ASSERT_EQ(writeRecording(file, 160, 120, 10, true).status, kAviOk);
    std::string out;
    const int rc = runCommand("mplayer -nolirc -noconfig all -speed 100 -vo null -ao null '" +
                                  file.string() + "' 2>/dev/null",
                              out);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(out.find("VIDEO:  [MSVC]  160x120  16bpp  5.000 fps"), std::string::npos) << out;
    EXPECT_NE(out.find("Exiting... (End of file)"), std::string::npos) << out;
}

TEST(AviOracle, OurReaderReadsFfmpegFilesLikeFfprobe) {
    if (!haveTool("ffprobe") || !haveTool("ffmpeg"))
        GTEST_SKIP() << "FFmpeg not installed";
    const fs::path dir = scratchDir("ffmpeg-made");
    const fs::path file = dir / "ff.avi";
    std::string log;
    ASSERT_EQ(
        runCommand("ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=5 -f lavfi -i "
                   "sine=frequency=440:sample_rate=44100 -t 2 -c:v msvideo1 -pix_fmt rgb555le "
                   "-keyint_min 4 -c:a pcm_s16le -ac 2 '" +
                       file.string() + "' 2>&1",
                   log),
        0)
        << log;

    AviFilePtr f;
    ASSERT_EQ(aviFileOpen(f, file.string(), kOpenRead), kAviOk);
    AviReader& r = *f->reader();
    EXPECT_EQ(r.indexKind(), AviIndexKind::Idx1);
    ASSERT_EQ(r.streamCount(), 2);
    const AviReaderStream& v = r.stream(0);
    const AviReaderStream& a = r.stream(1);
    ASSERT_TRUE(v.isVideo());
    ASSERT_TRUE(a.isAudio());
    const BitmapInfoHeader bih = loadBitmapInfoHeader(v.format.data());
    EXPECT_TRUE(isVideo1Fourcc(bih.compression));
    EXPECT_EQ(bih.width, 64);
    EXPECT_EQ(bih.height, 48);
    EXPECT_EQ(v.header.rate / v.header.scale, 5u);
    EXPECT_EQ(a.sampleSize(), 4u);
    EXPECT_EQ(a.header.rate / a.header.scale, 44100u);

    // Packet sizes and key flags of the video stream, in order.
    std::string out;
    runCommand("ffprobe -v error -select_streams 0 -show_entries packet=size,flags -of csv=p=0 '" +
                   file.string() + "'",
               out);
    std::istringstream lines(out);
    std::string line;
    std::size_t n = 0;
    while (std::getline(lines, line)) {
        if (line.empty())
            continue;
        const auto comma = line.find(',');
        ASSERT_LT(n, v.chunks.size());
        EXPECT_EQ(std::to_string(v.chunks[n].size), line.substr(0, comma)) << "packet " << n;
        EXPECT_EQ(v.chunks[n].key, line.find('K') != std::string::npos) << "packet " << n;
        ++n;
    }
    EXPECT_EQ(n, v.chunks.size());
    EXPECT_EQ(n, 10u);
    std::uint64_t audioBytes = 0;
    for (std::uint32_t s : ffprobePacketSizes(file, 1))
        audioBytes += s;
    EXPECT_EQ(audioBytes, a.totalBytes);
    AviStreamPtr audio;
    ASSERT_EQ(aviFileGetStream(f, audio, kFccAuds, 0), kAviOk);
    EXPECT_EQ(static_cast<std::uint64_t>(aviStreamLength(audio)), audioBytes / 4);

    expectSameDecodeAsFfmpeg(file, dir / "frames.raw", 10);
}
