#pragma once

#include "songfields.h"

#include "store/fileaccess.h"

#include <QFile>
#include <QHash>

#include <memory>

namespace sv {

class Session;
class View;

namespace exchange {

// How long each tick of the export and import windows works: songs take microseconds
// each, so many more than the standard 25 fit while the window still answers in a frame.
inline constexpr int WindowTickMilliseconds = 8;

// What a failed step reports: the caption and the text of its message.
struct Failure
{
    QString caption;
    QString text;
};

// Writes every song, in artist order, as one line of a delimited file in UTF-8; the
// export window and the command line both run it one song a step.
class SongExport
{
public:
    SongExport(Session &session, QList<ExportField> fields, bool header);
    ~SongExport();

    // Creates the file anew (replacing one of that name), writes the header line when
    // asked, and opens the tables; false with failure() set (a record-store failure has
    // been reported through the standard warnings already, and failure() is empty).
    [[nodiscard]] bool begin(const QString &path);

    enum class Step {
        Line,        // one song written
        End,         // no more songs; everything written
        WriteFailed, // the file took no more: retryWrite() or abort
        Failed,      // a read failed (reported); the export ends
    };
    Step next();
    [[nodiscard]] bool retryWrite(); // false: it failed again, failure() updated
    // Closes the file and releases the tables; false with failure() set when closing failed
    // (what was written before stays).
    [[nodiscard]] bool end();

    qint64 total() const { return m_total; }
    qint64 songsRead() const { return m_read; }
    const Failure &failure() const { return m_failure; }
    QString fileName() const { return m_file.fileName(); }

private:
    bool write(bool force);
    bool categoryName(qint64 id, QString &name);
    void fileFailure(const QString &action);

    Session &m_session;
    QList<ExportField> m_fields;
    ExportLineWriter m_writer;
    bool m_header;
    TableUses m_uses;
    std::unique_ptr<View> m_view;
    QFile m_file;
    QByteArray m_pending; // lines not yet handed to the file
    QHash<qint64, QString> m_categories;
    qint64 m_total = 0;
    qint64 m_read = 0;
    bool m_atEnd = false;
    Failure m_failure;
};

} // namespace exchange
} // namespace sv
