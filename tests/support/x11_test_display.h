// Helpers for the screen-grab tests: a client that paints known pictures on
// an X display (and, by staying connected, keeps Xvfb from resetting the
// picture away), a private Xvfb server the test starts and stops itself, and
// a Wayland session (Weston with XWayland) on top of such a server.
#pragma once

#include <fcntl.h>
#include <poll.h>
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
#include <vector>

extern char** environ;

class XPainter {
  public:
    explicit XPainter(const char* display = nullptr) {
        // Xvfb refuses connections for a moment while it resets after its last
        // client left; try again for a while.
        for (int i = 0; i < kConnectAttempts; ++i) {
            connection_ = xcb_connect(display, &screenNumber_);
            if (!xcb_connection_has_error(connection_))
                break;
            xcb_disconnect(connection_);
            connection_ = nullptr;
            std::this_thread::sleep_for(kConnectRetryInterval);
        }
        if (connection_ == nullptr)
            return;
        auto it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
        for (int i = 0; i < screenNumber_ && it.rem > 0; ++i)
            xcb_screen_next(&it);
        screen_ = it.rem > 0 ? it.data : nullptr;
    }
    ~XPainter() {
        if (connection_ != nullptr)
            xcb_disconnect(connection_);
    }
    XPainter(const XPainter&) = delete;
    XPainter& operator=(const XPainter&) = delete;

    bool ok() const { return screen_ != nullptr && !xcb_connection_has_error(connection_); }
    xcb_connection_t* connection() const { return connection_; }
    const xcb_screen_t* screen() const { return screen_; }

    // `pixel` is a raw pixel value of the root visual (0xRRGGBB at depth 24).
    void paintRoot(std::uint32_t pixel) {
        xcb_change_window_attributes(connection_, screen_->root, XCB_CW_BACK_PIXEL, &pixel);
        xcb_clear_area(connection_, 0, screen_->root, 0, 0, 0, 0);
        sync();
    }

    // A borderless, unmanaged window filled with `pixel`, shown at once.
    xcb_window_t addWindow(int x, int y, int width, int height, std::uint32_t pixel) {
        const xcb_window_t w = xcb_generate_id(connection_);
        const std::uint32_t values[] = {pixel, 1};
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, w, screen_->root,
                          static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                          static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(connection_, w);
        sync();
        return w;
    }

