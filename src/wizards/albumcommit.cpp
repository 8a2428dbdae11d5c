#include "albumcommit.h"

#include "trackrows.h"

#include "app/albumrecords.h"
#include "platform/picture.h"
#include "store/errors.h"
#include "store/store.h"
#include "store/warnings.h"

namespace sv {

namespace {

constexpr int TransactionWait = 2; // seconds
constexpr int NumberClimb = 10000; // numbers tried past a song number already taken

// The buffers and current records of the tables a commit writes, put back as they were.
class KeepTables
{
public:
    explicit KeepTables(const QList<Table *> &tables)
    {
        for (Table *table : tables)
            m_kept.append({table, table->buffer(), table->current()});
    }
    ~KeepTables()
    {
        for (const Kept &kept : std::as_const(m_kept)) {
            kept.table->buffer() = kept.buffer;
            kept.table->setCurrent(kept.current);
        }
    }
    KeepTables(const KeepTables &) = delete;
    KeepTables &operator=(const KeepTables &) = delete;

private:
    struct Kept
    {
        Table *table;
        Record buffer;
        Table::CurrentRecord current;
    };
    QList<Kept> m_kept;
};

QString clipped(QString text)
{
    while (text.endsWith(u' '))
        text.chop(1);
    return text;
}

class Commit
{
public:
    Commit(Store &store, const AlbumCommit &commit, CommitOutcome &outcome)
        : m_store(store), m_commit(commit), m_outcome(outcome),
          m_songs(store.table(TableId::Songs)), m_albums(store.table(TableId::Albums)),
          m_rows(store.table(TableId::AddWizard))
    {}

    bool run()
    {
        KeepTables keep({&m_songs, &m_albums, &m_rows});
        // The duplicate tests must weigh every stored record, the one last read as well.
        m_songs.setCurrent({});
        m_albums.setCurrent({});
        Database &database = m_store.database();
        if (!database.logout(TransactionWait,
                             {TableId::Songs, TableId::Albums, TableId::AddWizard}))
            return fail(QStringLiteral("Error!"), QStringLiteral("Error adding from Wizard:  "));
        if (!album() || !songs() || !dropPlaceholder())
            return false;
        if (!database.commit())
            return fail(QStringLiteral("Error!"), QStringLiteral("Error adding from Wizard:  "));
        return true;
    }

private:
    // Rolls back everything written so far and keeps the message that says why.
    bool fail(const QString &caption, const QString &text, const QString &after = QString())
    {
        const StoreError failure = lastError();
        const QString why = clipped(warningErrorText());
        Database &database = m_store.database();
        if (database.inTransaction())
            (void)database.rollback();
        restoreError(failure);
        m_outcome.albumId = 0;
        m_outcome.albumAdded = false;
        m_outcome.songs.clear();
        m_outcome.message = Message{caption, text + why + after, Ok, Ok, Icon::Exclamation};
        return false;
    }

    bool failAlbum(const QString &keys = QString())
    {
        return fail(QStringLiteral("Error"), QStringLiteral("Error adding album information:\n"),
                    u'\n' + keys);
    }

    QString albumArtist() const
    {
        return m_commit.compilation ? QStringLiteral("Various") : m_commit.song.text(mus::Artist);
    }

    // The album gets the next free number, no disc identifier another album has, and
    // " (Copy)" after a title its artist has already; when even that is on file it is not
    // added, and the songs are linked to no album rather than to one the user did not ask
    // for.
    bool album()
    {
        Record &album = m_albums.buffer();
        if (!m_commit.addAlbum) {
            album.clear();
            album.setText(alb::Artist, albumArtist());
            album.setText(alb::Album, m_commit.song.text(mus::Album));
            if (m_albums.get(alb::KeyAlbum))
                m_outcome.albumId = album.number(alb::AlbumID);
            else if (errorCode() != err::RecordNotFound)
                return failAlbum();
            return true;
        }
        qint64 highest = 0;
        if (!m_albums.highest(alb::KeyAlbumID, alb::AlbumID, highest))
            return failAlbum();
        albumFromSong(m_commit.song, highest + 1, album);
        album.setText(alb::Artist, albumArtist());
        album.setText(alb::CDIdentifier, m_commit.identifier);
        album.setText(alb::AssociatedWavFile, m_commit.soundFile);
        Table::Found found;
        while ((found = m_albums.duplicate(alb::KeyAlbumID)) == Table::Found::Yes)
            album.setNumber(alb::AlbumID, album.number(alb::AlbumID) + 1);
        if (found == Table::Found::Failed)
            return failAlbum();
        if (!album.text(alb::CDIdentifier).isEmpty() &&
            m_albums.duplicate(alb::KeyCDIdentifier) == Table::Found::Yes)
            album.setText(alb::CDIdentifier, QString());
        if (m_albums.duplicate(alb::KeyAlbum) == Table::Found::Yes)
            album.setText(alb::Album, clipped(album.text(alb::Album)) + QStringLiteral(" (Copy)"));
        if (m_albums.duplicate(alb::KeyArtist) == Table::Found::Yes) {
            m_outcome.message =
                Message{QStringLiteral("Warning"),
                        QStringLiteral("The artist and album information is a duplicate of "
                                       "information already in the database"),
                        Ok, Ok, Icon::Exclamation};
            return true;
        }
        QString keys;
        const std::pair<int, const char *> uniqueKeys[] = {{alb::KeyAlbumID, "[ID]"},
                                                           {alb::KeyCDIdentifier, "[CD]"},
                                                           {alb::KeyAlbum, "[Album]"},
                                                           {alb::KeyArtist, "[Artist]"}};
        for (const auto &[key, text] : uniqueKeys) {
            if (m_albums.duplicate(key) == Table::Found::Yes)
                keys += QString::fromUtf8(text);
        }
        if (!m_albums.add())
            return failAlbum(keys);
        m_outcome.albumId = album.number(alb::AlbumID);
        m_outcome.albumAdded = true;
        return true;
    }

