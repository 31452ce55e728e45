#include "platform/x11_screen_source.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#if defined(TESSALY_HAVE_XCB_XINPUT)
#include <xcb/xinput.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/x11_pixel_format.h"
#include "platform/x11_primary_monitor.h"
#include "platform/xcb_reply.h"

namespace {

constexpr char kXWaylandExtension[] = "XWAYLAND";  // announced by XWayland servers only
constexpr std::uint32_t kAllPlanes = ~0u;
constexpr int kFrameBytesPerPixel = 4;  // frames are always 32-bit blue, green, red, 0
// Plain GetImage strips stay below glibc's 128 KiB threshold for serving an
// allocation with a fresh mapping, so xcb's reply buffers come from the heap.
constexpr std::size_t kPlainStripBytes = 120 * 1024;

template <typename T>
using Reply = XcbReply<T>;

struct ConnectionDeleter {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using Connection = std::unique_ptr<xcb_connection_t, ConnectionDeleter>;

const char* displayNameOrNull(const std::string& name) {
    return name.empty() ? nullptr : name.c_str();
}

bool hasXWaylandExtension(xcb_connection_t* c) {
    const auto cookie = xcb_query_extension(
        c, static_cast<std::uint16_t>(std::strlen(kXWaylandExtension)), kXWaylandExtension);
    Reply<xcb_query_extension_reply_t> reply(xcb_query_extension_reply(c, cookie, nullptr));
    return reply && reply->present;
}

#if defined(TESSALY_HAVE_XCB_XINPUT)
// XWayland servers older than the XWAYLAND extension (Debian 12 ships one)
// are still told apart by the names of their input devices.
bool hasXWaylandInputDevices(xcb_connection_t* c) {
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_input_id);
    if (extension == nullptr || !extension->present)
        return false;
    Reply<xcb_input_xi_query_version_reply_t> version(
        xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 0), nullptr));
    if (!version || version->major_version < 2)
        return false;
    Reply<xcb_input_xi_query_device_reply_t> devices(xcb_input_xi_query_device_reply(
        c, xcb_input_xi_query_device(c, XCB_INPUT_DEVICE_ALL), nullptr));
    if (!devices)
        return false;
    for (auto it = xcb_input_xi_query_device_infos_iterator(devices.get()); it.rem > 0;
         xcb_input_xi_device_info_next(&it)) {
        const std::string_view name(
            xcb_input_xi_device_info_name(it.data),
            static_cast<std::size_t>(xcb_input_xi_device_info_name_length(it.data)));
        if (isXWaylandDeviceName(name))
            return true;
    }
    return false;
}
#else
bool hasXWaylandInputDevices(xcb_connection_t*) {
    return false;
}
#endif

bool serverIsXWayland(xcb_connection_t* c) {
    return hasXWaylandExtension(c) || hasXWaylandInputDevices(c);
}

xcb_screen_t* screenNumber(xcb_connection_t* c, int number) {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; it.rem > 0; ++i, xcb_screen_next(&it)) {
        if (i == number)
            return it.data;
    }
    return nullptr;
}

// Opens the display and checks that it gives access to the screen.
int connectToScreen(const std::string& name, Connection& connection, xcb_screen_t*& screen) {
    const bool wayland =
        isWaylandSession(std::getenv("XDG_SESSION_TYPE"), std::getenv("WAYLAND_DISPLAY"));
    int number = 0;
    Connection c(xcb_connect(displayNameOrNull(name), &number));
    if (!c || xcb_connection_has_error(c.get()))
        return x11AccessStatus(false, false, wayland);
    // Which server answers matters only inside a Wayland session.
    const int status = x11AccessStatus(true, wayland && serverIsXWayland(c.get()), wayland);
    if (status != kScreenOk)
        return status;
    screen = screenNumber(c.get(), number);
    if (screen == nullptr)
        return kScreenErrNoDisplay;
    connection = std::move(c);
    return kScreenOk;
}

const xcb_visualtype_t* rootVisual(const xcb_screen_t* screen) {
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem > 0;
         xcb_depth_next(&depths)) {
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem > 0;
             xcb_visualtype_next(&visuals)) {
            if (visuals.data->visual_id == screen->root_visual)
                return visuals.data;
        }
    }
    return nullptr;
}

