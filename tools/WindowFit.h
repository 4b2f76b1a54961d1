#ifndef KORVEX_WINDOWFIT_H
#define KORVEX_WINDOWFIT_H

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QVector>

class QMainWindow;
class QWidget;

// Windows that fit the screen they open on: each opens inside the screen's
// available area (the desktop without its panels), no larger than that
// area, clear of the tool windows already open where there is room and
// never over their title bars; its last place and size are kept in the
// settings file and taken again only when they still fit.
namespace WindowFit {

// The frame and title bar a window manager adds around a window, as far as
// is known before the window has one: never less than a usual title bar.
QMargins frameAllowance(const QWidget *window);

// How well a spot keeps clear of the windows already open.
enum class Clearance { Covers, ClearOfTitles, Clear };

// Where a frame of this size (frame and title bar included) opens in area:
// the first spot, row by row from the top left, clear of every frame in
// taken; else the first that covers none of their title bars (titleHeight
// high); else the top left. A frame larger than area opens at its top left.
QPoint freeSpot(const QRect &area, const QSize &frame, const QVector<QRect> &taken, int titleHeight,
                Clearance *clearance = nullptr);

// A window's central widget scrolls when the window is made smaller than
// it, so the window can be as small as the screen needs and every control
// stays reachable. The window still opens as large as the widget wants.
void scrollWhenSmall(QMainWindow *window);

// Places the window, by its object name, each time it is shown after being
// placed by no one (see above); the main window (no parent) opens centred.
void keepOnScreen(QWidget *window);

// Writes down where every kept window is now (the program is ending).
void rememberOpenWindows();

} // namespace WindowFit

#endif
