// The X11 screen source against real Xvfb servers: a known picture painted on
// the display must come back in the frame layout (bottom row first, blue,
// green, red, 0), through MIT-SHM and through plain GetImage, within the
// buffers whatever the display does, and every failure must be a status.
#include "platform/x11_screen_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/programs.h"
#include "tests/support/scoped_env.h"
#include "tests/support/x11_test_display.h"

namespace {

using Pixel = std::array<std::uint8_t, 4>;  // blue, green, red, unused

constexpr std::uint32_t kRootColour = 0x3366CC;
constexpr std::uint32_t kTopLeftColour = 0x112233;
constexpr std::uint32_t kCornerColour = 0xF0E0D0;
constexpr std::uint8_t kGuardByte = 0xAB;
constexpr std::size_t kGuardBytes = 4096;

Pixel bgrx(std::uint32_t rgb) {
    return {static_cast<std::uint8_t>(rgb), static_cast<std::uint8_t>(rgb >> 8),
            static_cast<std::uint8_t>(rgb >> 16), 0};
}

// A frame buffer with guard bytes behind it, to catch writes past the frame.
class Frame {
  public:
    explicit Frame(const ScreenGeometry& g)
        : geometry_(g), bytes_(frameBytes(g) + kGuardBytes, kGuardByte) {}
    std::span<std::uint8_t> span() { return {bytes_.data(), bytes_.size() - kGuardBytes}; }
    // The pixel at screen position (x, y), counted from the top-left corner.
    Pixel at(int x, int y) const {
        const std::size_t row = static_cast<std::size_t>(geometry_.height - 1 - y);
        const std::size_t offset = row * frameRowBytes(geometry_) + 4 * static_cast<std::size_t>(x);
        return {bytes_[offset], bytes_[offset + 1], bytes_[offset + 2], bytes_[offset + 3]};
    }
    bool guardIntact() const { return allEqual(frameEnd(), bytes_.end(), kGuardByte); }
    bool unusedBytesAllZero() const {
        for (std::size_t i = 3; i < bytes_.size() - kGuardBytes; i += 4)
            if (bytes_[i] != 0)
                return false;
        return true;
    }
    bool allBlack() const { return allEqual(bytes_.begin(), frameEnd(), 0); }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  private:
    std::vector<std::uint8_t>::const_iterator frameEnd() const {
        return bytes_.end() - kGuardBytes;
    }
    static bool allEqual(std::vector<std::uint8_t>::const_iterator from,
                         std::vector<std::uint8_t>::const_iterator to, std::uint8_t value) {
        return std::all_of(from, to, [value](std::uint8_t b) { return b == value; });
    }
    ScreenGeometry geometry_;
    std::vector<std::uint8_t> bytes_;
};

// SysV shared-memory segments that this process created and that still exist.
int ownSharedSegments() {
    std::ifstream table("/proc/sysvipc/shm");
    std::string line;
    std::getline(table, line);  // column titles
    int count = 0;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        long key = 0, id = 0, perms = 0, size = 0, creator = 0;
        if (fields >> key >> id >> perms >> size >> creator && creator == getpid())
            ++count;
    }
    return count;
}

// Holds one connection to the shared display for the whole run: Xvfb resets
// (and forgets the painted picture, refusing connections meanwhile) whenever
// its last client leaves.
class KeepDisplayAlive : public ::testing::Environment {
  public:
    void SetUp() override { keeper_ = std::make_unique<XPainter>(); }
    void TearDown() override { keeper_.reset(); }

  private:
    std::unique_ptr<XPainter> keeper_;
};
[[maybe_unused]] const auto* const kKeepDisplayAlive =
    ::testing::AddGlobalTestEnvironment(new KeepDisplayAlive);

X11ScreenSource sourceFor(const std::string& display, bool shm) {
    return X11ScreenSource(X11ScreenSource::Options{display, shm});
}

