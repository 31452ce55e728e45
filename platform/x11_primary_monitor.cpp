#include "platform/x11_primary_monitor.h"

#include <xcb/randr.h>

#include <algorithm>
#include <optional>

#include "platform/xcb_reply.h"

namespace {

// RandR 1.5 introduced monitors; 1.3 the primary output.
constexpr std::uint32_t kRandrMajor = 1;
constexpr std::uint32_t kMonitorsMinor = 5;
constexpr std::uint32_t kPrimaryOutputMinor = 3;

ScreenArea wholeRoot(const xcb_screen_t* screen) {
    return {0, 0, screen->width_in_pixels, screen->height_in_pixels};
}

// The part of `area` inside the root window; nothing when they do not meet.
std::optional<ScreenArea> clipToRoot(const ScreenArea& area, const xcb_screen_t* screen) {
    const int left = std::max(area.x, 0);
    const int top = std::max(area.y, 0);
    const int right = std::min(area.x + area.width, static_cast<int>(screen->width_in_pixels));
    const int bottom = std::min(area.y + area.height, static_cast<int>(screen->height_in_pixels));
    if (right <= left || bottom <= top)
        return std::nullopt;
    return ScreenArea{left, top, right - left, bottom - top};
}

// The minor version both sides speak, or nothing without RandR.
std::optional<std::uint32_t> randrMinorVersion(xcb_connection_t* c) {
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_randr_id);
    if (extension == nullptr || !extension->present)
        return std::nullopt;
    XcbReply<xcb_randr_query_version_reply_t> version(xcb_randr_query_version_reply(
        c, xcb_randr_query_version(c, kRandrMajor, kMonitorsMinor), nullptr));
    if (!version || version->major_version != kRandrMajor)
        return std::nullopt;
    return version->minor_version;
}

std::optional<ScreenArea> primaryMonitor(xcb_connection_t* c, xcb_window_t root) {
    XcbReply<xcb_randr_get_monitors_reply_t> monitors(
        xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, root, 1), nullptr));
    if (!monitors)
        return std::nullopt;
    std::optional<ScreenArea> first;
    for (auto it = xcb_randr_get_monitors_monitors_iterator(monitors.get()); it.rem > 0;
         xcb_randr_monitor_info_next(&it)) {
        const ScreenArea area{it.data->x, it.data->y, it.data->width, it.data->height};
        if (it.data->primary)
            return area;
        if (!first)
            first = area;
    }
    return first;
}

std::optional<ScreenArea> primaryOutputCrtc(xcb_connection_t* c, xcb_window_t root) {
    XcbReply<xcb_randr_get_output_primary_reply_t> primary(
        xcb_randr_get_output_primary_reply(c, xcb_randr_get_output_primary(c, root), nullptr));
    if (!primary || primary->output == XCB_NONE)
        return std::nullopt;
    XcbReply<xcb_randr_get_output_info_reply_t> output(xcb_randr_get_output_info_reply(
        c, xcb_randr_get_output_info(c, primary->output, XCB_CURRENT_TIME), nullptr));
    if (!output || output->crtc == XCB_NONE)
        return std::nullopt;
    XcbReply<xcb_randr_get_crtc_info_reply_t> crtc(xcb_randr_get_crtc_info_reply(
        c, xcb_randr_get_crtc_info(c, output->crtc, XCB_CURRENT_TIME), nullptr));
    if (!crtc)
        return std::nullopt;
    return ScreenArea{crtc->x, crtc->y, crtc->width, crtc->height};
}

}  // namespace

ScreenArea primaryMonitorArea(xcb_connection_t* connection, const xcb_screen_t* screen) {
    const std::optional<std::uint32_t> minor = randrMinorVersion(connection);
    std::optional<ScreenArea> primary;
    if (minor && *minor >= kMonitorsMinor)
        primary = primaryMonitor(connection, screen->root);
    else if (minor && *minor >= kPrimaryOutputMinor)
        primary = primaryOutputCrtc(connection, screen->root);
    if (primary)
        primary = clipToRoot(*primary, screen);
    return primary ? *primary : wholeRoot(screen);
}
