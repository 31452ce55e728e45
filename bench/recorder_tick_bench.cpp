// The cost of one capture tick (grab the X screen, encode with Video 1, write
// to the file) at the screen's full size, for a still screen and for one that
// changes everywhere between ticks. Run on an X server of its own (see
// recorder-tick-vs-ffmpeg.sh):
//
//   recorder_tick_bench ticks --scene still|change --frames N --dir DIR
//       prints "scene frames cpu_ms_per_tick(mean) cpu_ms_min cpu_ms_median
//       wall_ms_mean wall_ms_median bytes"
//   recorder_tick_bench paint --interval-ms M
//       repaints the whole screen with a new picture every M ms until killed
//       (the moving screen for FFmpeg's run)
//
// CPU time is this thread's own, measured around the tick only; repainting
// between ticks is left out, and so is the X server's share of the grab
// (FFmpeg's figure leaves it out the same way).
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/x11_screen_source.h"
#include "recorder/recording_controller.h"

namespace {

double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double wallMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// Steps 200 ms per tick, so header refreshes come as often as in a real
// recording while the ticks run back to back.
class TickClock final : public recorder::Clock {
  public:
    QDateTime localNow() const override { return QDateTime::currentDateTime(); }
    std::int64_t monotonicMs() const override { return ms; }
    std::int64_t ms = 0;
};

// Paints the root window through its own connection: a colour field that
// moves by a few pixels per picture, so every block differs from the last.
class ScreenPainter {
  public:
    ScreenPainter() {
        c_ = xcb_connect(nullptr, nullptr);
        screen_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        gc_ = xcb_generate_id(c_);
        xcb_create_gc(c_, gc_, screen_->root, 0, nullptr);
        width_ = screen_->width_in_pixels;
        height_ = screen_->height_in_pixels;
        rows_.resize(static_cast<std::size_t>(width_) * kStripRows);
    }
    ~ScreenPainter() { xcb_disconnect(c_); }
    bool ok() const {
        return !xcb_connection_has_error(c_) && screen_ && screen_->root_depth >= 24;
    }

    void paint(int picture) {
        for (int y0 = 0; y0 < height_; y0 += kStripRows) {
            const int rows = std::min(kStripRows, height_ - y0);
            for (int y = 0; y < rows; ++y)
                for (int x = 0; x < width_; ++x)
                    rows_[static_cast<std::size_t>(y) * width_ + x] = pixel(x, y0 + y, picture);
            xcb_put_image(c_, XCB_IMAGE_FORMAT_Z_PIXMAP, screen_->root, gc_,
                          static_cast<std::uint16_t>(width_), static_cast<std::uint16_t>(rows), 0,
                          static_cast<std::int16_t>(y0), 0, screen_->root_depth,
                          static_cast<std::uint32_t>(rows * width_ * 4),
                          reinterpret_cast<const std::uint8_t*>(rows_.data()));
        }
        // A round trip: the picture is on the screen before the next grab.
        free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
    }

  private:
    static std::uint32_t pixel(int x, int y, int picture) {
        const int shift = picture * 7;
        const auto r = static_cast<std::uint32_t>((x + shift) * 255 / 1920) & 0xFF;
        const auto g = static_cast<std::uint32_t>((y * 2 + shift) & 0xFF);
        const auto b = static_cast<std::uint32_t>(((x ^ y) + picture * 13) & 0xFF);
        return r << 16 | g << 8 | b;
    }
    static constexpr int kStripRows = 64;
    xcb_connection_t* c_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
    xcb_gcontext_t gc_ = 0;
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint32_t> rows_;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

int runTicks(const std::string& scene, int frames, const QString& dir) {
    X11ScreenSource screen;
    TickClock clock;
    recorder::RecordingController controller(screen, clock);
    if (controller.screenStatus() != 0) {
        std::fprintf(stderr, "no screen: %s\n", screenStatusName(controller.screenStatus()));
        return 1;
    }
    const bool moving = scene == "change";
    ScreenPainter painter;
    if (!painter.ok()) {
        std::fprintf(stderr, "cannot paint the screen\n");
        return 1;
    }
    painter.paint(0);
    controller.setSaveDirectory([dir] { return dir; });
    controller.start();
    std::vector<double> cpu;
    std::vector<double> wall;
    for (int i = 0; i < frames; ++i) {
        if (moving)
            painter.paint(i + 1);
        clock.ms += recorder::kCapturePeriodMs;
        const double c0 = threadCpuMs();
        const double w0 = wallMs();
        if (int rc = controller.tick(); rc != 0) {
            std::fprintf(stderr, "tick %d failed: %d\n", i, rc);
            return 1;
        }
        wall.push_back(wallMs() - w0);
        cpu.push_back(threadCpuMs() - c0);
    }
    const QString path = controller.recordFilePath();
    controller.stop(recorder::RecordingController::PauseClearing::BeforeClose);
    // The first tick also creates the file and opens the screen: the
    // per-tick figures leave it out.
    const std::vector<double> steadyCpu(cpu.begin() + 1, cpu.end());
    const std::vector<double> steadyWall(wall.begin() + 1, wall.end());
    double sum = 0;
    for (double v : steadyCpu)
        sum += v;
    double wallSum = 0;
    for (double v : steadyWall)
        wallSum += v;
    const auto n = static_cast<double>(steadyCpu.size());
    std::printf("%s %d %.2f %.2f %.2f %.2f %.2f %lld\n", scene.c_str(), frames, sum / n,
                *std::min_element(steadyCpu.begin(), steadyCpu.end()), median(steadyCpu),
                wallSum / n, median(steadyWall), static_cast<long long>(QFileInfo(path).size()));
    return 0;
}

int runPainter(int intervalMs) {
    ScreenPainter painter;
    if (!painter.ok())
        return 1;
    for (int picture = 1;; ++picture) {
        painter.paint(picture);
        std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 2 && args[1] == QLatin1String("ticks")) {
        std::string scene = "still";
        int frames = 50;
        QString dir = QDir::tempPath() + QStringLiteral("/recorder-tick-bench");
        for (int i = 2; i + 1 < args.size(); i += 2) {
            if (args[i] == QLatin1String("--scene"))
                scene = args[i + 1].toStdString();
            else if (args[i] == QLatin1String("--frames"))
                frames = std::max(2, args[i + 1].toInt());
            else if (args[i] == QLatin1String("--dir"))
                dir = args[i + 1];
        }
        return runTicks(scene, frames, dir);
    }
    if (args.size() >= 2 && args[1] == QLatin1String("paint")) {
        const int interval = args.size() >= 4 ? std::max(10, args[3].toInt()) : 100;
        return runPainter(interval);
    }
    std::fprintf(stderr,
                 "usage: recorder_tick_bench ticks [--scene still|change] [--frames N] "
                 "[--dir DIR]\n       recorder_tick_bench paint [--interval-ms M]\n");
    return 2;
}
