// The container: what the reader gets back through every index form and
// across RIFF segments (with ffprobe and MPlayer as oracles), what the writer
// refuses, and the file services as the recorder and the cutter call them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>

#include "media/avi_file.h"
#include "media/avi_reader.h"
#include "media/avi_writer.h"
#include "media/riff_layout.h"
#include "tests/media/media_test_files.h"

using namespace media;
using namespace mediatest;

namespace {

// Every chunk written per stream (video, sound), with the video's key flags.
struct WrittenStreams {
    std::vector<Bytes> chunks[2];
    std::vector<bool> key;
    int segments = 0;
};

// A video stream of raw chunks (odd sizes, an empty dropped frame, key flags
// in a pattern) and a PCM stream, written straight through AviWriter.
WrittenStreams writeMixedFile(const fs::path& path) {
    AviWriter w;
    EXPECT_EQ(w.create(path.string()), kAviOk);
    AviStreamHeader vh;
    vh.fccType = kFccVids;
    vh.scale = 1;
    vh.rate = 5;
    AviStreamHeader ah = vh;
    ah.fccType = kFccAuds;
    ah.rate = kSoundSampleRate;
    int v = -1, a = -1;
    std::uint8_t wf[kWaveFormatExBytes];
    storeWaveFormat(recordingAudioFormat(), wf);
    EXPECT_EQ(w.addStream(vh, "", &v) | w.addStream(ah, "", &a) | w.setFormat(a, wf, sizeof wf),
              kAviOk);
    WrittenStreams written;
    for (int f = 0; f < 12; ++f) {
        Bytes data(f == 7 ? 0 : 1001 + 37 * f);  // odd sizes need the pad byte
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<std::uint8_t>(i * f + 3);
        written.chunks[0].push_back(data);
        written.key.push_back(f % 5 == 0 && f != 7);
        if (f % 2 == 1)
            written.chunks[1].push_back(makeAudio(kAudioChunkBytes, f));
        EXPECT_EQ(
            w.writeChunk(v, data.data(), static_cast<std::uint32_t>(data.size()), f % 5 == 0) |
                (f % 2 ? w.writeChunk(a, written.chunks[1].back().data(), kAudioChunkBytes, false)
                       : kAviOk),
            kAviOk);
    }
    written.segments = w.segmentCount();
    EXPECT_EQ(w.close(), kAviOk);
    return written;
}

// Our reader finds every chunk written, in order, with its key flag.
void expectReadsBack(const fs::path& path, const WrittenStreams& written, AviIndexKind kind) {
    SCOPED_TRACE(path.filename().string());
    AviReader r;
    ASSERT_EQ(r.open(path.string()), kAviOk);
    EXPECT_EQ(r.indexKind(), kind);
    EXPECT_EQ(r.segmentCount(), written.segments);
    ASSERT_EQ(r.streamCount(), 2);
    Bytes data;
    for (int s = 0; s < 2; ++s) {
        ASSERT_EQ(r.stream(s).chunks.size(), written.chunks[s].size());
        for (std::size_t n = 0; n < written.chunks[s].size(); ++n) {
            EXPECT_TRUE(r.readChunk(s, n, data) == kAviOk && data == written.chunks[s][n] &&
                        r.stream(s).chunks[n].key == (s || written.key[n]))
                << "stream " << s << " chunk " << n;
        }
    }
    EXPECT_EQ(r.recoveredChunks(), 0u);
}

}  // namespace

