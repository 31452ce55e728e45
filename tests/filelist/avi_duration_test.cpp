// The file list's parts: the header-only duration probe (real recordings,
// ours in several shapes and FFmpeg's, hand-built headers for the rule and
// for damaged and foreign files, paths that are not regular files), the
// directory scan, and the size and duration texts.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>
#include <limits>

#include "filelist/avi_duration.h"
#include "filelist/format.h"
#include "filelist/video_scan.h"
#include "platform/native_path.h"
#include "tests/media/media_test_files.h"
#include "tests/support/sample_recordings.h"

namespace {

QByteArray le32(quint32 value) {
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}
QByteArray chunk(const char* id, const QByteArray& data) {
    return QByteArray(id, 4) + le32(static_cast<quint32>(data.size())) + data +
           QByteArray(data.size() % 2, '\0');
}
QByteArray list(const char* type, const QByteArray& children, const char* id = "LIST") {
    return chunk(id, QByteArray(type, 4) + children);
}
// A stream list whose 'strh' has this type, scale, rate and length, cut to `bytes`.
QByteArray strl(const char* type, quint32 scale, quint32 rate, quint32 length, int bytes = 56) {
    QByteArray h = QByteArray(type, 4) + QByteArray(16, '\0') + le32(scale) + le32(rate) + le32(0) +
                   le32(length) + QByteArray(20, '\0');
    return list("strl", chunk("strh", h.left(bytes)) + chunk("strf", QByteArray(40, '\0')));
}
QByteArray hdrl(const QByteArray& streams) {
    return list("hdrl", chunk("avih", QByteArray(56, '\0')) + streams);
}
QByteArray odml(quint32 totalFrames) {
    return list("odml", chunk("dmlh", le32(totalFrames) + QByteArray(244, '\0')));
}
QByteArray aviFile(const QByteArray& headerList) {
    return list("AVI ", headerList + list("movi", {}) + chunk("idx1", {}), "RIFF");
}

class AviDurationTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }
    qint64 durationOfBytes(const QByteArray& bytes) const {
        QFile file(path("probe.avi"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                    file.write(bytes) == bytes.size());
        file.close();
        return aviDurationSeconds(file.fileName());
    }
    QTemporaryDir dir;
};

// The frames of the first stream over the whole frame rate.
TEST_F(AviDurationTest, RealRecordingsOursAndFfmpegs) {
    const struct {
        avisamples::RecordingShape shape;
        qint64 seconds;
        bool cutInHalf = false;
    } cases[] = {
        {{125, 30000, 1001}, 4},  // 29 whole frames a second
        {{30, 1, 2}, 0},          // half a frame a second has no whole frame rate
        {{50, 5, 1, 16, 16, true, 0, true}, 10, true},           // the headers hold the length
        {{100, 5, 1, 64, 64, false, 0, false, 256 * 1024}, 20},  // several RIFF segments
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.shape.frames << " frames at " << c.shape.rate);
        ASSERT_EQ(avisamples::writeRecording(path("real.avi"), c.shape), 0);
        const qint64 size = QFileInfo(path("real.avi")).size();
        ASSERT_TRUE(QFile::resize(path("real.avi"), c.cutInHalf ? size / 2 : size));
        EXPECT_EQ(aviDurationSeconds(path("real.avi")), c.seconds);
    }
    if (!testsupport::haveTool("ffmpeg"))
        GTEST_SKIP() << "FFmpeg is not installed";
    mediatest::ffmpegVideo1File(path("theirs.avi").toStdString(), "-t 3");
    EXPECT_EQ(aviDurationSeconds(path("theirs.avi")), 3);
}

