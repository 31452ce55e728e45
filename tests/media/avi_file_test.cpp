// The file services as the recorder and the editing engines call them: create
// with a compressing stream and sound, then open, inspect, read and decode.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <climits>
#include <cstring>

#include "media/avi_file.h"
#include "media/video1.h"
#include "tests/media/media_test_support.h"

using namespace media;
using namespace mediatest;

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;
constexpr int kFrames = 23;

class AviFileTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new fs::path(scratchDir("facade"));
        auto result = writeRecording(*dir_ / "rec.avi", kWidth, kHeight, kFrames, true);
        ASSERT_EQ(result.status, kAviOk);
        audio_ = new std::vector<Bytes>(std::move(result.audioChunks));
    }
    static void TearDownTestSuite() {
        delete audio_;
        delete dir_;
    }
    void SetUp() override {
        ASSERT_EQ(aviFileOpen(file_, (*dir_ / "rec.avi").string(), kOpenRead), kAviOk);
    }

    static fs::path* dir_;
    static std::vector<Bytes>* audio_;
    AviFilePtr file_;
};
fs::path* AviFileTest::dir_ = nullptr;
std::vector<Bytes>* AviFileTest::audio_ = nullptr;

}  // namespace

// Streams are found by type and number; lengths count frames and samples.
TEST_F(AviFileTest, FileAndStreamInformation) {
    AviFileInfo info;
    ASSERT_EQ(aviFileInfo(file_, info), kAviOk);
    EXPECT_EQ(info.streams, 2u);
    EXPECT_EQ(info.length, static_cast<std::uint32_t>(kFrames));
    EXPECT_EQ(info.rate / info.scale, 5u);
    EXPECT_EQ(info.width, static_cast<std::uint32_t>(kWidth));
    EXPECT_EQ(info.height, static_cast<std::uint32_t>(kHeight));

    AviStreamPtr video, audio, none, any1;
    ASSERT_EQ(aviFileGetStream(file_, video, kFccVids, 0), kAviOk);
    ASSERT_EQ(aviFileGetStream(file_, audio, kFccAuds, 0), kAviOk);
    EXPECT_EQ(aviFileGetStream(file_, none, kFccAuds, 1), kAviErrNoData);
    EXPECT_FALSE(none);
    ASSERT_EQ(aviFileGetStream(file_, any1, 0, 1), kAviOk);
    EXPECT_EQ(any1->streamIndex(), 1);
    AviStreamInfo vi;
    ASSERT_EQ(aviStreamInfo(video, vi), kAviOk);
    EXPECT_EQ(vi.fccHandler, kFccMsvc);
    EXPECT_EQ(vi.frame.right, kWidth);
    EXPECT_EQ(vi.frame.bottom, kHeight);
    EXPECT_EQ(aviStreamLength(video), kFrames);
    EXPECT_EQ(aviStreamLength(audio),
              static_cast<std::int32_t>(audio_->size() * kAudioChunkBytes / kSoundSampleBytes));
}

TEST_F(AviFileTest, KeyFrameEveryFiveIsHonoured) {
    AviReader* r = file_->reader();
    const AviReaderStream& v = r->stream(0);
    ASSERT_EQ(v.chunks.size(), static_cast<std::size_t>(kFrames));
    int lastKey = -100;
    for (int f = 0; f < kFrames; ++f) {
        if (v.chunks[static_cast<std::size_t>(f)].key)
            lastKey = f;
        EXPECT_LT(f - lastKey, 5) << "frame " << f;
        if (f % 5 == 0) {
            EXPECT_TRUE(v.chunks[static_cast<std::size_t>(f)].key) << f;
        }
    }
    EXPECT_LT(v.keyFrames, static_cast<std::uint32_t>(kFrames));  // delta frames exist
}

