#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace sv {

class Session;
class MainFrame;
class Browser;

// The windows the frame's menus start, registered by name by the parts of the program that
// build them. A menu entry whose procedure is not registered is shown disabled.
class Procedures
{
public:
    enum class Placement {
        OwnWindow, // a new MDI child with an instance number of its own
        Direct,    // on the frame itself, blocking it while open (the factory shows it)
    };
    // Makes the window; for OwnWindow the frame shows it as an MDI child. A factory may
    // return null when it decided not to open (it has told the user why).
    using Factory = std::function<QWidget *(Session &session, MainFrame &frame)>;

    static void add(const QString &name, Placement placement, Factory factory);
    // A browser in a window of its own; one whose table could not be opened is not shown
    // (the user has been told).
    static void addBrowser(const QString &name, std::function<Browser *(Session &)> make);
    static bool has(const QString &name);
    static Placement placement(const QString &name);
    static QWidget *create(const QString &name, Session &session, MainFrame &frame);
    static void clear(); // for tests
};

} // namespace sv