    // Each row becomes a song that starts from the wizard's song: a row without a time
    // has none, whatever the row before had.
    bool songs()
    {
        const QString readFailed = QStringLiteral("Error adding from Wizard:  ");
        QList<TrackRow> rows;
        if (!TrackRows(m_rows, m_commit.instance).read(rows))
            return fail(QStringLiteral("Error!"), readFailed);
        qint64 id = qMax<qint64>(1, m_commit.placeholder);
        for (const TrackRow &row : std::as_const(rows)) {
            Record song = m_commit.song;
            song.setNumber(mus::TrackNumber, row.track);
            if (m_commit.compilation)
                song.setText(mus::Artist, row.artist);
            song.setText(mus::Title, clipped(row.title).isEmpty()
                                         ? QStringLiteral("Track ") + QString::number(row.track)
                                         : row.title);
            if (row.time != 0) {
                song.setNumber(mus::Time, row.time);
                song.setText(mus::AdditionalInformation1,
                             format(row.time, QStringLiteral("@t4")).right(5));
            }
            // The tags of a track read from a file; a typed track or a disc's has none.
            song.setNumber(mus::Side, row.disc);
            song.setNumber(mus::BeatsPerMinute, row.beatsPerMinute);
            song.setText(mus::Composer, row.composer);
            song.setNumber(mus::AlbumID, m_outcome.albumId);
            if (!freeNumber(song, id) || !m_songs.add())
                return fail(QStringLiteral("Error!"),
                            QStringLiteral("Error adding to music database from Wizard:  "));
            m_outcome.songs.append(id);
            if (!m_rows.reget(row.position) || !m_rows.remove())
                return fail(QStringLiteral("Error!"), readFailed);
            ++id;
        }
        return true;
    }

    // Puts `id` into the song, or when another song has that number already, the first
    // free one past both it and the count of songs.
    bool freeNumber(Record &song, qint64 &id)
    {
        song.setNumber(mus::ID, id);
        m_songs.buffer() = song;
        Table::Found found = m_songs.duplicate(mus::KeyID);
        if (found != Table::Found::Yes)
            return found == Table::Found::No;
        id = qMax(id, m_songs.records());
        for (int attempt = 0; attempt < NumberClimb && found == Table::Found::Yes; ++attempt) {
            m_songs.buffer().setNumber(mus::ID, ++id);
            found = m_songs.duplicate(mus::KeyID);
        }
        if (found == Table::Found::Yes)
            setError(err::DuplicateKey);
        return found == Table::Found::No;
    }

    // The song the wizard held its number with goes with the commit that replaces it.
    bool dropPlaceholder()
    {
        if (m_commit.placeholder == 0)
            return true;
        m_songs.buffer().clear();
        m_songs.buffer().setNumber(mus::ID, m_commit.placeholder);
        if (m_songs.get(mus::KeyID)) {
            if (m_songs.remove())
                return true;
        } else if (errorCode() == err::RecordNotFound) {
            return true;
        }
        return fail(QStringLiteral("Error!"),
                    QStringLiteral("Error adding to music database from Wizard:  "));
    }

    Store &m_store;
    const AlbumCommit &m_commit;
    CommitOutcome &m_outcome;
    Table &m_songs;
    Table &m_albums;
    Table &m_rows;
};

} // namespace

bool commitAlbum(Store &store, const AlbumCommit &commit, CommitOutcome &outcome)
{
    outcome = CommitOutcome();
    return Commit(store, commit, outcome).run();
}

} // namespace sv