// The shared Xvfb (1920x1080, depth 24) with a known picture: a blue root, a
// dark window at the top-left and a light one in the bottom-right corner.
class PaintedScreen : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(painter_.ok()) << "no X display; run under scripts/with-xvfb.sh";
        painter_.paintRoot(kRootColour);
        painter_.addWindow(10, 20, 200, 100, kTopLeftColour);
        corner_ = painter_.addWindow(1900, 1060, 20, 20, kCornerColour);
    }

    void expectPicture(const Frame& f) {
        EXPECT_EQ(f.at(0, 0), bgrx(kRootColour));
        EXPECT_EQ(f.at(1000, 500), bgrx(kRootColour));
        EXPECT_EQ(f.at(10, 20), bgrx(kTopLeftColour));
        EXPECT_EQ(f.at(209, 119), bgrx(kTopLeftColour));
        EXPECT_EQ(f.at(210, 119), bgrx(kRootColour));
        EXPECT_EQ(f.at(209, 120), bgrx(kRootColour));
        EXPECT_EQ(f.at(1900, 1060), bgrx(kCornerColour));
        EXPECT_EQ(f.at(1919, 1079), bgrx(kCornerColour));
        EXPECT_EQ(f.at(1899, 1079), bgrx(kRootColour));
        EXPECT_TRUE(f.unusedBytesAllZero());
        EXPECT_TRUE(f.guardIntact());
    }

    XPainter painter_;
    xcb_window_t corner_ = 0;
};

// The ways a frame is read: MIT-SHM where the server offers it, plain
// GetImage when asked for or when TESSALY_NO_SHM forces it. Each gives the
// picture bottom row first, and its reused buffers follow the screen.
struct GrabWay {
    const char* what;
    bool askForPlainGetImage;
    const char* noShmEnvironment;
    bool usesSharedMemory;
};

TEST_F(PaintedScreen, EveryWayOfGrabbingGivesThePictureBottomUpTickAfterTick) {
    const GrabWay ways[] = {
        {"MIT-SHM by default", false, nullptr, true},
        {"plain GetImage asked for", true, nullptr, false},
        {"TESSALY_NO_SHM=1", false, "1", false},
    };
    for (const GrabWay& way : ways) {
        SCOPED_TRACE(way.what);
        ScopedEnv noShm("TESSALY_NO_SHM", way.noShmEnvironment);
        X11ScreenSource source = way.askForPlainGetImage ? sourceFor("", false) : X11ScreenSource();
        ScreenGeometry g;
        ASSERT_EQ(source.probe(g), kScreenOk);
        // The server's depth is 24; frames are 32-bit.
        EXPECT_EQ(g.width, 1920);
        EXPECT_EQ(g.height, 1080);
        EXPECT_EQ(g.bitsPerPixel, 32);
        ASSERT_EQ(source.open(g), kScreenOk);
        EXPECT_EQ(source.usesSharedMemory(), way.usesSharedMemory);
        EXPECT_EQ(ownSharedSegments(), way.usesSharedMemory ? 1 : 0);
        Frame f(g);
        painter_.recolour(corner_, kCornerColour);
        ASSERT_EQ(source.grab(f.span()), kScreenOk);
        expectPicture(f);
        // The first row of the buffer is the bottom screen row.
        EXPECT_EQ((Pixel{f.bytes()[4 * 1919], f.bytes()[4 * 1919 + 1], f.bytes()[4 * 1919 + 2],
                         f.bytes()[4 * 1919 + 3]}),
                  bgrx(kCornerColour));
        painter_.recolour(corner_, 0x00FF00);
        ASSERT_EQ(source.grab(f.span()), kScreenOk);
        EXPECT_EQ(f.at(1910, 1070), bgrx(0x00FF00));
        EXPECT_EQ(f.at(1000, 500), bgrx(kRootColour));
        source.close();
        EXPECT_EQ(ownSharedSegments(), 0);  // the segment went with the recording
    }
}

TEST_F(PaintedScreen, PointerIsNotDrawn) {
    painter_.movePointer(1000, 500);
    X11ScreenSource source;
    const ScreenGeometry g{1920, 1080, 1, 32};
    ASSERT_EQ(source.open(g), kScreenOk);
    Frame f(g);
    ASSERT_EQ(source.grab(f.span()), kScreenOk);
    for (int y = 480; y < 540; ++y)
        for (int x = 980; x < 1040; ++x)
            ASSERT_EQ(f.at(x, y), bgrx(kRootColour)) << x << "," << y;
}