    void recolour(xcb_window_t w, std::uint32_t pixel) {
        xcb_change_window_attributes(connection_, w, XCB_CW_BACK_PIXEL, &pixel);
        xcb_clear_area(connection_, 0, w, 0, 0, 0, 0);
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
    static constexpr int kConnectAttempts = 40;  // 2 s at 50 ms
    static constexpr auto kConnectRetryInterval = std::chrono::milliseconds(50);

    xcb_connection_t* connection_ = nullptr;
    int screenNumber_ = 0;
    const xcb_screen_t* screen_ = nullptr;
};

// Starts `args` (looked up in PATH; `env NAME=value ...` in front sets
// variables) with its output to /dev/null and `fd3` (when given) as its
// descriptor 3. Returns the pid, or -1.
inline pid_t spawnQuiet(std::vector<std::string> args, int fd3 = -1) {
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (fd3 >= 0)
        posix_spawn_file_actions_adddup2(&actions, fd3, 3);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// Adds a RandR monitor of `width` x `height` at (`x`, `y`) to `display`, the
// primary one when `primary` (xrandr marks it with a leading '*').
inline bool defineMonitor(const std::string& display, const std::string& name, int x, int y,
                          int width, int height, bool primary) {
    // The millimetre sizes only feed the dots-per-inch figures.
    const std::string geometry = std::to_string(width) + "/300x" + std::to_string(height) +
                                 "/200+" + std::to_string(x) + "+" + std::to_string(y);
    std::string out;
    return testsupport::runCommand("DISPLAY=" + display + " xrandr --setmonitor " +
                                       (primary ? "'*" : "'") + name + "' " + geometry + " none",
                                   out) == 0;
}

inline void stopChild(pid_t& pid) {
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

constexpr int kStartPolls = 200;  // 10 s at 50 ms: the servers need well under one
constexpr auto kPollInterval = std::chrono::milliseconds(50);

// An Xvfb of our own, for server set-ups the shared one cannot give (another
// depth, no MIT-SHM) and for pulling the server away under a recording.
class PrivateXvfb {
  public:
    explicit PrivateXvfb(const std::vector<std::string>& extraArguments) { start(extraArguments); }
    ~PrivateXvfb() { stop(); }
    PrivateXvfb(const PrivateXvfb&) = delete;
    PrivateXvfb& operator=(const PrivateXvfb&) = delete;

    bool running() const { return pid_ > 0; }
    const std::string& display() const { return display_; }
    void stop() { stopChild(pid_); }

  private:
    // The server picks a free display number itself and writes it to a pipe
    // once it accepts connections (-displayfd), so tests running in parallel
    // never share a number or race for one.
    void start(const std::vector<std::string>& extra) {
        int pipeFds[2];
        if (pipe(pipeFds) != 0)
            return;
        // -noreset: the server keeps its state when the last client leaves, so
        // connections in between tests are never refused during a reset.
        std::vector<std::string> args{"Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-noreset"};
        args.insert(args.end(), extra.begin(), extra.end());
        // The server keeps no copy of the read end.
        fcntl(pipeFds[0], F_SETFD, FD_CLOEXEC);
        pid_t pid = spawnQuiet(std::move(args), pipeFds[1]);
        close(pipeFds[1]);
        const std::string number = pid > 0 ? readDisplayNumber(pipeFds[0]) : std::string();
        close(pipeFds[0]);
        if (pid <= 0)
            return;
        if (number.empty()) {
            stopChild(pid);
            return;
        }
        pid_ = pid;
        display_ = ":" + number;
    }

    // The number the server writes, or empty when it ended without one.
    static std::string readDisplayNumber(int fd) {
        std::string text;
        const auto deadline = std::chrono::steady_clock::now() + kStartPolls * kPollInterval;
        char buffer[16];
        while (text.find('\n') == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            pollfd in{fd, POLLIN, 0};
            if (poll(&in, 1, static_cast<int>(kPollInterval.count())) <= 0)
                continue;
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            text.append(buffer, static_cast<size_t>(n));
        }
        const size_t end = text.find('\n');
        return end == std::string::npos ? std::string() : text.substr(0, end);
    }

    pid_t pid_ = -1;
    std::string display_;
};

// A Wayland desktop: Weston drawing into a window on an X server, with
// XWayland for X clients, the way a Wayland login session offers X11.
class WestonWithXWayland {
  public:
    static bool available() {
        return testsupport::haveTool("weston") && testsupport::haveTool("Xwayland");
    }

    explicit WestonWithXWayland(const std::string& hostDisplay) {
        char pattern[] = "/tmp/tessaly-weston-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            return;
        runtimeDir_ = pattern;
        socket_ = "tessaly-wayland";
        const std::string log = runtimeDir_ + "/weston.log";
        pid_ = spawnQuiet({"env", "DISPLAY=" + hostDisplay, "XDG_RUNTIME_DIR=" + runtimeDir_,
                           "weston", "--backend=x11-backend.so", "--use-pixman", "--xwayland",
                           "--socket=" + socket_, "--width=640", "--height=480", "--log=" + log});
        if (pid_ <= 0)
            return;
        // Weston names the X display it serves for XWayland in its log.
        const std::string marker = "xserver listening on display ";
        for (int i = 0; i < kStartPolls && xDisplay_.empty(); ++i) {
            std::ifstream in(log);
            for (std::string line; std::getline(in, line);) {
                const auto at = line.find(marker);
                if (at != std::string::npos)
                    xDisplay_ = line.substr(at + marker.size());
            }
            if (xDisplay_.empty())
                std::this_thread::sleep_for(kPollInterval);
        }
    }
    ~WestonWithXWayland() {
        stopChild(pid_);  // takes its XWayland along
        if (!runtimeDir_.empty()) {
            std::filesystem::remove_all(runtimeDir_);
        }
    }
    WestonWithXWayland(const WestonWithXWayland&) = delete;
    WestonWithXWayland& operator=(const WestonWithXWayland&) = delete;

    bool running() const { return pid_ > 0 && !xDisplay_.empty(); }
    const std::string& runtimeDir() const { return runtimeDir_; }
    const std::string& waylandSocket() const { return socket_; }
    const std::string& xDisplay() const { return xDisplay_; }

  private:
    pid_t pid_ = -1;
    std::string runtimeDir_;
    std::string socket_;
    std::string xDisplay_;
};
