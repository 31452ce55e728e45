// Container round trips: what the writer puts on disk (every header field, the
// indexes) and what the reader gets back from it.
#include <gtest/gtest.h>

#include "media/avi_reader.h"
#include "media/avi_writer.h"
#include "tests/media/avi_test_support.h"

using namespace media;
using namespace avitest;

namespace {

struct WrittenChunk {
    int stream;
    Bytes data;
    bool key;
};

// A video stream of raw chunks (odd sizes, an empty dropped frame, key flags
// in a pattern) and a PCM stream, written straight through AviWriter.
std::vector<WrittenChunk> writeMixedFile(const fs::path& path) {
    AviWriter w;
    EXPECT_EQ(w.create(path.string()), kAviOk);
    AviStreamHeader vh;
    vh.fccType = kFccVids;
    vh.fccHandler = kFccMsvc;
    vh.scale = 1;
    vh.rate = 5;
    vh.quality = 8500;
    AviStreamHeader ah;
    ah.fccType = kFccAuds;
    ah.scale = 1;
    ah.rate = kSoundSampleRate;
    int v = -1, a = -1;
    EXPECT_EQ(w.addStream(vh, "", &v), kAviOk);
    EXPECT_EQ(w.addStream(ah, "", &a), kAviOk);
    BitmapInfoHeader bih;
    bih.width = 160;
    bih.height = 120;
    bih.bitCount = 16;
    bih.compression = kFccMsvc;
    bih.sizeImage = 160 * 120 * 2;
    std::uint8_t rawBih[kBitmapInfoHeaderBytes];
    storeBitmapInfoHeader(bih, rawBih);
    EXPECT_EQ(w.setFormat(v, rawBih, sizeof rawBih), kAviOk);
    std::uint8_t rawWf[kWaveFormatExBytes];
    storeWaveFormat(recordingAudioFormat(), rawWf);
    EXPECT_EQ(w.setFormat(a, rawWf, sizeof rawWf), kAviOk);

    std::vector<WrittenChunk> chunks;
    for (int f = 0; f < 12; ++f) {
        Bytes data(f == 7 ? 0 : 1001 + 37 * f);  // odd sizes need the pad byte
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<std::uint8_t>(i * f + 3);
        const bool key = f % 5 == 0;
        EXPECT_EQ(w.writeChunk(v, data.data(), static_cast<std::uint32_t>(data.size()), key),
                  kAviOk);
        chunks.push_back({v, std::move(data), key && f != 7});
        if (f % 2 == 1) {
            Bytes pcm = makeAudio(kAudioChunkBytes, f);
            EXPECT_EQ(w.writeChunk(a, pcm.data(), kAudioChunkBytes, false), kAviOk);
            chunks.push_back({a, std::move(pcm), true});
        }
    }
    EXPECT_EQ(w.close(), kAviOk);
    return chunks;
}

void expectReadsBack(const fs::path& path, const std::vector<WrittenChunk>& written,
                     AviIndexKind kind) {
    AviReader r;
    ASSERT_EQ(r.open(path.string()), kAviOk);
    EXPECT_EQ(r.indexKind(), kind);
    ASSERT_EQ(r.streamCount(), 2);
    std::size_t next[2] = {0, 0};
    Bytes data;
    for (const WrittenChunk& c : written) {
        const auto s = static_cast<std::size_t>(c.stream);
        ASSERT_LT(next[s], r.stream(c.stream).chunks.size());
        ASSERT_EQ(r.readChunk(c.stream, next[s], data), kAviOk);
        EXPECT_EQ(data, c.data) << "stream " << c.stream << " chunk " << next[s];
        EXPECT_EQ(r.stream(c.stream).chunks[next[s]].key, c.key)
            << "stream " << c.stream << " chunk " << next[s];
        ++next[s];
    }
    EXPECT_EQ(r.stream(0).chunks.size(), next[0]);
    EXPECT_EQ(r.stream(1).chunks.size(), next[1]);
    EXPECT_EQ(r.stream(0).length(), 12u);
    EXPECT_EQ(r.stream(1).length(), 6u * kAudioChunkBytes / 4);
    EXPECT_EQ(r.recoveredChunks(), 0u);
}

// Offset of the first chunk with this id inside [begin, end) of a RIFF tree,
// descending into LIST chunks.
std::size_t findChunk(const Bytes& b, std::uint32_t id, std::size_t begin, std::size_t end) {
    std::size_t pos = begin;
    while (pos + 8 <= end) {
        const std::uint32_t cid = get32(b, pos);
        const std::uint32_t size = get32(b, pos + 4);
        if (cid == id)
            return pos;
        if (cid == kFccList || cid == kFccRiff) {
            const std::size_t inner =
                findChunk(b, id, pos + 12, std::min<std::size_t>(end, pos + 8 + size));
            if (inner != std::string::npos)
                return inner;
        }
        pos = static_cast<std::size_t>(nextChunkPos(pos, size));
    }
    return std::string::npos;
}

}  // namespace

