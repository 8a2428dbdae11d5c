#include "playlistgenerator.h"

#include "app/session.h"
#include "platform/prompter.h"
#include "platform/randomsource.h"
#include "platform/stddate.h"
#include "store/errors.h"
#include "store/warnings.h"

#include <QSet>

namespace sv::playlists {

namespace {

// Full dates are day numbers from 3000 on; below that a release field holds a bare year.
constexpr qint64 FirstFullDate = 3000;
constexpr int RecentDays = 90;
// Draws that land on no song (a gap, a song deleted meanwhile, one already taken) are
// drawn again without counting; this many in all ends the draw, so it always ends.
constexpr int MaxMisses = 100000;

void showError(const QString &text)
{
    ask({QStringLiteral("Error"), text, Ok, Ok, Icon::Exclamation});
}

// Puts the song table's buffer and current record back as they were, whichever way the
// generation ends: the windows that share them are not disturbed by the draw.
class SongBufferKeeper
{
public:
    explicit SongBufferKeeper(Table &songs)
        : m_songs(songs), m_buffer(songs.buffer()), m_current(songs.current())
    {}
    ~SongBufferKeeper()
    {
        m_songs.buffer() = m_buffer;
        m_songs.setCurrent(m_current);
    }
    SongBufferKeeper(const SongBufferKeeper &) = delete;
    SongBufferKeeper &operator=(const SongBufferKeeper &) = delete;

private:
    Table &m_songs;
    Record m_buffer;
    Table::CurrentRecord m_current;
};

// A transaction that is rolled back unless it was committed.
class WriteTransaction
{
public:
    explicit WriteTransaction(Database &database) : m_database(database) {}
    ~WriteTransaction()
    {
        if (m_begun && m_database.inTransaction())
            (void)m_database.rollback();
    }
    WriteTransaction(const WriteTransaction &) = delete;
    WriteTransaction &operator=(const WriteTransaction &) = delete;

