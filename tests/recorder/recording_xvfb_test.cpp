// Real recordings of a real X server (the Xvfb of scripts/with-xvfb.sh): the
// main window's own slots and timer recording a known picture, and the
// command-line recorder stopped by a signal or killed outright.
#include <gtest/gtest.h>

#include <signal.h>
#include <string.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include "media/avi_reader.h"
#include "recorder_test_support.h"
#include "tests/support/scoped_tmpfs.h"
#include "tests/support/window_test_application.h"
#include "tests/support/x11_test_display.h"
#include "ui/drui.h"

namespace {

struct Rect {
    int x, y, w, h;
    bool contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

// The known picture: a blue root window with a red window top left and a
// green one bottom right, on 4-pixel boundaries like Video 1's blocks.
constexpr std::uint32_t kRootColour = 0x3366CC;
constexpr Rect kRedRect{20, 20, 300, 148};
constexpr std::uint32_t kRed = 0xFF0000;
constexpr Rect kGreenRect{1560, 900, 300, 148};
constexpr std::uint32_t kGreen = 0x00FF00;

std::uint16_t expectedPixel(int x, int y) {
    if (kRedRect.contains(x, y))
        return rgb555(kRed);
    if (kGreenRect.contains(x, y))
        return rgb555(kGreen);
    return rgb555(kRootColour);
}

// Counts pixels that differ from the known picture, top-down rows of 5-5-5
// pixels, leaving out `skip` (where the main window may lie).
int mismatches(const std::uint16_t* topDown, int width, int height, const Rect& skip) {
    int bad = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (!skip.contains(x, y) && (topDown[y * width + x] & 0x7FFF) != expectedPixel(x, y))
                ++bad;
    return bad;
}

// The window shown on its record page, saving into `saveDir`; its messages
// are collected instead of shown.
void openRecordPage(DRUI& window, const QTemporaryDir& dir, const QString& saveDir,
                    std::vector<QString>& messages) {
    window.setIniPath(dir.filePath(QStringLiteral("VodozaZevuri.ini")));
    window.setupPages();
    window.showInformation = [&messages](QWidget*, const QString&, const QString& text) {
        messages.push_back(text);
    };
    window.chooseDirectory = [saveDir](QWidget*) { return saveDir; };
    window.btnSlotLayout2Dir();
    window.show();
    window.btnSlot();
}

QString tessalyAvi() {
    return QStringLiteral(TESSALY_BIN_DIR "/tessaly-avi");
}

// Starts `tessaly-avi record --dir DIR` and reads the path it announces.
void startCommandRecorder(QProcess& recorder, const QString& dir, QString& path) {
    recorder.start(tessalyAvi(), {"record", "--dir", dir});
    ASSERT_TRUE(recorder.waitForStarted());
    ASSERT_TRUE(recorder.waitForReadyRead(20000)) << "no path printed";
    path = QString::fromLocal8Bit(recorder.readLine()).trimmed();
}

// dwTotalFrames of the main AVI header: the frames the last header refresh
// on disk speaks for.
std::uint32_t headerFrameCount(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray head = f.read(52);
    if (head.size() < 52)
        return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(head.constData()) + 48;
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

TEST(RecordingOnXvfb, TheWindowsSlotsRecordTheKnownPicture) {
    XPainter painter;
    ASSERT_TRUE(painter.ok()) << "no X display";
    painter.paintRoot(kRootColour);
    painter.addWindow(kRedRect.x, kRedRect.y, kRedRect.w, kRedRect.h, kRed);
    painter.addWindow(kGreenRect.x, kGreenRect.y, kGreenRect.w, kGreenRect.h, kGreen);

    ensureApplication();
    QTemporaryDir dir;
    DRUI window;
    std::vector<QString> messages;
    const QString saveDir = dir.filePath(QStringLiteral("TessalySave"));
    openRecordPage(window, dir, saveDir, messages);
    ASSERT_EQ(window.recording().screenStatus(), 0);

    QElapsedTimer recording;
    window.btnSlotRecord();
    recording.start();
    runEventLoopFor(2100);
    window.btnSlotRecord();
    const qint64 recordedMs = recording.elapsed();
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(window.isVisible());

    const QStringList files = QDir(saveDir).entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{14}\\.avi$")).match(files[0]).hasMatch())
        << files[0].toStdString();
    const QString path = QDir(saveDir).filePath(files[0]);

    auto probe = testsupport::ffprobeStream(path.toStdString(), "v:0");
    EXPECT_TRUE(testsupport::ffprobeStream(path.toStdString(), "a").empty());
    EXPECT_EQ(probe["codec_name"], "msvideo1");
    EXPECT_EQ(probe["width"], "1920");
    EXPECT_EQ(probe["height"], "1080");
    EXPECT_EQ(probe["r_frame_rate"], "5/1");
    const int packets =
        static_cast<int>(testsupport::ffprobePacketSizes(path.toStdString(), 0).size());
    // About two seconds at 5 frames a second. Late ticks are filled in, so
    // the count follows the time the recording really ran, whatever the
    // machine's load: one frame per 200 ms, the first 200 ms after the start.
    const int expectedFrames = static_cast<int>(recordedMs / 200);
    EXPECT_GE(packets, expectedFrames - 1);
    EXPECT_LE(packets, expectedFrames + 1);
    EXPECT_GE(packets, 8);

    // The window may lie in the middle of the screen (minimised where there
    // is no tray): that part is left out.
    const Rect windowArea{window.x() - 4, window.y() - 4, window.width() + 8, window.height() + 8};
    const std::vector<std::uint8_t> raw = testsupport::ffmpegDecode(path.toStdString(), "rgb555le");
    const std::size_t frameBytes = 1920 * 1080 * 2;
    ASSERT_GE(raw.size(), 6 * frameBytes);
    EXPECT_EQ(mismatches(reinterpret_cast<const std::uint16_t*>(raw.data() + 5 * frameBytes), 1920,
                         1080, windowArea),
              0);
}

TEST(RecordingOnXvfb, AFullDriveEndsTheRecordingWithItsMessage) {
    // A whole-screen key frame of the painted picture takes about 260 KB:
    // 1 MiB holds a few seconds of it.
    ScopedTmpfs small("size=1m");
    if (!small.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << small.error().toStdString();
    XPainter painter;
    ASSERT_TRUE(painter.ok()) << "no X display";
    painter.paintRoot(kRootColour);
    painter.addWindow(kRedRect.x, kRedRect.y, kRedRect.w, kRedRect.h, kRed);

    ensureApplication();
    QTemporaryDir dir;
    DRUI window;
    std::vector<QString> messages;
    openRecordPage(window, dir, small.path(), messages);
    window.btnSlotRecord();
    std::uint64_t lastCount = 0;
    for (int i = 0; i < 600 && window.recording().isRecording(); ++i) {
        lastCount = window.recording().frameCount();
        runEventLoopFor(100);
    }
    ASSERT_FALSE(window.recording().isRecording()) << "the drive never filled";
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], QStringLiteral("Not enough space, recording stopped."));
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());
    EXPECT_EQ(window.recordButton->text(), QStringLiteral("Start"));

