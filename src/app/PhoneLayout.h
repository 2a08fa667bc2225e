#pragma once

#include "DialogBase.h"

class QMenuBar;

// The phone class's layout. A handheld grew its screens by growing the
// dialog units with the system font and the display; here the template font
// is grown until the template's width in dialog units fills the display's
// width, and every control with it. Controls a finger presses are then at
// least kTouchTarget logical pixels in both directions, grown about their
// template centre; rows that would touch move apart. Other classes keep the
// template exactly.
namespace phonelayout {

// 7 mm at the usual phone scale of about 150 logical pixels per inch.
inline constexpr int kTouchTarget = 40;

// Called once the screen's controls exist; nothing happens off the phone class.
void apply(CDialogBase& screen);
// The menu bar's entries and its pop-up's, touch-sized on the phone class.
void touchMenuBar(const CDialogBase& screen, QMenuBar* bar);
// From now on, every message box (the program's own and those that Qt's
// static helpers make) takes the screens' grown font and touch-sized
// buttons on the phone class. Call once the application object exists.
void touchMessageBoxes();
// A screen's own label font, grown as its template font was.
LogFont scaled(const QWidget* screen, LogFont font);

} // namespace phonelayout
