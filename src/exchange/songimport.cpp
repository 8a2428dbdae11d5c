#include "songimport.h"

#include "songfields.h"

#include "app/session.h"
#include "platform/picture.h"
#include "store/errors.h"

#include <QScopeGuard>

#include <algorithm>
#include <cmath>
#include <optional>

namespace sv::exchange {

namespace {

const QString NumericPicture = QStringLiteral("@N30.9");

bool isBlankText(const QString &text)
{
    return text.trimmed().isEmpty();
}

bool hasLetter(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isLetter(); });
}

QString storeErrorText()
{
    return QStringLiteral("Error #%1 - %2").arg(errorCode()).arg(errorText());
}

} // namespace

SongImport::SongImport(Session &session)
    : m_session(session), m_song(session.store().table(TableId::Songs).definition())
{}

SongImport::~SongImport()
{
    end();
}

SongImport::Opened SongImport::open(const QString &path)
{
    m_path = path;
    m_failure = {};
    m_columns.clear();
    m_assigned = QList<int>(importTargets().size(), -1);
    if (!m_reader.open(path)) {
        m_failure = {
            QStringLiteral("Cannot OPEN ") + path,
            QStringLiteral("Error #%1 - %2").arg(m_reader.errorNumber()).arg(m_reader.errorText())};
        return Opened::CannotOpen;
    }
    QString line;
    switch (m_reader.next(line)) {
    case DelimitedReader::Read::End:
        return Opened::Empty;
    case DelimitedReader::Read::Error:
        m_failure = {QStringLiteral("Cannot IMPORT ") + path, m_reader.message()};
        return Opened::Unreadable;
    case DelimitedReader::Read::Record:
        break;
    }
    const QList<Field> first = splitLine(line);
    if (first.isEmpty()) {
        m_failure = {QStringLiteral("Cannot IMPORT ") + path,
                     QStringLiteral("Line 1 holds no fields to import.")};
        return Opened::Unreadable;
    }
    for (qsizetype i = 0; i < first.size(); ++i)
        m_columns.append(
            {QStringLiteral("Field_%1").arg(i + 1), QStringLiteral("@S1000"), first.at(i).text});
    // A column written without quotes in the first data line holds numbers.
    if (m_reader.next(line) == DelimitedReader::Read::Record) {
        const QList<Field> second = splitLine(line);
        for (qsizetype i = 0; i < qMin(second.size(), m_columns.size()); ++i) {
            if (!second.at(i).quoted)
                m_columns[i].picture = NumericPicture;
        }
    }
    if (!m_reader.rewind() || m_reader.next(line) != DelimitedReader::Read::Record) {
        m_failure = {
            QStringLiteral("Cannot OPEN ") + path,
            QStringLiteral("Error #%1 - %2").arg(m_reader.errorNumber()).arg(m_reader.errorText())};
        return Opened::CannotOpen;
    }
    m_previewRecord = 1;
    return Opened::Ok;
}

bool SongImport::previewNext()
{
    QString line;
    const DelimitedReader::Read read = m_reader.next(line);
    if (read == DelimitedReader::Read::Error)
        m_failure = {QStringLiteral("Cannot IMPORT ") + m_path, m_reader.message()};
    if (read != DelimitedReader::Read::Record)
        return false;
    const QList<Field> fields = splitLine(line);
    for (qsizetype i = 0; i < m_columns.size(); ++i)
        m_columns[i].value = i < fields.size() ? fields.at(i).text : QString();
    ++m_previewRecord;
    return true;
}

