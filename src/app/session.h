#pragma once

#include "store/fileaccess.h"
#include "store/integrity.h"
#include "store/store.h"
#include "store/upgrademanager.h"

#include <QHash>
#include <QString>

#include <memory>

class QPrinter;

namespace sv {

// The process-wide state every window shares: the catalogue's record buffers and open
// counts, the upgrade manager, the integrity routines, what the forms saved last, the
// printer chosen and the version the previous run left. One per application; tests make
// their own over a temporary folder.
class Session
{
public:
    // The catalogue in the folder, or on the server when one is given.
    explicit Session(const QString &folder, std::unique_ptr<ServerDatabase> server = nullptr);
    ~Session();

    Store &store() { return m_store; }
    UpgradeManager &upgrades() { return m_upgrades; }
    FileAccess &files() { return m_files; }
    Integrity &integrity() { return m_integrity; }

    // Set while the album form has called the song form, so that the song form takes the
    // album's values and keeps its album fields fixed.
    bool calledFromAlbumForm = false;

    // The record each form (by procedure name) saved last in this run, for its history key.
    QHash<QString, Record> &lastSaved() { return m_lastSaved; }
    // The printer File / Print Setup chose, kept for the rest of the run.
    QPrinter &printer();
    // The program version the settings held when this run started ("" on first use).
    QString previousVersion;

    // Makes every versioned table known to the upgrade manager, in the start-up order.
    void announceTables();

    static Session *current();

private:
    Store m_store;
    UpgradeManager m_upgrades;
    FileAccess m_files;
    Integrity m_integrity;
    QHash<QString, Record> m_lastSaved;
    std::unique_ptr<QPrinter> m_printer;
};

} // namespace sv