// Frames of the start-up size while the display has shrunk (black beyond it)
// or grown (its top-left part), within the buffer either way.
TEST_F(PaintedScreen, ADisplayOfAnotherSizeThanTheFramesStaysInTheBuffer) {
    for (bool shm : {true, false}) {
        SCOPED_TRACE(shm ? "MIT-SHM" : "plain GetImage");
        const ScreenGeometry larger{2000, 1200, 1, 32};
        X11ScreenSource source = sourceFor("", shm);
        ASSERT_EQ(source.open(larger), kScreenOk);
        Frame f(larger);
        ASSERT_EQ(source.grab(f.span()), kScreenOk);
        EXPECT_EQ(f.at(15, 25), bgrx(kTopLeftColour));
        EXPECT_EQ(f.at(1919, 1079), bgrx(kCornerColour));
        for (const auto& [x, y] : {std::pair{1920, 1079}, {1999, 0}, {0, 1080}, {1999, 1199}})
            EXPECT_EQ(f.at(x, y), bgrx(0)) << x << "," << y;
        EXPECT_TRUE(f.guardIntact());

        const ScreenGeometry smaller{640, 480, 1, 32};
        X11ScreenSource part = sourceFor("", shm);
        ASSERT_EQ(part.open(smaller), kScreenOk);
        Frame top(smaller);
        ASSERT_EQ(part.grab(top.span()), kScreenOk);
        EXPECT_EQ(top.at(10, 20), bgrx(kTopLeftColour));
        EXPECT_EQ(top.at(639, 479), bgrx(kRootColour));
        EXPECT_TRUE(top.guardIntact());
    }
}

TEST_F(PaintedScreen, MisuseIsReportedAndTouchesNothing) {
    X11ScreenSource source;
    const ScreenGeometry g{1920, 1080, 1, 32};
    Frame f(g);
    EXPECT_EQ(source.grab(f.span()), kScreenErrNotOpen);
    EXPECT_EQ(source.open({0, 1080, 1, 32}), kScreenErrBadGeometry);
    EXPECT_EQ(source.open({1920, 1080, 1, 24}), kScreenErrBadGeometry);
    ASSERT_EQ(source.open(g), kScreenOk);
    EXPECT_EQ(source.grab(f.span().first(f.span().size() - 1)), kScreenErrBufferTooSmall);
    EXPECT_EQ(f.bytes().front(), kGuardByte);
    source.close();
    source.close();
    EXPECT_EQ(source.grab(f.span()), kScreenErrNotOpen);
    EXPECT_EQ(f.bytes().front(), kGuardByte);
}

TEST(NoDisplay, ProbeAndOpenFailWithAStatus) {
    const ScreenGeometry g{1920, 1080, 1, 32};
    ScopedEnv noWayland("WAYLAND_DISPLAY", nullptr);
    ScopedEnv noSessionType("XDG_SESSION_TYPE", nullptr);
    {
        ScopedEnv noDisplay("DISPLAY", nullptr);
        X11ScreenSource source;
        ScreenGeometry measured{7, 7, 1, 32};
        EXPECT_EQ(source.probe(measured), kScreenErrNoDisplay);
        EXPECT_EQ(measured.width, 7);  // left as it was
        EXPECT_EQ(source.open(g), kScreenErrNoDisplay);
        // What a window built without a display holds: the display is the news.
        EXPECT_EQ(source.open(ScreenGeometry{0, 0, 1, 32}), kScreenErrNoDisplay);
        Frame f(g);
        EXPECT_EQ(source.grab(f.span()), kScreenErrNotOpen);
    }
    X11ScreenSource dead = sourceFor(":999", true);  // nobody serves this number
    ScreenGeometry measured;
    EXPECT_EQ(dead.probe(measured), kScreenErrNoDisplay);
    EXPECT_EQ(dead.open(g), kScreenErrNoDisplay);
    // In a Wayland session (told by either variable; the XWayland test sets
    // the other) the missing X display means: log in with X11.
    ScopedEnv session("XDG_SESSION_TYPE", "wayland");
    EXPECT_EQ(dead.probe(measured), kScreenErrNeedsX11);
    EXPECT_EQ(dead.open(g), kScreenErrNeedsX11);
}

