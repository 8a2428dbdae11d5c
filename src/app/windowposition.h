#pragma once

#include <QString>

class QWidget;

namespace sv {

// Window placement kept per procedure name in POSITION.INI (XPosit, YPosit, Width, Height,
// Maximize). A minimized window saves nothing; a stored XPosit of 0 or none leaves the
// window where it opened; a fixed-size window keeps its own size.
void saveWindowPosition(const QString &procedure, const QWidget *window);
void restoreWindowPosition(const QString &procedure, QWidget *window, bool resizable = true);

// The window that is placed on screen for `widget`: its frame inside the program's work
// area, or the widget itself when it stands alone.
QWidget *placementWindow(QWidget *widget);

} // namespace sv
