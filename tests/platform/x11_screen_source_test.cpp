// The X11 screen source against real Xvfb servers: a known picture painted on
// the display must come back in the frame layout (bottom row first, blue,
// green, red, 0), through MIT-SHM and through plain GetImage, within the
// buffers whatever the display does, and every failure must be a status.
#include "platform/x11_screen_source.h"
#include "platform/x11_pixel_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/programs.h"
#include "tests/support/scoped_env.h"
#include "tests/support/x11_test_display.h"

namespace {

using Pixel = std::array<std::uint8_t, 4>;  // blue, green, red, unused

constexpr std::uint32_t kRootColour = 0x3366CC;
constexpr std::uint8_t kGuardByte = 0xAB;
constexpr std::size_t kGuardBytes = 4096;

Pixel bgrx(std::uint32_t rgb) {
    return {static_cast<std::uint8_t>(rgb), static_cast<std::uint8_t>(rgb >> 8),
            static_cast<std::uint8_t>(rgb >> 16), 0};
}

// A screen position, counted from the top-left corner, and the frame pixel
// expected there.
struct Probe {
    int x, y;
    Pixel pixel;
};

// A frame buffer with guard bytes behind it, to catch writes past the frame.
struct Frame {
    explicit Frame(const ScreenGeometry& g)
        : geometry(g), bytes(frameBytes(g) + kGuardBytes, kGuardByte) {}
    std::span<std::uint8_t> span() { return {bytes.data(), bytes.size() - kGuardBytes}; }
    Pixel at(int x, int y) const {
        const std::size_t o =
            static_cast<std::size_t>(geometry.height - 1 - y) * frameRowBytes(geometry) +
            4 * static_cast<std::size_t>(x);
        return {bytes[o], bytes[o + 1], bytes[o + 2], bytes[o + 3]};
    }
    // Every probe, the unused bytes all zero and the guard untouched.
    void expect(const std::vector<Probe>& probes) const {
        for (const Probe& p : probes)
            EXPECT_EQ(at(p.x, p.y), p.pixel) << p.x << "," << p.y;
        bool unusedZero = true;
        for (std::size_t i = 3; i < bytes.size() - kGuardBytes; i += 4)
            unusedZero = unusedZero && bytes[i] == 0;
        EXPECT_TRUE(unusedZero);
        EXPECT_TRUE(std::all_of(bytes.end() - kGuardBytes, bytes.end(),
                                [](auto b) { return b == kGuardByte; }));
    }
    ScreenGeometry geometry;
    std::vector<std::uint8_t> bytes;
};

// SysV shared-memory segments that this process created and that still exist.
int ownSharedSegments() {
    std::ifstream table("/proc/sysvipc/shm");
    int count = 0;
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        long key = 0, id = 0, perms = 0, size = 0, creator = 0;  // a title line reads as none
        count += (fields >> key >> id >> perms >> size >> creator) && creator == getpid();
    }
    return count;
}

X11ScreenSource sourceFor(const std::string& display, bool shm) {
    return X11ScreenSource(X11ScreenSource::Options{display, shm});
}

// No X display is a status; in a Wayland session (told by either variable)
// it means: log in with X11. An ordinary X server there is still recorded;
// XWayland is refused, as its root window stays black while Weston shows the
// desktop.
TEST(Sessions, NoDisplayAndWaylandAreStatuses) {
    const std::string host = std::getenv("DISPLAY");  // the test's own Xvfb
    ScopedEnv noWayland("WAYLAND_DISPLAY", nullptr);
    ScopedEnv noSessionType("XDG_SESSION_TYPE", nullptr);
    ScreenGeometry measured{7, 7, 1, 32};
    {
        ScopedEnv noDisplay("DISPLAY", nullptr);
        X11ScreenSource source;
        EXPECT_EQ(source.probe(measured), kScreenErrNoDisplay);
        EXPECT_EQ(measured.width, 7);  // left as it was
        // What a window built without a display holds: the display is the news.
        EXPECT_EQ(source.open(ScreenGeometry{0, 0, 1, 32}), kScreenErrNoDisplay);
    }
    X11ScreenSource dead = sourceFor(":999", true);  // nobody serves this number
    EXPECT_EQ(dead.probe(measured), kScreenErrNoDisplay);
    {
        ScopedEnv session("XDG_SESSION_TYPE", "wayland");
        EXPECT_EQ(dead.probe(measured), kScreenErrNeedsX11);
        ScopedEnv wayland("WAYLAND_DISPLAY", "wayland-0");
        ScopedEnv display("DISPLAY", host.c_str());
        X11ScreenSource xvfb;  // Xvfb is no XWayland: its root really holds the picture
        EXPECT_EQ(xvfb.probe(measured), kScreenOk);
        EXPECT_EQ(xvfb.open(measured), kScreenOk);
    }
    if (!testsupport::haveTool("weston") || !testsupport::haveTool("Xwayland"))
        GTEST_SKIP() << "needs weston and Xwayland (Debian packages weston, xwayland)";
    WestonWithXWayland weston(host);
    ASSERT_TRUE(weston.running());
    ScopedEnv runtime("XDG_RUNTIME_DIR", weston.dir().c_str());
    ScopedEnv wayland("WAYLAND_DISPLAY", WestonWithXWayland::kSocket);
    X11ScreenSource source = sourceFor(weston.address(), true);
    EXPECT_EQ(source.probe(measured), kScreenErrNeedsX11);
    EXPECT_EQ(source.open({640, 480, 1, 32}), kScreenErrNeedsX11);
}

