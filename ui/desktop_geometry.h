// Where the main window goes on the desktop at its two sizes.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace desktop {

// The top-left corner that centres a window of `size` on the desktop;
// integer division truncates toward zero like the rest of the geometry.
QPoint centred(const QSize& size);

// The area a maximised window covers: the primary screen without the panels
// the desktop reserves. Empty without a screen.
QRect maximisedArea();

}  // namespace desktop
