#include "ui/desktop_geometry.h"

#include <QGuiApplication>
#include <QScreen>

namespace desktop {

QPoint centred(const QSize& size) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->virtualGeometry() : QRect();
    return {(area.width() - size.width()) / 2, (area.height() - size.height()) / 2};
}

QRect maximisedArea() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

}  // namespace desktop
