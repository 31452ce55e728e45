// The shared look of every page: fills, the field border, the round button
// style, the slider style, fonts and text colours.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QWidget;

namespace look {

// Style sheets.
const QString& darkFill();
const QString& greyFill();
const QString& fieldBorder();
const QString& roundButtonStyle();
const QString& sliderStyle();
const QString& whiteText();

// Fonts.
QFont titleFont();
QFont legalNoticeFont();
QFont linkFont();              // title bar links and the home page buttons
QFont recordAndCutPageFont();  // "F"
QFont mergePageFont();         // "G"

// The strip at the top of the window's pages and of the progress dialog.
inline constexpr int kTitleBarHeight = 70;

// Text colour of the home page buttons.
inline constexpr QColor kHomeButtonText{54, 75, 75};
// Text of disabled controls on the grey fills. The platform's own disabled
// grey is almost the grey of the fills, which would hide "Play", "Cut",
// "Merge" and the save directory until they are enabled.
inline constexpr QColor kDisabledButtonText{120, 120, 120};
inline constexpr QColor kDisabledFieldText{51, 52, 55};

// Applies the home-page text colour to a widget's window text and button text
// in every colour group.
void setHomeButtonTextColour(QWidget* widget);

// A button in the round style with the pointing-hand cursor, whose text
// stays readable while it is disabled.
void makeRoundButton(QWidget* button);

// Keeps the text of a disabled line edit readable on a grey fill.
void keepDisabledFieldReadable(QWidget* field);

}  // namespace look