// Every index form the reader takes: OpenDML, idx1 with offsets from the
// 'movi' FOURCC (as the writer puts them) or absolute, and a scan of movi.
TEST(AviContainer, ReaderReadsEveryIndexForm) {
    const fs::path dir = scratchDir("indexes");
    const auto written = writeMixedFile(dir / "mixed.avi");
    expectReadsBack(dir / "mixed.avi", written, AviIndexKind::OpenDml);
    Bytes b = readFile(dir / "mixed.avi");
    Layout l;
    walk(b, 0, b.size(), l);
    const std::size_t moviFourcc = l[kFccMovi].at(0) + 8, idx1 = l[kFccIdx1].at(0);
    // Without the OpenDML super indexes the reader falls back to idx1.
    ASSERT_EQ(clearSuperIndexes(b, moviFourcc), 2);
    writeFile(dir / "idx1.avi", b);
    expectReadsBack(dir / "idx1.avi", written, AviIndexKind::Idx1);

    // idx1 with absolute offsets, as some writers store them.
    Bytes absolute = b;
    for (std::size_t e = idx1 + 8 + 8; e < b.size(); e += 16)
        put32(absolute.data() + e, static_cast<std::uint32_t>(get32(b, e) + moviFourcc));
    writeFile(dir / "absolute.avi", absolute);
    expectReadsBack(dir / "absolute.avi", written, AviIndexKind::Idx1);

    // An idx1 entry and its chunk's header that both claim more than the file
    // holds: the reader lists no chunk it cannot read.
    Bytes pastEnd = b;
    const std::size_t third = idx1 + 8 + 16 * 3;
    put32(pastEnd.data() + third + 12, 0x7FFFFFF0u);
    put32(pastEnd.data() + moviFourcc + get32(b, third + 8) + 4, 0x7FFFFFF0u);
    writeFile(dir / "past-end.avi", pastEnd);
    AviReader damaged;
    ASSERT_EQ(damaged.open((dir / "past-end.avi").string()), kAviOk);
    EXPECT_FALSE(damaged.problems().empty());
    Bytes data;
    for (int s = 0; s < 2; ++s) {
        for (std::size_t c = 0; c < damaged.stream(s).chunks.size(); ++c)
            EXPECT_EQ(damaged.readChunk(s, c, data), kAviOk) << "stream " << s << " chunk " << c;
    }

    // No index at all: the movi list is scanned; "db"/"dc" give the key frames.
    Bytes noIndex = b;
    put32(noIndex.data() + idx1, fourcc("JUNK"));
    writeFile(dir / "scan.avi", noIndex);
    expectReadsBack(dir / "scan.avi", written, AviIndexKind::Scan);
}

// Files past the segment limit: RIFF 'AVIX' segments with OpenDML indexes,
// read back completely by our reader through either index, and by ffprobe and
// MPlayer as oracles. The limit is lowered to 1 MiB so a few megabytes cross it
// several times.
TEST(AviOpenDml, EverySegmentReadsBackInOurReaderFfprobeAndMplayer) {
    constexpr int kFrames = 120;
    constexpr std::uint64_t kLimit = 1 << 20;
    const fs::path dir = scratchDir("opendml");
    const fs::path file = dir / "long.avi";
    const RecordingResult result =
        writeRecording(file, {kFrames, 5, 1, 160, 120, false, 0, true, kLimit});
    ASSERT_EQ(result.status, kAviOk);
    WrittenStreams written{
        {{}, result.audioChunks}, std::vector<bool>(kFrames, true), result.segments};
    for (int f = 0; f < kFrames; ++f)
        written.chunks[0].push_back(makeFrame24(160, 120, f));
    ASSERT_GE(written.segments, 4);
    Bytes b = readFile(file);
    for (std::size_t pos = 0; pos + 12 <= b.size(); pos = nextChunkPos(pos, get32(b, pos + 4)))
        EXPECT_LE(get32(b, pos + 4) + 8u, kLimit) << "RIFF at " << pos;
    expectReadsBack(file, written, AviIndexKind::OpenDml);
    AviReader r;
    ASSERT_EQ(r.open(file.string()), kAviOk);
    // Without super indexes: idx1 for the first RIFF, then the AVIX segments
    // are scanned.
    ASSERT_EQ(clearSuperIndexes(b, r.stream(0).chunks[0].dataPos), 2);
    writeFile(dir / "no-indx.avi", b);
    expectReadsBack(dir / "no-indx.avi", written, AviIndexKind::Idx1);

    if (!haveTool("ffprobe") || !haveTool("mplayer"))
        GTEST_SKIP() << "FFmpeg or MPlayer not installed";
    EXPECT_EQ(ffprobeStream(file, "v:0")["nb_read_packets"], std::to_string(kFrames));
    std::uint64_t audioBytes = 0;
    for (std::uint32_t size : ffprobePacketSizes(file, 1))
        audioBytes += size;
    EXPECT_EQ(audioBytes, written.chunks[1].size() * kAudioChunkBytes);
    std::string out;
    // At a hundred times the speed MPlayer need not play in real time.
    EXPECT_EQ(runCommand("mplayer -nolirc -noconfig all -speed 100 -vo null -ao null '" +
                             file.string() + "' 2>/dev/null",
                         out),
              0);
    for (const char* line :
         {"ODML", "160x120  24bpp  5.000 fps", "AUDIO: 44100 Hz, 2 ch", "Exiting... (End of file)"})
        EXPECT_NE(out.find(line), std::string::npos) << line << " in " << out;
}