// ---- private servers: other depths, no MIT-SHM, several monitors ----

constexpr std::uint32_t kOutsideColour = 0xCC2222;  // left of the primary monitor
constexpr std::uint32_t kFirstCornerColour = 0x22CC44;
constexpr std::uint32_t kLastCornerColour = 0xEEEE11;
constexpr int kMarkerSide = 16;

// A server, the monitors defined on it in this order (xrandr --setmonitor
// arguments: '*' marks the primary one; the millimetres only feed the dots
// per inch), the area frames must
// hold, and the raw pixels of its visual painted on the root and on markers
// in that area's corners, with the frame pixels they must come back as.
struct ServerCase {
    const char* what;
    std::string arguments;  // Xvfb's
    std::vector<std::string> monitors;
    ScreenArea expected;
    std::array<std::uint32_t, 3> painted{kRootColour, kFirstCornerColour, kLastCornerColour};
    std::array<Pixel, 3> read{bgrx(kRootColour), bgrx(kFirstCornerColour), bgrx(kLastCornerColour)};
};

// A 3200x1080 desktop: a 1920x1080 monitor and a 1280x1024 one beside it.
const std::string kDesktop = "-screen 0 3200x1080x24";
const std::string kLeft = "L 1920/300x1080/200+0+0 none",
                  kRight = "R 1280/300x1024/200+1920+0 none";
const std::string kEdge = "E 1280/300x1024/200+2560+0 none";  // reaches past the root
constexpr ScreenArea kRightArea{1920, 0, 1280, 1024};
constexpr ScreenArea kWholeRoot{0, 0, 3200, 1080}, kOddScreen{0, 0, 321, 240};

const std::vector<ServerCase>& serverCases() {
    static const std::vector<ServerCase> cases{
        {"primary right", kDesktop, {kLeft, "*" + kRight}, kRightArea},
        {"none marked: the first", kDesktop, {kRight, kLeft}, kRightArea},
        {"primary past the root: clipped", kDesktop, {"*" + kEdge}, {2560, 0, 640, 1024}},
        {"no RandR: the whole root", kDesktop + " -extension RANDR", {}, kWholeRoot},
        {"odd width, no MIT-SHM", "-screen 0 321x240x24 -extension MIT-SHM", {}, kOddScreen},
        // Raw 5-6-5 magenta, pure green, and red 16/31, green 32/63, blue 8/31
        // (nearest 8-bit values 132, 130, 66); the odd width pads the rows.
        {"depth 16, odd width",
         "-screen 0 321x240x16",
         {},
         kOddScreen,
         {0xF81F, 0x07E0, 0x8408},
         {Pixel{255, 0, 255, 0}, {0, 255, 0, 0}, {66, 130, 132, 0}}},
    };
    return cases;
}