TEST(AviContainer, HeaderFieldsAsTheFormatGivesThem) {
    const fs::path dir = scratchDir("headers");
    const fs::path file = dir / "mixed.avi";
    const auto written = writeMixedFile(file);
    const Bytes b = readFile(file);
    ASSERT_GT(b.size(), 4096u);

    EXPECT_EQ(get32(b, 0), kFccRiff);
    EXPECT_EQ(get32(b, 4), b.size() - 8);
    EXPECT_EQ(get32(b, 8), kFccAvi);
    EXPECT_EQ(get32(b, 12), kFccList);
    EXPECT_EQ(get32(b, 20), kFccHdrl);

    const std::size_t avih = findChunk(b, kFccAvih, 12, b.size());
    ASSERT_EQ(avih, 24u);
    EXPECT_EQ(get32(b, avih + 4), 56u);
    const std::size_t m = avih + 8;
    std::uint32_t largestVideo = 0;
    for (const auto& c : written) {
        if (c.stream == 0)
            largestVideo = std::max<std::uint32_t>(largestVideo, c.data.size());
    }
    EXPECT_EQ(get32(b, m + 0), 200000u);                            // µs per frame
    EXPECT_EQ(get32(b, m + 4), largestVideo * 5 + 176400u);         // max bytes/s
    EXPECT_EQ(get32(b, m + 12), kAvifHasIndex | kAvifTrustCkType);  // 0x810
    EXPECT_EQ(get32(b, m + 16), 12u);                               // total frames
    EXPECT_EQ(get32(b, m + 20), 0u);                                // initial frames
    EXPECT_EQ(get32(b, m + 24), 2u);                                // streams
    EXPECT_EQ(get32(b, m + 28), kAudioChunkBytes);                  // suggested buffer
    EXPECT_EQ(get32(b, m + 32), 160u);
    EXPECT_EQ(get32(b, m + 36), 120u);

    // Stream 0 then stream 1, in creation order.
    const std::size_t strh0 = findChunk(b, kFccStrh, 12, b.size());
    ASSERT_NE(strh0, std::string::npos);
    const AviStreamHeader vh = loadStreamHeader(b.data() + strh0 + 8, 56);
    EXPECT_EQ(vh.fccType, kFccVids);
    EXPECT_EQ(vh.fccHandler, kFccMsvc);
    EXPECT_EQ(vh.scale, 1u);
    EXPECT_EQ(vh.rate, 5u);
    EXPECT_EQ(vh.length, 12u);
    EXPECT_EQ(vh.suggestedBufferSize, largestVideo);
    EXPECT_EQ(vh.quality, 8500u);
    EXPECT_EQ(vh.sampleSize, 0u);
    EXPECT_EQ(vh.frameRight, 160);
    EXPECT_EQ(vh.frameBottom, 120);
    const std::size_t strf0 = strh0 + 8 + 56;
    EXPECT_EQ(get32(b, strf0), kFccStrf);
    EXPECT_EQ(get32(b, strf0 + 4), 40u);
    const BitmapInfoHeader bih = loadBitmapInfoHeader(b.data() + strf0 + 8);
    EXPECT_EQ(bih.width, 160);
    EXPECT_EQ(bih.height, 120);
    EXPECT_EQ(bih.bitCount, 16);
    EXPECT_EQ(bih.compression, kFccMsvc);

    const std::size_t strh1 = findChunk(b, kFccStrh, strf0, b.size());
    ASSERT_NE(strh1, std::string::npos);
    const AviStreamHeader ah = loadStreamHeader(b.data() + strh1 + 8, 56);
    EXPECT_EQ(ah.fccType, kFccAuds);
    EXPECT_EQ(ah.rate, 44100u);
    EXPECT_EQ(ah.scale, 1u);
    EXPECT_EQ(ah.length, 6u * kAudioChunkBytes / 4);
    EXPECT_EQ(ah.suggestedBufferSize, kAudioChunkBytes);
    EXPECT_EQ(ah.sampleSize, 4u);
    const std::size_t strf1 = strh1 + 8 + 56;
    EXPECT_EQ(get32(b, strf1 + 4), 18u);
    const WaveFormatEx wf = loadWaveFormat(b.data() + strf1 + 8, 18);
    EXPECT_EQ(wf.formatTag, 1);
    EXPECT_EQ(wf.channels, 2);
    EXPECT_EQ(wf.samplesPerSec, 44100u);
    EXPECT_EQ(wf.avgBytesPerSec, 176400u);
    EXPECT_EQ(wf.blockAlign, 4);
    EXPECT_EQ(wf.bitsPerSample, 16);
    EXPECT_EQ(wf.cbSize, 0);

    const std::size_t dmlh = findChunk(b, kFccDmlh, 12, b.size());
    ASSERT_NE(dmlh, std::string::npos);
    EXPECT_EQ(get32(b, dmlh + 8), 12u);

    // movi: the first chunk on a 2048-byte boundary, idx1 offsets relative to
    // the 'movi' FOURCC with the first chunk at 4.
    const std::size_t movi = findChunk(b, kFccList, 12 + 8 + get32(b, 16), b.size());
    ASSERT_NE(movi, std::string::npos);
    EXPECT_EQ(get32(b, movi + 8), kFccMovi);
    EXPECT_EQ((movi + 12) % 2048, 0u);
    EXPECT_EQ(get32(b, movi + 12), fourcc("00db"));  // key frame: "db"
    const std::size_t idx1 = movi + 8 + get32(b, movi + 4);
    ASSERT_EQ(get32(b, idx1), kFccIdx1);
    ASSERT_EQ(get32(b, idx1 + 4), 16u * written.size());
    EXPECT_EQ(idx1 + 8 + 16 * written.size(), b.size());
    for (std::size_t i = 0; i < written.size(); ++i) {
        const std::size_t e = idx1 + 8 + 16 * i;
        const WrittenChunk& c = written[i];
        const std::uint32_t id = get32(b, e);
        EXPECT_EQ(chunkStreamNumber(id), c.stream);
        EXPECT_EQ(get32(b, e + 4), c.key ? kAviifKeyFrame : 0u) << i;
        EXPECT_EQ(get32(b, e + 12), c.data.size());
        const std::size_t at = movi + 8 + get32(b, e + 8);
        EXPECT_EQ(get32(b, at), id) << i;
        if (i == 0) {
            EXPECT_EQ(get32(b, e + 8), 4u);
        }
        if (c.stream == 1) {
            EXPECT_EQ(id, fourcc("01wb"));
        }
        if (c.stream == 0 && c.data.empty()) {
            EXPECT_EQ(id, fourcc("00dc"));
        }
    }
}