// Frames in order are checked against FFmpeg (avi_opendml_test); out of
// order, the decompressor goes back to the key frame and gives the same.
TEST_F(AviFileTest, FramesDecodeTheSameInOrderAndAtRandom) {
    AviStreamPtr video;
    ASSERT_EQ(aviFileGetStream(file_, video, kFccVids, 0), kAviOk);
    auto getFrame = aviStreamGetFrameOpen(video, nullptr);
    ASSERT_TRUE(getFrame);
    const std::size_t dibBytes = kBitmapInfoHeaderBytes + dibRowBytes(kWidth, 16) * kHeight;
    std::vector<Bytes> inOrder;
    for (int f = 0; f < kFrames; ++f) {
        const std::uint8_t* dib = aviStreamGetFrame(getFrame.get(), f);
        ASSERT_NE(dib, nullptr) << f;
        inOrder.emplace_back(dib, dib + dibBytes);
    }
    for (int f : {17, 3, 3, 12, 22, 0, 9, 8}) {
        const std::uint8_t* dib = aviStreamGetFrame(getFrame.get(), f);
        ASSERT_NE(dib, nullptr) << f;
        EXPECT_EQ(Bytes(dib, dib + dibBytes), inOrder[static_cast<std::size_t>(f)]) << f;
    }
    EXPECT_NE(inOrder[3], inOrder[12]);
    EXPECT_EQ(aviStreamGetFrame(getFrame.get(), kFrames), nullptr);
    EXPECT_EQ(aviStreamGetFrame(getFrame.get(), -1), nullptr);

    BitmapInfoHeader want24;
    want24.bitCount = 24;
    EXPECT_FALSE(aviStreamGetFrameOpen(video, &want24));
    AviStreamPtr audio;
    ASSERT_EQ(aviFileGetStream(file_, audio, kFccAuds, 0), kAviOk);
    EXPECT_FALSE(aviStreamGetFrameOpen(audio, nullptr));
    aviStreamGetFrameClose(getFrame);
    EXPECT_FALSE(getFrame);
}

TEST_F(AviFileTest, ReadsVideoFramesAndSoundSamples) {
    AviStreamPtr video, audio;
    ASSERT_EQ(aviFileGetStream(file_, video, kFccVids, 0), kAviOk);
    ASSERT_EQ(aviFileGetStream(file_, audio, kFccAuds, 0), kAviOk);
    std::int32_t bytes = -1, samples = -1;
    ASSERT_EQ(aviStreamRead(video, 2, 5, nullptr, 0, &bytes, &samples), kAviOk);
    EXPECT_EQ(samples, 1);
    EXPECT_EQ(static_cast<std::uint32_t>(bytes), file_->reader()->stream(0).chunks[2].size);
    Bytes frame(static_cast<std::size_t>(bytes));
    EXPECT_EQ(aviStreamRead(video, 2, 1, frame.data(), bytes - 1, &bytes, &samples),
              kAviErrBufferTooSmall);
    EXPECT_EQ(aviStreamRead(video, kFrames, 1, nullptr, 0, &bytes, &samples), kAviErrNoData);

    // Convenient reads give the rest of the chunk holding the position.
    constexpr std::int32_t kChunkSamples = kAudioChunkBytes / 4;
    ASSERT_EQ(aviStreamRead(audio, 0, kReadConvenient, nullptr, 0, &bytes, &samples), kAviOk);
    EXPECT_EQ(samples, kChunkSamples);
    EXPECT_EQ(bytes, static_cast<std::int32_t>(kAudioChunkBytes));
    ASSERT_EQ(aviStreamRead(audio, 100, kReadConvenient, nullptr, 0, &bytes, &samples), kAviOk);
    EXPECT_EQ(samples, kChunkSamples - 100);
    Bytes buffer(static_cast<std::size_t>(bytes));
    ASSERT_EQ(aviStreamRead(audio, 100, samples, buffer.data(), bytes, &bytes, &samples), kAviOk);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), (*audio_)[0].begin() + 400));
    ASSERT_EQ(aviStreamRead(audio, kChunkSamples, kReadConvenient, nullptr, 0, &bytes, &samples),
              kAviOk);
    EXPECT_EQ(samples, kChunkSamples);

    // An explicit count reads across chunk boundaries.
    Bytes across(8000);
    ASSERT_EQ(
        aviStreamRead(audio, kChunkSamples - 1000, 2000, across.data(), 8000, &bytes, &samples),
        kAviOk);
    EXPECT_EQ(samples, 2000);
    EXPECT_TRUE(std::equal(across.begin(), across.begin() + 4000, (*audio_)[0].end() - 4000));
    EXPECT_TRUE(std::equal(across.begin() + 4000, across.end(), (*audio_)[1].begin()));
    EXPECT_EQ(aviStreamRead(audio, 0, 2000, across.data(), 7999, &bytes, &samples),
              kAviErrBufferTooSmall);

    // At the end: nothing, successfully; past it: no data.
    const std::int32_t end = aviStreamLength(audio);
    ASSERT_EQ(aviStreamRead(audio, end, kReadConvenient, nullptr, 0, &bytes, &samples), kAviOk);
    EXPECT_EQ(samples, 0);
    EXPECT_EQ(bytes, 0);
    EXPECT_EQ(aviStreamRead(audio, end + 1, kReadConvenient, nullptr, 0, &bytes, &samples),
              kAviErrNoData);
    ASSERT_EQ(aviStreamRead(audio, end - 10, kReadConvenient, nullptr, 0, &bytes, &samples),
              kAviOk);
    EXPECT_EQ(samples, 10);
}

