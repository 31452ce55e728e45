// The preview with the real mplayer on a real X server (the Xvfb of
// scripts/with-xvfb.sh), playing a recording made by the command-line
// recorder of that same screen, with no sound server reachable.
#include <signal.h>

#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStandardPaths>
#include <QTableWidget>
#include <cerrno>

#include "tests/ui/ui_test_support.h"

namespace {

using player::PlayerState;

// The colour the screen shows while it is recorded.
const QColor kScreenColour(0x30, 0xC0, 0x60);
constexpr int kRecordSeconds = 6;

QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The mean colour of an image, as one pixel.
QColor meanColour(const QImage& image) {
    return QColor::fromRgb(
        image.scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixel(0, 0));
}

void runFor(int ms) {
    QDeadlineTimer until(ms);
    while (!until.hasExpired()) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

bool closeColours(const QColor& a, const QColor& b) {
    constexpr int kTolerance = 24;  // Video 1 keeps 5 bits a channel
    return std::abs(a.red() - b.red()) <= kTolerance &&
           std::abs(a.green() - b.green()) <= kTolerance &&
           std::abs(a.blue() - b.blue()) <= kTolerance;
}

class PreviewMplayerTest : public MainWindowTest {
  protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("mplayer")).isEmpty()) {
            GTEST_SKIP() << "mplayer is not installed (scripts/install-deps.sh installs it)";
        }
        MainWindowTest::SetUp();
        // No sound server: the picture must play all the same.
        qputenv("PULSE_SERVER", "unix:/nonexistent/native");
        recording = recordTheScreen();
        ASSERT_FALSE(recording.isEmpty());
        writeIni(tempDir.path());
        buildPages();
        window->show();
        window->btnMontageSlot();
        ASSERT_EQ(window->cutTable->rowCount(), 1);
        window->cutTable->selectRow(0);
        window->CutTableItemClick(window->cutTable->item(0, 0));
    }

    QString recordTheScreen() {
        const QString directory = tempDir.filePath(QStringLiteral("rec"));
        run(QStringLiteral("xsetroot"), {QStringLiteral("-solid"), kScreenColour.name()});
        const QString out = run(QStringLiteral(TESSALY_BIN_DIR "/tessaly-avi"),
                                {QStringLiteral("record"), QStringLiteral("--dir"), tempDir.path(),
                                 QStringLiteral("--seconds"), QString::number(kRecordSeconds)});
        run(QStringLiteral("xsetroot"), {QStringLiteral("-solid"), QStringLiteral("black")});
        return out.trimmed();
    }

    // What the X server shows in the video area now.
    QImage videoArea() const {
        const QRect area(window->videoLabel->mapToGlobal(QPoint(0, 0)), window->videoLabel->size());
        return QGuiApplication::primaryScreen()
            ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
            .toImage();
    }

    // The first frame of the recording as FFmpeg decodes it, averaged.
    QColor recordedColour() const {
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {"-v", "error", "-i", recording, "-frames:v", "1", "-vf", "scale=1:1", "-f",
                      "rawvideo", "-pix_fmt", "rgb24", "-"});
        ffmpeg.waitForFinished();
        const QByteArray rgb = ffmpeg.readAllStandardOutput();
        if (rgb.size() != 3) {
            return {};
        }
        return QColor(quint8(rgb[0]), quint8(rgb[1]), quint8(rgb[2]));
    }

    double position() const { return player::readNumber(window->previewPlayer().positionText()); }

    QString recording;
};

TEST_F(PreviewMplayerTest, PlaysSeeksPausesAndEndsInsideTheVideoArea) {
    const QColor expected = recordedColour();
    ASSERT_TRUE(expected.isValid());
    ASSERT_TRUE(closeColours(expected, kScreenColour)) << expected.name().toStdString();

    window->playButton->click();
    ASSERT_TRUE(processEventsUntil([&] { return window->startTimeButton->isEnabled(); }))
        << "the length answer enables Start Time";
    EXPECT_EQ(window->positionSlider->maximum(), kRecordSeconds);
    ASSERT_TRUE(processEventsUntil([&] { return closeColours(meanColour(videoArea()), expected); }))
        << "the video area shows " << meanColour(videoArea()).name().toStdString();

    window->current(4);
    ASSERT_TRUE(processEventsUntil([&] { return position() >= 4.0 && position() < 5.5; }));

    window->playButton->click();  // pause
    const double pausedAt = position();
    runFor(600);
    EXPECT_EQ(window->previewPlayer().state(), PlayerState::Paused);
    EXPECT_LE(position() - pausedAt, 0.25) << "the player still runs";

    window->playButton->click();  // resume, to the end of the file
    ASSERT_TRUE(processEventsUntil([&] { return window->playButton->text() == "Play"; }));
    EXPECT_EQ(window->previewPlayer().state(), PlayerState::Ended);
    EXPECT_TRUE(window->cutState().playerFile.isEmpty());

    window->btnLayout3Play();  // a new player on the same file
    ASSERT_TRUE(processEventsUntil([&] { return position() > 0.5; }));
    const pid_t pid = static_cast<pid_t>(window->previewPlayer().process()->processId());
    window->cutBackButton->click();
    EXPECT_EQ(::kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

}  // namespace
