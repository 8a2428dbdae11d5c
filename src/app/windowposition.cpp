#include "windowposition.h"

#include "platform/inifile.h"
#include "platform/paths.h"

#include <QMdiSubWindow>
#include <QWidget>

namespace sv {

QWidget *placementWindow(QWidget *widget)
{
    auto *child = qobject_cast<QMdiSubWindow *>(widget->parentWidget());
    return child ? static_cast<QWidget *>(child) : widget;
}

void saveWindowPosition(const QString &procedure, const QWidget *window)
{
    if (window->isMinimized())
        return;
    const QString file = Paths::positionFile();
    const QRect normal = window->isMaximized() ? window->normalGeometry() : window->geometry();
    IniFile::put(procedure, QStringLiteral("Maximize"),
                 window->isMaximized() ? QStringLiteral("Yes") : QStringLiteral("No"), file);
    IniFile::putNumber(procedure, QStringLiteral("XPosit"), normal.x(), file);
    IniFile::putNumber(procedure, QStringLiteral("YPosit"), normal.y(), file);
    IniFile::putNumber(procedure, QStringLiteral("Width"), normal.width(), file);
    IniFile::putNumber(procedure, QStringLiteral("Height"), normal.height(), file);
}

void restoreWindowPosition(const QString &procedure, QWidget *window, bool resizable)
{
    const QString file = Paths::positionFile();
    const qint64 x = IniFile::getNumber(procedure, QStringLiteral("XPosit"), 0, file);
    if (x == 0)
        return;
    if (!window->isMaximized()) {
        const qint64 y = IniFile::getNumber(procedure, QStringLiteral("YPosit"), 0, file);
        if (resizable) {
            const qint64 width =
                IniFile::getNumber(procedure, QStringLiteral("Width"), window->width(), file);
            const qint64 height =
                IniFile::getNumber(procedure, QStringLiteral("Height"), window->height(), file);
            window->setGeometry(int(x), int(y), int(qMax<qint64>(width, 1)),
                                int(qMax<qint64>(height, 1)));
        } else {
            window->move(int(x), int(y));
        }
    }
    if (IniFile::get(procedure, QStringLiteral("Maximize"), QString(), file)
            .compare(u"Yes", Qt::CaseInsensitive) == 0)
        window->showMaximized();
}

} // namespace sv
