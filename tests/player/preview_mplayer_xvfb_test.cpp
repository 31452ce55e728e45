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
#include <algorithm>
#include <cerrno>

#include "tests/support/programs.h"
#include "tests/ui/ui_test_support.h"

namespace {

using player::PlayerState;

// The colour the screen shows while it is recorded.
const QColor kScreenColour(0x30, 0xC0, 0x60);
constexpr int kRecordSeconds = 6;

// The mean colour of an image, as one pixel.
QColor meanColour(const QImage& image) {
    return QColor::fromRgb(
        image.scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixel(0, 0));
}

bool closeColours(const QColor& a, const QColor& b) {
    constexpr int kTolerance = 24;  // Video 1 keeps 5 bits a channel
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())}) <= kTolerance;
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
        std::string out;
        testsupport::runCommand("xsetroot -solid '" + kScreenColour.name().toStdString() + "'",
                                out);
        const int status = testsupport::runCommand(
            TESSALY_BIN_DIR "/tessaly-avi record --seconds " + std::to_string(kRecordSeconds) +
                " --dir '" + tempDir.path().toStdString() + "'",
            out);
        const QString recorded = status == 0 ? QString::fromStdString(out).trimmed() : QString();
        testsupport::runCommand("xsetroot -solid black", out);
        return recorded;
    }

    // What the X server shows in the video area now.
    QImage videoArea() const {
        const QRect area(window->videoLabel->mapToGlobal(QPoint(0, 0)), window->videoLabel->size());
        return QGuiApplication::primaryScreen()
            ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
            .toImage();
    }

    // The recording's mean colour as FFmpeg decodes it.
    QColor recordedColour() const {
        const std::vector<std::uint8_t> rgb =
            testsupport::ffmpegDecode(recording.toStdString(), "rgb24");
        double sums[3] = {};
        for (size_t i = 0; i < rgb.size(); ++i) {
            sums[i % 3] += rgb[i];
        }
        const double pixels = static_cast<double>(rgb.size() / 3);
        return rgb.empty() ? QColor()
                           : QColor(sums[0] / pixels, sums[1] / pixels, sums[2] / pixels);
    }

    double position() const { return player::readNumber(window->previewPlayer().positionText()); }

    QString recording;
};

TEST_F(PreviewMplayerTest, PlaysSeeksPausesAndEndsInsideTheVideoArea) {
    const QColor expected = recordedColour();
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
    EXPECT_EQ(window->previewPlayer().state(), PlayerState::Paused);

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