TEST(AviContainer, ReaderReadsEveryIndexForm) {
    const fs::path dir = scratchDir("indexes");
    const fs::path file = dir / "mixed.avi";
    const auto written = writeMixedFile(file);
    expectReadsBack(file, written, AviIndexKind::OpenDml);

    Bytes b = readFile(file);
    std::size_t moviFourcc = 0;
    for (std::size_t pos = 12; pos + 12 < b.size();) {
        if (get32(b, pos) == kFccList && get32(b, pos + 8) == kFccMovi) {
            moviFourcc = pos + 8;
            break;
        }
        pos = static_cast<std::size_t>(nextChunkPos(pos, get32(b, pos + 4)));
    }
    ASSERT_NE(moviFourcc, 0u);
    // Without the OpenDML super indexes the reader falls back to idx1.
    int cleared = 0;
    for (std::size_t at = 12; at < moviFourcc; at += 2) {
        if (get32(b, at) != kFccIndx)
            continue;
        put32(b.data() + at + 12, 0);
        ++cleared;
    }
    ASSERT_EQ(cleared, 2);
    writeFile(dir / "idx1.avi", b);
    expectReadsBack(dir / "idx1.avi", written, AviIndexKind::Idx1);

    // idx1 with absolute offsets, as some writers store them.
    const std::size_t idx1 = findChunk(b, kFccIdx1, 12, b.size());
    ASSERT_NE(idx1, std::string::npos);
    Bytes absolute = b;
    for (std::size_t i = 0; i < written.size(); ++i) {
        const std::size_t e = idx1 + 8 + 16 * i + 8;
        put32(absolute.data() + e, static_cast<std::uint32_t>(get32(b, e) + moviFourcc));
    }
    writeFile(dir / "absolute.avi", absolute);
    expectReadsBack(dir / "absolute.avi", written, AviIndexKind::Idx1);

    // No index at all: the movi list is scanned; "db"/"dc" give the key frames.
    Bytes noIndex = b;
    put32(noIndex.data() + idx1, fourcc("JUNK"));
    writeFile(dir / "scan.avi", noIndex);
    expectReadsBack(dir / "scan.avi", written, AviIndexKind::Scan);
    AviReader r;
    ASSERT_EQ(r.open((dir / "scan.avi").string()), kAviOk);
    ASSERT_FALSE(r.problems().empty());
    EXPECT_EQ(r.problems().front(), "no index: recovered by scanning");
}

