// Lets a frameless window be dragged by its own surface: a left-button press
// that no child widget takes starts a move, the window then follows the
// pointer so that the grabbed point stays under it, and the release ends it.
#pragma once

#include <QObject>
#include <QPoint>

class QWidget;

class WindowDragHandler : public QObject {
    Q_OBJECT

  public:
    // Filters the window's own mouse events; children that ignore a press
    // (labels, bars, panels) hand it on to the window, so the handler keeps
    // working when the pages are rebuilt.
    explicit WindowDragHandler(QWidget* window);

    bool isDragging() const { return dragging_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* window_;
    bool dragging_ = false;
    // Pointer position minus the window's top-left corner at the press.
    QPoint grabOffset_;
};
