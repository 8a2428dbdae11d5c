#pragma once

#include <QRect>
#include <QString>

#include <functional>

class QMdiArea;
class QMdiSubWindow;
class QWidget;

namespace sv {

// Window placement kept per procedure name in POSITION.INI (XPosit, YPosit, Width, Height,
// Maximize). A minimized window saves nothing; a maximized one saves the place it takes
// when restored. A stored XPosit of 0 or none leaves the window where it opened; a
// fixed-size window keeps its own size. Every restored place is brought inside the room
// the window has (the screen's free area, or the frame's work area for a child window),
// so that a position saved on a larger screen or at another scale stays reachable.
void saveWindowPosition(const QString &procedure, QWidget *window);
void restoreWindowPosition(const QString &procedure, QWidget *window, bool resizable = true);

// The window that is placed on screen for `widget`: its frame inside the program's work
// area, or the widget itself when it stands alone.
QWidget *placementWindow(QWidget *widget);

// The place a window is given inside `room`: no larger than the room (but never below
// `minimum`), and moved so that all of it lies inside; when the minimum does not fit, its
// top left corner (title bar and first controls) is kept in the room.
QRect clampedPlacement(const QRect &wanted, const QRect &room, const QSize &minimum);

// Opens `window` in `area` as a child window that lives exactly as long as the window:
// whichever way the window ends (OK, Cancel, Esc, a select, its close box), its frame goes
// with it, and nothing is left behind in the work area. `firstPlace`, when given, sizes and
// moves the frame before it is shown; a place saved for the window's procedure then
// overrides it. Opened while another child is maximized, it opens maximized too, with that
// first place kept for when it is restored. The window keeps the field it had focused.
QMdiSubWindow *showInWorkArea(QMdiArea *area, QWidget *window,
                              const std::function<void(QMdiSubWindow *)> &firstPlace = {});

} // namespace sv
