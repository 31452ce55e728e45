// Filling the recordings tables from a directory of 1000 recordings: the scan
// with the header-only duration probe alone, and the whole fill of the merge
// and cut pages' tables (widgets on Qt's offscreen platform).
//
// The recordings are written once per run into a temporary directory, with
// the writer the recorder uses (Video 1 frames and PCM sound, full-size
// headers with their reserved OpenDML index room); their contents are tiny.
// "Warm" runs read from the page cache; "EvictedPages" runs first drop the
// files' cached pages (posix_fadvise), so every header read goes to the disk
// again, as on the first opening of a page after a reboot.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFocusEvent>
#include <QLineEdit>
#include <QTableWidget>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

#include "filelist/avi_duration.h"
#include "filelist/video_scan.h"
#include "platform/native_path.h"
#include "tests/support/sample_recordings.h"
#include "ui/drui.h"

namespace {

// A directory of a heavy user: a year of daily recordings and then some.
constexpr int kRecordings = 1000;
constexpr int kFramesPerRecording = 10;

QTemporaryDir* gDirectory = nullptr;

QString recordingName(int index) {
    // Date-time names as the recorder gives them, one a day.
    return QStringLiteral("2016%1093007.avi").arg(index, 4, 10, QLatin1Char('0'));
}

bool makeRecordings() {
    gDirectory = new QTemporaryDir;
    if (!gDirectory->isValid()) {
        return false;
    }
    avisamples::RecordingShape shape;
    shape.frames = kFramesPerRecording;
    shape.video1 = true;
    shape.withSound = true;
    for (int i = 0; i < kRecordings; ++i) {
        if (avisamples::writeRecording(QDir(gDirectory->path()).filePath(recordingName(i)),
                                       shape)) {
            return false;
        }
    }
    return true;
}

void evictCachedPages() {
    for (int i = 0; i < kRecordings; ++i) {
        const QByteArray path =
            QFile::encodeName(QDir(gDirectory->path()).filePath(recordingName(i)));
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }
}

qint64 scanAndProbe() {
    QVector<VideoFileEntry> entries;
    scanVideoDirectory(gDirectory->path(), entries);
    qint64 total = 0;
    for (VideoFileEntry& entry : entries) {
        entry.duration = aviDurationSeconds(platform::joinPath(gDirectory->path(), entry.name));
        total += entry.duration;
    }
    return total;
}

void BM_ScanAndProbe(benchmark::State& state, bool evict) {
    for (auto _ : state) {
        if (evict) {
            state.PauseTiming();
            evictCachedPages();
            state.ResumeTiming();
        }
        const qint64 total = scanAndProbe();
        if (total != qint64{kRecordings} * kFramesPerRecording / 5) {
            state.SkipWithError("wrong durations");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kRecordings);
}
BENCHMARK_CAPTURE(BM_ScanAndProbe, Warm, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ScanAndProbe, EvictedPages, true)->Unit(benchmark::kMillisecond);

// Leaving a directory field refills its table, as typing a directory does.
void BM_FillTable(benchmark::State& state, bool mergePage, bool evict) {
    DRUI window;
    window.setIniPath(QDir(gDirectory->path()).filePath(QStringLiteral("bench.ini")));
    window.setupPages();
    QLineEdit* field = mergePage ? window.mergeDirEdit : window.cutDirEdit;
    QTableWidget* table = mergePage ? window.sourceTable : window.cutTable;
    field->setText(gDirectory->path());
    window.show();
    for (auto _ : state) {
        if (evict) {
            state.PauseTiming();
            evictCachedPages();
            state.ResumeTiming();
        }
        QFocusEvent out(QEvent::FocusOut, Qt::OtherFocusReason);
        window.eventFilter(field, &out);
        if (table->rowCount() != kRecordings) {
            state.SkipWithError("wrong row count");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kRecordings);
}
BENCHMARK_CAPTURE(BM_FillTable, SourceTableWarm, true, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FillTable, SourceTableEvictedPages, true, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FillTable, CutTableWarm, false, false)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (!makeRecordings()) {
        std::fprintf(stderr, "could not write the recordings\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete gDirectory;
    return 0;
}
