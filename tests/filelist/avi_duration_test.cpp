// The header-only duration probe: real recordings written by the media
// library (checked against the library's own reader and against ffprobe), and
// hand-built headers for the rules and the damaged cases.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include "filelist/avi_duration.h"
#include "media/avi_file.h"
#include "media/avi_reader.h"
#include "tests/filelist/avi_samples.h"

namespace {

using avisamples::RecordingShape;

// ---- Hand-built RIFF pieces -------------------------------------------------

QByteArray le32(quint32 value) {
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray chunk(const char* id, const QByteArray& data) {
    QByteArray out = QByteArray(id, 4) + le32(static_cast<quint32>(data.size())) + data;
    if (data.size() % 2) {
        out += '\0';
    }
    return out;
}

QByteArray list(const char* type, const QByteArray& children) {
    return chunk("LIST", QByteArray(type, 4) + children);
}

QByteArray riff(const QByteArray& children, const char* form = "AVI ") {
    return chunk("RIFF", QByteArray(form, 4) + children);
}

struct StreamFields {
    const char* type = "vids";
    quint32 scale = 1;
    quint32 rate = 5;
    quint32 length = 0;
    int bytes = 56;  // size of the 'strh' chunk
};

QByteArray strh(const StreamFields& f) {
    QByteArray data(56, '\0');
    data.replace(0, 4, QByteArray(f.type, 4));
    data.replace(20, 4, le32(f.scale));
    data.replace(24, 4, le32(f.rate));
    data.replace(32, 4, le32(f.length));
    return chunk("strh", data.left(f.bytes));
}

QByteArray strl(const StreamFields& f) {
    return list("strl", strh(f) + chunk("strf", QByteArray(40, '\0')));
}

QByteArray odml(quint32 totalFrames) {
    return list("odml", chunk("dmlh", le32(totalFrames) + QByteArray(244, '\0')));
}

QByteArray hdrl(const QByteArray& streams) {
    return list("hdrl", chunk("avih", QByteArray(56, '\0')) + streams);
}

QByteArray aviFile(const QByteArray& headerList) {
    return riff(headerList + list("movi", QByteArray()) + chunk("idx1", QByteArray()));
}

class AviDurationTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }

    QString writeBytes(const char* name, const QByteArray& bytes) const {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        EXPECT_EQ(file.write(bytes), bytes.size());
        return file.fileName();
    }

    qint64 durationOfBytes(const QByteArray& bytes) const {
        return aviDurationSeconds(writeBytes("probe.avi", bytes));
    }

    QString writeRecording(const char* name, const RecordingShape& shape) const {
        EXPECT_EQ(avisamples::writeRecording(path(name), shape), 0) << name;
        return path(name);
    }

    QTemporaryDir dir;
};

// What the media library's own reader reports through the file services, as
// the window's duration would be computed from it.
qint64 durationFromFileInfo(const QString& file) {
    media::AviFilePtr avi;
    if (media::aviFileOpen(avi, QFile::encodeName(file).toStdString(), media::kOpenRead)) {
        return -1;
    }
    media::AviFileInfo info;
    const int status = media::aviFileInfo(avi, info);
    media::aviFileRelease(avi);
    if (status || info.scale == 0 || info.rate / info.scale == 0) {
        return -1;
    }
    return info.length / (info.rate / info.scale);
}

// ---- Real recordings ----------------------------------------------------------

TEST_F(AviDurationTest, RecordingsLastTheirFramesOverTheFrameRate) {
    struct Case {
        int frames;
        quint32 rate;
        quint32 scale;
        qint64 seconds;
    };
    const Case cases[] = {
        {0, 5, 1, 0},
        {4, 5, 1, 0},
        {5, 5, 1, 1},
        {12, 5, 1, 2},
        {999, 5, 1, 199},
        {125, 10, 1, 12},
        {125, 30000, 1001, 4},  // the frame rate counts as 29
                                // whole frames a second
        {30, 1, 2, 0},          // half a frame a second has no whole frame rate
    };
    for (const Case& c : cases) {
        RecordingShape shape;
        shape.frames = c.frames;
        shape.rate = c.rate;
        shape.scale = c.scale;
        const QString file = writeRecording("real.avi", shape);
        SCOPED_TRACE(testing::Message() << c.frames << " frames at " << c.rate << "/" << c.scale);
        EXPECT_EQ(aviDurationSeconds(file), c.seconds);
        if (c.seconds > 0) {
            EXPECT_EQ(durationFromFileInfo(file), c.seconds);
        }
    }
}