// The writer's refusals are statuses that leave a file that reads back (a
// full super index among them); opening what is not a readable AVI, or a
// FIFO (which must not block), is a status and no file.
TEST(AviContainer, RefusalsAreStatusesAndLeaveAReadableFile) {
    const fs::path dir = scratchDir("refusals");
    AviWriter w;
    AviWriterOptions options;
    options.superIndexEntries = 2;
    ASSERT_EQ(w.create((dir / "a.avi").string(), options), kAviOk);
    AviStreamHeader h;
    h.fccType = kFccVids;
    h.scale = 1;
    int v = -1;
    EXPECT_EQ(w.addStream(h, "", &v), kAviErrBadFormat);  // rate 0
    h.rate = 5;
    ASSERT_EQ(w.addStream(h, "", &v), kAviOk);
    const std::uint8_t data[10] = {};
    EXPECT_EQ(w.setFormat(v, data, sizeof data), kAviErrBadFormat);
    ASSERT_EQ(w.writeChunk(v, data, 2, true), kAviOk);
    EXPECT_EQ(w.addStream(h, "", &v), kAviErrUnsupported);
    EXPECT_EQ(w.writeChunk(5, data, 2, true), kAviErrBadHandle);
    EXPECT_EQ(w.writeChunk(0, data, kMaxChunkBytes + 1, true), kAviErrBadSize);
    int status = kAviOk;
    std::uint32_t written = 1;
    while (status == kAviOk && written < 3 * kStdIndexEntries)
        written += (status = w.writeChunk(0, data, 2, true)) == kAviOk;
    EXPECT_EQ(status, kAviErrUnsupported);
    EXPECT_EQ(written, 2 * kStdIndexEntries);
    EXPECT_EQ(w.close(), kAviOk);
    AviReader r;
    ASSERT_EQ(r.open((dir / "a.avi").string()), kAviOk);
    EXPECT_EQ(r.stream(0).chunks.size(), written);
    EXPECT_EQ(r.recoveredChunks(), 0u);
    EXPECT_EQ(w.create((dir / "missing-dir" / "b.avi").string()), kAviErrFileOpen);

    writeFile(dir / "text.avi", Bytes{'h', 'e', 'l', 'l', 'o'});
    ASSERT_EQ(::mkfifo((dir / "pipe.avi").c_str(), 0600), 0);
    const std::pair<fs::path, int> cases[] = {{dir / "nothing.avi", kAviErrFileOpen},
                                              {dir / "text.avi", kAviErrBadFormat},
                                              {dir / "pipe.avi", kAviErrFileOpen},
                                              {dir, kAviErrFileOpen}};
    for (const auto& [path, status] : cases) {
        AviFilePtr file;
        EXPECT_EQ(aviFileOpen(file, path.string(), kOpenRead), status) << path;
        EXPECT_FALSE(file);
    }
    AviFilePtr file;
    EXPECT_EQ(aviFileOpen(file, (dir / "x.avi").string(), kOpenWrite), kAviErrUnsupported);
}

// A recording as the recorder writes it, through the file services, and the
// same with a hostile stream start.
TEST(AviFileTest, KeyFrameEveryFiveIsHonoured) {
    constexpr int kFrames = 23;
    const fs::path file = scratchDir("facade") / "rec.avi";
    ASSERT_EQ(writeRecording(file, {kFrames, 5, 1, 64, 48, true, 5, true}).status, kAviOk);
    AviFilePtr avi;
    ASSERT_EQ(aviFileOpen(avi, file.string(), kOpenRead), kAviOk);
    const AviReaderStream& v = avi->reader()->stream(0);
    ASSERT_EQ(v.chunks.size(), static_cast<std::size_t>(kFrames));
    for (int f = 0, lastKey = 0; f < kFrames; ++f) {
        lastKey = v.chunks[static_cast<std::size_t>(f)].key ? f : lastKey;
        EXPECT_TRUE(f - lastKey < 5 && (f % 5 || lastKey == f)) << "frame " << f;
    }
    EXPECT_LT(v.keyFrames, static_cast<std::uint32_t>(kFrames));  // delta frames exist
    // A file opened for reading refuses every write.
    AviStreamPtr video;
    ASSERT_EQ(aviFileGetStream(avi, video, kFccVids, 0), kAviOk);
    EXPECT_EQ(aviStreamWrite(video, kAppend, 1, file.c_str(), 4, 0), kAviErrReadOnly);
    EXPECT_EQ(aviFileFlush(avi), kAviErrReadOnly);

    // Fuzzing found start + length overflowing int in a caller; the services
    // keep every position they report within int range and refuse ones outside.
    Bytes b = readFile(file);
    Layout l;
    walk(b, 0, b.size(), l);
    for (const std::size_t at : l[kFccStrh])
        put32(b.data() + at + 8 + 28, 0xFFFFFFF0u);  // dwStart
    writeFile(file, b);
    ASSERT_EQ(aviFileOpen(avi, file.string(), kOpenRead), kAviOk);
    for (std::uint32_t type : {kFccVids, kFccAuds}) {
        AviStreamPtr s;
        ASSERT_EQ(aviFileGetStream(avi, s, type, 0), kAviOk);
        EXPECT_EQ(aviStreamStart(s), INT32_MAX);
        std::int32_t bytes = 0, samples = 0;
        for (std::int32_t pos : {0, INT32_MAX, INT32_MIN, -1})
            EXPECT_EQ(aviStreamRead(s, pos, kReadConvenient, nullptr, 0, &bytes, &samples),
                      kAviErrNoData);
    }
}

