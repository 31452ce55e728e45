#include "ui/window_drag.h"

#include <QEvent>
#include <QMouseEvent>
#include <QWidget>

WindowDragHandler::WindowDragHandler(QWidget* window) : QObject(window), window_(window) {
    window_->installEventFilter(this);
}

bool WindowDragHandler::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_) {
        return false;
    }
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton) {
                return false;
            }
            dragging_ = true;
            grabOffset_ = mouse->globalPosition().toPoint() - window_->frameGeometry().topLeft();
            return true;
        }
        case QEvent::MouseMove: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (!dragging_ || !(mouse->buttons() & Qt::LeftButton)) {
                return false;
            }
            window_->move(mouse->globalPosition().toPoint() - grabOffset_);
            return true;
        }
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (!dragging_ || mouse->button() != Qt::LeftButton) {
                return false;
            }
            dragging_ = false;
            return true;
        }
        default:
            return false;
    }
}
