// The header-only duration probe: real recordings (checked against the media
// library's full reader and against ffprobe), FFmpeg's own files, and
// hand-built headers for the rule and for damaged and foreign files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>

#include "filelist/avi_duration.h"
#include "media/avi_file.h"
#include "tests/support/programs.h"
#include "tests/support/sample_recordings.h"

namespace {

using avisamples::RecordingShape;

// ---- Hand-built RIFF pieces -------------------------------------------------

QByteArray le32(quint32 value) {
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}
QByteArray chunk(const char* id, const QByteArray& data) {
    return QByteArray(id, 4) + le32(static_cast<quint32>(data.size())) + data +
           QByteArray(data.size() % 2, '\0');
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
QByteArray strl(const StreamFields& f) {
    QByteArray data(56, '\0');
    data.replace(0, 4, QByteArray(f.type, 4));
    data.replace(20, 4, le32(f.scale));
    data.replace(24, 4, le32(f.rate));
    data.replace(32, 4, le32(f.length));
    return list("strl", chunk("strh", data.left(f.bytes)) + chunk("strf", QByteArray(40, '\0')));
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
    qint64 durationOfBytes(const QByteArray& bytes) const {
        QFile file(path("probe.avi"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        EXPECT_EQ(file.write(bytes), bytes.size());
        file.close();
        return aviDurationSeconds(file.fileName());
    }
    QTemporaryDir dir;
};

// What the media library's full reader reports, as the window would compute it.
qint64 durationFromFileInfo(const QString& file) {
    media::AviFilePtr avi;
    media::AviFileInfo info;
    if (media::aviFileOpen(avi, QFile::encodeName(file).toStdString(), media::kOpenRead) ||
        media::aviFileInfo(avi, info) || info.scale == 0 || info.rate / info.scale == 0) {
        return -1;
    }
    return info.length / (info.rate / info.scale);
}

// ---- Real recordings ----------------------------------------------------------

TEST_F(AviDurationTest, RecordingsLastTheirFramesOverTheWholeFrameRate) {
    struct Case {
        int frames;
        quint32 rate, scale;
        qint64 seconds;
        bool video1AndSound = false;
        std::uint64_t segmentLimit = media::kDefaultSegmentLimit;
        bool cutInHalf = false;
    };
    const Case cases[] = {
        {0, 5, 1, 0},
        {4, 5, 1, 0},
        {12, 5, 1, 2},
        {999, 5, 1, 199},
        {125, 30000, 1001, 4},  // 29 whole frames a second
        {30, 1, 2, 0},          // half a frame a second has no whole frame rate
        {37, 5, 1, 7, true},
        {50, 5, 1, 10, true, media::kDefaultSegmentLimit, true},  // headers hold the length
        {100, 5, 1, 20, false, 256 * 1024},                       // several RIFF segments
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.frames << " frames at " << c.rate << "/" << c.scale);
        RecordingShape shape;
        shape.frames = c.frames;
        shape.rate = c.rate;
        shape.scale = c.scale;
        shape.video1 = shape.withSound = c.video1AndSound;
        shape.segmentLimit = c.segmentLimit;
        shape.width = shape.height = c.segmentLimit < media::kDefaultSegmentLimit ? 64 : 16;
        const QString file = path("real.avi");
        ASSERT_EQ(avisamples::writeRecording(file, shape), 0);
        if (c.seconds > 0 && !c.cutInHalf) {
            EXPECT_EQ(durationFromFileInfo(file), c.seconds);
        }
        if (c.cutInHalf) {
            ASSERT_TRUE(QFile::resize(file, QFileInfo(file).size() / 2));
        }
        EXPECT_EQ(aviDurationSeconds(file), c.seconds);
    }
}

TEST_F(AviDurationTest, AgreesWithFfprobeOnOursAndReadsFfmpegsFiles) {
    if (!testsupport::haveTool("ffprobe") || !testsupport::haveTool("ffmpeg"))
        GTEST_SKIP() << "FFmpeg is not installed";
    RecordingShape shape;
    shape.frames = 37;
    shape.video1 = shape.withSound = true;
    ASSERT_EQ(avisamples::writeRecording(path("ours.avi"), shape), 0);
    std::string out;
    testsupport::runCommand(
        "ffprobe -v error -select_streams v:0 -show_entries stream=duration "
        "-of csv=p=0 '" +
            path("ours.avi").toStdString() + "'",
        out);
    EXPECT_DOUBLE_EQ(std::stod(out), 7.4);
    EXPECT_EQ(aviDurationSeconds(path("ours.avi")), 7);

    ASSERT_EQ(testsupport::runCommand("ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=10 "
                                      "-t 3 -c:v msvideo1 -pix_fmt rgb555le '" +
                                          path("theirs.avi").toStdString() + "' 2>&1",
                                      out),
              0)
        << out;
    EXPECT_EQ(aviDurationSeconds(path("theirs.avi")), 3);
}

// ---- The rule on hand-built headers ---------------------------------------------

TEST_F(AviDurationTest, LengthOverWholeUnitsPerSecondOfTheFirstStream) {
    const StreamFields video{"vids", 1, 5, 50};
    const StreamFields sound{"auds", 1, 44100, 441000};
    const QByteArray nextSegment = riff(list("movi", QByteArray()), "AVIX");
    QByteArray hugeList = hdrl(strl(video));
    hugeList.replace(4, 4, le32(0xFFFFFFF0u));
    QByteArray hugeStrh = aviFile(hdrl(strl(video)));
    hugeStrh.replace(hugeStrh.indexOf("strh") + 4, 4, le32(0xFFFFFFFFu));
    QByteArray shortList = aviFile(hdrl(strl(video)));
    shortList.replace(shortList.indexOf("LIST") + 4, 4, le32(2));
    QByteArray riffEndsEarly = aviFile(hdrl(strl(video)));
    riffEndsEarly.replace(4, 4, le32(20));
    QByteArray junk;
    for (int i = 0; i < 100000; ++i)
        junk += chunk("JUNK", QByteArray());
    const struct {
        const char* what;
        QByteArray bytes;
        qint64 seconds;
    } cases[] = {
        {"10 fps", aviFile(hdrl(strl({"vids", 1, 10, 125}))), 12},
        {"29.97 fps", aviFile(hdrl(strl({"vids", 1001, 30000, 125}))), 4},
        {"rate below scale", aviFile(hdrl(strl({"vids", 2, 1, 100}))), 0},
        {"scale 0", aviFile(hdrl(strl({"vids", 0, 5, 100}))), 0},
        {"rate 0", aviFile(hdrl(strl({"vids", 1, 0, 100}))), 0},
        {"never negative", aviFile(hdrl(strl({"vids", 1, 1, 0xFFFFFFFFu}))), 0xFFFFFFFFll},
        {"sound first counts samples", aviFile(hdrl(strl(sound) + strl(video))), 10},
        {"second stream never consulted", aviFile(hdrl(strl(video) + strl(sound))), 10},
        {"strh without its rectangle", aviFile(hdrl(strl({"vids", 1, 5, 50, 48}))), 10},
        {"strh too short for the length", aviFile(hdrl(strl({"vids", 1, 5, 50, 30}))), 0},
        {"OpenDML total, longer",
         aviFile(hdrl(strl({"vids", 1, 5, 1000}) + odml(5000))) + nextSegment, 1000},
        {"OpenDML total, shorter",
         aviFile(hdrl(strl({"vids", 1, 5, 1000}) + odml(500))) + nextSegment, 200},
        {"OpenDML total counts video only",
         aviFile(hdrl(strl(sound) + odml(1000000))) + nextSegment, 10},
        {"OpenDML total, no next segment", aviFile(hdrl(strl({"vids", 1, 5, 1000}) + odml(5000))),
         200},
        {"killed: chunks after the RIFF",
         aviFile(hdrl(strl({"vids", 1, 5, 1000}) + odml(5000))) +
             chunk("00dc", QByteArray(100, 'x')),
         200},
        {"foreign chunks and padding",
         riff(chunk("JUNK", "12345") +
              list("hdrl", chunk("avih", QByteArray(56, '\0')) + chunk("odd!", "abc") +
                               list("INFO", chunk("ISFT", "x")) + strl(video))),
         10},
        {"a few tiny chunks", riff(junk.left(8 * 20) + hdrl(strl(video))), 10},
        {"countless tiny chunks are given up", riff(junk + hdrl(strl(video))), 0},
        {"hdrl claims 4 GiB", riff(hugeList), 10},
        {"strh claims 4 GiB, fields inside", hugeStrh, 10},
        {"list shorter than its type", shortList, 0},
        {"RIFF ends inside the headers", riffEndsEarly, 0},
        {"WAVE", riff(hdrl(strl(video)), "WAVE"), 0},
        {"movi before hdrl", riff(list("movi", QByteArray()) + hdrl(strl(video))), 0},
        {"no stream", riff(hdrl(QByteArray())), 0},
        {"empty", QByteArray(), 0},
        {"text", "This is not a recording.\n", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(durationOfBytes(c.bytes), c.seconds) << c.what;

    // Cut short: nothing until the first stream's length is in the file.
    const QByteArray whole = aviFile(hdrl(strl(video)));
    const int lengthEnd = 12 + 12 + 64 + 12 + 8 + 36;
    for (int size = 0; size <= whole.size(); ++size)
        EXPECT_EQ(durationOfBytes(whole.left(size)), size < lengthEnd ? 0 : 10) << size;
}

TEST_F(AviDurationTest, WhatIsNotARegularFileLastsZeroSecondsWithoutWaiting) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("f.avi")).constData(), 0600), 0);
    QFile big(path("big.avi"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(avisamples::kBigFileBytes));
    big.close();
    for (const QString& file :
         {path("f.avi"), path("big.avi"), path("missing.avi"), dir.path(), QString()})
        EXPECT_EQ(aviDurationSeconds(file), 0) << file.toStdString();
}

}  // namespace