// Each server read every way a frame is read (MIT-SHM where offered, plain
// GetImage when asked for, TESSALY_NO_SHM forcing it): the painted picture
// without the pointer, bottom row first; reused buffers that follow the
// screen; frames of another size within their buffer (black beyond the
// display, its top-left part when smaller); then the server killed under the
// recording: a status, black frames and no leftover segment, never a crash.
// (Opening it again is not tried: another Xvfb may take the number at once.)
TEST(PrivateServer, FramesHoldThePrimaryMonitorUntilTheServerEnds) {
    for (const ServerCase& c : serverCases()) {
        SCOPED_TRACE(c.what);
        PrivateXvfb server(c.arguments);
        ASSERT_TRUE(server.running());
        const std::string& display = server.display();
        std::string command = "set -f; export DISPLAY=" + display, out;  // '*' is no pattern
        for (const std::string& monitor : c.monitors)
            command += " && xrandr --setmonitor " + monitor;
        ASSERT_EQ(testsupport::runCommand(command, out), 0);
        // The strip left of the area shows a frame read from the wrong place;
        // the pointer rests in the area's middle, where frames must not show it.
        XPainter painter(display.c_str());
        ASSERT_TRUE(painter.ok());
        const ScreenArea& p = c.expected;
        painter.paintRoot(c.painted[0]);
        if (p.x > 0)
            painter.addWindow(0, p.y, p.x, p.height, kOutsideColour);
        painter.addWindow(p.x, p.y, kMarkerSide, kMarkerSide, c.painted[1]);
        painter.addWindow(p.x + p.width - kMarkerSide, p.y + p.height - kMarkerSide, kMarkerSide,
                          kMarkerSide, c.painted[2]);
        painter.movePointer(p.x + p.width / 2, p.y + p.height / 2);
        const bool offersShm = c.arguments.find("MIT-SHM") == std::string::npos;
        // The default source reads the display and TESSALY_NO_SHM from the
        // environment.
        const ScopedEnv displayVariable("DISPLAY", display.c_str());
        const auto forcedPlain = [] {
            const ScopedEnv noShm("TESSALY_NO_SHM", "1");
            return X11ScreenSource();
        };
        X11ScreenSource ways[] = {sourceFor(display, true), sourceFor(display, false),
                                  forcedPlain()};
        ScreenArea area;
        ASSERT_EQ(ways[0].probePrimaryArea(area), kScreenOk);
        EXPECT_EQ(area, c.expected);
        ScreenGeometry g;
        ASSERT_EQ(ways[0].probe(g), kScreenOk);
        const int w = g.width, h = g.height;
        EXPECT_EQ((std::array{w, h, g.bitsPerPixel}),
                  (std::array{c.expected.width, c.expected.height, 32}));
        const ScreenGeometry larger{w + 80, h + 120, 1, 32}, smaller{w / 2, h / 2, 1, 32};
        const bool wholeRoot = c.expected.x == 0 && c.monitors.empty();
        Frame f(g);
        // Over 4 GiB a frame would overflow the frame header's size field.
        for (const ScreenGeometry bad :
             {ScreenGeometry{0, h, 1, 32}, {w, h, 1, 24}, {40000, h, 1, 32}})
            EXPECT_EQ(ways[0].open(bad), kScreenErrBadGeometry);
        for (int way = 0; way < 3; ++way) {
            SCOPED_TRACE(way);
            ASSERT_EQ(ways[way].open(g), kScreenOk);
            EXPECT_EQ(ways[way].usesSharedMemory(), way == 0 && offersShm);
            EXPECT_EQ(ways[way].grab(f.span().first(f.span().size() - 1)),
                      kScreenErrBufferTooSmall);
            ASSERT_EQ(ways[way].grab(f.span()), kScreenOk);
            f.expect({{0, 0, c.read[1]},
                      {kMarkerSide, kMarkerSide, c.read[0]},
                      {w / 2, h / 2, c.read[0]},  // under the pointer
                      {w - 1, h - 1, c.read[2]},
                      {w - 1 - kMarkerSide, h - 1, c.read[0]}});
            if (!wholeRoot || way == 2)  // the forced plain way reads as the asked-for one
                continue;
            X11ScreenSource resized[] = {sourceFor(display, way == 0),
                                         sourceFor(display, way == 0)};
            ASSERT_EQ(resized[0].open(larger), kScreenOk);
            ASSERT_EQ(resized[1].open(smaller), kScreenOk);
            Frame big(larger), part(smaller);
            ASSERT_EQ(resized[0].grab(big.span()), kScreenOk);
            const Pixel black = bgrx(0);
            big.expect({{0, 0, c.read[1]}, {w - 1, h - 1, c.read[2]}, {w, h - 1, black}});
            big.expect({{w + 79, 0, black}, {0, h, black}, {w + 79, h + 119, black}});
            ASSERT_EQ(resized[1].grab(part.span()), kScreenOk);
            part.expect({{0, 0, c.read[1]}, {w / 2 - 1, h / 2 - 1, c.read[0]}});
        }
        EXPECT_EQ(ownSharedSegments(), offersShm ? 1 : 0);
        painter.paintRoot(c.painted[2]);
        for (X11ScreenSource& source : ways) {
            ASSERT_EQ(source.grab(f.span()), kScreenOk);
            EXPECT_EQ(f.at(w / 2, h / 2), c.read[2]);
        }
        server.stop();
        for (X11ScreenSource& source : ways) {
            std::fill(f.span().begin(), f.span().end(), 0x55);
            EXPECT_EQ(source.grab(f.span()), kScreenErrDisplayLost);
            EXPECT_TRUE(
                std::all_of(f.span().begin(), f.span().end(), [](auto b) { return b == 0; }));
            EXPECT_EQ(source.grab(f.span()), kScreenErrDisplayLost);
            source.close();
            source.close();
            EXPECT_EQ(source.grab(f.span()), kScreenErrNotOpen);
        }
        EXPECT_EQ(ownSharedSegments(), 0);
    }
}