TEST(AviContainer, WriterRefusesWhatItCannotStore) {
    const fs::path dir = scratchDir("refusals");
    AviWriter w;
    ASSERT_EQ(w.create((dir / "a.avi").string()), kAviOk);
    AviStreamHeader h;
    h.fccType = kFccVids;
    h.scale = 1;
    h.rate = 0;
    int index = -1;
    EXPECT_EQ(w.addStream(h, "", &index), kAviErrBadFormat);
    h.rate = 5;
    ASSERT_EQ(w.addStream(h, "screen", &index), kAviOk);
    const std::uint8_t tooShort[10] = {};
    EXPECT_EQ(w.setFormat(index, tooShort, sizeof tooShort), kAviErrBadFormat);
    const std::uint8_t data[4] = {1, 2, 3, 4};
    ASSERT_EQ(w.writeChunk(index, data, 4, true), kAviOk);
    AviStreamHeader late = h;
    EXPECT_EQ(w.addStream(late, "", &index), kAviErrUnsupported);
    EXPECT_EQ(w.writeChunk(5, data, 4, true), kAviErrBadHandle);
    EXPECT_EQ(w.writeChunk(0, data, kMaxChunkBytes + 1, true), kAviErrBadSize);
    EXPECT_EQ(w.close(), kAviOk);

    AviReader r;
    ASSERT_EQ(r.open((dir / "a.avi").string()), kAviOk);
    EXPECT_EQ(r.stream(0).name, "screen");
    EXPECT_EQ(r.stream(0).chunks.size(), 1u);

    EXPECT_EQ(w.create((dir / "missing-dir" / "b.avi").string()), kAviErrFileOpen);
}

TEST(AviContainer, SuperIndexFullIsAStatusNotACorruptFile) {
    const fs::path dir = scratchDir("full");
    AviWriter w;
    AviWriterOptions options;
    options.superIndexEntries = 2;
    ASSERT_EQ(w.create((dir / "a.avi").string(), options), kAviOk);
    AviStreamHeader h;
    h.fccType = kFccVids;
    h.scale = 1;
    h.rate = 5;
    int v = -1;
    ASSERT_EQ(w.addStream(h, "", &v), kAviOk);
    const std::uint8_t data[2] = {0, 0};
    int status = kAviOk;
    std::uint32_t written = 0;
    for (std::uint32_t i = 0; i < 3 * kStdIndexEntries && status == kAviOk; ++i) {
        status = w.writeChunk(v, data, 2, true);
        if (status == kAviOk)
            ++written;
    }
    EXPECT_EQ(status, kAviErrUnsupported);
    EXPECT_EQ(written, 2 * kStdIndexEntries);
    EXPECT_EQ(w.close(), kAviOk);
    AviReader r;
    ASSERT_EQ(r.open((dir / "a.avi").string()), kAviOk);
    EXPECT_EQ(r.stream(0).chunks.size(), written);
    EXPECT_EQ(r.recoveredChunks(), 0u);
}