int SongImport::autoAssign()
{
    const QStringList &targets = importTargets();
    const auto columnNamed = [this](const QString &name) {
        for (qsizetype c = 0; c < m_columns.size(); ++c) {
            if (m_columns.at(c).value.trimmed().compare(name, Qt::CaseInsensitive) == 0)
                return int(c);
        }
        return -1;
    };
    int assigned = 0;
    for (qsizetype t = 0; t < targets.size(); ++t) {
        if (m_assigned.at(t) >= 0)
            continue;
        int column = -1;
        // The category is imported by its name: a column of names is the better match
        // than one of numbers, which mean nothing in another catalogue.
        if (targets.at(t) == u"MUS:CategoryID")
            column = columnNamed(CategoryNameField);
        if (column < 0)
            column = columnNamed(targets.at(t));
        if (column >= 0) {
            m_assigned[t] = column;
            ++assigned;
        }
    }
    stripHeader = true;
    return assigned;
}

bool SongImport::anyAssigned() const
{
    return std::any_of(m_assigned.cbegin(), m_assigned.cend(), [](int c) { return c >= 0; });
}

bool SongImport::begin()
{
    m_failure = {};
    Store &store = m_session.store();
    m_uses =
        m_session.files().use({&store.table(TableId::Songs), &store.table(TableId::Categories)});
    if (!m_uses)
        return false; // the open routine has told the user
    m_bulk = BulkWrite(store.database());
    // Fields no column feeds start blank: a song is never given values of whatever song
    // another window last read.
    m_song.clear();
    m_categories.clear();
    const TableDef &def = m_song.definition();
    m_feeds = QList<QList<Feed>>(m_columns.size());
    m_pictures = QList<Picture>(m_columns.size());
    for (qsizetype t = 0; t < m_assigned.size(); ++t) {
        if (const int column = m_assigned.at(t); column >= 0 && column < m_columns.size()) {
            const QString &name = importTargets().at(t);
            const int memo = def.memoIndex(name);
            m_feeds[column].append({int(t), memo, memo >= 0 ? -1 : def.fieldIndex(name)});
        }
    }
    for (qsizetype c = 0; c < m_columns.size(); ++c) {
        if (pictureKind(m_columns.at(c).picture) == PictureKind::Other)
            m_pictures[c] = Picture::parse(m_columns.at(c).picture);
    }
    m_added = 0;
    m_committed = 0;
    m_batch = false;
    QString header;
    if (!m_reader.rewind() ||
        (stripHeader && m_reader.next(header) == DelimitedReader::Read::Error)) {
        m_failure = {QStringLiteral("Cannot IMPORT ") + m_path,
                     m_reader.message().isEmpty() ? m_reader.errorText() : m_reader.message()};
        m_bulk.reset();
        m_uses.reset();
        return false;
    }
    return true;
}

bool SongImport::fieldFailure(const QString &text)
{
    m_failure = {QStringLiteral("Cannot IMPORT ") + m_path,
                 QStringLiteral("Line %1, Field_%2: %3\nThe lines before it have been "
                                "imported; nothing of this line was added.")
                     .arg(m_reader.lineNumber())
                     .arg(m_column + 1)
                     .arg(text)};
    return false;
}

bool SongImport::storeFailure(const QString &caption)
{
    m_failure = {caption, storeErrorText()};
    return false;
}

bool SongImport::keepBatch()
{
    if (!m_batch)
        return true;
    m_batch = false;
    Database &database = m_session.store().database();
    // Another window's transaction commits the batch before it begins.
    if (database.inTransaction() && !database.inLogout() &&
        (!database.writable() || !database.flush())) {
        // Nothing of a batch the engine could not keep may stay half-written.
        (void)database.rollback();
        m_added = m_committed;
        return false;
    }
    m_committed = m_added;
    return true;
}

QString SongImport::lostBatch() const
{
    return QStringLiteral("\nThe songs read since the last commit could not be kept; the %1 "
                          "before them stay.")
        .arg(m_committed);
}

bool SongImport::commit()
{
    if (keepBatch())
        return true;
    storeFailure(QStringLiteral("Cannot ADD to Songvane!"));
    m_failure.text += lostBatch();
    return false;
}

SongImport::Step SongImport::failed()
{
    if (!keepBatch())
        m_failure.text += lostBatch();
    return Step::Failed;
}