TEST_F(AviDurationTest, RecordingWithVideo1AndSoundAgreesWithFfprobe) {
    RecordingShape shape;
    shape.frames = 37;
    shape.video1 = true;
    shape.withSound = true;
    const QString file = writeRecording("recording.avi", shape);
    EXPECT_EQ(aviDurationSeconds(file), 7);
    EXPECT_EQ(durationFromFileInfo(file), 7);

    QProcess ffprobe;
    ffprobe.start(
        QStringLiteral("ffprobe"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
         QStringLiteral("v:0"), QStringLiteral("-show_entries"), QStringLiteral("stream=duration"),
         QStringLiteral("-of"), QStringLiteral("csv=p=0"), file});
    if (!ffprobe.waitForStarted()) {
        GTEST_SKIP() << "ffprobe is not installed";
    }
    ASSERT_TRUE(ffprobe.waitForFinished());
    bool ok = false;
    const double seconds =
        QString::fromUtf8(ffprobe.readAllStandardOutput()).trimmed().toDouble(&ok);
    ASSERT_TRUE(ok);
    EXPECT_DOUBLE_EQ(seconds, 7.4);
}

TEST_F(AviDurationTest, OpenDmlRecordingCountsEverySegment) {
    RecordingShape shape;
    shape.frames = 100;
    shape.width = 64;
    shape.height = 64;
    // Far below the 1 GiB of real recordings, so that 100 small frames
    // already span several RIFF segments.
    shape.segmentLimit = 256 * 1024;
    const QString file = writeRecording("long.avi", shape);

    media::AviReader reader;
    ASSERT_EQ(reader.open(QFile::encodeName(file).toStdString()), media::kAviOk);
    ASSERT_GT(reader.segmentCount(), 2);
    ASSERT_LT(reader.mainTotalFrames(), 100u);
    EXPECT_EQ(aviDurationSeconds(file), 20);
    EXPECT_EQ(durationFromFileInfo(file), 20);
}

// ---- The rule on hand-built headers ---------------------------------------------

TEST_F(AviDurationTest, LengthOverWholeUnitsPerSecondOfTheFirstStream) {
    struct Case {
        StreamFields first;
        qint64 seconds;
    };
    const Case cases[] = {
        {{"vids", 1, 10, 125}, 12},
        {{"vids", 1001, 30000, 125}, 4},
        {{"vids", 2, 1, 100}, 0},                     // rate below scale
        {{"vids", 0, 5, 100}, 0},                     // scale 0
        {{"vids", 1, 0, 100}, 0},                     // rate 0
        {{"vids", 1, 1, 0xFFFFFFFFu}, 0xFFFFFFFFll},  // never negative
        {{"auds", 1, 44100, 441000}, 10},             // a first stream of sound counts samples
        {{"vids", 1, 5, 50, 48}, 10},                 // a stream header without its rectangle
        {{"vids", 1, 5, 50, 30}, 0},                  // a stream header too short for the length
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.first.type << " " << c.first.length << " at "
                                        << c.first.rate << "/" << c.first.scale);
        const StreamFields second{"vids", 1, 1, 1000};  // never consulted
        EXPECT_EQ(durationOfBytes(aviFile(hdrl(strl(c.first) + strl(second)))), c.seconds);
    }
}

TEST_F(AviDurationTest, OpenDmlTotalCountsWhenItIsTheLonger) {
    const QByteArray nextSegment = riff(list("movi", QByteArray()), "AVIX");
    const StreamFields video{"vids", 1, 5, 1000};
    EXPECT_EQ(durationOfBytes(aviFile(hdrl(strl(video) + odml(5000))) + nextSegment), 1000);
    EXPECT_EQ(durationOfBytes(aviFile(hdrl(strl(video) + odml(500))) + nextSegment), 200);
    // The total counts video frames only.
    const StreamFields sound{"auds", 1, 44100, 441000};
    EXPECT_EQ(durationOfBytes(aviFile(hdrl(strl(sound) + odml(1000000))) + nextSegment), 10);
    // Without a further segment the stream header's length is the whole,
    // also when a killed recording left data chunks after its RIFF.
    EXPECT_EQ(durationOfBytes(aviFile(hdrl(strl(video) + odml(5000)))), 200);
    EXPECT_EQ(durationOfBytes(aviFile(hdrl(strl(video) + odml(5000))) +
                              chunk("00dc", QByteArray(100, 'x'))),
              200);
}

TEST_F(AviDurationTest, RecordingCutShortAfterItsHeadersKeepsItsLength) {
    RecordingShape shape;
    shape.frames = 50;
    shape.video1 = true;
    shape.withSound = true;
    QFile file(writeRecording("cut.avi", shape));
    ASSERT_EQ(aviDurationSeconds(file.fileName()), 10);
    ASSERT_TRUE(file.resize(file.size() / 2));
    EXPECT_EQ(aviDurationSeconds(file.fileName()), 10);
}

