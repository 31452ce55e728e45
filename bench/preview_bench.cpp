// The preview's cost with the real player on an X server: the time from
// pressing Play to the first picture in the video area, and the processor
// time the recorder and the player use during a stretch of playback, beside
// the same player playing the same file on its own.
//
//   preview_bench RECORDING [SECONDS] [RUNS]
//
// Run it under an X server (bench/preview-vs-mplayer.sh starts a private
// Xvfb). SECONDS (default 10) of playback are measured, RUNS (default 3)
// times; every run is printed and the best one summarised.
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "player/player_command_line.h"
#include "ui/drui.h"

namespace {

// CPU seconds (user + system) of a process, from /proc.
double processCpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QByteArray text = stat.readAll();
    // Fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double ownCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Lets the application run as it would, idle between events.
void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Whether the video area, as the X server shows it, holds a picture: the
// empty area is one flat colour, the test pattern has many.
bool pictureShown(const QLabel* video) {
    const QPoint corner = video->mapToGlobal(QPoint(0, 0));
    const QImage image =
        QGuiApplication::primaryScreen()
            ->grabWindow(0, corner.x(), corner.y(), video->width(), video->height())
            .toImage();
    constexpr int kGrid = 16;
    constexpr int kColoursOfAPicture = 8;
    QSet<QRgb> colours;
    for (int y = 0; y < kGrid; ++y) {
        for (int x = 0; x < kGrid; ++x) {
            colours.insert(image.pixel(x * image.width() / kGrid, y * image.height() / kGrid));
        }
    }
    return colours.size() >= kColoursOfAPicture;
}

struct PreviewRun {
    QSize videoArea;
    double firstPictureMs = -1;
    double recorderCpuPercent = 0;
    double playerCpuPercent = 0;
};

PreviewRun measurePreview(const QString& recording, int seconds, const QString& iniPath) {
    DRUI window;
    window.setIniPath(iniPath);
    window.setupPages();
    window.show();
    runFor(300);
    window.btnMontageSlot();
    window.cutTable->selectRow(0);
    window.CutTableItemClick(window.cutTable->item(0, 0));
    if (window.cutState().selectedFile != recording) {
        std::fprintf(stderr, "the cut page does not list %s\n", qPrintable(recording));
        return {};
    }

    PreviewRun run;
    run.videoArea = window.videoLabel->size();
    QElapsedTimer clock;
    clock.start();
    window.playButton->click();
    while (clock.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::AllEvents, 1);
        if (pictureShown(window.videoLabel)) {
            run.firstPictureMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            break;
        }
    }
    const qint64 pid = window.previewPlayer().process()->processId();
    const double ownBefore = ownCpuSeconds();
    const double playerBefore = processCpuSeconds(pid);
    runFor(seconds * 1000);
    run.recorderCpuPercent = (ownCpuSeconds() - ownBefore) * 100 / seconds;
    run.playerCpuPercent = (processCpuSeconds(pid) - playerBefore) * 100 / seconds;
    window.cutBackButton->click();
    return run;
}

struct PlayerAloneRun {
    double firstPictureMs = -1;
    double cpuPercent = 0;
};

// The same player with the same command line on the same file, drawing into
// a bare window of the video area's size: what the player costs without us.
PlayerAloneRun measurePlayerAlone(const QString& program, const QString& recording, int seconds,
                                  QSize area) {
    PlayerAloneRun run;
    QLabel bare;
    bare.setFixedSize(area);
    bare.show();
    runFor(300);
    QProcess player;
    player.setStandardOutputFile(QProcess::nullDevice());
    player.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    player.start(program, player::playerArguments(bare.winId(), recording));
    if (!player.waitForStarted()) {
        return run;
    }
    while (clock.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::AllEvents, 1);
        if (pictureShown(&bare)) {
            run.firstPictureMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            break;
        }
    }
    const double before = processCpuSeconds(player.processId());
    runFor(seconds * 1000);
    run.cpuPercent = (processCpuSeconds(player.processId()) - before) * 100 / seconds;
    player.kill();
    player.waitForFinished();
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: preview_bench RECORDING [SECONDS] [RUNS]\n");
        return 2;
    }
    const QString recording = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 3;
    const QString program = player::findPlayerProgram(QCoreApplication::applicationDirPath());
    if (program.isEmpty()) {
        std::fprintf(stderr, "no player found (install mplayer)\n");
        return 1;
    }

    // The cut page lists the recording's directory: the settings name it.
    QTemporaryDir settings;
    const QString iniPath = settings.filePath(QStringLiteral("VodozaZevuri.ini"));
    QFile ini(iniPath);
    ini.open(QIODevice::WriteOnly);
    QTextStream(&ini) << "[screen_record]\nsave_path=" << QFileInfo(recording).absolutePath()
                      << "\n";
    ini.close();

    std::vector<PreviewRun> results;
    for (int i = 0; i < runs; ++i) {
        const PreviewRun run = measurePreview(recording, seconds, iniPath);
        std::printf(
            "preview run %d: first picture %.0f ms, recorder CPU %.2f %%, player CPU "
            "%.1f %%\n",
            i + 1, run.firstPictureMs, run.recorderCpuPercent, run.playerCpuPercent);
        results.push_back(run);
    }
    const QSize videoArea = results.front().videoArea;
    PlayerAloneRun alone{1e9, 1e9};
    for (int i = 0; i < runs; ++i) {
        const PlayerAloneRun run = measurePlayerAlone(program, recording, seconds, videoArea);
        std::printf("player alone run %d: first picture %.0f ms, CPU %.1f %%\n", i + 1,
                    run.firstPictureMs, run.cpuPercent);
        alone.firstPictureMs = std::min(alone.firstPictureMs, run.firstPictureMs);
        alone.cpuPercent = std::min(alone.cpuPercent, run.cpuPercent);
    }

    auto best = [&](auto field) {
        double value = 1e9;
        for (const PreviewRun& run : results) {
            if (run.firstPictureMs >= 0) {
                value = std::min(value, run.*field);
            }
        }
        return value;
    };
    std::printf("\nbest of %d, %d s of playback each:\n", runs, seconds);
    std::printf(
        "  first picture after Play: %.0f ms (goal under 400 ms); the player alone, from its "
        "start: %.0f ms\n",
        best(&PreviewRun::firstPictureMs), alone.firstPictureMs);
    std::printf("  recorder CPU during preview: %.2f %% of one core (goal under 2 %%)\n",
                best(&PreviewRun::recorderCpuPercent));
    std::printf("  player CPU during preview: %.1f %%; the player alone: %.1f %%\n",
                best(&PreviewRun::playerCpuPercent), alone.cpuPercent);
    return 0;
}
