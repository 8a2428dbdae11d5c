#include "songexport.h"

#include "app/session.h"
#include "store/errors.h"
#include "store/warnings.h"

#include <QFileInfo>

namespace sv::exchange {

namespace {

// Lines are handed to the file in blocks of about this size; a failed block is written
// again whole on Retry.
constexpr qsizetype BlockBytes = 1 << 16;

} // namespace

SongExport::SongExport(Session &session, QList<ExportField> fields, bool header)
    : m_session(session), m_fields(std::move(fields)),
      m_writer(session.store().table(TableId::Songs).definition(), m_fields), m_header(header)
{
    m_pending.reserve(2 * BlockBytes);
}

SongExport::~SongExport()
{
    if (m_file.isOpen() || m_uses)
        (void)end();
}

void SongExport::fileFailure(const QString &action)
{
    const int number =
        m_file.error() == QFileDevice::PermissionsError ? err::AccessDenied : err::FileSystemError;
    m_failure = {action + u' ' + m_file.fileName(),
                 QStringLiteral("Error #%1 - %2").arg(number).arg(m_file.errorString())};
}

bool SongExport::begin(const QString &path)
{
    m_failure = {};
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        fileFailure(QStringLiteral("Cannot CREATE"));
        return false;
    }
    if (m_header) {
        m_pending = headerLine(m_fields).toUtf8() + "\r\n";
        if (!write(true)) {
            m_file.close();
            QFile::remove(path); // nothing of the export stays when it could not start
            return false;
        }
    }
    Store &store = m_session.store();
    Table &songs = store.table(TableId::Songs);
    Table &categories = store.table(TableId::Categories);
    m_uses = m_session.files().use({&songs, &categories});
    if (!m_uses) {
        m_file.close();
        QFile::remove(path);
        return false; // the open routine has told the user
    }
    songs.send(QStringLiteral("QUICKSCAN=on"));
    categories.send(QStringLiteral("QUICKSCAN=on"));
    m_total = songs.records();
    m_view = std::make_unique<View>(songs, mus::SongsByArtist, QString());
    if (!m_view->open()) {
        standardWarning(warning::RecordRetrieval, songs.label());
        (void)end();
        return false;
    }
    m_view->set();
    return true;
}

bool SongExport::categoryName(qint64 id, QString &name)
{
    if (id == 0) {
        name.clear();
        return true;
    }
    if (const auto known = m_categories.constFind(id); known != m_categories.cend()) {
        name = *known;
        return true;
    }
    Table &categories = m_session.store().table(TableId::Categories);
    const Record saved = categories.buffer();
    categories.buffer().setNumber(cat::CategoryID, id);
    if (categories.get(cat::KeyCategoryID)) {
        name = categories.buffer().text(cat::Category);
    } else if (errorCode() == err::RecordNotFound) {
        name.clear();
    } else {
        categories.buffer() = saved;
        standardWarning(warning::RecordRetrieval, QStringLiteral("Categories"));
        return false;
    }
    categories.buffer() = saved;
    m_categories.insert(id, name);
    return true;
}

bool SongExport::write(bool force)
{
    if (m_pending.isEmpty() || (!force && m_pending.size() < BlockBytes))
        return true;
    while (!m_pending.isEmpty()) {
        const qint64 written = m_file.write(m_pending);
        if (written <= 0) {
            fileFailure(QStringLiteral("Cannot ADD to"));
            return false;
        }
        // Emptied, the buffer keeps its room for the next block.
        if (written == m_pending.size())
            m_pending.resize(0);
        else
            m_pending.remove(0, written);
    }
    return true;
}

SongExport::Step SongExport::next()
{
    if (m_atEnd)
        return write(true) ? Step::End : Step::WriteFailed;
    if (!m_view->next()) {
        if (errorCode() != err::RecordNotAvailable) {
            standardWarning(warning::RecordRetrieval, m_view->table().label());
            return Step::Failed;
        }
        m_atEnd = true;
        return write(true) ? Step::End : Step::WriteFailed;
    }
    ++m_read;
    const Record &song = m_view->table().buffer();
    QString category;
    if (!categoryName(song.number(mus::CategoryID), category))
        return Step::Failed;
    m_writer.append(song, category, m_pending);
    m_pending += "\r\n";
    return write(false) ? Step::Line : Step::WriteFailed;
}

bool SongExport::retryWrite()
{
    return write(true);
}

bool SongExport::end()
{
    bool closed = true;
    if (m_file.isOpen()) {
        // Unbuffered: what the file took is on its way to the disk; a failure to hand it
        // over shows only when the descriptor is closed.
        m_file.close();
        if (m_file.error() != QFileDevice::NoError) {
            fileFailure(QStringLiteral("Cannot CLOSE"));
            closed = false;
        }
    }
    m_pending.clear();
    m_view.reset();
    if (m_uses) {
        Store &store = m_session.store();
        store.table(TableId::Songs).send(QStringLiteral("QUICKSCAN=off"));
        store.table(TableId::Categories).send(QStringLiteral("QUICKSCAN=off"));
        m_uses.reset();
    }
    return closed;
}

} // namespace sv::exchange
