#include "ui/desktop_geometry.h"

#include <QGuiApplication>
#include <QScreen>

namespace desktop {

// Qt's primary screen on X11 is the RandR monitor marked primary (the first
// one listed when none is marked), which is also where the screen grab reads.
QPoint centred(const QSize& size) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect();
    return area.topLeft() +
           QPoint((area.width() - size.width()) / 2, (area.height() - size.height()) / 2);
}

QRect maximisedArea() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

}  // namespace desktop
