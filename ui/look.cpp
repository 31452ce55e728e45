#include "ui/look.h"

#include <QPalette>
#include <QWidget>

namespace look {

namespace {
const QString kFontFamily = QStringLiteral("Arial");
}

const QString& darkFill() {
    static const QString style = QStringLiteral("background-color: rgb(51, 52, 55);");
    return style;
}

const QString& greyFill() {
    static const QString style = QStringLiteral("background-color: rgb(191, 191, 191);");
    return style;
}

const QString& fieldBorder() {
    static const QString style = QStringLiteral("border: 2px groove white;");
    return style;
}

const QString& whiteText() {
    static const QString style = QStringLiteral("color: white;");
    return style;
}

const QString& roundButtonStyle() {
    static const QString style = QStringLiteral(
        "QPushButton{background-color:rgb(191, 191, 191);"
        "\t\t\t\t\tborder-radius: 10px;"
        "\t\t\t\t\tborder: 2px groove white;"
        "\t\t\t\t\tborder-style: outset;}"
        "QPushButton:hover{background-color:rgb(156, 156, 156);}"
        "QPushButton:pressed{background-color:rgb(156, 156, 156);"
        "\t\t\t\t\tborder: 2px groove white;"
        "\t\t\t\t\tborder-style: inset;}");
    return style;
}

const QString& sliderStyle() {
    static const QString style = QStringLiteral(
        "QSlider::groove:horizontal{border: 1px solid #4A708B;background: #C0C0C0;"
        "height: 5px;border-radius: 1px;padding-left:-1px;padding-right:-1px;}"
        "\t\t\t"
        "QSlider::sub-page:horizontal{background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
        "stop:0 #B1B1B1, stop:1 #c4c4c4);"
        "\t\t\t"
        "background: qlineargradient(x1: 0, y1: 0.2, x2: 1, y2: 1,"
        "stop: 0 #5DCCFF, stop: 1 #1874CD);border: 1px solid #4A708B;height: 10px;"
        "border-radius: 2px;}"
        "\t\t\t"
        "QSlider::add-page:horizontal{background: #575757;border: 0px solid #777;"
        "height: 10px;border-radius: 2px;}"
        "QSlider::handle:horizontal{background: qradialgradient(spread:pad, cx:0.5, cy:0.5, "
        "radius:0.5, fx:0.5, fy:0.5,stop:0.6 #45ADED, stop:0.778409 rgba(255, 255, 255, 255));"
        "width: 11px;margin-top: -3px;margin-bottom: -3px;border-radius: 5px;}"
        "QSlider::handle:horizontal:hover{background: qradialgradient(spread:pad, cx:0.5, "
        "cy:0.5, radius:0.5, fx:0.5, fy:0.5, stop:0.6 #2A8BDA,stop:0.778409 rgba(255, 255, "
        "255, 255));width: 11px;margin-top: -3px;margin-bottom: -3px;border-radius: 5px;}"
        "QSlider::sub-page:horizontal:disabled{background: #00009C;border-color: #999;}"
        "QSlider::add-page:horizontal:disabled{background: #eee;border-color: #999;}"
        "QSlider::handle:horizontal:disabled{background: #eee;border: 1px solid #aaa;"
        "border-radius: 4px;}");
    return style;
}

QFont titleFont() {
    return QFont(kFontFamily, 12, QFont::Normal);
}

QFont legalNoticeFont() {
    return QFont(kFontFamily, 10, QFont::Normal);
}

QFont linkFont() {
    return QFont(kFontFamily, 10, QFont::Bold);
}

QFont recordAndCutPageFont() {
    return QFont(kFontFamily, 11, QFont::Bold);
}

QFont mergePageFont() {
    return QFont(kFontFamily, 10, QFont::Bold);
}

void setHomeButtonTextColour(QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::All, QPalette::WindowText, kHomeButtonText);
    palette.setColor(QPalette::All, QPalette::ButtonText, kHomeButtonText);
    widget->setPalette(palette);
}

void makeRoundButton(QWidget* button) {
    button->setStyleSheet(roundButtonStyle());
    button->setCursor(Qt::PointingHandCursor);
    QPalette palette = button->palette();
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, kDisabledButtonText);
    button->setPalette(palette);
}

void keepDisabledFieldReadable(QWidget* field) {
    QPalette palette = field->palette();
    palette.setColor(QPalette::Disabled, QPalette::Text, kDisabledFieldText);
    field->setPalette(palette);
}

}  // namespace look
