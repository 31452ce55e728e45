// Container round trips: the layout the writer puts on disk and what the
// reader gets back from it through every index form.
#include <gtest/gtest.h>

#include "media/avi_reader.h"
#include "media/avi_writer.h"
#include "tests/media/media_test_support.h"

using namespace media;
using namespace mediatest;

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

// What no reader checks, since each accepts more: the whole-file sizes,
// the first chunk on a 2048-byte boundary, idx1 offsets counted from the
// 'movi' FOURCC, chunk ids by kind, and the frame totals.
TEST(AviContainer, LayoutAsTheFormatGivesIt) {
    const fs::path dir = scratchDir("headers");
    const fs::path file = dir / "mixed.avi";
    const auto written = writeMixedFile(file);
    const Bytes b = readFile(file);
    ASSERT_GT(b.size(), 4096u);
    EXPECT_EQ(get32(b, 4), b.size() - 8);
    const std::size_t avih = findChunk(b, kFccAvih, 12, b.size());
    ASSERT_EQ(avih, 24u);
    EXPECT_EQ(get32(b, avih + 8 + 12), kAvifHasIndex | kAvifTrustCkType);
    EXPECT_EQ(get32(b, avih + 8 + 16), 12u);  // total frames
    EXPECT_EQ(get32(b, avih + 8 + 24), 2u);   // streams
    const std::size_t dmlh = findChunk(b, kFccDmlh, 12, b.size());
    ASSERT_NE(dmlh, std::string::npos);
    EXPECT_EQ(get32(b, dmlh + 8), 12u);

    const std::size_t movi = findChunk(b, kFccList, 12 + 8 + get32(b, 16), b.size());
    ASSERT_NE(movi, std::string::npos);
    EXPECT_EQ(get32(b, movi + 8), kFccMovi);
    EXPECT_EQ((movi + 12) % 2048, 0u);
    const std::size_t idx1 = movi + 8 + get32(b, movi + 4);
    ASSERT_EQ(get32(b, idx1), kFccIdx1);
    ASSERT_EQ(get32(b, idx1 + 4), 16u * written.size());
    EXPECT_EQ(idx1 + 8 + 16 * written.size(), b.size());
    EXPECT_EQ(get32(b, idx1 + 8 + 8), 4u);
    for (std::size_t i = 0; i < written.size(); ++i) {
        const std::size_t e = idx1 + 8 + 16 * i;
        const WrittenChunk& c = written[i];
        const std::uint32_t id = c.stream == 1 ? fourcc("01wb")
                                 : c.key       ? fourcc("00db")
                                               : fourcc("00dc");
        EXPECT_EQ(get32(b, e), id) << i;
        EXPECT_EQ(get32(b, movi + 8 + get32(b, e + 8)), id) << i;
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

    // An entry and its chunk's header that both claim more than the file
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
