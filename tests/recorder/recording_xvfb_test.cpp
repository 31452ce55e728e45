// Real recordings of a real X server (the Xvfb of scripts/with-xvfb.sh): the
// main window's own slots and timer recording a known picture, and the
// command-line recorder stopped by a signal or killed outright.
#include <gtest/gtest.h>

#include <signal.h>
#include <string.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

#include "media/avi_reader.h"
#include "recorder_test_support.h"
#include "tests/support/x11_test_display.h"

namespace {

struct Rect {
    int x, y, w, h;
    bool contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

// The known picture: a blue root window with a red window top left (a flip
// either way moves it), on 4-pixel boundaries like Video 1's blocks.
constexpr std::uint32_t kRootColour = 0x3366CC;
constexpr Rect kRedRect{20, 20, 300, 148};
constexpr std::uint32_t kRed = 0xFF0000;

// Counts pixels that differ from the known picture, top-down rows of 5-5-5
// pixels, leaving out `skip` (where the main window may lie).
int mismatches(const std::uint16_t* topDown, int width, int height, const Rect& skip) {
    int bad = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t colour = kRedRect.contains(x, y) ? kRed : kRootColour;
            bad += !skip.contains(x, y) && (topDown[y * width + x] & 0x7FFF) != rgb555(colour);
        }
    }
    return bad;
}

const QString kTessalyAvi = QStringLiteral(TESSALY_BIN_DIR "/tessaly-avi");

// dwTotalFrames of the main AVI header: the frames the last header refresh
// on disk speaks for.
std::uint32_t headerFrameCount(const QString& path) {
    QFile file(path);
    const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(52) : QByteArray();
    return head.size() < 52 ? 0
                            : media::le32(reinterpret_cast<const std::uint8_t*>(head.data()) + 48);
}

TEST(RecordingOnXvfb, TheWindowsSlotsRecordTheKnownPicture) {
    XPainter painter;
    ASSERT_TRUE(painter.ok()) << "no X display";
    painter.paintRoot(kRootColour);
    painter.addWindow(kRedRect.x, kRedRect.y, kRedRect.w, kRedRect.h, kRed);

    QTemporaryDir dir;
    std::vector<QString> messages;
    const QString saveDir = dir.filePath(QStringLiteral("TessalySave"));
    const std::unique_ptr<DRUI> window = openRecordPage(dir, saveDir, messages);
    ASSERT_EQ(window->recording().screenStatus(), 0);

    window->btnSlotRecord();
    runEventLoopFor(2100);
    window->btnSlotRecord();
    EXPECT_TRUE(messages.empty());

    const QStringList files = QDir(saveDir).entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    const QString path = QDir(saveDir).filePath(files[0]);
    EXPECT_EQ(testsupport::ffprobeStream(path.toStdString(), "v:0")["r_frame_rate"], "5/1");

    // The window may lie in the middle of the screen (minimised where there
    // is no tray): that part is left out.
    const Rect windowArea{window->x() - 4, window->y() - 4, window->width() + 8,
                          window->height() + 8};
    const std::vector<std::uint8_t> raw = testsupport::ffmpegDecode(path.toStdString(), "rgb555le");
    const std::size_t frameBytes = 1920 * 1080 * 2;
    ASSERT_GE(raw.size(), 6 * frameBytes);
    EXPECT_EQ(mismatches(reinterpret_cast<const std::uint16_t*>(raw.data() + 5 * frameBytes), 1920,
                         1080, windowArea),
              0);
}

// SIGHUP is what a closed terminal sends, SIGTERM a logout, SIGINT Ctrl+C:
// each lets the recorder complete its file. After SIGKILL nothing runs: the
// repaired file keeps every frame of the last header refresh on disk. A
// save directory removed under the recorder (0) fails naming the file.
TEST(RecordingOnXvfb, TheCommandRecordersFileSurvivesEveryWayItEnds) {
    for (const int signalNumber : {SIGTERM, SIGHUP, SIGINT, SIGKILL, 0}) {
        SCOPED_TRACE(signalNumber ? ::strsignal(signalNumber) : "directory removed");
        QTemporaryDir dir;
        const QString saveDir = dir.filePath(QStringLiteral("save"));
        QProcess recorder;
        recorder.start(kTessalyAvi, {"record", "--dir", saveDir});
        ASSERT_TRUE(recorder.waitForReadyRead(20000)) << "no path printed";
        const QString path = QString::fromLocal8Bit(recorder.readLine()).trimmed();
        if (signalNumber == 0) {
            ASSERT_TRUE(QDir(saveDir).removeRecursively());
            ASSERT_TRUE(recorder.waitForFinished(20000)) << "still recording into a deleted file";
            EXPECT_EQ(recorder.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(recorder.exitCode(), 1);  // not a sanitizer's finding
            const QString errors = QString::fromLocal8Bit(recorder.readAllStandardError());
            EXPECT_TRUE(errors.contains("Record failed. Create Avi file failed.\n") &&
                        errors.contains(path))
                << errors.toStdString();
            continue;
        }
        // Long enough for at least one refresh after the first frame's.
        QThread::msleep(3500);
        ::kill(static_cast<pid_t>(recorder.processId()), signalNumber);
        ASSERT_TRUE(recorder.waitForFinished(20000));
        std::uint32_t framesKept = 5;
        if (signalNumber == SIGKILL) {
            EXPECT_EQ(recorder.exitStatus(), QProcess::CrashExit);
            framesKept = headerFrameCount(path);
            ASSERT_GE(framesKept, 1u);
            std::string report;
            ASSERT_EQ(testsupport::runCommand(
                          (kTessalyAvi + " repair '" + path + "' 2>&1").toStdString(), report),
                      0)
                << report;
            EXPECT_FALSE(QFile::exists(path + QStringLiteral(".repair-tmp")));
        } else {
            EXPECT_EQ(recorder.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(recorder.exitCode(), 0) << recorder.readAllStandardError().toStdString();
        }
        media::AviReader reader;
        ASSERT_EQ(reader.open(QFile::encodeName(path).toStdString()), 0);
        EXPECT_EQ(reader.recoveredChunks(), 0u);
        EXPECT_EQ(reader.streamCount(), 1);
        EXPECT_GE(reader.stream(0).chunks.size(), framesKept);
        EXPECT_EQ(testsupport::ffprobePacketSizes(path.toStdString(), 0).size(),
                  reader.stream(0).header.length);
        EXPECT_GE(testsupport::ffprobeDecodedFrames(path.toStdString()),
                  static_cast<int>(framesKept));
    }
}

}  // namespace