// The layout of the root window's ZPixmap images. Only true-colour visuals
// carry their colours in the pixel itself; palette visuals are refused.
bool readPixelFormat(xcb_connection_t* c, const xcb_screen_t* screen, ServerPixelFormat& format) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    const xcb_visualtype_t* visual = rootVisual(screen);
    if (visual == nullptr || visual->_class != XCB_VISUAL_CLASS_TRUE_COLOR)
        return false;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0; xcb_format_next(&it)) {
        if (it.data->depth != screen->root_depth)
            continue;
        format.bitsPerPixel = it.data->bits_per_pixel;
        format.scanlinePad = it.data->scanline_pad;
        format.msbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
        format.redMask = visual->red_mask;
        format.greenMask = visual->green_mask;
        format.blueMask = visual->blue_mask;
        return true;
    }
    return false;
}

// SysV shared memory reaches only a server on this machine; a forwarded or
// remote display would look the segment id up in its own machine's table.
bool isLocalDisplay(const std::string& name) {
    char* host = nullptr;
    int display = 0;
    int screen = 0;
    if (!xcb_parse_display(displayNameOrNull(name), &host, &display, &screen))
        return false;
    const bool local = host == nullptr || host[0] == '\0' || std::strcmp(host, "unix") == 0;
    std::free(host);
    return local;
}

bool serverHasSharedMemory(xcb_connection_t* c) {
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_shm_id);
    if (extension == nullptr || !extension->present)
        return false;
    Reply<xcb_shm_query_version_reply_t> version(
        xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr));
    return version != nullptr;
}

// A SysV segment attached by us and by the server. It is marked for removal
// as soon as the server holds it, so it disappears with the last detach even
// if this process dies.
class SharedSegment {
  public:
    SharedSegment(xcb_connection_t* c, std::size_t bytes) : connection_(c) {
        id_ = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (id_ < 0)
            return;
        void* address = shmat(id_, nullptr, 0);
        if (address == reinterpret_cast<void*>(-1)) {
            shmctl(id_, IPC_RMID, nullptr);
            return;
        }
        address_ = static_cast<std::uint8_t*>(address);
        bytes_ = bytes;
        segment_ = xcb_generate_id(c);
        Reply<xcb_generic_error_t> error(
            xcb_request_check(c, xcb_shm_attach_checked(c, segment_, id_, 0)));
        shmctl(id_, IPC_RMID, nullptr);
        serverAttached_ = error == nullptr && !xcb_connection_has_error(c);
    }
    ~SharedSegment() {
        // Waiting for the server's detach means the segment is gone once the
        // recording is closed, not some time later.
        if (serverAttached_ && !xcb_connection_has_error(connection_))
            std::free(
                xcb_request_check(connection_, xcb_shm_detach_checked(connection_, segment_)));
        if (address_ != nullptr)
            shmdt(address_);
    }
    SharedSegment(const SharedSegment&) = delete;
    SharedSegment& operator=(const SharedSegment&) = delete;

    bool usable() const { return serverAttached_; }
    xcb_shm_seg_t id() const { return segment_; }
    const std::uint8_t* data() const { return address_; }
    std::size_t bytes() const { return bytes_; }

  private:
    xcb_connection_t* connection_;
    int id_ = -1;
    std::uint8_t* address_ = nullptr;
    std::size_t bytes_ = 0;
    xcb_shm_seg_t segment_ = 0;
    bool serverAttached_ = false;
};

}  // namespace

bool isWaylandSession(const char* xdgSessionType, const char* waylandDisplay) {
    if (xdgSessionType != nullptr && std::strcmp(xdgSessionType, "wayland") == 0)
        return true;
    return waylandDisplay != nullptr && waylandDisplay[0] != '\0';
}

bool isXWaylandDeviceName(std::string_view name) {
    return name.starts_with("xwayland-");
}

int x11AccessStatus(bool connected, bool serverIsXWayland, bool waylandSession) {
    if (!connected)
        return waylandSession ? kScreenErrNeedsX11 : kScreenErrNoDisplay;
    if (serverIsXWayland && waylandSession)
        return kScreenErrNeedsX11;
    return kScreenOk;
}

// Everything one recording holds. Members are destroyed bottom-up, so the
// segment is detached while the connection still exists.
struct X11ScreenSource::Session {
    Connection connection;
    xcb_window_t root = 0;
    ScreenArea primary;  // where on the root window the frames come from
    ScreenGeometry geometry;
    ServerPixelFormat format;
    PixelRowConverter converter;
    std::unique_ptr<SharedSegment> segment;
    std::vector<xcb_get_image_cookie_t> stripCookies;

    int grab(std::span<std::uint8_t> frame);

