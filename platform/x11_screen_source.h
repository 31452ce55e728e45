// The screen of an X11 display read through xcb: the primary monitor's
// rectangle of the default screen's root window (the whole root window where
// RandR names no monitor), fetched with MIT-SHM GetImage into a shared
// segment, or with plain GetImage where shared memory cannot be had (no
// extension, a remote display, no SysV segments), and turned into frames of
// 32-bit pixels (blue, green, red, 0) with the bottom row first. The pointer
// is not drawn.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/screen_source.h"

// True when the process runs inside a Wayland session: XDG_SESSION_TYPE is
// "wayland", or WAYLAND_DISPLAY names a compositor. Either may be null.
bool isWaylandSession(const char* xdgSessionType, const char* waylandDisplay);

// True for the names XWayland gives its input devices ("xwayland-pointer:17",
// "xwayland-keyboard:17", ...); no other X server uses them.
bool isXWaylandDeviceName(std::string_view name);

// What the recorder can do with the X display it found. In a Wayland session
// the X server that answers is normally XWayland, whose root window holds only
// the X clients' own windows and reads back black everywhere else, so it does
// not count as access to the screen; neither does no X display at all. An
// ordinary X server (Xorg, Xvfb, a nested or forwarded one) is recorded even
// from a Wayland session, and so is XWayland outside one (a rootful XWayland
// that draws a whole X desktop). XWayland is recognised by its XWAYLAND
// extension or, on servers older than that extension, by the names of its
// input devices.
int x11AccessStatus(bool connected, bool serverIsXWayland, bool waylandSession);

class X11ScreenSource final : public ScreenSource {
  public:
    struct Options {
        std::string displayName;        // empty: the DISPLAY environment variable
        bool allowSharedMemory = true;  // false: always plain GetImage
    };

    // Options from the environment: DISPLAY, and TESSALY_NO_SHM=1, which
    // forces plain GetImage (for checking that path on a server with MIT-SHM).
    X11ScreenSource();
    explicit X11ScreenSource(Options options);
    ~X11ScreenSource() override;

    X11ScreenSource(const X11ScreenSource&) = delete;
    X11ScreenSource& operator=(const X11ScreenSource&) = delete;

    // The size of the primary monitor.
    int probe(ScreenGeometry& geometry) override;
    // Where the primary monitor lies on the root window: what a recording
    // opened now would read.
    int probePrimaryArea(ScreenArea& area);
    int open(const ScreenGeometry& geometry) override;
    int grab(std::span<std::uint8_t> frame) override;
    void close() override;

    // Whether the open recording reads the screen through MIT-SHM.
    bool usesSharedMemory() const;

  private:
    struct Session;

    Options options_;
    std::unique_ptr<Session> session_;
};
