// Where the main window goes on the desktop at its two sizes. Both follow the
// primary monitor, the one the recorder records: on a desktop that spans
// several monitors, never the whole span.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace desktop {

// The top-left corner that centres a window of `size` on the primary
// monitor; integer division truncates toward zero like the rest of the
// geometry.
QPoint centred(const QSize& size);

// The area a maximised window covers: the primary monitor without the panels
// the desktop reserves. Empty without a screen.
QRect maximisedArea();

}  // namespace desktop