// The recorder's and the cutter's steps through a compressing stream: what
// cannot be stored is refused, and skipped positions become dropped frames
// that repeat the last picture.
TEST(AviFileCreate, RecorderStepsAndTheirFailures) {
    const fs::path file = scratchDir("create") / "a.avi";
    AviFilePtr avi;
    ASSERT_EQ(aviFileOpen(avi, file.string(), kOpenCreate | kOpenWrite), kAviOk);
    AviStreamInfo vi;
    vi.fccType = kFccVids;
    vi.scale = 1;
    vi.rate = 5;
    AviStreamPtr video, compressed;
    ASSERT_EQ(aviFileCreateStream(avi, video, vi), kAviOk);
    AviCompressOptions co;
    co.fccType = kFccVids;
    co.fccHandler = fourcc("XVID");
    EXPECT_EQ(aviMakeCompressedStream(compressed, video, co), kAviErrNoCompressor);
    co.fccHandler = kFccMsvc;  // keyFrameEvery 0: every frame a key frame
    ASSERT_EQ(aviMakeCompressedStream(compressed, video, co), kAviOk);
    const Bytes dib = makeFrame24(32, 16, 0);
    const auto bytes = static_cast<std::int32_t>(dib.size());
    EXPECT_EQ(aviStreamWrite(compressed, 0, 1, dib.data(), bytes, 0), kAviErrBadFormat);
    ASSERT_EQ(setDib24Format(compressed, 32, 16), kAviOk);
    EXPECT_EQ(aviStreamWrite(compressed, 0, 1, dib.data(), 100, 0), kAviErrBadSize);
    for (int f = 0; f < 3; ++f)
        ASSERT_EQ(aviStreamWrite(compressed, f, 1, makeFrame24(32, 16, f).data(), bytes, 0),
                  kAviOk);
    ASSERT_EQ(aviStreamWrite(compressed, 5, 1, dib.data(), bytes, 0), kAviOk);
    EXPECT_EQ(aviStreamWrite(compressed, 2, 1, dib.data(), bytes, 0), kAviErrBadParam);
    // Streams keep the file open; the last release completes it.
    EXPECT_EQ(aviFileRelease(avi), kAviOk);
    aviStreamRelease(compressed);
    aviStreamRelease(video);

    ASSERT_EQ(aviFileOpen(avi, file.string(), kOpenRead), kAviOk);
    const AviReaderStream& v = avi->reader()->stream(0);
    ASSERT_EQ(v.chunks.size(), 6u);
    for (std::size_t f = 0; f < 6; ++f)
        EXPECT_EQ(v.chunks[f].key, f != 3 && f != 4) << f;
    ASSERT_EQ(aviFileGetStream(avi, video, kFccVids, 0), kAviOk);
    auto frames = aviStreamGetFrameOpen(video);
    ASSERT_TRUE(frames);
    const std::size_t pictureBytes = kBitmapInfoHeaderBytes + dibRowBytes(32, 16) * 16;
    const std::uint8_t* two = aviStreamGetFrame(frames.get(), 2);
    ASSERT_NE(two, nullptr);
    const Bytes picture2(two, two + pictureBytes);
    const std::uint8_t* four = aviStreamGetFrame(frames.get(), 4);  // dropped: repeats frame 2
    EXPECT_EQ(Bytes(four, four + pictureBytes), picture2);
}
