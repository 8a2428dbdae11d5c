#include "windowposition.h"

#include "platform/inifile.h"
#include "platform/paths.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace sv {

namespace {

const char *const NormalGeometry = "restoredPlace";
constexpr qint64 MaximumSide = 100000; // beyond any screen: a damaged entry

// Notes a child window's place while it is neither maximized nor minimized: Qt keeps the
// place a maximized child returns to to itself, and saving needs it.
class NormalPlaceKeeper : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Move || event->type() == QEvent::Resize) {
            auto *window = static_cast<QWidget *>(watched);
            if (!(window->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized)))
                window->setProperty(NormalGeometry, window->geometry());
        }
        return false;
    }
};

QMdiSubWindow *asChildWindow(const QWidget *window)
{
    return qobject_cast<QMdiSubWindow *>(const_cast<QWidget *>(window));
}

// The place a window takes when it is neither maximized nor minimized.
QRect normalPlace(const QWidget *window)
{
    if (!window->isMaximized())
        return window->geometry();
    if (asChildWindow(window)) {
        const QRect kept = window->property(NormalGeometry).toRect();
        return kept.isValid() ? kept : window->geometry();
    }
    return window->normalGeometry().isValid() ? window->normalGeometry() : window->geometry();
}

// The room a window may take: the work area of the frame for a child window, else the free
// area of the screen (without panels) the place lies on. Empty when not known yet.
QRect roomFor(const QWidget *window, const QRect &place)
{
    if (QMdiSubWindow *child = asChildWindow(window)) {
        QMdiArea *area = child->mdiArea();
        // An area not on screen yet has no size to go by.
        return area && area->isVisible() ? QRect(QPoint(0, 0), area->viewport()->size()) : QRect();
    }
    QScreen *screen = QGuiApplication::screenAt(place.center());
    if (!screen)
        screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return QRect();
    QRect room = screen->availableGeometry();
    if (window->isVisible()) {
        // The window manager's frame (title bar, borders) must fit as well.
        const QRect frame = window->frameGeometry();
        const QRect inner = window->geometry();
        room.adjust(inner.left() - frame.left(), inner.top() - frame.top(),
                    inner.right() - frame.right(), inner.bottom() - frame.bottom());
    }
    return room;
}

// Brings a top-level window inside the screen once the window manager has put its frame
// (title bar, borders) around it. Before the window is shown that frame is not known, so a
// place that fits the screen exactly, or one at its top edge, would leave the title bar or
// the bottom off the screen. It acts once, the first time the frame is known, and leaves
// the window alone after that: a window the user moves partly off the screen stays there.
class FrameFitter : public QObject
{
public:
    FrameFitter(QWidget *window, bool resizable)
        : QObject(window), m_window(window), m_resizable(resizable)
    {
        setObjectName(QStringLiteral("frameFitter"));
        window->installEventFilter(this);
        watchPlatformWindow();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::Show:
            if (watched == m_window)
                watchPlatformWindow();
            break;
        case QEvent::Expose:
            // Mapped: the window manager has framed the window and placed it.
            fit();
            break;
        default:
            break;
        }
        return false;
    }

private:
    void watchPlatformWindow()
    {
        QWindow *handle = m_window->windowHandle();
        if (handle && handle != m_handle) {
            m_handle = handle;
            handle->installEventFilter(this);
        }
    }

    void fit()
    {
        if (!m_window->isVisible())
            return;
        if (m_window->windowState() &
            (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)) {
            deleteLater();
            return;
        }
        const QRect inner = m_window->geometry();
        if (m_window->frameGeometry() == inner)
            return; // no frame yet, or none at all
        const QSize minimum = m_resizable
                                  ? m_window->minimumSize().expandedTo(m_window->minimumSizeHint())
                                  : inner.size();
        const QRect fitted = clampedPlacement(inner, roomFor(m_window, inner), minimum);
        // Gone before the move, whose own events come back here.
        if (m_handle)
            m_handle->removeEventFilter(this);
        m_window->removeEventFilter(this);
        deleteLater();
        if (fitted != inner)
            m_window->setGeometry(fitted);
    }

    QWidget *m_window;
    QPointer<QWindow> m_handle;
    bool m_resizable;
};

} // namespace

QWidget *placementWindow(QWidget *widget)
{
    auto *child = qobject_cast<QMdiSubWindow *>(widget->parentWidget());
    return child ? static_cast<QWidget *>(child) : widget;
}

QRect clampedPlacement(const QRect &wanted, const QRect &room, const QSize &minimum)
{
    if (room.isEmpty())
        return wanted;
    const int width = qMax(qMin(wanted.width(), room.width()), minimum.width());
    const int height = qMax(qMin(wanted.height(), room.height()), minimum.height());
    const int x = qMax(room.left(), qMin(wanted.x(), room.left() + room.width() - width));
    const int y = qMax(room.top(), qMin(wanted.y(), room.top() + room.height() - height));
    return QRect(x, y, width, height);
}

