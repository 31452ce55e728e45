// Helpers for the screen-grab tests: a client that paints known pictures on
// an X display (and, by staying connected, keeps Xvfb from resetting the
// picture away), a private Xvfb server the test starts and stops itself, and
// a Wayland session (Weston with XWayland) on top of such a server.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include "tests/support/programs.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

extern char** environ;

class XPainter {
  public:
    // Every server the tests use runs with -noreset and is ready before it is
    // handed out, so one attempt to connect is enough; each has one screen.
    explicit XPainter(const char* display = nullptr) : connection_(xcb_connect(display, nullptr)) {
        if (!xcb_connection_has_error(connection_))
            screen_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    }
    ~XPainter() { xcb_disconnect(connection_); }
    XPainter(const XPainter&) = delete;
    XPainter& operator=(const XPainter&) = delete;

    bool ok() const { return screen_ != nullptr && !xcb_connection_has_error(connection_); }

    // `pixel` is a raw pixel value of the root visual (0xRRGGBB at depth 24).
    void paintRoot(std::uint32_t pixel) {
        xcb_change_window_attributes(connection_, screen_->root, XCB_CW_BACK_PIXEL, &pixel);
        xcb_clear_area(connection_, 0, screen_->root, 0, 0, 0, 0);
        sync();
    }

    // A borderless, unmanaged window filled with `pixel`, shown at once.
    void addWindow(int x, int y, int width, int height, std::uint32_t pixel) {
        const xcb_window_t w = xcb_generate_id(connection_);
        const std::uint32_t values[] = {pixel, 1};
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, w, screen_->root,
                          static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                          static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(connection_, w);
        sync();
    }

    void movePointer(int x, int y) {
        xcb_warp_pointer(connection_, XCB_NONE, screen_->root, 0, 0, 0, 0,
                         static_cast<std::int16_t>(x), static_cast<std::int16_t>(y));
        sync();
    }

    // A round trip: everything sent before has been carried out by the server.
    void sync() {
        free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }

  private:
    xcb_connection_t* connection_;
    const xcb_screen_t* screen_ = nullptr;
};

// A server started through sh in a private directory of its own (`$dir` in
// `command`, its output to /dev/null), ready once a whole line holding
// `marker` appears in the file `log` there: the rest of that line is its
// address. Not running when none appears in time.
class SpawnedServer {
  public:
    SpawnedServer(const std::string& command, const char* log, const std::string& marker) {
        char pattern[] = "/tmp/tessaly-server-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            return;
        dir_ = pattern;
        const std::string line = "dir=" + dir_ + "; exec " + command + " >/dev/null 2>&1";
        const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
        if (posix_spawnp(&pid_, "sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
            pid_ = -1;
        for (int i = 0; i < kStartPolls && pid_ > 0 && address_.empty(); ++i) {
            std::this_thread::sleep_for(kPollInterval);
            std::ifstream in(dir_ + "/" + log);
            // A line cut off by the end of the file is still being written.
            for (std::string l; address_.empty() && std::getline(in, l) && !in.eof();) {
                if (const auto at = l.find(marker); at != std::string::npos)
                    address_ = l.substr(at + marker.size());
            }
        }
        if (address_.empty())
            stop();
    }
    ~SpawnedServer() {
        stop();
        if (!dir_.empty())
            std::filesystem::remove_all(dir_);
    }
    SpawnedServer(const SpawnedServer&) = delete;
    SpawnedServer& operator=(const SpawnedServer&) = delete;

    bool running() const { return pid_ > 0; }
    const std::string& dir() const { return dir_; }
    const std::string& address() const { return address_; }
    void stop() {
        if (pid_ > 0 && kill(pid_, SIGTERM) == 0)
            waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

  private:
    static constexpr int kStartPolls = 200;  // 10 s at 50 ms: the servers need well under one
    static constexpr auto kPollInterval = std::chrono::milliseconds(50);

    pid_t pid_ = -1;
    std::string dir_;
    std::string address_;
};

// An Xvfb of our own, for server set-ups the shared one cannot give (another
// depth, no MIT-SHM, RandR monitors) and for pulling the server away under a
// recording. It picks a free display number itself and writes it once it
// accepts connections (-displayfd), so tests running in parallel never share
// a number or race for one; -noreset keeps its state between clients.
class PrivateXvfb : public SpawnedServer {
  public:
    explicit PrivateXvfb(const std::string& arguments)
        : SpawnedServer("Xvfb -displayfd 3 -nolisten tcp -noreset " + arguments + " 3>$dir/display",
                        "display", ""),
          display_(":" + address()) {}
    const std::string& display() const { return display_; }

  private:
    std::string display_;
};

// A Wayland desktop: Weston drawing into a window on an X server, with
// XWayland for X clients, the way a Wayland login session offers X11. Its
// directory is the session's XDG_RUNTIME_DIR; the log names the X display.
class WestonWithXWayland : public SpawnedServer {
  public:
    static constexpr const char* kSocket = "tessaly-wayland";
    explicit WestonWithXWayland(const std::string& hostDisplay)
        : SpawnedServer("env DISPLAY=" + hostDisplay +
                            " XDG_RUNTIME_DIR=$dir weston --backend=x11-backend.so --use-pixman"
                            " --xwayland --width=640 --height=480 --log=$dir/weston.log --socket=" +
                            kSocket,
                        "weston.log", "xserver listening on display ") {}
};