TEST_F(AviDurationTest, ForeignChunksAndPaddingAreSkipped) {
    const StreamFields video{"vids", 1, 5, 50};
    const QByteArray headerList =
        list("hdrl", chunk("avih", QByteArray(56, '\0')) + chunk("odd!", "abc") +
                         list("INFO", chunk("ISFT", "x")) + strl(video));
    EXPECT_EQ(durationOfBytes(riff(chunk("JUNK", "12345") + headerList)), 10);
}

// ---- Files that are not readable recordings -------------------------------------

TEST_F(AviDurationTest, AnythingButAnAviFileLastsZeroSeconds) {
    const StreamFields video{"vids", 1, 5, 50};
    const QByteArray wave = riff(hdrl(strl(video)), "WAVE");
    EXPECT_EQ(durationOfBytes(wave), 0);
    EXPECT_EQ(durationOfBytes(QByteArray()), 0);
    EXPECT_EQ(durationOfBytes("This is not a recording.\n"), 0);
    EXPECT_EQ(durationOfBytes(riff(list("movi", QByteArray()) + hdrl(strl(video)))), 0);
    EXPECT_EQ(durationOfBytes(riff(hdrl(chunk("avih", QByteArray(56, '\0'))))), 0);
    EXPECT_EQ(aviDurationSeconds(path("missing.avi")), 0);
    EXPECT_EQ(aviDurationSeconds(dir.path()), 0);
    EXPECT_EQ(aviDurationSeconds(QString()), 0);
}

TEST_F(AviDurationTest, AFifoIsRefusedWithoutWaitingForAWriter) {
    const QString fifo = path("f.avi");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(aviDurationSeconds(fifo), 0);
}

TEST_F(AviDurationTest, ASparseFileOfZerosLastsZeroSeconds) {
    QFile big(path("big.avi"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(avisamples::kBigFileBytes));
    big.close();
    EXPECT_EQ(aviDurationSeconds(big.fileName()), 0);
}

TEST_F(AviDurationTest, AFileCutShortInsideItsHeadersLastsZeroSeconds) {
    const StreamFields video{"vids", 1, 5, 50};
    const QByteArray whole = aviFile(hdrl(strl(video)));
    // The length field ends 12 (RIFF) + 12 (hdrl) + 64 (avih) + 12 (strl)
    // + 8 (strh header) + 36 bytes into the file.
    const int lengthEnd = 12 + 12 + 64 + 12 + 8 + 36;
    for (int size = 0; size <= whole.size(); ++size) {
        EXPECT_EQ(durationOfBytes(whole.left(size)), size < lengthEnd ? 0 : 10) << size << " bytes";
    }
}

TEST_F(AviDurationTest, DamagedSizesNeverReachOutsideTheFile) {
    const StreamFields video{"vids", 1, 5, 50};
    QByteArray hugeList = hdrl(strl(video));
    hugeList.replace(4, 4, le32(0xFFFFFFF0u));  // hdrl claims almost 4 GiB
    EXPECT_EQ(durationOfBytes(riff(hugeList)), 10);

    QByteArray hugeStrh = aviFile(hdrl(strl(video)));
    const qsizetype strhAt = hugeStrh.indexOf("strh");
    hugeStrh.replace(strhAt + 4, 4, le32(0xFFFFFFFFu));
    EXPECT_EQ(durationOfBytes(hugeStrh), 10);  // the fields are still inside the file

    QByteArray shortList = aviFile(hdrl(strl(video)));
    shortList.replace(shortList.indexOf("LIST") + 4, 4, le32(2));  // shorter than its type
    EXPECT_EQ(durationOfBytes(shortList), 0);

    QByteArray riffSize = aviFile(hdrl(strl(video)));
    riffSize.replace(4, 4, le32(20));  // the RIFF ends inside the header list
    EXPECT_EQ(durationOfBytes(riffSize), 0);
}

TEST_F(AviDurationTest, AHeaderOfCountlessTinyChunksIsGivenUp) {
    const StreamFields video{"vids", 1, 5, 50};
    QByteArray junk;
    for (int i = 0; i < 100000; ++i) {
        junk += chunk("JUNK", QByteArray());
    }
    EXPECT_EQ(durationOfBytes(riff(junk + hdrl(strl(video)))), 0);
    // A few foreign chunks are fine.
    EXPECT_EQ(durationOfBytes(riff(junk.left(8 * 20) + hdrl(strl(video)))), 10);
}

}  // namespace
