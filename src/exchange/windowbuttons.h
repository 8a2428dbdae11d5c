#pragma once

#include <QList>
#include <QString>

#include <functional>

class QHBoxLayout;
class QPushButton;
class QWidget;

namespace sv::exchange {

// The push buttons of an exchange window, kept so that they can be found by caption.
class WindowButtons
{
public:
    explicit WindowButtons(QWidget *window) : m_window(window) {}

    QPushButton *add(const char *caption, std::function<void()> clicked);
    QPushButton *find(const QString &caption) const; // null when there is none
    // The row along the bottom: `option` on the left, then OK (the default button), Cancel,
    // which closes the window, and Help for the window.
    QHBoxLayout *closingRow(QWidget *option, std::function<void()> ok);

private:
    QWidget *m_window;
    QList<QPushButton *> m_buttons;
};

} // namespace sv::exchange