void saveWindowPosition(const QString &procedure, QWidget *window)
{
    if (window->isMinimized())
        return;
    const QString file = Paths::positionFile();
    // A window is never saved larger than its room, however it grew.
    const QRect normal = normalPlace(window);
    const QRect place = clampedPlacement(normal, roomFor(window, normal), QSize());
    IniFile::put(procedure, QStringLiteral("Maximize"),
                 window->isMaximized() ? QStringLiteral("Yes") : QStringLiteral("No"), file);
    IniFile::putNumber(procedure, QStringLiteral("XPosit"), place.x(), file);
    IniFile::putNumber(procedure, QStringLiteral("YPosit"), place.y(), file);
    IniFile::putNumber(procedure, QStringLiteral("Width"), place.width(), file);
    IniFile::putNumber(procedure, QStringLiteral("Height"), place.height(), file);
}

void restoreWindowPosition(const QString &procedure, QWidget *window, bool resizable)
{
    const QString file = Paths::positionFile();
    const qint64 x = IniFile::getNumber(procedure, QStringLiteral("XPosit"), 0, file);
    QMdiSubWindow *child = asChildWindow(window);
    const bool maximize =
        x != 0 && IniFile::get(procedure, QStringLiteral("Maximize"), QString(), file)
                          .compare(u"Yes", Qt::CaseInsensitive) == 0;
    if (window->isMaximized())
        window->showNormal();
    if (x != 0) {
        const qint64 y = IniFile::getNumber(procedure, QStringLiteral("YPosit"), 0, file);
        QRect wanted(int(x), int(y), window->width(), window->height());
        if (resizable) {
            const auto size = [&](const QString &entry, int current) {
                const qint64 value = IniFile::getNumber(procedure, entry, current, file);
                return int(std::clamp<qint64>(value, 1, MaximumSide));
            };
            wanted.setSize(QSize(size(QStringLiteral("Width"), window->width()),
                                 size(QStringLiteral("Height"), window->height())));
        }
        const QSize minimum = resizable
                                  ? window->minimumSize().expandedTo(window->minimumSizeHint())
                                  : window->size();
        window->setGeometry(clampedPlacement(wanted, roomFor(window, wanted), minimum));
    } else {
        // Where it opened, but inside its room. A window not shown yet keeps the place
        // the system gives it (a dialog centred over its parent) and is only made to fit.
        const QRect fitted =
            clampedPlacement(window->geometry(), roomFor(window, window->geometry()),
                             window->minimumSize().expandedTo(window->minimumSizeHint()));
        if (window->isVisible())
            window->setGeometry(fitted);
        else
            window->resize(fitted.size());
    }
    if (child)
        child->setProperty(NormalGeometry, child->geometry());
    else if (!window->findChild<QObject *>(QStringLiteral("frameFitter"),
                                           Qt::FindDirectChildrenOnly))
        new FrameFitter(window, resizable);
    if (maximize)
        window->showMaximized();
}

QMdiSubWindow *showInWorkArea(QMdiArea *area, QWidget *window,
                              const std::function<void(QMdiSubWindow *)> &firstPlace)
{
    QMdiSubWindow *active = area->activeSubWindow();
    const bool amongMaximized = active && active->isVisible() && active->isMaximized();
    // The area gives the focus back to a window's focused field as it adds it, and that
    // activates and shows the frame at once, before it has a place, maximized over the
    // maximized one: the place given afterwards then shrinks the maximized frame. The
    // field gets the focus once the frame is shown.
    const QPointer<QWidget> focused = window->focusWidget();
    if (focused)
        focused->clearFocus();
    window->setAttribute(Qt::WA_DeleteOnClose);
    QMdiSubWindow *child = area->addSubWindow(window);
    child->setAttribute(Qt::WA_DeleteOnClose);
    child->installEventFilter(new NormalPlaceKeeper(child));
    // A window that ends itself takes its frame with it.
    QObject::connect(window, &QObject::destroyed, child, &QObject::deleteLater);
    if (firstPlace)
        firstPlace(child);
    child->show(); // the window restores its saved place as it is shown
    if (amongMaximized && !child->isMaximized())
        child->showMaximized();
    // The area puts a window without a saved place one step on from the last, whatever its
    // size, which can leave part of it outside: the whole of it is brought in.
    if (!child->isMaximized() && area->isVisible()) {
        const QRect inside =
            clampedPlacement(child->geometry(), QRect(QPoint(0, 0), area->viewport()->size()),
                             child->minimumSizeHint());
        if (inside != child->geometry()) {
            child->setGeometry(inside);
            child->setProperty(NormalGeometry, inside);
        }
    }
    if (focused)
        focused->setFocus();
    return child;
}

} // namespace sv
