#pragma once

#include "fileaccess.h"

#include "platform/prompter.h"

namespace sv {

// The one update and one delete routine per table. Each frames its writes as a transaction
// with a two-second wait over the table and the tables that depend on it, applies the
// cascade and restrict rules between them, notices records changed by another station and
// reports failures with the standard warnings. Every path ends with COMMIT or ROLLBACK.
class Integrity
{
public:
    // DeletedElsewhere: another station deleted the record since it was read. Nothing is
    // shown: the caller says so with reportDeletedElsewhere(), as only it knows whether
    // the record can be added again.
    enum UpdateResult { Written = 0, Failed = 1, ChangedElsewhere = 2, DeletedElsewhere = 3 };

    Integrity(Store &store, FileAccess &files);

    // Forms call this before the user edits a record: the values children link to.
    void saveOriginals(TableId table);

    // redisplay: the caller is a form that shows the other station's version after a
    // conflict (warning 38); otherwise the conflict gives warning 15.
    UpdateResult update(TableId table, bool redisplay);
    bool remove(TableId table);

    // A song as a window read it: where it is and its revision then.
    struct SongVersion
    {
        RecordPosition position = 0;
        qint64 revision = 0;
    };
    // Merges duplicate songs into the one kept, in one transaction that is all or nothing:
    // the play-list entries of the others move to the kept song, the fields it leaves empty
    // are filled from the others (the first that has one; the album link, with its album
    // title, file number, side and track, as one), and the others are deleted under the
    // songs' delete rule. A song changed or deleted by another station since the window read
    // it stops the merge (ChangedElsewhere, DeletedElsewhere); every failure is reported
    // with the standard warnings. The song buffer is left as it was.
    UpdateResult mergeSongs(const SongVersion &kept, const QList<SongVersion> &others);

    // Tells the user that a record was deleted by another station: when it was to be
    // changed (Gone), when changes to it could not be saved (ChangesLost, the tip window),
    // or asking whether to add it again with the user's changes (Yes), drop them (No) or
    // go back to them (Cancel) (AddAgain).
    enum class Deleted { Gone, ChangesLost, AddAgain };
    static Button reportDeletedElsewhere(Deleted what);

private:
    struct Originals
    {
        qint64 categoryId = 0;
        QString media;
        qint64 albumId = 0;
        QString fileNumber;
    };

    QList<Table *> childrenOf(TableId table);

    bool applyUpdateRule(TableId table);
    bool applyDeleteRule(TableId table);
    bool cascadeValue(Table &child, int key, int field, const QVariant &from, const QVariant &to);
    bool restrictIfAny(Table &child, int key, int field, const QVariant &value);
    bool deleteChildren(Table &child, int key, int field, const QVariant &value,
                        bool checkPlaylists);
    bool songInPlaylist(qint64 songId, bool &inPlaylist);
    bool forEachChild(Table &child, int key, int field, const QVariant &value,
                      const std::function<bool()> &visit);
    UpdateResult readMergedSong(const SongVersion &song);
    bool failAndRollBack();
    void rollBack();
    bool logout(TableId table, const QList<Table *> &children);
    bool commit();

    Store &m_store;
    FileAccess &m_files;
    Originals m_originals;
};

} // namespace sv