TEST(AviFileCreate, RecorderStepsAndTheirFailures) {
    const fs::path dir = scratchDir("create");
    AviFilePtr file;
    ASSERT_EQ(aviFileOpen(file, (dir / "a.avi").string(), kOpenCreate | kOpenWrite), kAviOk);
    AviStreamInfo vi;
    vi.fccType = kFccVids;
    vi.scale = 1;
    vi.rate = 0;
    AviStreamPtr video, compressed, audio;
    EXPECT_EQ(aviFileCreateStream(file, video, vi), kAviErrBadFormat);
    vi.rate = 5;
    ASSERT_EQ(aviFileCreateStream(file, video, vi), kAviOk);

    AviCompressOptions co;
    co.fccType = kFccVids;
    co.fccHandler = fourcc("XVID");
    EXPECT_EQ(aviMakeCompressedStream(compressed, video, co), kAviErrNoCompressor);
    co.fccHandler = kFccMsvc;
    co.keyFrameEvery = 0;  // the cutter's options: every frame a key frame
    co.quality = 7500;
    co.flags = kCompressInterleave;
    ASSERT_EQ(aviMakeCompressedStream(compressed, video, co), kAviOk);

    const Bytes dib = makeFrame24(32, 16, 0);
    EXPECT_EQ(
        aviStreamWrite(compressed, 0, 1, dib.data(), static_cast<std::int32_t>(dib.size()), 0),
        kAviErrBadFormat);  // no format yet
    BitmapInfoHeader bih = frameHeader24(32, 16);
    bih.compression = 1;  // BI_RLE8
    std::uint8_t raw[40];
    storeBitmapInfoHeader(bih, raw);
    EXPECT_EQ(aviStreamSetFormat(compressed, 0, raw, 40), kAviErrUnsupported);
    bih.compression = kBiRgb;
    storeBitmapInfoHeader(bih, raw);
    ASSERT_EQ(aviStreamSetFormat(compressed, 0, raw, 40), kAviOk);

    AviStreamInfo ai;
    ai.fccType = kFccAuds;
    ai.scale = 1;
    ai.rate = kSoundSampleRate;
    ai.sampleSize = kSoundSampleBytes;
    ASSERT_EQ(aviFileCreateStream(file, audio, ai), kAviOk);
    std::uint8_t wf[kWaveFormatExBytes];
    storeWaveFormat(recordingAudioFormat(), wf);
    ASSERT_EQ(aviStreamSetFormat(audio, 0, wf, sizeof wf), kAviOk);

    EXPECT_EQ(aviStreamWrite(compressed, 0, 1, dib.data(), 100, 0), kAviErrBadSize);
    const Bytes larger = makeFrame24(32, 20, 0);
    EXPECT_EQ(aviStreamWrite(compressed, 0, 1, larger.data(),
                             static_cast<std::int32_t>(larger.size()), 0),
              kAviErrBadSize);
    for (int f = 0; f < 3; ++f) {
        const Bytes frame = makeFrame24(32, 16, f);
        ASSERT_EQ(aviStreamWrite(compressed, f, 1, frame.data(),
                                 static_cast<std::int32_t>(frame.size()), 0),
                  kAviOk);
    }
    // A frame position beyond the next one records the skipped frames as dropped.
    ASSERT_EQ(
        aviStreamWrite(compressed, 5, 1, dib.data(), static_cast<std::int32_t>(dib.size()), 0),
        kAviOk);
    EXPECT_EQ(
        aviStreamWrite(compressed, 2, 1, dib.data(), static_cast<std::int32_t>(dib.size()), 0),
        kAviErrBadParam);
    const Bytes pcm = makeAudio(4 * 441, 0);
    std::int32_t samples = 0, bytes = 0;
    ASSERT_EQ(aviStreamWrite(audio, kAppend, 1, pcm.data(), static_cast<std::int32_t>(pcm.size()),
                             kAviifKeyFrame, &samples, &bytes),
              kAviOk);
    EXPECT_EQ(samples, 441);
    EXPECT_EQ(bytes, 4 * 441);
    EXPECT_EQ(aviStreamWrite(audio, kAppend, 1, pcm.data(), 3, kAviifKeyFrame), kAviErrBadSize);
    AviStreamPtr late;
    EXPECT_EQ(aviFileCreateStream(file, late, ai), kAviErrUnsupported);

    AviFileInfo info;
    ASSERT_EQ(aviFileInfo(file, info), kAviOk);
    EXPECT_EQ(info.length, 6u);
    EXPECT_EQ(info.streams, 2u);

    // Streams keep the file open; the last release completes it.
    EXPECT_EQ(aviFileRelease(file), kAviOk);
    EXPECT_FALSE(file);
    aviStreamRelease(audio);
    aviStreamRelease(video);
    aviStreamRelease(compressed);

    AviFilePtr readBack;
    ASSERT_EQ(aviFileOpen(readBack, (dir / "a.avi").string(), kOpenRead), kAviOk);
    const AviReaderStream& v = readBack->reader()->stream(0);
    ASSERT_EQ(v.chunks.size(), 6u);
    for (int f : {0, 1, 2, 5})
        EXPECT_TRUE(v.chunks[static_cast<std::size_t>(f)].key) << f;
    EXPECT_EQ(v.chunks[3].size, 0u);
    EXPECT_EQ(v.chunks[4].size, 0u);
    EXPECT_EQ(readBack->reader()->stream(1).length(), 441u);
    AviStreamPtr rv;
    ASSERT_EQ(aviFileGetStream(readBack, rv, kFccVids, 0), kAviOk);
    auto gf = aviStreamGetFrameOpen(rv);
    ASSERT_TRUE(gf);
    const std::uint8_t* f2 = aviStreamGetFrame(gf.get(), 2);
    ASSERT_NE(f2, nullptr);
    const Bytes picture2(f2 + 40, f2 + 40 + dibRowBytes(32, 16) * 16);
    const std::uint8_t* f4 = aviStreamGetFrame(gf.get(), 4);  // dropped: repeats frame 2
    ASSERT_NE(f4, nullptr);
    EXPECT_TRUE(std::equal(picture2.begin(), picture2.end(), f4 + 40));
}