TEST(WaylandSession, AnOrdinaryXServerIsStillRecorded) {
    // Xvfb is no XWayland: its root window really holds the picture.
    ScopedEnv wayland("WAYLAND_DISPLAY", "wayland-0");
    ScopedEnv session("XDG_SESSION_TYPE", "wayland");
    X11ScreenSource source;
    ScreenGeometry g;
    EXPECT_EQ(source.probe(g), kScreenOk);
    EXPECT_EQ(source.open(g), kScreenOk);
}

TEST(WaylandSession, XWaylandThereNeedsX11) {
    if (!WestonWithXWayland::available())
        GTEST_SKIP() << "needs weston and Xwayland (Debian packages weston, xwayland)";
    PrivateXvfb host({"-screen", "0", "1024x768x24"});
    ASSERT_TRUE(host.running());
    WestonWithXWayland session(host.display());
    ASSERT_TRUE(session.running());
    {
        ScopedEnv runtime("XDG_RUNTIME_DIR", session.runtimeDir().c_str());
        ScopedEnv wayland("WAYLAND_DISPLAY", session.waylandSocket().c_str());
        X11ScreenSource source = sourceFor(session.xDisplay(), true);
        ScreenGeometry g;
        EXPECT_EQ(source.probe(g), kScreenErrNeedsX11);
        EXPECT_EQ(source.open({640, 480, 1, 32}), kScreenErrNeedsX11);
    }
    // The reason: read anyway, XWayland's root window is black while Weston
    // shows its desktop.
    ScopedEnv noWayland("WAYLAND_DISPLAY", nullptr);
    ScopedEnv noSessionType("XDG_SESSION_TYPE", nullptr);
    X11ScreenSource source = sourceFor(session.xDisplay(), true);
    ScreenGeometry g;
    ASSERT_EQ(source.probe(g), kScreenOk);
    ASSERT_EQ(source.open(g), kScreenOk);
    Frame f(g);
    ASSERT_EQ(source.grab(f.span()), kScreenOk);
    EXPECT_TRUE(f.allBlack());
}

// Servers the shared one cannot stand for, each read both ways and then
// killed under the recording: a lost server is a status, black frames and no
// leftover segment, never a crash. An odd width leaves the 16-bit server's
// rows padded.
struct PrivateServerCase {
    const char* what;
    const char* depth;
    bool offersSharedMemory;
    std::uint32_t rootPixel;  // raw pixels of the server's visual
    std::uint32_t cornerPixel;
    Pixel root;  // as frame pixels
    Pixel corner;
};

TEST(PrivateServer, EachServerIsReadUntilItEndsMidRecording) {
    const Pixel root = bgrx(kRootColour), corner = bgrx(kCornerColour);
    const PrivateServerCase cases[] = {
        {"depth 24", "24", true, kRootColour, kCornerColour, root, corner},
        {"no MIT-SHM: plain GetImage", "24", false, kRootColour, kCornerColour, root, corner},
        // Raw 5-6-5: magenta, and red 16/31, green 32/63, blue 8/31 (nearest
        // 8-bit values 132, 130, 66).
        {"depth 16", "16", true, 0xF81F, 0x8408, {255, 0, 255, 0}, {66, 130, 132, 0}},
    };
    for (const PrivateServerCase& c : cases) {
        for (bool shm : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (shm ? ", MIT-SHM asked for" : ", plain GetImage"));
            std::vector<std::string> arguments{"-screen", "0", std::string("321x240x") + c.depth};
            if (!c.offersSharedMemory)
                arguments.insert(arguments.end(), {"-extension", "MIT-SHM"});
            PrivateXvfb server(arguments);
            ASSERT_TRUE(server.running());
            XPainter painter(server.display().c_str());
            ASSERT_TRUE(painter.ok());
            painter.paintRoot(c.rootPixel);
            painter.addWindow(300, 230, 21, 10, c.cornerPixel);
            X11ScreenSource source = sourceFor(server.display(), shm);
            ScreenGeometry g;
            ASSERT_EQ(source.probe(g), kScreenOk);
            EXPECT_EQ(g.width, 321);
            EXPECT_EQ(g.bitsPerPixel, 32);
            ASSERT_EQ(source.open(g), kScreenOk);
            EXPECT_EQ(source.usesSharedMemory(), shm && c.offersSharedMemory);
            Frame f(g);
            ASSERT_EQ(source.grab(f.span()), kScreenOk);
            EXPECT_EQ(f.at(0, 0), c.root);
            EXPECT_EQ(f.at(320, 239), c.corner);
            EXPECT_EQ(f.at(299, 239), c.root);
            EXPECT_TRUE(f.unusedBytesAllZero());
            EXPECT_TRUE(f.guardIntact());

            server.stop();
            std::fill(f.span().begin(), f.span().end(), 0x55);
            EXPECT_EQ(source.grab(f.span()), kScreenErrDisplayLost);
            EXPECT_TRUE(f.allBlack());
            EXPECT_EQ(source.grab(f.span()), kScreenErrDisplayLost);
            source.close();
            EXPECT_EQ(ownSharedSegments(), 0);
            EXPECT_EQ(source.open(g), kScreenErrNoDisplay);
        }
    }
}