  private:
    int fetchAndConvert(int width, int height, std::uint8_t* frame);
    int fetchShared(int width, int height, std::uint8_t* frame);
    int fetchPlain(int width, int height, std::uint8_t* frame);
    // Converts `rows` server rows starting at screen row `firstRow`.
    void convertRows(const std::uint8_t* image, int firstRow, int width, int rows,
                     std::uint8_t* frame) const;
    int failure() const {
        return xcb_connection_has_error(connection.get()) ? kScreenErrDisplayLost
                                                          : kScreenErrGrabFailed;
    }
};

int X11ScreenSource::Session::grab(std::span<std::uint8_t> frame) {
    xcb_connection_t* c = connection.get();
    const std::size_t bytes = static_cast<std::size_t>(frameBytes(geometry));
    if (xcb_connection_has_error(c)) {
        std::memset(frame.data(), 0, bytes);
        return kScreenErrDisplayLost;
    }
    // The display may have shrunk since start-up: read only what exists now.
    Reply<xcb_get_geometry_reply_t> now(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, root), nullptr));
    if (!now) {
        std::memset(frame.data(), 0, bytes);
        return failure();
    }
    const int width = std::clamp<int>(now->width - primary.x, 0, geometry.width);
    const int height = std::clamp<int>(now->height - primary.y, 0, geometry.height);
    const int status = fetchAndConvert(width, height, frame.data());
    if (status != kScreenOk) {
        std::memset(frame.data(), 0, bytes);
        return status;
    }
    // Screen rows below the display's current bottom are the frame's first rows.
    const std::size_t rowBytes = static_cast<std::size_t>(frameRowBytes(geometry));
    std::memset(frame.data(), 0, rowBytes * static_cast<std::size_t>(geometry.height - height));
    return kScreenOk;
}

int X11ScreenSource::Session::fetchAndConvert(int width, int height, std::uint8_t* frame) {
    if (width <= 0 || height <= 0)
        return kScreenOk;  // nothing left to read
    const std::size_t needed = serverRowBytes(format, width) * static_cast<std::size_t>(height);
    if (segment && needed <= segment->bytes())
        return fetchShared(width, height, frame);
    return fetchPlain(width, height, frame);
}

int X11ScreenSource::Session::fetchShared(int width, int height, std::uint8_t* frame) {
    xcb_connection_t* c = connection.get();
    const auto cookie = xcb_shm_get_image(
        c, root, static_cast<std::int16_t>(primary.x), static_cast<std::int16_t>(primary.y),
        static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), kAllPlanes,
        XCB_IMAGE_FORMAT_Z_PIXMAP, segment->id(), 0);
    xcb_generic_error_t* rawError = nullptr;
    Reply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(c, cookie, &rawError));
    Reply<xcb_generic_error_t> error(rawError);
    if (!reply || error)
        return failure();
    convertRows(segment->data(), 0, width, height, frame);
    return kScreenOk;
}

// Plain GetImage in strips, all requested before the first answer is read.
// Strip replies are small heap blocks that are reused from tick to tick; a
// reply of the whole screen is as big as a frame, and whether it lands on
// fresh pages (about 25 ms for 8 MB here) is the allocator's choice.
int X11ScreenSource::Session::fetchPlain(int width, int height, std::uint8_t* frame) {
    xcb_connection_t* c = connection.get();
    const std::size_t stride = serverRowBytes(format, width);
    const int stripRows = static_cast<int>(std::max<std::size_t>(1, kPlainStripBytes / stride));
    stripCookies.clear();  // capacity for one strip a row was reserved by open()
    for (int y = 0; y < height; y += stripRows) {
        stripCookies.push_back(xcb_get_image(
            c, XCB_IMAGE_FORMAT_Z_PIXMAP, root, static_cast<std::int16_t>(primary.x),
            static_cast<std::int16_t>(primary.y + y), static_cast<std::uint16_t>(width),
            static_cast<std::uint16_t>(std::min(stripRows, height - y)), kAllPlanes));
    }
    int status = kScreenOk;
    for (std::size_t i = 0; i < stripCookies.size(); ++i) {
        if (status != kScreenOk) {  // answers nobody reads must still be dropped
            xcb_discard_reply(c, stripCookies[i].sequence);
            continue;
        }
        const int y = static_cast<int>(i) * stripRows;
        const int rows = std::min(stripRows, height - y);
        xcb_generic_error_t* rawError = nullptr;
        Reply<xcb_get_image_reply_t> reply(xcb_get_image_reply(c, stripCookies[i], &rawError));
        Reply<xcb_generic_error_t> error(rawError);
        if (!reply || error) {
            status = failure();
        } else if (static_cast<std::size_t>(xcb_get_image_data_length(reply.get())) <
                   stride * static_cast<std::size_t>(rows)) {
            status = kScreenErrGrabFailed;
        } else {
            convertRows(xcb_get_image_data(reply.get()), y, width, rows, frame);
        }
    }
    return status;
}

