// Where the primary monitor lies on an X screen. A desktop that spans several
// monitors has one root window covering all of them; the recorder records only
// the primary one, the one the desktop puts its panels and new windows on.
#pragma once

#include <xcb/xcb.h>

#include "platform/screen_source.h"

// The primary monitor's rectangle, as RandR describes it: the monitor marked
// primary among the active monitors (RandR 1.5), or the first one listed when
// none is marked, which is also the monitor toolkits such as Qt treat as
// primary. Servers without monitors (RandR 1.3 and 1.4) give the CRTC of the
// primary output. Without RandR, without a primary, or when the rectangle lies
// outside the root window, the whole root window. Always clipped to the root
// window, never empty for a non-empty screen.
ScreenArea primaryMonitorArea(xcb_connection_t* connection, const xcb_screen_t* screen);
