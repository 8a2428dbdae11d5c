#include "housekeeping.h"

#include "albumrecords.h"

#include "progresswindow.h"
#include "session.h"
#include "store/errors.h"
#include "store/warnings.h"

#include "platform/stddate.h"

#include <memory>

namespace sv {

namespace {

using Step = ProgressWindow::Step;

const QString Various = QStringLiteral("Various");

bool askToContinue(const QString &text)
{
    return ask(Message{QStringLiteral("Housekeeping"), text, Yes | No, No, Icon::Question}) == Yes;
}

// One batch process over one table, walked record by record: it opens the tables it uses,
// frames its transaction when it has one, and at the end commits what it wrote and lets
// the tables go, whether it ran to the end, was cancelled or was stopped by an error.
class BatchProcess
{
public:
    BatchProcess(Session &session, const QString &message, Table &walked, QList<Table *> others,
                 bool transaction)
        : m_session(session), m_walked(walked), m_message(message), m_transaction(transaction)
    {
        m_tables = {&walked};
        m_tables.append(others);
    }
    virtual ~BatchProcess() = default;

    const QString &message() const { return m_message; }
    bool begin();
    void end();
    Step step();
    virtual qint64 total() { return m_walked.records(); }
    virtual qint64 unitsPerRecord() { return 1; }

protected:
    // Sets the walk's order and reads what the process needs before it; false when a
    // failure was reported.
    virtual bool prepare() = 0;
    // The walked record is in its buffer; false when a failure was reported.
    virtual bool handle() = 0;
    bool putWalked();
    bool find(Table &table, int key, bool &found);
    bool highest(Table &table, int key, int field, qint64 &value);
    bool findAlbum(Table &albums, const QString &artist, const QString &title, bool &found);

    Session &m_session;
    Table &m_walked;

private:
    QString m_message;
    bool m_transaction;
    QList<Table *> m_tables;
    TableUses m_uses;
};

bool BatchProcess::begin()
{
    m_uses = m_session.files().use(m_tables);
    if (!m_uses)
        return false; // the open routine has reported it
    if (m_transaction && !m_session.store().database().logout(1)) {
        saveError();
        standardWarning(warning::TransactionFraming, QStringLiteral("Process"), m_walked.label());
        m_uses.reset();
        return false;
    }
    m_walked.send(QStringLiteral("QUICKSCAN=on"));
    if (prepare())
        return true;
    end();
    return false;
}

void BatchProcess::end()
{
    m_walked.send(QStringLiteral("QUICKSCAN=off"));
    Database &database = m_session.store().database();
    if (m_transaction && database.inTransaction() && !database.commit())
        standardWarning(warning::UpdateError, m_walked.label());
    m_uses.reset();
}

Step BatchProcess::step()
{
    if (!m_walked.next()) {
        if (errorCode() == err::RecordNotAvailable)
            return Step::Finished;
        standardWarning(warning::RecordRetrieval, m_walked.label());
        return Step::Stopped;
    }
    return handle() ? Step::Continue : Step::Stopped;
}

bool BatchProcess::putWalked()
{
    if (m_walked.put())
        return true;
    standardWarning(warning::ProcessError, QStringLiteral("Put"), QStringLiteral("Process:View"));
    return false;
}

// Reads the record with the buffer's values of `key`; false only on a read error (reported).
bool BatchProcess::find(Table &table, int key, bool &found)
{
    found = table.get(key);
    if (found || errorCode() == err::RecordNotFound)
        return true;
    standardWarning(warning::RecordRetrieval, table.label());
    return false;
}

// The value of `field` in the last record in `key` order, 0 for an empty table.
bool BatchProcess::highest(Table &table, int key, int field, qint64 &value)
{
    if (table.highest(key, field, value))
        return true;
    standardWarning(warning::RecordRetrieval, table.label());
    return false;
}

// Looks up the album of `title` under `artist`, then under "Various" (a compilation).
bool BatchProcess::findAlbum(Table &albums, const QString &artist, const QString &title,
                             bool &found)
{
    for (const QString &albumArtist : {artist, Various}) {
        albums.buffer().setText(alb::Album, title);
        albums.buffer().setText(alb::Artist, albumArtist);
        if (!find(albums, alb::KeyAlbum, found))
            return false;
        if (found)
            return true;
    }
    return true;
}

// Creates an album for each song not linked to one whose title is not yet an album, and
// links that song to it. Songs of an album that already existed are left to the link test.
class AlbumBuild : public BatchProcess
{
public:
    explicit AlbumBuild(Session &session)
        : BatchProcess(session, QStringLiteral("Copying..."), session.store().table(TableId::Songs),
                       {&session.store().table(TableId::Albums)}, false),
          m_albums(session.store().table(TableId::Albums))
    {}