TEST_F(AviDurationTest, TheRuleOnHandBuiltHeadersAndDamage) {
    const QByteArray video = strl("vids", 1, 5, 50), sound = strl("auds", 1, 44100, 441000);
    const QByteArray next = list("AVIX", list("movi", {}), "RIFF");
    const QByteArray foreign =
        list("hdrl", chunk("avih", QByteArray(56, '\0')) + chunk("odd!", "abc") +
                         list("INFO", chunk("ISFT", "x")) + video);
    const struct {
        const char* what;
        QByteArray bytes;
        qint64 seconds;
    } cases[] = {
        {"scale 0", aviFile(hdrl(strl("vids", 0, 5, 100))), 0},
        {"never negative", aviFile(hdrl(strl("vids", 1, 1, 0xFFFFFFFFu))), 0xFFFFFFFFll},
        {"sound first counts samples", aviFile(hdrl(sound + video)), 10},
        {"strh without its rectangle", aviFile(hdrl(strl("vids", 1, 5, 50, 48))), 10},
        {"strh too short for the length", aviFile(hdrl(strl("vids", 1, 5, 50, 30))), 0},
        {"OpenDML total, longer", aviFile(hdrl(strl("vids", 1, 5, 1000) + odml(5000))) + next,
         1000},
        {"OpenDML total, shorter", aviFile(hdrl(strl("vids", 1, 5, 1000) + odml(500))) + next, 200},
        {"killed: chunks after the RIFF",
         aviFile(hdrl(strl("vids", 1, 5, 1000) + odml(5000))) + chunk("00dc", QByteArray(100, 'x')),
         200},
        {"foreign chunks and padding", list("AVI ", chunk("JUNK", "12345") + foreign, "RIFF"), 10},
        {"countless tiny chunks are given up",
         list("AVI ", chunk("JUNK", {}).repeated(100000) + hdrl(video), "RIFF"), 0},
        {"hdrl claims 4 GiB", list("AVI ", hdrl(video).replace(4, 4, le32(0xFFFFFFF0u)), "RIFF"),
         10},
        {"RIFF ends inside the headers", aviFile(hdrl(video)).replace(4, 4, le32(20)), 0},
        {"WAVE", list("WAVE", hdrl(video), "RIFF"), 0},
        {"movi before hdrl", list("AVI ", list("movi", {}) + hdrl(video), "RIFF"), 0},
        {"no stream", list("AVI ", hdrl({}), "RIFF"), 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(durationOfBytes(c.bytes), c.seconds) << c.what;

    // Cut short: nothing until the first stream's length is in the file.
    const QByteArray whole = aviFile(hdrl(video));
    const int lengthEnd = 12 + 12 + 64 + 12 + 8 + 36;
    for (int size = 0; size <= whole.size(); ++size)
        EXPECT_EQ(durationOfBytes(whole.left(size)), size < lengthEnd ? 0 : 10) << size;

    // What is not a regular file lasts zero seconds, without waiting.
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("f.avi")).constData(), 0600), 0);
    QFile big(path("big.avi"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(avisamples::kBigFileBytes));
    big.close();
    for (const QString& file :
         {path("f.avi"), path("big.avi"), path("missing.avi"), dir.path(), QString()})
        EXPECT_EQ(aviDurationSeconds(file), 0) << file.toStdString();
}

// The directory scan (the mixed directory of every kind of entry is listed
// end to end in the file tables' tests).
// A directory and a recording named in bytes that are not UTF-8 are listed,
// measured and probed as themselves; the scan appends to the list it is given.
TEST_F(AviDurationTest, ScanListsNamesThatAreNotUtf8AsThemselves) {
    const QByteArray directory = platform::encodePath(dir.path()) + "/bad\xff\xfe";
    const QByteArray name = "20161205093007\xe9.avi";
    ASSERT_EQ(::mkdir(directory.constData(), 0700), 0);
    ASSERT_EQ(avisamples::writeRecording(platform::decodePath(directory + '/' + name), {15}), 0);
    const std::filesystem::path file(std::string(directory + '/' + name));

    QVector<VideoFileEntry> entries(1);
    ASSERT_TRUE(scanVideoDirectory(platform::decodePath(directory), entries));
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(platform::encodePath(entries[1].name), name);
    EXPECT_EQ(entries[1].size, static_cast<qint64>(std::filesystem::file_size(file)));
    EXPECT_EQ(entries[1].duration, 0);  // left to the caller
    EXPECT_EQ(
        aviDurationSeconds(platform::joinPath(platform::decodePath(directory), entries[1].name)),
        3);
    for (const QString& notADirectory :
         {QString(), path("missing"), platform::decodePath(directory + '/' + name)}) {
        EXPECT_FALSE(scanVideoDirectory(notADirectory, entries)) << notADirectory.toStdString();
        EXPECT_EQ(entries.size(), 2);
    }
}

// The size and duration texts shown throughout the user interface: each unit
// and its threshold, rounding in the last digit, counts beyond 32 bits, and
// negative counts, which show their low 32 bits.
TEST(Format, DurationsAndSizes) {
    const struct {
        qint64 count;
        QString text;
        bool isSize = false;
    } cases[] = {
        {0, "0 S"},
        {60, "1 M 0 S"},
        {3600, "1 H 0 M"},
        {(qint64{3} << 32) * 3600 + 61, "12884901888 H 1 M"},
        {-(qint64{1} << 32) - 5, "-5 S"},
        {1024, "1.00 KB", true},
        {1030, "1.01 KB", true},  // 1.005859375
        {1048575, "1024.00 KB", true},
        {1048576, "1.00 MB", true},
        {1152 * 1024, "1.12 MB", true},  // 1.125 is exact: round half to even
        {qint64{5} << 28, "1.25 GB", true},
        {std::numeric_limits<qint64>::max(), "8388608.00 TB", true},
        {-2048, "-2048 Bytes", true},
        {std::numeric_limits<qint64>::min(), "0 Bytes", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.isSize ? formatSize(c.count) : formatDuration(c.count), c.text) << c.count;
}

}  // namespace