// Screen row y becomes frame row (frame height - 1 - y); columns the display
// no longer has, and the row padding, are black.
void X11ScreenSource::Session::convertRows(const std::uint8_t* image, int firstRow, int width,
                                           int rows, std::uint8_t* frame) const {
    const std::size_t inStride = serverRowBytes(format, width);
    const std::size_t outStride = static_cast<std::size_t>(frameRowBytes(geometry));
    const std::size_t converted = static_cast<std::size_t>(width) * kFrameBytesPerPixel;
    for (int i = 0; i < rows; ++i) {
        const int y = firstRow + i;
        std::uint8_t* out = frame + outStride * static_cast<std::size_t>(geometry.height - 1 - y);
        converter.convert(image + inStride * static_cast<std::size_t>(i), width, out);
        if (converted < outStride)
            std::memset(out + converted, 0, outStride - converted);
    }
}

X11ScreenSource::X11ScreenSource() {
    const char* noShm = std::getenv("TESSALY_NO_SHM");
    options_.allowSharedMemory = noShm == nullptr || std::strcmp(noShm, "1") != 0;
}

X11ScreenSource::X11ScreenSource(Options options) : options_(std::move(options)) {}

X11ScreenSource::~X11ScreenSource() = default;

int X11ScreenSource::probe(ScreenGeometry& geometry) {
    ScreenArea primary;
    const int status = probePrimaryArea(primary);
    if (status != kScreenOk)
        return status;
    ScreenGeometry measured;
    measured.width = primary.width;
    measured.height = primary.height;
    measured.planes = 1;
    measured.bitsPerPixel = 32;  // every server depth is delivered as 32-bit frames
    geometry = measured;
    return kScreenOk;
}

int X11ScreenSource::probePrimaryArea(ScreenArea& area) {
    Connection connection;
    xcb_screen_t* screen = nullptr;
    const int status = connectToScreen(options_.displayName, connection, screen);
    if (status != kScreenOk)
        return status;
    ServerPixelFormat format;
    PixelRowConverter converter;
    if (!readPixelFormat(connection.get(), screen, format) || !converter.configure(format))
        return kScreenErrUnsupportedFormat;
    area = primaryMonitorArea(connection.get(), screen);
    return kScreenOk;
}

int X11ScreenSource::open(const ScreenGeometry& geometry) {
    close();
    // The display is looked at first: when there was none at start-up, the
    // geometry is empty, and the missing display is the failure to report.
    auto session = std::make_unique<Session>();
    xcb_screen_t* screen = nullptr;
    const int status = connectToScreen(options_.displayName, session->connection, screen);
    if (status != kScreenOk)
        return status;
    if (!isUsableGeometry(geometry) || geometry.bitsPerPixel != 32)
        return kScreenErrBadGeometry;
    xcb_connection_t* c = session->connection.get();
    if (!readPixelFormat(c, screen, session->format) ||
        !session->converter.configure(session->format))
        return kScreenErrUnsupportedFormat;
    session->root = screen->root;
    // Frames keep the start-up size; where they start follows the primary
    // monitor as it is when the recording begins.
    session->primary = primaryMonitorArea(c, screen);
    session->geometry = geometry;
    session->stripCookies.reserve(static_cast<std::size_t>(geometry.height));
    if (options_.allowSharedMemory && isLocalDisplay(options_.displayName) &&
        serverHasSharedMemory(c)) {
        const std::size_t bytes = serverRowBytes(session->format, geometry.width) *
                                  static_cast<std::size_t>(geometry.height);
        auto segment = std::make_unique<SharedSegment>(c, bytes);
        if (segment->usable())
            session->segment = std::move(segment);
    }
    if (xcb_connection_has_error(c))
        return kScreenErrDisplayLost;
    session_ = std::move(session);
    return kScreenOk;
}

int X11ScreenSource::grab(std::span<std::uint8_t> frame) {
    if (!session_)
        return kScreenErrNotOpen;
    if (frame.size() < frameBytes(session_->geometry))
        return kScreenErrBufferTooSmall;
    return session_->grab(frame);
}

void X11ScreenSource::close() {
    session_.reset();
}

bool X11ScreenSource::usesSharedMemory() const {
    return session_ && session_->segment;
}