TEST(AviFileOpenErrors, MissingAndForeignFiles) {
    const fs::path dir = scratchDir("open-errors");
    AviFilePtr file;
    EXPECT_EQ(aviFileOpen(file, (dir / "nothing.avi").string(), kOpenRead), kAviErrFileOpen);
    EXPECT_FALSE(file);
    writeFile(dir / "text.avi", Bytes{'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(aviFileOpen(file, (dir / "text.avi").string(), kOpenRead), kAviErrBadFormat);
    writeFile(dir / "empty.avi", Bytes{});
    EXPECT_EQ(aviFileOpen(file, (dir / "empty.avi").string(), kOpenRead), kAviErrBadFormat);
    EXPECT_EQ(aviFileOpen(file, dir.string(), kOpenRead) != kAviOk, true);
    EXPECT_EQ(aviFileOpen(file, (dir / "x.avi").string(), kOpenWrite), kAviErrUnsupported);
    // A FIFO named like a recording must not block the caller.
    ASSERT_EQ(::mkfifo((dir / "pipe.avi").c_str(), 0600), 0);
    EXPECT_EQ(aviFileOpen(file, (dir / "pipe.avi").string(), kOpenRead), kAviErrFileOpen);
    EXPECT_EQ(aviStreamLength(AviStreamPtr{}), 0);

    // A file opened for reading refuses every write.
    ASSERT_EQ(writeRecording(dir / "rec.avi", 32, 16, 2, false).status, kAviOk);
    ASSERT_EQ(aviFileOpen(file, (dir / "rec.avi").string(), kOpenRead), kAviOk);
    AviStreamPtr video, created;
    ASSERT_EQ(aviFileGetStream(file, video, kFccVids, 0), kAviOk);
    const std::uint8_t b[4] = {};
    EXPECT_EQ(aviStreamWrite(video, kAppend, 1, b, 4, 0), kAviErrReadOnly);
    AviStreamInfo info;
    info.fccType = kFccVids;
    info.scale = 1;
    info.rate = 5;
    EXPECT_EQ(aviFileCreateStream(file, created, info), kAviErrReadOnly);
    EXPECT_EQ(aviFileFlush(file), kAviErrReadOnly);
}

TEST(AviFileUncompressed, RgbFramesPassThroughTheDecompressor) {
    const fs::path dir = scratchDir("rgb");
    AviFilePtr file;
    ASSERT_EQ(aviFileOpen(file, (dir / "rgb.avi").string(), kOpenCreate | kOpenWrite), kAviOk);
    AviStreamInfo vi;
    vi.fccType = kFccVids;
    vi.scale = 1;
    vi.rate = 5;
    AviStreamPtr video;
    ASSERT_EQ(aviFileCreateStream(file, video, vi), kAviOk);
    const BitmapInfoHeader bih = frameHeader24(20, 10);  // rows of 60 bytes
    std::uint8_t raw[40];
    storeBitmapInfoHeader(bih, raw);
    ASSERT_EQ(aviStreamSetFormat(video, 0, raw, 40), kAviOk);
    std::vector<Bytes> frames;
    for (int f = 0; f < 3; ++f) {
        frames.push_back(makeFrame24(20, 10, f));
        ASSERT_EQ(aviStreamWrite(video, f == 2 ? 3 : f, 1, frames.back().data(),
                                 static_cast<std::int32_t>(frames.back().size()), kAviifKeyFrame),
                  kAviOk);
    }
    aviStreamRelease(video);
    ASSERT_EQ(aviFileRelease(file), kAviOk);

    ASSERT_EQ(aviFileOpen(file, (dir / "rgb.avi").string(), kOpenRead), kAviOk);
    ASSERT_EQ(aviFileGetStream(file, video, kFccVids, 0), kAviOk);
    ASSERT_EQ(aviStreamLength(video), 4);
    auto gf = aviStreamGetFrameOpen(video);
    ASSERT_TRUE(gf);
    // The decompressor keeps the file it reads open after its handles go.
    aviStreamRelease(video);
    ASSERT_EQ(aviFileRelease(file), kAviOk);
    const std::size_t bytes = frames[0].size();
    auto pixelsAt = [&](int pos) {
        const std::uint8_t* dib = aviStreamGetFrame(gf.get(), pos);
        EXPECT_NE(dib, nullptr);
        EXPECT_EQ(loadBitmapInfoHeader(dib).bitCount, 24);
        return Bytes(dib + 40, dib + 40 + bytes);
    };
    EXPECT_EQ(pixelsAt(3), frames[2]);
    EXPECT_EQ(pixelsAt(2), frames[1]);  // dropped: repeats frame 1
    EXPECT_EQ(pixelsAt(0), frames[0]);
    EXPECT_EQ(pixelsAt(1), frames[1]);
}
