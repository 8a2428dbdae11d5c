#include "procedures.h"

#include "browser.h"

#include <QHash>

namespace sv {

namespace {

struct Entry
{
    Procedures::Placement placement;
    Procedures::Factory factory;
};

QHash<QString, Entry> &registry()
{
    static QHash<QString, Entry> entries;
    return entries;
}

} // namespace

void Procedures::add(const QString &name, Placement placement, Factory factory)
{
    registry().insert(name, {placement, std::move(factory)});
}

void Procedures::addBrowser(const QString &name, std::function<Browser *(Session &)> make)
{
    add(name, Placement::OwnWindow,
        [make = std::move(make)](Session &session, MainFrame &) -> QWidget * {
            Browser *browser = make(session);
            if (browser->start())
                return browser;
            delete browser;
            return nullptr;
        });
}

bool Procedures::has(const QString &name)
{
    return registry().contains(name);
}

Procedures::Placement Procedures::placement(const QString &name)
{
    return registry().value(name).placement;
}

QWidget *Procedures::create(const QString &name, Session &session, MainFrame &frame)
{
    const auto it = registry().constFind(name);
    return it == registry().constEnd() ? nullptr : it->factory(session, frame);
}

void Procedures::clear()
{
    registry().clear();
}

} // namespace sv
