#include "session.h"

#include <QPrinter>

namespace sv {

namespace {
Session *currentSession = nullptr;
}

Session::Session(const QString &folder, std::unique_ptr<ServerDatabase> server)
    : m_store(folder, std::move(server)), m_files(m_store, m_upgrades),
      m_integrity(m_store, m_files)
{
    currentSession = this;
}

Session::~Session()
{
    if (currentSession == this)
        currentSession = nullptr;
}

QPrinter &Session::printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>();
    return *m_printer;
}

Session *Session::current()
{
    return currentSession;
}

void Session::announceTables()
{
    m_upgrades.addDriver(QStringLiteral("Tps"), QStringLiteral("__GTPS:A"));
    m_upgrades.ignoreDriver(QStringLiteral("AllFiles"), 1);
    for (TableId id : {TableId::AddWizard, TableId::Albums, TableId::Categories, TableId::Fonts,
                       TableId::Labels, TableId::Tips, TableId::Media, TableId::Songs,
                       TableId::PlaylistDetails, TableId::PlaylistMaster}) {
        const TableDef &def = tableDef(id);
        m_upgrades.usingFile(def, def.label, def.prefix, def.version);
    }
}

} // namespace sv