// ---- server pixel layouts no test server offers: other byte orders, 10 bits
// a channel, packed 24 bits, 3-3-2 ----

ServerPixelFormat format(int bpp, bool msbFirst, std::uint32_t r, std::uint32_t g,
                         std::uint32_t b) {
    ServerPixelFormat f;
    f.bitsPerPixel = bpp;
    f.scanlinePad = 32;
    f.msbFirst = msbFirst;
    f.redMask = r;
    f.greenMask = g;
    f.blueMask = b;
    return f;
}

// Every row first configures the common layout, then its own: a layout that
// cannot be read is refused, and the converter then converts nothing rather
// than go on with the earlier one.
TEST(PixelConversion, EveryServerLayoutGivesBlueGreenRedZeroOrIsRefused) {
    const ServerPixelFormat common = format(32, false, 0xFF0000, 0xFF00, 0xFF);
    // The common layout is copied in blocks: 37 pixels leave a remainder, and
    // no unused byte is zero.
    std::vector<std::uint8_t> row(4 * 37);
    std::vector<std::uint32_t> rowOut(37);
    for (std::size_t i = 0; i < row.size(); ++i) {
        row[i] = static_cast<std::uint8_t>(i * 7 + 1);
        rowOut[i / 4] |= i % 4 == 3 ? 0 : std::uint32_t{row[i]} << (8 * (i % 4));
    }
    ServerPixelFormat noPad = common;
    noPad.scanlinePad = 0;
    constexpr std::uint32_t kUntouched = 0xEEEEEEEE;
    const std::vector<std::uint8_t> any{1, 2, 3, 4};
    // Each pixel out as 0xRRGGBB: blue in the first byte (this machine is
    // little-endian), a zero unused byte.
    const struct {
        ServerPixelFormat format;
        std::vector<std::uint8_t> in;
        std::vector<std::uint32_t> out;
    } cases[] = {
        {common, row, rowOut},
        {format(32, true, 0xFF0000, 0xFF00, 0xFF), {0x00, 0x33, 0x66, 0xCC}, {0x3366CC}},
        // Red 0x3FF, green 0x200, blue 0x004 keep their top eight bits.
        {format(32, false, 0x3FF00000, 0xFFC00, 0x3FF), {0x04, 0x00, 0xF8, 0x3F}, {0xFF8001}},
        {format(24, false, 0xFF0000, 0xFF00, 0xFF),
         {0xCC, 0x66, 0x33, 1, 2, 3},
         {0x3366CC, 0x030201}},
        {format(16, true, 0x7C00, 0x03E0, 0x001F), {0x7C, 0x00, 0x03, 0xE0}, {0xFF0000, 0xFF00}},
        // 3 bits scale to 255 * n / 7, 2 bits to 255 * n / 3, rounded.
        {format(8, false, 0xE0, 0x1C, 0x03),
         {0xE0, 0x1C, 0x03, 0x49},
         {0xFF0000, 0xFF00, 0xFF, 0x494955}},
        {format(4, false, 0x8, 0x4, 0x2), any, {kUntouched}},            // below 8 bits
        {format(32, false, 0xFF0000, 0xFF00, 0), any, {kUntouched}},     // no blue
        {format(32, false, 0xFF0F00, 0xFF00, 0xFF), any, {kUntouched}},  // overlapping masks
        {format(32, false, 0xF0F000, 0xF, 0xF00), any, {kUntouched}},    // a mask with holes
        {format(16, false, 0xFF0000, 0xFF00, 0xFF), any, {kUntouched}},  // masks too wide
        {noPad, any, {kUntouched}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.format.bitsPerPixel << " bits, red mask " << std::hex
                                          << c.format.redMask);
        PixelRowConverter converter;
        ASSERT_TRUE(converter.configure(common));
        EXPECT_EQ(converter.configure(c.format), c.out.front() != kUntouched);
        std::vector<std::uint32_t> out(c.out.size(), kUntouched);
        converter.convert(c.in.data(), static_cast<int>(out.size()),
                          reinterpret_cast<std::uint8_t*>(out.data()));
        EXPECT_EQ(out, c.out);
    }
}

}  // namespace