// ---- several monitors on one root window ----

constexpr std::uint32_t kOutsideColour = 0xCC2222;  // left of the primary monitor
constexpr std::uint32_t kFirstCornerColour = 0x22CC44;
constexpr std::uint32_t kLastCornerColour = 0xEEEE11;
constexpr int kMarkerSide = 16;  // whole 4x4 blocks, so Video 1 keeps them exact

struct Monitor {
    const char* name;
    ScreenArea area;
    bool primary;
};

struct MonitorLayout {
    const char* description;
    std::vector<std::string> serverArguments;
    std::vector<Monitor> monitors;  // defined in this order
    ScreenArea expected;
};

// A 3200x1080 desktop: a 1920x1080 monitor and a 1280x1024 one beside it.
const std::vector<std::string> kTwoMonitorDesktop{"-screen", "0", "3200x1080x24"};
constexpr ScreenArea kLeft{0, 0, 1920, 1080};
constexpr ScreenArea kRight{1920, 0, 1280, 1024};
constexpr ScreenArea kWholeRoot{0, 0, 3200, 1080};

// Starts the server, defines the monitors and paints the primary monitor's
// corners and a strip just left of it, so that a frame read from anywhere
// else shows.
std::unique_ptr<PrivateXvfb> startDesktop(const MonitorLayout& layout,
                                          std::unique_ptr<XPainter>& painter) {
    auto server = std::make_unique<PrivateXvfb>(layout.serverArguments);
    if (!server->running())
        return nullptr;
    for (const Monitor& m : layout.monitors) {
        if (!defineMonitor(server->display(), m.name, m.area.x, m.area.y, m.area.width,
                           m.area.height, m.primary))
            return nullptr;
    }
    painter = std::make_unique<XPainter>(server->display().c_str());
    if (!painter->ok())
        return nullptr;
    const ScreenArea& p = layout.expected;
    painter->paintRoot(kRootColour);
    if (p.x > 0)
        painter->addWindow(0, p.y, p.x, p.height, kOutsideColour);
    painter->addWindow(p.x, p.y, kMarkerSide, kMarkerSide, kFirstCornerColour);
    painter->addWindow(p.x + p.width - kMarkerSide, p.y + p.height - kMarkerSide, kMarkerSide,
                       kMarkerSide, kLastCornerColour);
    return server;
}

const std::vector<MonitorLayout>& monitorLayouts() {
    static const std::vector<MonitorLayout> layouts{
        {"primary on the right",
         kTwoMonitorDesktop,
         {{"LEFT", kLeft, false}, {"RIGHT", kRight, true}},
         kRight},
        {"primary on the left",
         kTwoMonitorDesktop,
         {{"LEFT", kLeft, true}, {"RIGHT", kRight, false}},
         kLeft},
        {"none marked: the first one listed",
         kTwoMonitorDesktop,
         {{"RIGHT", kRight, false}, {"LEFT", kLeft, false}},
         kRight},
        {"primary reaching past the root window: clipped",
         kTwoMonitorDesktop,
         {{"EDGE", {2560, 0, 1280, 1024}, true}},
         {2560, 0, 640, 1024}},
        {"only the server's own monitor", kTwoMonitorDesktop, {}, kWholeRoot},
        {"no RandR: the whole root window",
         {"-screen", "0", "3200x1080x24", "-extension", "RANDR"},
         {},
         kWholeRoot},
    };
    return layouts;
}