    [[nodiscard]] bool begin(const QList<TableId> &tables)
    {
        m_begun = m_database.logout(2, tables);
        return m_begun;
    }
    [[nodiscard]] bool commit()
    {
        if (!m_database.commit())
            return false;
        m_begun = false;
        return true;
    }
    void rollBack()
    {
        if (m_begun && m_database.inTransaction())
            (void)m_database.rollback();
        m_begun = false;
    }

private:
    Database &m_database;
    bool m_begun = false;
};

} // namespace

QStringList GeneratorChoices::inForce() const
{
    QStringList phrases;
    if (leaveOutDoNotPlay)
        phrases.append(QStringLiteral("no songs marked Do Not Play or Skips"));
    if (noSongTwice)
        phrases.append(QStringLiteral("no song twice"));
    if (bpmRange)
        phrases.append(QStringLiteral("BPM %1 to %2").arg(lowestBpm).arg(highestBpm));
    if (notPlayedDays > 0)
        phrases.append(notPlayedDays == 1
                           ? QStringLiteral("not played today")
                           : QStringLiteral("not played in the last %1 days").arg(notPlayedDays));
    return phrases;
}

QString addErrorText(const QString &file)
{
    QString text = errorText();
    while (text.endsWith(u' '))
        text.chop(1);
    return QStringLiteral("There was an error (") + QString::number(errorCode()) +
           QStringLiteral(" - ") + text + QStringLiteral(") adding to the Play List ") + file +
           QStringLiteral(" file");
}

GeneratedPlaylist PlaylistGenerator::generate(const GeneratorChoices &choices)
{
    GeneratedPlaylist made;
    m_failure.clear();
    Store &store = m_session.store();
    Table &songs = store.table(TableId::Songs);
    TableUses uses = m_session.files().use({&songs, &store.table(TableId::Categories),
                                            &store.table(TableId::PlaylistMaster),
                                            &store.table(TableId::PlaylistDetails)});
    if (!uses)
        return made;
    const SongBufferKeeper keeper(songs);

    m_records = songs.records();
    if (errorCode() != err::None) {
        standardWarning(warning::RecordRetrieval, songs.label());
        return made;
    }
    if (m_records == 0) {
        showError(QStringLiteral("There are no songs to select from"));
        made.outcome = GeneratedPlaylist::Outcome::NoSongs;
        return made;
    }
    qint64 categoryId = 0;
    if (!choices.category.trimmed().isEmpty() && !findCategory(choices.category, categoryId))
        return made;
    if (!collectPool(filterFor(choices, categoryId))) {
        standardWarning(warning::RecordRetrieval, songs.label());
        return made;
    }

    WriteTransaction transaction(store.database());
    if (!transaction.begin({TableId::PlaylistMaster, TableId::PlaylistDetails})) {
        showError(addErrorText(QStringLiteral("Master")));
        return made;
    }
    // A failure rolls everything back before it is shown, so that no other station waits
    // on the message box.
    bool written = addMaster(made) && draw(choices, made);
    if (written && !transaction.commit())
        written = fail(addErrorText(QStringLiteral("Details")));
    if (!written) {
        if (m_failure.isEmpty())
            saveError(); // a song that could not be read: reported as it was
        transaction.rollBack();
        if (m_failure.isEmpty())
            standardWarning(warning::RecordRetrieval, songs.label());
        else
            showError(m_failure);
        made = GeneratedPlaylist{};
        return made;
    }
    made.outcome = GeneratedPlaylist::Outcome::Written;
    return made;
}

bool PlaylistGenerator::fail(const QString &message)
{
    m_failure = message;
    return false;
}

bool PlaylistGenerator::findCategory(const QString &name, qint64 &categoryId)
{
    Table &categories = m_session.store().table(TableId::Categories);
    const Record saved = categories.buffer();
    categories.buffer().clear();
    categories.buffer().setText(cat::Category, name);
    const bool found = categories.get(cat::KeyCategory);
    categoryId = categories.buffer().number(cat::CategoryID);
    categories.buffer() = saved;
    if (!found) // gone since the window listed it, or unreadable
        standardWarning(warning::RecordRetrieval, categories.label());
    return found;
}

// Every value here is a number the program made, never text the user typed.
QString PlaylistGenerator::filterFor(const GeneratorChoices &choices, qint64 categoryId) const
{
    QStringList conditions;
    const auto number = [](qint64 value) { return QString::number(value); };
    if (!choices.category.trimmed().isEmpty())
        conditions.append(QStringLiteral("MUS:CategoryID = ") + number(categoryId));
    if (choices.startDate != 0)
        conditions.append(QStringLiteral("MUS:ReleaseDate >= ") + number(choices.startDate));
    if (choices.endDate != 0)
        conditions.append(QStringLiteral("MUS:ReleaseDate <= ") + number(choices.endDate));
    if (choices.leaveOutDoNotPlay)
        conditions.append(QStringLiteral("MUS:DoNotPlay = 0 AND MUS:Skips = 0"));
    if (choices.bpmRange) {
        conditions.append(QStringLiteral("MUS:BeatsPerMinute >= ") + number(choices.lowestBpm));
        conditions.append(QStringLiteral("MUS:BeatsPerMinute <= ") + number(choices.highestBpm));
    }
    if (choices.notPlayedDays > 0) // never played (0) always passes
        conditions.append(QStringLiteral("MUS:LastPlayed <= ") +
                          number(qint64(today()) - choices.notPlayedDays));
    return conditions.join(QStringLiteral(" AND "));
}

bool PlaylistGenerator::collectPool(const QString &filter)
{
    Table &songs = m_session.store().table(TableId::Songs);
    m_pool.clear();
    m_listed = true;
    if (filter.isEmpty()) {
        m_last = songs.lastPosition();
        if (errorCode() != err::None)
            return false;
        // Mostly whole: drawing a position and again on a gap costs less than listing a
        // million songs, and every song stays equally likely.
        if (m_records * 2 >= m_last) {
            m_listed = false;
            return true;
        }
    }
    View view(songs, -1, filter, &m_session.store().bindings());
    return view.open() && view.matchingPositions(m_pool);
}

bool PlaylistGenerator::addMaster(GeneratedPlaylist &made)
{
    Table &master = m_session.store().table(TableId::PlaylistMaster);
    qint64 highest = 0;
    if (!master.highest(pld::KeyPlaylistID, pld::PlaylistID, highest))
        return fail(addErrorText(QStringLiteral("Master")));
    // A description changed by hand may already name a later number: the number moves on
    // until neither it nor its description is taken, nor entries left without their play
    // list hold it (they would become part of the new one).
    master.setCurrent({}); // a new record: no record on file is its own
    for (qint64 number = highest + 1;; ++number) {
        Record &record = master.buffer();
        record.clear();
        record.setNumber(pld::PlaylistID, number);
        record.setText(pld::PlaylistDescription,
                       QStringLiteral("Play List #") + QString::number(number));
        record.setNumber(pld::LastEditDate, today());
        const Table::Found byNumber = master.duplicate(pld::KeyPlaylistID);
        const Table::Found byName = master.duplicate(pld::KeyPlaylistDescription);
        if (byNumber == Table::Found::Failed || byName == Table::Found::Failed)
            return fail(addErrorText(QStringLiteral("Master")));
        bool hasEntries = false;
        if (byNumber == Table::Found::No && byName == Table::Found::No &&
            !entriesExist(number, hasEntries))
            return fail(addErrorText(QStringLiteral("Details")));
        if (byNumber == Table::Found::No && byName == Table::Found::No && !hasEntries) {
            made.playlistId = number;
            made.description = record.text(pld::PlaylistDescription);
            break;
        }
    }
    if (!master.add())
        return fail(addErrorText(QStringLiteral("Master")));
    made.position = master.position();
    return true;
}

bool PlaylistGenerator::entriesExist(qint64 playlistId, bool &exist)
{
    Table &details = m_session.store().table(TableId::PlaylistDetails);
    const Record keep = details.buffer();
    View entries(details, pla::KeyPlaylistID, QString());
    entries.setRange(playlistId);
    bool read = false;
    if (entries.open()) {
        entries.set();
        exist = entries.next();
        read = exist || errorCode() == err::RecordNotAvailable;
    }
    details.buffer() = keep;
    return read;
}

RecordPosition PlaylistGenerator::drawPosition(Weighting weighting,
                                               const std::vector<RecordPosition> &pool)
{
    const qint64 count = m_listed ? qint64(pool.size()) : m_last;
    qint64 r = random(1, count);
    const qint64 half = qMax<qint64>(count / 2, 1);
    if (weighting == Weighting::RecentAddition && random(1, 2) == 1)
        r = random(half, count);
    else if (weighting == Weighting::OlderAddition && random(1, 2) == 1)
        r = random(1, half);
    return m_listed ? RecordPosition(r - 1) : RecordPosition(r);
}

bool PlaylistGenerator::passesRelease(Weighting weighting, qint64 released)
{
    if (weighting != Weighting::RecentRelease && weighting != Weighting::OlderRelease)
        return true;
    if (random(1, 2) != 1 || released == 0)
        return true;
    const bool recent = released >= FirstFullDate ? released >= qint64(today()) - RecentDays
                                                  : released >= year(today());
    return weighting == Weighting::RecentRelease ? recent : !recent;
}

bool PlaylistGenerator::draw(const GeneratorChoices &choices, GeneratedPlaylist &made)
{
    Table &songs = m_session.store().table(TableId::Songs);
    QSet<RecordPosition> taken; // drawn from a range of positions with "no song twice"
    int draws = 0;
    int misses = 0;
    while (made.entries < choices.songs && draws < MaxDraws && misses < MaxMisses) {
        if (m_listed ? m_pool.empty() : choices.noSongTwice && taken.size() >= m_records)
            break;
        const RecordPosition drawn = drawPosition(choices.weighting, m_pool);
        const RecordPosition position = m_listed ? m_pool[size_t(drawn)] : drawn;
        if (!m_listed && choices.noSongTwice && taken.contains(position)) {
            ++misses;
            continue;
        }
        if (!songs.reget(position)) {
            if (errorCode() != err::RecordNotFound)
                return false; // shown as a retrieval error once rolled back
            // A gap, or a song another station deleted since the list was made.
            if (m_listed)
                m_pool.erase(m_pool.begin() + qsizetype(drawn));
            ++misses;
            continue;
        }
        ++draws;
        if (!passesRelease(choices.weighting, songs.buffer().number(mus::ReleaseDate)))
            continue;
        if (!addEntry(made.playlistId, made.entries + 1, songs.buffer().number(mus::ID)))
            return false;
        ++made.entries;
        if (choices.noSongTwice) {
            if (m_listed)
                m_pool.erase(m_pool.begin() + qsizetype(drawn));
            else
                taken.insert(position);
        }
    }
    return true;
}

bool PlaylistGenerator::addEntry(qint64 playlistId, int sequence, qint64 songId)
{
    Table &details = m_session.store().table(TableId::PlaylistDetails);
    Record &entry = details.buffer();
    entry.clear();
    entry.setNumber(pla::PlaylistID, playlistId);
    entry.setNumber(pla::PlaylistSeq, sequence);
    entry.setNumber(pla::ID, songId);
    return details.add() || fail(addErrorText(QStringLiteral("Details")));
}

} // namespace sv::playlists
