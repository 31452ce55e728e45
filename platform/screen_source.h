// The screen as the recorder sees it: a source of uncompressed frames in the
// layout of the frame format header (bottom-up rows padded to 4 bytes, 32-bit
// pixels as blue, green, red, unused). The recording controller talks to this
// interface so that its tests can hand it a scripted screen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "media/avi_format.h"

// Statuses of the screen sources. 0 is success; the failures use their own
// band so that they never read as a write failure or an AVI status.
constexpr int kScreenOk = 0;
// No X display could be opened (DISPLAY unset, or nobody answers there).
constexpr int kScreenErrNoDisplay = -201;
// A Wayland session offers no X11 access to the screen: either no X display
// at all, or only XWayland, whose root window reads back black.
constexpr int kScreenErrNeedsX11 = -202;
// The display connection broke (for example the X server ended).
constexpr int kScreenErrDisplayLost = -203;
// The server's pixel format cannot be turned into frames (palette visuals,
// fewer than 8 bits per pixel).
constexpr int kScreenErrUnsupportedFormat = -204;
// Width or height not positive, a frame too big for the 32-bit image size,
// or a depth the source does not deliver.
constexpr int kScreenErrBadGeometry = -205;
// grab() or a per-recording call before open(), or after close().
constexpr int kScreenErrNotOpen = -206;
// The caller's frame buffer is smaller than one frame.
constexpr int kScreenErrBufferTooSmall = -207;
// The server refused this tick's image; the frame was filled with black.
constexpr int kScreenErrGrabFailed = -208;

// Short English name of a status, for messages and test output.
const char* screenStatusName(int status);

// The screen as measured once at start-up. Frames keep this size for the
// whole process, whatever the display does later.
struct ScreenGeometry {
    int width = 0;
    int height = 0;
    int planes = 1;
    int bitsPerPixel = 32;
};

// A rectangle of the whole desktop (on X11 the root window, which spans every
// monitor), in pixels from its top-left corner: where the recorded screen lies.
struct ScreenArea {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool operator==(const ScreenArea&) const = default;
};

// True when width and height are positive, the depth is one a frame can hold
// without a colour table (16, 24 or 32) and the frame fits the header's 32-bit
// image size.
bool isUsableGeometry(const ScreenGeometry& geometry);

// Bytes in one frame row (padded to a multiple of 4) and in one frame.
std::uint64_t frameRowBytes(const ScreenGeometry& geometry);
std::uint64_t frameBytes(const ScreenGeometry& geometry);

// The 40-byte frame format header of a frame of this geometry: positive
// height (bottom-up rows), uncompressed, image size = frameBytes.
media::BitmapInfoHeader frameFormatHeader(const ScreenGeometry& geometry);

class ScreenSource {
  public:
    virtual ~ScreenSource() = default;

    // Measures the screen (while the main window is built). Returns 0 and
    // fills `geometry`, or a status and leaves `geometry` as it was.
    virtual int probe(ScreenGeometry& geometry) = 0;

    // Makes what one recording needs (display connection, buffers) for frames
    // of `geometry`, the size measured at start-up. Opening again closes first.
    virtual int open(const ScreenGeometry& geometry) = 0;

    // Fills `frame` (at least frameBytes(geometry) bytes) with the screen's
    // picture from its top-left corner. Where the display is now smaller than
    // the geometry, the missing part is black. A frame that is too small, or a
    // source that is not open, leaves `frame` untouched; any later failure
    // leaves it black, never stale or half-written.
    virtual int grab(std::span<std::uint8_t> frame) = 0;

    // Releases what open() made. Safe to call at any time, more than once.
    virtual void close() = 0;
};