TEST(SeveralMonitors, FramesHoldThePrimaryMonitorOnly) {
    for (const MonitorLayout& layout : monitorLayouts()) {
        SCOPED_TRACE(layout.description);
        std::unique_ptr<XPainter> painter;
        const auto server = startDesktop(layout, painter);
        ASSERT_TRUE(server) << "Xvfb with xrandr monitors";
        X11ScreenSource probing = sourceFor(server->display(), true);
        ScreenArea area;
        ASSERT_EQ(probing.probePrimaryArea(area), kScreenOk);
        EXPECT_EQ(area, layout.expected);
        ScreenGeometry g;
        ASSERT_EQ(probing.probe(g), kScreenOk);
        EXPECT_EQ(g.width, layout.expected.width);
        EXPECT_EQ(g.height, layout.expected.height);
        for (bool shm : {true, false}) {
            SCOPED_TRACE(shm ? "MIT-SHM" : "plain GetImage");
            X11ScreenSource source = sourceFor(server->display(), shm);
            ASSERT_EQ(source.open(g), kScreenOk);
            Frame f(g);
            ASSERT_EQ(source.grab(f.span()), kScreenOk);
            EXPECT_EQ(f.at(0, 0), bgrx(kFirstCornerColour));
            EXPECT_EQ(f.at(kMarkerSide, kMarkerSide), bgrx(kRootColour));
            EXPECT_EQ(f.at(g.width / 2, g.height / 2), bgrx(kRootColour));
            EXPECT_EQ(f.at(g.width - 1, g.height - 1), bgrx(kLastCornerColour));
            EXPECT_EQ(f.at(g.width - 1 - kMarkerSide, g.height - 1), bgrx(kRootColour));
            EXPECT_TRUE(f.guardIntact());
        }
    }
}

TEST(SeveralMonitors, RecordingHasThePrimaryMonitorsSizeAndPicture) {
    const MonitorLayout& layout = monitorLayouts().front();
    std::unique_ptr<XPainter> painter;
    const auto server = startDesktop(layout, painter);
    ASSERT_TRUE(server);
    char pattern[] = "/tmp/tessaly-monitors-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    std::string recorded;
    ASSERT_EQ(testsupport::runCommand("DISPLAY=" + server->display() +
                                          " " TESSALY_BIN_DIR "/tessaly-avi record --dir " + dir +
                                          " --seconds 1 --audio none",
                                      recorded),
              0);
    const std::string path = recorded.substr(0, recorded.find('\n'));
    ASSERT_FALSE(path.empty()) << "tessaly-avi record printed no path";

    const ScreenArea& p = layout.expected;
    auto stream = testsupport::ffprobeStream(path, "v:0");
    EXPECT_EQ(stream["width"], std::to_string(p.width));
    EXPECT_EQ(stream["height"], std::to_string(p.height));
    const std::vector<std::uint8_t> frames = testsupport::ffmpegDecode(path, "rgb555le");
    ASSERT_GE(frames.size(), static_cast<std::size_t>(p.width) * p.height * 2);
    // FFmpeg leaves the unused top bit of a 5-5-5 pixel undefined.
    const auto at = [&](int x, int y) {
        const std::size_t i = 2 * static_cast<std::size_t>(y * p.width + x);
        return static_cast<std::uint16_t>((frames[i] | frames[i + 1] << 8) & 0x7FFF);
    };
    const auto rgb555 = [](std::uint32_t rgb) {
        return static_cast<std::uint16_t>(((rgb >> 19) & 0x1F) << 10 | ((rgb >> 11) & 0x1F) << 5 |
                                          ((rgb >> 3) & 0x1F));
    };
    EXPECT_EQ(at(0, 0), rgb555(kFirstCornerColour));
    EXPECT_EQ(at(p.width / 2, p.height / 2), rgb555(kRootColour));
    EXPECT_EQ(at(p.width - 1, p.height - 1), rgb555(kLastCornerColour));
    std::filesystem::remove_all(dir);
}

}  // namespace