SongImport::Step SongImport::next()
{
    Store &store = m_session.store();
    Database &database = store.database();
    // A form between its LOGOUT and COMMIT (a question on screen) may still roll back:
    // songs added now would go with it.
    if (database.inLogout())
        return Step::Wait;
    Table &songs = store.table(TableId::Songs);
    // Another window wrote, or committed the batch with a transaction of its own: what the
    // batch holds is kept, and a new one begins from what the files hold now.
    if (m_batch && (database.generation() != m_generation || !database.inTransaction()) &&
        !commit())
        return Step::Failed;
    // The step's lines are filled first and added together; a line that cannot be read or
    // filled ends the step after the lines before it are added.
    m_songs.clear();
    std::optional<Step> ending;
    while (!ending && m_songs.size() < qMax(1, linesPerStep)) {
        QString line;
        switch (m_reader.next(line)) {
        case DelimitedReader::Read::End:
            ending = Step::End;
            continue;
        case DelimitedReader::Read::Error:
            m_failure = {QStringLiteral("Cannot IMPORT ") + m_path,
                         m_reader.message() +
                             QStringLiteral("\nThe lines before it have been imported.")};
            ending = Step::Failed;
            continue;
        case DelimitedReader::Read::Record:
            break;
        }
        if (!m_batch) {
            // Someone else's batch is committed first, as any transaction would.
            if ((database.inTransaction() && !database.flush()) || !songs.stream()) {
                storeFailure(QStringLiteral("Cannot ADD to Songvane!"));
                return Step::Failed;
            }
            m_batch = true;
            m_batchAge.start();
            if (!songs.highest(mus::KeyID, mus::ID, m_nextId)) {
                storeFailure(QStringLiteral("Cannot ADD to Songvane!"));
                return failed();
            }
        }
        const Record before = m_song;
        if (!fill(splitLine(line))) {
            m_song = before;
            ending = Step::Failed;
            continue;
        }
        m_song.setNumber(mus::ID, m_nextId + m_songs.size() + 1);
        m_songs.append(m_song);
    }
    if (!m_songs.isEmpty()) {
        qsizetype added = 0;
        const bool kept = songs.addAll(m_songs, added);
        m_nextId += added;
        m_added += added;
        m_generation = database.generation();
        if (!kept) {
            storeFailure(QStringLiteral("Cannot ADD to Songvane!"));
            return failed();
        }
    }
    if (ending == Step::End)
        return commit() ? Step::End : Step::Failed;
    if (ending == Step::Failed)
        return failed();
    if (m_batchAge.elapsed() >= BatchMilliseconds && !commit())
        return Step::Failed;
    return Step::Line;
}

bool SongImport::fill(const QList<Field> &fields)
{
    QString categoryText;
    bool categoryFed = false;
    bool categoryNumeric = false;
    for (m_column = 0; m_column < m_columns.size(); ++m_column) {
        // A short line: this and the later columns keep the previous line's values.
        if (m_column >= fields.size())
            break;
        const QList<Feed> &feeds = m_feeds.at(m_column);
        if (feeds.isEmpty())
            continue;
        const ImportColumn &column = m_columns.at(m_column);
        const QString &text = fields.at(m_column).text;
        QVariant converted;
        if (pictureKind(column.picture) == PictureKind::Other) {
            const Picture &picture = m_pictures.at(m_column);
            if (!picture.isValid())
                return fieldFailure(QStringLiteral("the picture %1 is not valid (%2).")
                                        .arg(column.picture, picture.errorString()));
            bool ok = true;
            converted = isBlankText(text) ? QVariant(0) : picture.deformat(text, &ok);
            if (!ok)
                return fieldFailure(QStringLiteral("\"%1\" cannot be read with the picture %2.")
                                        .arg(text, column.picture));
        }
        for (const Feed &feed : feeds) {
            if (feed.field == mus::CategoryID) {
                categoryFed = true;
                categoryText = converted.isValid() ? converted.toString() : text;
                categoryNumeric = pictureKind(column.picture) == PictureKind::Number;
                continue;
            }
            if (!setTarget(feed, text, converted, column))
                return false;
        }
    }
    m_song.setText(mus::Media, widenedMedia(m_song.text(mus::Media)));
    if (categoryFed) {
        qint64 id = 0;
        if (!categoryId(categoryText, categoryNumeric, id))
            return false;
        m_song.setNumber(mus::CategoryID, id);
    }
    return true;
}

