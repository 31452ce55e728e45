// FFmpeg as an oracle of our reader: FFmpeg's own files read the way ffprobe
// reads them (our files in FFmpeg and MPlayer: avi_opendml_test).
#include <gtest/gtest.h>

#include <cstring>

#include "media/avi_file.h"
#include "tests/media/media_test_support.h"

using namespace media;
using namespace mediatest;

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

    expectSameDecodeAsFfmpeg(file, 10);
}
