#include "integrity.h"

#include "errors.h"
#include "keytext.h"
#include "warnings.h"

namespace sv {

namespace {

constexpr int TransactionWait = 2; // seconds

bool sameKeyValue(const QVariant &a, const QVariant &b)
{
    if (a.typeId() == QMetaType::QString || b.typeId() == QMetaType::QString)
        return keyText(a.toString()) == keyText(b.toString());
    return a.toLongLong() == b.toLongLong();
}

// Keeps a record buffer as it was, whatever a routine reads into it meanwhile.
class BufferGuard
{
public:
    explicit BufferGuard(Table &table) : m_table(table), m_saved(table.buffer()) {}
    ~BufferGuard() { m_table.buffer() = m_saved; }

private:
    Table &m_table;
    Record m_saved;
};

// Fields a merge never fills: the number, and flags whose 0 is a "no" rather than nothing.
bool fillable(int field)
{
    switch (field) {
    case mus::ID:
    case mus::Skips:
    case mus::Live:
    case mus::DoNotPlay:
        return false;
    default:
        return true;
    }
}

// The fields that together say where a song sits on an album: moved as one, so that a song
// never names one album and another album's number.
bool albumLink(int field)
{
    switch (field) {
    case mus::AlbumID:
    case mus::Album:
    case mus::FileNumber:
    case mus::Side:
    case mus::TrackNumber:
        return true;
    default:
        return false;
    }
}

bool isEmptyValue(const QVariant &value)
{
    return value.typeId() == QMetaType::QString ? value.toString().trimmed().isEmpty()
                                                : value.toLongLong() == 0;
}

void fillFrom(Record &kept, const QList<Record> &others)
{
    const TableDef &songs = tableDef(TableId::Songs);
    const bool hasAlbum = kept.number(mus::AlbumID) != 0 ||
                          !kept.text(mus::Album).trimmed().isEmpty() ||
                          !kept.text(mus::FileNumber).trimmed().isEmpty();
    if (!hasAlbum) {
        for (const Record &other : others) {
            if (other.number(mus::AlbumID) == 0 && other.text(mus::Album).trimmed().isEmpty() &&
                other.text(mus::FileNumber).trimmed().isEmpty())
                continue;
            for (int field = 0; field < songs.fields.size(); ++field) {
                if (albumLink(field))
                    kept.setValue(field, other.value(field));
            }
            break;
        }
    }
    for (int field = 0; field < songs.fields.size(); ++field) {
        if (!fillable(field) || albumLink(field) || !isEmptyValue(kept.value(field)))
            continue;
        for (const Record &other : others) {
            if (!isEmptyValue(other.value(field))) {
                kept.setValue(field, other.value(field));
                break;
            }
        }
    }
    for (int memo = 0; memo < songs.memos.size(); ++memo) {
        if (!kept.memo(memo).trimmed().isEmpty())
            continue;
        for (const Record &other : others) {
            if (!other.memo(memo).trimmed().isEmpty()) {
                kept.setMemo(memo, other.memo(memo));
                break;
            }
        }
    }
}

} // namespace

Integrity::Integrity(Store &store, FileAccess &files) : m_store(store), m_files(files) {}

void Integrity::saveOriginals(TableId table)
{
    const Record &record = m_store.table(table).buffer();
    switch (table) {
    case TableId::Categories:
        m_originals.categoryId = record.number(cat::CategoryID);
        break;
    case TableId::Media:
        m_originals.media = record.text(med::Media);
        break;
    case TableId::Albums:
        m_originals.albumId = record.number(alb::AlbumID);
        m_originals.fileNumber = record.text(alb::FileNumber);
        break;
    default:
        break;
    }
}

QList<Table *> Integrity::childrenOf(TableId table)
{
    Table *songs = &m_store.table(TableId::Songs);
    switch (table) {
    case TableId::PlaylistMaster:
        return {&m_store.table(TableId::PlaylistDetails)};
    case TableId::Songs:
        return {&m_store.table(TableId::PlaylistDetails)};
    case TableId::Media:
        return {songs};
    case TableId::Categories:
        return {&m_store.table(TableId::Albums), songs};
    case TableId::Albums:
        return {&m_store.aliasSongs(), songs, &m_store.table(TableId::PlaylistDetails)};
    default:
        return {};
    }
}

bool Integrity::failAndRollBack()
{
    saveError();
    rollBack();
    return false;
}

Button Integrity::reportDeletedElsewhere(Deleted what)
{
    const QString caption = QStringLiteral("Record Was Deleted");
    const QString said = QStringLiteral("This record was deleted by another station.");
    switch (what) {
    case Deleted::Gone:
        return ask(Message{caption, said, Ok, Ok, Icon::Information});
    case Deleted::ChangesLost:
        return ask(Message{caption, said + QStringLiteral("  Your changes could not be saved."), Ok,
                           Ok, Icon::Information});
    case Deleted::AddAgain:
        break;
    }
    return ask(Message{caption,
                       said + QStringLiteral("  Do you want to add it again with your changes?"),
                       Yes | No | Cancel, Cancel, Icon::Question});
}

// A rollback the engine could not do is the failure the next warning reports.
void Integrity::rollBack()
{
    if (m_store.database().inTransaction() && !m_store.database().rollback())
        saveError();
}

// Frames the routine's writes over the files of `table` and its children only, so a lock
// another station holds on an unrelated file does not stop it.
bool Integrity::logout(TableId table, const QList<Table *> &children)
{
    QList<TableId> tables{table};
    for (const Table *child : children)
        tables.append(child->definition().id);
    return m_store.database().logout(TransactionWait, tables);
}

// A failed COMMIT the engine keeps open (a lock it waited for in vain) is rolled back: the
// routine ends with no transaction open.
bool Integrity::commit()
{
    return m_store.database().commit() || failAndRollBack();
}

Integrity::UpdateResult Integrity::update(TableId id, bool redisplay)
{
    Table &table = m_store.table(id);
    const TableUses children = m_files.use(childrenOf(id));
    if (!children)
        return Failed;
    if (!logout(id, childrenOf(id))) {
        saveError();
        standardWarning(warning::TransactionFraming, QStringLiteral("Update"), table.label());
        return Failed;
    }
    const RecordPosition position = table.position();
    if (!table.put()) {
        const bool changedElsewhere = errorCode() == err::ChangedByAnotherStation;
        const bool deletedElsewhere = errorCode() == err::RecordNotFound;
        failAndRollBack();
        if (deletedElsewhere) {
            takeSavedError(); // a retry could only fail the same way
            return DeletedElsewhere;
        }
        if (changedElsewhere) {
            standardWarning(redisplay ? warning::RecordNotUpdated : warning::UpdateError);
            takeSavedError(); // reported: the conflict text names no error
            table.watch();
            table.reget(position);
            return ChangedElsewhere;
        }
        standardWarning(warning::UpdateError, table.label());
        return Failed;
    }
    if (!applyUpdateRule(id))
        return Failed;
    if (!commit()) {
        standardWarning(warning::UpdateError, table.label());
        return Failed;
    }
    return Written;
}

bool Integrity::applyUpdateRule(TableId id)
{
    const Record &record = m_store.table(id).buffer();
    Table &songs = m_store.table(TableId::Songs);
    switch (id) {
    case TableId::Media: {
        const QString media = record.text(med::Media);
        return media == m_originals.media ||
               cascadeValue(songs, mus::SongsByMedia, mus::Media, m_originals.media, media);
    }
    case TableId::Categories: {
        const qint64 category = record.number(cat::CategoryID);
        if (category == m_originals.categoryId)
            return true;
        Table &albums = m_store.table(TableId::Albums);
        bool referenced = false;
        const bool read =
            forEachChild(albums, alb::KeyCategory, alb::CategoryID, m_originals.categoryId, [&] {
                referenced = true;
                return false;
            });
        if (referenced) {
            rollBack();
            standardWarning(warning::RestrictUpdate, albums.label());
            m_store.table(id).buffer().setNumber(cat::CategoryID, m_originals.categoryId);
            return false;
        }
        return read && cascadeValue(songs, mus::SongsByCategory, mus::CategoryID,
                                    m_originals.categoryId, category);
    }
    case TableId::Albums: {
        const QString fileNumber = record.text(alb::FileNumber);
        const qint64 albumId = record.number(alb::AlbumID);
        if (fileNumber != m_originals.fileNumber &&
            !cascadeValue(m_store.aliasSongs(), mus::KeyFileNumber, mus::FileNumber,
                          m_originals.fileNumber, fileNumber))
            return false;
        return albumId == m_originals.albumId ||
               cascadeValue(songs, mus::KeyAlbumID, mus::AlbumID, m_originals.albumId, albumId);
    }
    default:
        return true;
    }
}

// Walks the children holding `value` in `field`, the leading component of `key`. False on a
// read error (warning 35 given) or when `visit` stops the walk by failing.
bool Integrity::forEachChild(Table &child, int key, int field, const QVariant &value,
                             const std::function<bool()> &visit)
{
    child.buffer().clear();
    child.buffer().setValue(field, value);
    child.setFrom(key);
    while (child.next()) {
        if (!sameKeyValue(child.buffer().value(field), value))
            return true;
        if (!visit())
            return false;
    }
    if (errorCode() == err::RecordNotAvailable)
        return true;
    failAndRollBack();
    standardWarning(warning::RecordRetrieval, child.label());
    return false;
}

bool Integrity::cascadeValue(Table &child, int key, int field, const QVariant &from,
                             const QVariant &to)
{
    BufferGuard keep(child);
    bool putFailed = false;
    const bool walked = forEachChild(child, key, field, from, [&] {
        child.buffer().setValue(field, to);
        if (child.put())
            return true;
        putFailed = true;
        return false;
    });
    if (putFailed) {
        failAndRollBack();
        standardWarning(warning::UpdateError, child.label());
    }
    return walked && !putFailed;
}

bool Integrity::remove(TableId id)
{
    Table &table = m_store.table(id);
    const RecordPosition position = table.position();
    const TableUses children = m_files.use(childrenOf(id));
    if (!children)
        return false;
    if (!logout(id, childrenOf(id))) {
        saveError();
        standardWarning(warning::TransactionFraming, QStringLiteral("Delete"), table.label());
        return false;
    }
    if (!table.reget(position)) {
        const bool deletedElsewhere = errorCode() == err::RecordNotFound;
        failAndRollBack();
        if (deletedElsewhere) {
            // What the user asked for has been done, by another station: said, not retried.
            takeSavedError();
            reportDeletedElsewhere(Deleted::Gone);
            return true;
        }
        standardWarning(warning::RecordRetrieval, table.label());
        return false;
    }
    if (!applyDeleteRule(id)) {
        rollBack();
        return false;
    }
    if (!table.remove()) {
        failAndRollBack();
        standardWarning(warning::DeleteError, table.label());
        return false;
    }
    if (!commit()) {
        standardWarning(warning::DeleteError, table.label());
        return false;
    }
    return true;
}

// Reads a song to be merged inside the merge's transaction, as the window read it; on a
// failure the transaction is rolled back and the user told.
Integrity::UpdateResult Integrity::readMergedSong(const SongVersion &song)
{
    Table &songs = m_store.table(TableId::Songs);
    if (!songs.reget(song.position)) {
        const bool deleted = errorCode() == err::RecordNotFound;
        failAndRollBack();
        if (deleted) {
            takeSavedError();
            reportDeletedElsewhere(Deleted::Gone);
            return DeletedElsewhere;
        }
        standardWarning(warning::RecordRetrieval, songs.label());
        return Failed;
    }
    if (songs.current().revision != song.revision) {
        rollBack();
        setError(err::ChangedByAnotherStation);
        standardWarning(warning::UpdateError);
        return ChangedElsewhere;
    }
    return Written;
}

Integrity::UpdateResult Integrity::mergeSongs(const SongVersion &kept,
                                              const QList<SongVersion> &others)
{
    Table &songs = m_store.table(TableId::Songs);
    Table &details = m_store.table(TableId::PlaylistDetails);
    // The windows sharing the song buffer and current record find them as they left them.
    BufferGuard keepBuffer(songs);
    struct CurrentGuard
    {
        Table &table;
        Table::CurrentRecord saved;
        ~CurrentGuard() { table.setCurrent(saved); }
    } keepCurrent{songs, songs.current()};
    const TableUses uses = m_files.use({&songs, &details});
    if (!uses)
        return Failed;
    if (!logout(TableId::Songs, {&details})) {
        saveError();
        standardWarning(warning::TransactionFraming, QStringLiteral("Update"), songs.label());
        return Failed;
    }
    UpdateResult read = readMergedSong(kept);
    if (read != Written)
        return read;
    const qint64 keptId = songs.buffer().number(mus::ID);
    QList<Record> merged;
    for (const SongVersion &other : others) {
        if (other.position == kept.position)
            continue;
        if ((read = readMergedSong(other)) != Written)
            return read;
        merged.append(songs.buffer());
        const qint64 otherId = songs.buffer().number(mus::ID);
        if (otherId != keptId && !cascadeValue(details, pla::KeyID, pla::ID, otherId, keptId))
            return Failed;
        if (!applyDeleteRule(TableId::Songs)) {
            rollBack();
            return Failed;
        }
        if (!songs.remove()) {
            failAndRollBack();
            standardWarning(warning::DeleteError, songs.label());
            return Failed;
        }
    }
    if ((read = readMergedSong(kept)) != Written)
        return read;
    fillFrom(songs.buffer(), merged);
    if (!songs.put()) {
        failAndRollBack();
        standardWarning(warning::UpdateError, songs.label());
        return Failed;
    }
    if (!commit()) {
        standardWarning(warning::UpdateError, songs.label());
        return Failed;
    }
    return Written;
}

bool Integrity::applyDeleteRule(TableId id)
{
    const Record &record = m_store.table(id).buffer();
    Table &songs = m_store.table(TableId::Songs);
    Table &details = m_store.table(TableId::PlaylistDetails);
    switch (id) {
    case TableId::PlaylistMaster:
        return deleteChildren(details, pla::KeyPlaylistID, pla::PlaylistID,
                              record.number(pld::PlaylistID), false);
    case TableId::Songs:
        return restrictIfAny(details, pla::KeyID, pla::ID, record.number(mus::ID));
    case TableId::Media:
        return restrictIfAny(songs, mus::SongsByMedia, mus::Media, record.text(med::Media));
    case TableId::Categories:
        return restrictIfAny(m_store.table(TableId::Albums), alb::KeyCategory, alb::CategoryID,
                             record.number(cat::CategoryID)) &&
               restrictIfAny(songs, mus::SongsByCategory, mus::CategoryID,
                             record.number(cat::CategoryID));
    case TableId::Albums:
        // Songs filed under the album's number go first, then the songs linked to it; a song
        // in a play list stops the whole delete, so no play list is left pointing at a song
        // that is gone.
        return deleteChildren(m_store.aliasSongs(), mus::KeyFileNumber, mus::FileNumber,
                              record.text(alb::FileNumber), true) &&
               deleteChildren(songs, mus::KeyAlbumID, mus::AlbumID, record.number(alb::AlbumID),
                              true);
    default:
        return true;
    }
}

bool Integrity::restrictIfAny(Table &child, int key, int field, const QVariant &value)
{
    BufferGuard keep(child);
    bool referenced = false;
    const bool read = forEachChild(child, key, field, value, [&] {
        referenced = true;
        return false;
    });
    if (referenced) {
        rollBack();
        standardWarning(warning::RestrictDelete, child.label());
    }
    return read && !referenced;
}

bool Integrity::songInPlaylist(qint64 songId, bool &inPlaylist)
{
    Table &details = m_store.table(TableId::PlaylistDetails);
    BufferGuard keep(details);
    inPlaylist = false;
    return forEachChild(details, pla::KeyID, pla::ID, songId,
                        [&] {
                            inPlaylist = true;
                            return false;
                        }) ||
           inPlaylist;
}

bool Integrity::deleteChildren(Table &child, int key, int field, const QVariant &value,
                               bool checkPlaylists)
{
    BufferGuard keep(child);
    bool refused = false;
    bool deleteFailed = false;
    const bool walked = forEachChild(child, key, field, value, [&] {
        if (checkPlaylists) {
            bool inPlaylist = false;
            if (!songInPlaylist(child.buffer().number(mus::ID), inPlaylist))
                return false;
            if (inPlaylist) {
                refused = true;
                return false;
            }
        }
        if (child.remove())
            return true;
        deleteFailed = true;
        return false;
    });
    if (refused) {
        rollBack();
        standardWarning(warning::RestrictDelete, m_store.table(TableId::PlaylistDetails).label());
    } else if (deleteFailed) {
        failAndRollBack();
        standardWarning(warning::DeleteError, child.label());
    }
    return walked && !refused && !deleteFailed;
}

} // namespace sv