bool SongImport::setTarget(const Feed &feed, const QString &text, const QVariant &converted,
                           const ImportColumn &column)
{
    const QString value = converted.isValid() ? converted.toString() : text;
    if (feed.memo >= 0) {
        m_song.setMemo(feed.memo, value);
        return true;
    }
    const FieldDef &fieldDef = m_song.definition().fields.at(feed.field);
    if (fieldDef.type == FieldType::String) {
        m_song.setText(feed.field, value);
        return true;
    }
    const QString &name = importTargets().at(feed.target);
    qint64 number = 0;
    bool plain = false;
    if (converted.isValid()) {
        number = converted.toLongLong();
    } else if (!isBlankText(text)) {
        if (hasLetter(text))
            return fieldFailure(
                QStringLiteral("\"%1\" is not a number, as %2 needs.").arg(text, name));
        // Most numbers are plain digits, which every number picture reads the same way.
        number = QStringView(text).trimmed().toLongLong(&plain);
        if (!plain) {
            const QString picture = pictureKind(column.picture) == PictureKind::Number
                                        ? column.picture
                                        : NumericPicture;
            number = std::llround(deformat(text, picture).toDouble());
        }
    }
    if (fitNumber(fieldDef.type, fieldDef.size, number) != number)
        return fieldFailure(QStringLiteral("%1 does not fit %2.").arg(text.trimmed(), name));
    m_song.setNumber(feed.field, number);
    return true;
}

bool SongImport::categoryId(const QString &name, bool numeric, qint64 &id)
{
    id = 0;
    if (isBlankText(name))
        return true;
    Table &categories = m_session.store().table(TableId::Categories);
    const Record saved = categories.buffer();
    const auto restore = qScopeGuard([&] { categories.buffer() = saved; });
    bool digits = false;
    const qint64 number = name.trimmed().toLongLong(&digits);
    if (numeric && digits) {
        // A column of numbers names categories by their number when one exists.
        categories.buffer().clear();
        categories.buffer().setNumber(cat::CategoryID, number);
        if (categories.get(cat::KeyCategoryID)) {
            id = number;
            return true;
        }
        if (errorCode() != err::RecordNotFound)
            return storeFailure(QStringLiteral("Cannot ADD to Categories!"));
    }
    Record probe(categories.definition());
    probe.setText(cat::Category, name);
    const QString folded = probe.text(cat::Category).toCaseFolded();
    if (const auto known = m_categories.constFind(folded); known != m_categories.cend()) {
        id = *known;
        return true;
    }
    categories.buffer() = probe;
    if (categories.get(cat::KeyCategory)) {
        id = categories.buffer().number(cat::CategoryID);
    } else if (errorCode() == err::RecordNotFound) {
        qint64 highest = 0;
        if (!categories.highest(cat::KeyCategoryID, cat::CategoryID, highest))
            return storeFailure(QStringLiteral("Cannot ADD to Categories!"));
        id = highest == 0 ? 2 : highest + 1;
        categories.buffer() = probe;
        categories.buffer().setNumber(cat::CategoryID, id);
        if (!categories.add())
            return storeFailure(QStringLiteral("Cannot ADD to Categories!"));
    } else {
        return storeFailure(QStringLiteral("Cannot ADD to Categories!"));
    }
    m_categories.insert(folded, id);
    return true;
}

void SongImport::end()
{
    (void)commit();
    m_bulk.reset();
    m_uses.reset();
}

} // namespace sv::exchange