    const QString path = window.recording().recordFilePath();
    media::AviReader reader;
    ASSERT_EQ(reader.open(QFile::encodeName(path).toStdString()), 0);
    EXPECT_GE(reader.stream(0).chunks.size(), lastCount);
    EXPECT_GT(lastCount, 0u);
    EXPECT_GE(testsupport::ffprobeDecodedFrames(path.toStdString()), static_cast<int>(lastCount));
}

TEST(RecordingOnXvfb, TheCommandRecorderCompletesItsFileOnEveryTerminationSignal) {
    // SIGHUP is what a closed terminal sends, SIGTERM a logout, SIGINT Ctrl+C.
    for (const int signalNumber : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(::strsignal(signalNumber));
        QTemporaryDir dir;
        QProcess recorder;
        QString path;
        ASSERT_NO_FATAL_FAILURE(startCommandRecorder(recorder, dir.path(), path));
        QThread::msleep(1500);
        ::kill(static_cast<pid_t>(recorder.processId()), signalNumber);
        ASSERT_TRUE(recorder.waitForFinished(20000));
        EXPECT_EQ(recorder.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(recorder.exitCode(), 0) << recorder.readAllStandardError().toStdString();
        EXPECT_EQ(QFileInfo(path).dir().absolutePath(), QDir(dir.path()).absolutePath());

        media::AviReader reader;
        ASSERT_EQ(reader.open(QFile::encodeName(path).toStdString()), 0);
        EXPECT_NE(reader.indexKind(), media::AviIndexKind::Scan);
        EXPECT_EQ(reader.recoveredChunks(), 0u);
        EXPECT_GE(reader.stream(0).chunks.size(), 5u);
        EXPECT_EQ(reader.streamCount(), 1);
        EXPECT_EQ(testsupport::ffprobePacketSizes(path.toStdString(), 0).size(),
                  reader.stream(0).header.length);
    }
}

TEST(RecordingOnXvfb, TheCommandRecorderFailsNamingTheFileWhenItsDirectoryIsRemoved) {
    QTemporaryDir dir;
    const QString saveDir = dir.filePath(QStringLiteral("save"));
    QProcess recorder;
    QString path;
    ASSERT_NO_FATAL_FAILURE(startCommandRecorder(recorder, saveDir, path));
    ASSERT_TRUE(QDir(saveDir).removeRecursively());
    if (!recorder.waitForFinished(20000)) {
        recorder.kill();
        recorder.waitForFinished();
        FAIL() << "still recording into a deleted file";
    }
    EXPECT_EQ(recorder.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(recorder.exitCode(), 0);
    const QString errors = QString::fromLocal8Bit(recorder.readAllStandardError());
    EXPECT_TRUE(errors.contains(QStringLiteral("Record failed. Create Avi file failed.\n")))
        << errors.toStdString();
    EXPECT_TRUE(errors.contains(path)) << errors.toStdString();
}

TEST(RecordingOnXvfb, AKilledRecordingRepairsWithEveryFrameOfItsLastRefresh) {
    QTemporaryDir dir;
    QProcess recorder;
    QString path;
    ASSERT_NO_FATAL_FAILURE(startCommandRecorder(recorder, dir.path(), path));
    // Long enough for at least one refresh after the first frame's.
    QThread::msleep(3500);
    recorder.kill();  // SIGKILL: nothing runs after this
    ASSERT_TRUE(recorder.waitForFinished(20000));
    EXPECT_EQ(recorder.exitStatus(), QProcess::CrashExit);

    const std::uint32_t refreshed = headerFrameCount(path);
    ASSERT_GE(refreshed, 1u);
    std::string report;
    ASSERT_EQ(testsupport::runCommand((tessalyAvi() + " repair '" + path + "' 2>&1").toStdString(),
                                      report),
              0)
        << report;
    EXPECT_FALSE(QFile::exists(path + QStringLiteral(".repair-tmp")));

    media::AviReader reader;
    ASSERT_EQ(reader.open(QFile::encodeName(path).toStdString()), 0);
    EXPECT_NE(reader.indexKind(), media::AviIndexKind::Scan);
    EXPECT_GE(reader.stream(0).chunks.size(), refreshed);
    EXPECT_GE(testsupport::ffprobeDecodedFrames(path.toStdString()), static_cast<int>(refreshed));
}

}  // namespace