    qint64 added() const { return m_added; }

protected:
    bool prepare() override
    {
        m_walked.setFileOrder();
        return true;
    }

    bool handle() override
    {
        Record &song = m_walked.buffer();
        // A blank title names no album: the album key leaves blank titles out, so each such
        // song would make an album of its own.
        if (song.number(mus::AlbumID) == 0 && !song.isBlank(mus::Album)) {
            bool found = false;
            if (!findAlbum(m_albums, song.text(mus::Artist), song.text(mus::Album), found))
                return false;
            if (!found && !addAlbumFor(song))
                return false;
        }
        return putWalked();
    }

private:
    bool addAlbumFor(Record &song)
    {
        qint64 last = 0;
        if (!highest(m_albums, alb::KeyAlbumID, alb::AlbumID, last))
            return false;
        albumFromSong(song, last + 1, m_albums.buffer());
        if (!m_albums.add()) {
            standardWarning(warning::InsertError);
            return false;
        }
        song.setNumber(mus::AlbumID, last + 1);
        ++m_added;
        return true;
    }

    Table &m_albums;
    qint64 m_added = 0;
};

// Links every song to the album of its title (its own artist's, else a compilation's),
// unlinks songs whose album is gone and numbers songs that have no number.
class LinkTest : public BatchProcess
{
public:
    explicit LinkTest(Session &session)
        : BatchProcess(session, QStringLiteral("Testing Link Integrity"),
                       session.store().table(TableId::Songs),
                       {&session.store().table(TableId::Albums)}, true),
          m_albums(session.store().table(TableId::Albums))
    {}

protected:
    bool prepare() override
    {
        if (!highest(m_walked, mus::KeyID, mus::ID, m_lastSongId))
            return false;
        m_walked.set(mus::SongsByAlbum);
        return true;
    }

    bool handle() override
    {
        Record &song = m_walked.buffer();
        if (!link(song))
            return false;
        if (song.number(mus::ID) == 0 && !numberSong(song))
            return false;
        return putWalked();
    }

private:
    struct Album
    {
        QString artist;
        QString title;
        qint64 id = 0;
    };

    // Songs come in album order, so the album found for the previous song is kept.
    bool link(Record &song)
    {
        const QString artist = song.text(mus::Artist);
        const QString title = song.text(mus::Album);
        if (m_current && m_current->artist == artist && m_current->title == title) {
            if (song.number(mus::AlbumID) == 0)
                song.setNumber(mus::AlbumID, m_current->id);
            return true;
        }
        bool found = false;
        if (!findAlbum(m_albums, artist, title, found))
            return false;
        m_current.reset();
        if (found) {
            const Record &album = m_albums.buffer();
            m_current =
                Album{album.text(alb::Artist), album.text(alb::Album), album.number(alb::AlbumID)};
        }
        song.setNumber(mus::AlbumID, m_current ? m_current->id : 0);
        return true;
    }

    bool numberSong(Record &song)
    {
        Table::Found taken = Table::Found::No;
        do {
            song.setNumber(mus::ID, ++m_lastSongId);
            taken = m_walked.duplicate(mus::KeyID);
        } while (taken == Table::Found::Yes);
        if (taken == Table::Found::No)
            return true;
        standardWarning(warning::RecordRetrieval, m_walked.label());
        return false;
    }

    Table &m_albums;
    qint64 m_lastSongId = 0;
    std::optional<Album> m_current; // the album last found, empty when none was
};

// Dates that are full dates become their year: the release date is kept as a year only.
// A bare year (at most 3000) and no date (0) stay as they are, so running it twice is
// harmless.
class DateConversion : public BatchProcess
{
public:
    DateConversion(Session &session, TableId table, const QString &message, int key, int field)
        : BatchProcess(session, message, session.store().table(table), {}, true), m_key(key),
          m_field(field)
    {}

protected:
    bool prepare() override
    {
        m_walked.set(m_key);
        return true;
    }

    bool handle() override
    {
        Record &record = m_walked.buffer();
        const qint64 date = record.number(m_field);
        if (date > 3000 && year(qint32(date)) >= 1)
            record.setNumber(m_field, year(qint32(date)));
        return putWalked();
    }

private:
    int m_key;
    int m_field;
};

// The album file's progress is measured in bytes of the file, each album counting the
// average size of a record in it (the file's size over its record count), so the last
// album brings the count close to the whole file.
class AlbumDateConversion : public DateConversion
{
public:
    explicit AlbumDateConversion(Session &session)
        : DateConversion(session, TableId::Albums, QStringLiteral("Converting Album Dates"),
                         alb::KeyAlbumID, alb::ReleaseDate)
    {}

    qint64 total() override { return m_walked.bytes(); }
    qint64 unitsPerRecord() override
    {
        return qMax<qint64>(m_walked.bytes() / qMax<qint64>(m_walked.records(), 1), 1);
    }
};

void runProcess(const std::shared_ptr<BatchProcess> &process, QWidget *parent,
                std::function<void(bool)> done)
{
    if (!process->begin()) {
        if (done)
            done(false);
        return;
    }
    auto *window = new ProgressWindow(process->message(), parent);
    window->run(
        process->total(), process->unitsPerRecord(), [process] { return process->step(); },
        [process, done = std::move(done)](bool completed) {
            process->end();
            if (done)
                done(completed);
        });
}

} // namespace

void runAlbumBuild(Session &session, bool askFirst, QWidget *parent, std::function<void(bool)> done)
{
    if (askFirst &&
        !askToContinue(QStringLiteral(
            "This function will create the album database based on information in your main "
            "SongVane Pro database.  It may take some time to complete.  This should only be "
            "required if you are upgrading from version 1.1.  Are you sure you wish to "
            "continue?"))) {
        if (done)
            done(false);
        return;
    }
    runProcess(std::make_shared<AlbumBuild>(session), parent, std::move(done));
}

std::optional<qint64> buildAlbums(Session &session,
                                  const std::function<void(qint64 done, qint64 total)> &progress)
{
    AlbumBuild build(session);
    if (!build.begin())
        return std::nullopt;
    const qint64 total = build.total();
    qint64 done = 0;
    Step step = Step::Continue;
    while ((step = build.step()) == Step::Continue) {
        if (progress)
            progress(++done, total);
    }
    build.end();
    if (step != Step::Finished)
        return std::nullopt;
    return build.added();
}

void runLinkTest(Session &session, QWidget *parent, std::function<void(bool)> done)
{
    if (!askToContinue(QStringLiteral(
            "This function will test (and fix where possible) the links between the album "
            "database and your main SongVane Pro database.  It may take some time to complete.  "
            "This should only be required if you are upgrading from version 1.1.  Are you sure "
            "you wish to continue?"))) {
        if (done)
            done(false);
        return;
    }
    runProcess(std::make_shared<LinkTest>(session), parent, std::move(done));
}

void runDateConversions(Session &session, QWidget *parent, std::function<void(bool)> done)
{
    auto songs = std::make_shared<DateConversion>(session, TableId::Songs,
                                                  QStringLiteral("Converting Song Dates"),
                                                  mus::KeyID, mus::ReleaseDate);
    runProcess(songs, parent, [&session, parent, done = std::move(done)](bool completed) {
        if (!completed) {
            if (done)
                done(false);
            return;
        }
        runProcess(std::make_shared<AlbumDateConversion>(session), parent, done);
    });
}

} // namespace sv
