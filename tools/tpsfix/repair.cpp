#include "repair.h"

#include "salvage.h"
#include "writer.h"

#include "store/errors.h"
#include "store/sqldialect.h"
#include "store/stationlock.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTextStream>
#include <QUrl>

#include <sqlite3.h>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace sv::tpsfix {

namespace {

constexpr int ListedAtMost = 20;   // page numbers and positions named in the log
constexpr int FindingsAtMost = 50; // what the engine's own check may name

const QString LogName = u"tpsfix.log"_s;
const QString UnreadableCells = u"unreadable cells"_s;

void print(std::FILE *stream, const QString &line)
{
    std::fputs(qPrintable(line + u'\n'), stream);
}

void appendToLog(const QStringList &lines)
{
    QFile log(QDir::current().filePath(LogName));
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    QTextStream out(&log);
    for (const QString &line : lines)
        out << line << u'\n';
}

QString now()
{
    return QDateTime::currentDateTime().toString(u"yyyy-MM-dd HH:mm:ss"_s);
}

int refuse(ExitCode code, const Options &options, const QString &reason)
{
    print(stderr, u"tpsfix: %1 not repaired: %2"_s.arg(options.damaged, reason));
    appendToLog({u"%1 %2: not repaired: %3"_s.arg(now(), options.damaged, reason)});
    return code;
}

template <typename Numbers> QString listed(const Numbers &numbers)
{
    QStringList texts;
    for (const auto number : numbers) {
        if (texts.size() == ListedAtMost) {
            texts.append(u"..."_s);
            break;
        }
        texts.append(QString::number(number));
    }
    return texts.join(u", "_s);
}

// The definition whose key texts the repaired file gets, when the example is its layout.
const TableDef *definitionFor(const QString &damagedPath, const Layout &layout)
{
    const QString baseName = QFileInfo(damagedPath).completeBaseName();
    QSet<QString> columns;
    for (const Column &column : layout.columns)
        columns.insert(column.name.toLower());
    for (TableId id : allTables()) {
        const TableDef &table = tableDef(id);
        if (table.fileName.compare(baseName, Qt::CaseInsensitive) != 0 ||
            table.label.compare(layout.table, Qt::CaseInsensitive) != 0)
            continue;
        QSet<QString> expected{u"sv_pos"_s, u"sv_rev"_s};
        for (const QString &name : sql::dataColumns(table))
            expected.insert(name.toLower());
        for (const QString &name : sql::keyTextFields(table))
            expected.insert(u"k_"_s + name.toLower());
        return columns == expected ? &table : nullptr;
    }
    return nullptr;
}

QString freeDamagedName(const QString &path)
{
    for (int number = 1;; ++number) {
        const QString name =
            path + u".damaged"_s + (number > 1 ? QString::number(number) : QString());
        if (!QFileInfo::exists(name) && !QFileInfo::exists(name + u"-journal"_s))
            return name;
    }
}

// Moves the damaged file and its journal aside, then the repaired file in; undoes what was
// done when a step fails. The journal goes with the damaged file so that it can never be
// played into the repaired one.
bool swapIn(const QString &path, const QString &repaired, const QString &kept)
{
    const QString journal = path + u"-journal"_s;
    const QString keptJournal = kept + u"-journal"_s;
    const bool hasJournal = QFileInfo::exists(journal);
    if (!QFile::rename(path, kept))
        return false;
    if (hasJournal && !QFile::rename(journal, keptJournal)) {
        QFile::rename(kept, path);
        return false;
    }
    if (!QFile::rename(repaired, path)) {
        if (hasJournal)
            QFile::rename(keptJournal, journal);
        QFile::rename(kept, path);
        return false;
    }
    return true;
}

// Opens the damaged file through the engine as it lies (immutable): no journal is played
// into it and no lock is taken, as this program already holds the file alone. The
// connection closes itself.
class FileAsItLies
{
public:
    explicit FileAsItLies(const QString &path)
    {
        const QString uri =
            u"file:"_s +
            QString::fromLatin1(QUrl::toPercentEncoding(QFileInfo(path).absoluteFilePath(), "/")) +
            u"?immutable=1"_s;
        m_result = sqlite3_open_v2(uri.toUtf8().constData(), &m_db,
                                   SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    }
    ~FileAsItLies() { sqlite3_close(m_db); }
    FileAsItLies(const FileAsItLies &) = delete;
    FileAsItLies &operator=(const FileAsItLies &) = delete;
    bool ok() const { return m_result == SQLITE_OK; }
    sqlite3 *db() const { return m_db; }
    QString error() const { return QString::fromUtf8(sqlite3_errmsg(m_db)); }

    // The one number a query gives; 0 when the file's damage keeps it from being read.
    qint64 number(const QString &query, const QString &parameter = QString())
    {
        sqlite3_stmt *statement = nullptr;
        qint64 value = 0;
        if (sqlite3_prepare_v2(m_db, query.toUtf8().constData(), -1, &statement, nullptr) ==
            SQLITE_OK) {
            const QByteArray bound = parameter.toUtf8();
            sqlite3_bind_text(statement, 1, bound.constData(), int(bound.size()), SQLITE_TRANSIENT);
            if (sqlite3_step(statement) == SQLITE_ROW)
                value = sqlite3_column_int64(statement, 0);
        }
        sqlite3_finalize(statement);
        return value;
    }

private:
    sqlite3 *m_db = nullptr;
    int m_result = SQLITE_OK;
};

// The last position and revision the file gave, as far as they can still be read: from its
// counters, and from the positions the damaged pages are known to have held.
Counters countersGiven(const QString &path, const Layout &layout, const Salvage &found)
{
    Counters given;
    FileAsItLies file(path);
    if (file.ok()) {
        given.lastPosition =
            file.number(u"SELECT seq FROM main.sqlite_sequence WHERE name = ?"_s, layout.table);
        given.lastRevision = file.number(u"SELECT last_revision FROM main."_s +
                                         QString::fromLatin1(sql::CountersTable));
    }
    if (!found.lost.empty())
        given.lastPosition = qMax(given.lastPosition, found.lost.rbegin()->first);
    for (const auto &[after, upTo] : found.unreadableRanges) {
        if (upTo != std::numeric_limits<qint64>::max())
            given.lastPosition = qMax(given.lastPosition, upTo);
    }
    return given;
}

// What the engine's own check of the whole file finds wrong: every tree, the freelist and
// the pages no tree uses, which the reading of the records does not look at. Empty when
// nothing is wrong.
QStringList engineFindings(const QString &path)
{
    FileAsItLies file(path);
    sqlite3 *db = file.db();
    QStringList findings;
    if (!file.ok()) {
        findings.append(u"the file cannot be checked: "_s + file.error());
        return findings;
    }
    sqlite3_stmt *check = nullptr;
    const QByteArray text = "PRAGMA quick_check(" + QByteArray::number(FindingsAtMost) + ')';
    int status = sqlite3_prepare_v2(db, text.constData(), -1, &check, nullptr);
    while (check && (status = sqlite3_step(check)) == SQLITE_ROW) {
        const QString row =
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(check, 0)));
        for (const QString &line : row.split(u'\n', Qt::SkipEmptyParts)) {
            if (line != u"ok"_s && !line.startsWith(u"***"_s))
                findings.append(line);
        }
    }
    // The check stops at some damage after naming it; only a stop with nothing named is news.
    if (status != SQLITE_DONE && findings.isEmpty())
        findings.append(u"the check stopped: "_s + QString::fromUtf8(sqlite3_errmsg(db)));
    sqlite3_finalize(check);
    return findings;
}

// The page an engine finding names as unreadable or wrong in itself; nullopt for others (a
// page "never used" is only left over from damage elsewhere).
std::optional<quint32> pageNamedIn(const QString &finding)
{
    static const QRegularExpression page(u"^(?:Page (\\d+):|Tree \\d+ page (\\d+))"_s);
    const auto match = page.match(finding);
    if (!match.hasMatch())
        return std::nullopt;
    return (match.captured(1) + match.captured(2)).toUInt();
}

// A tree of the file in the user's words: what it is for, then its name in the file.
QString structureName(const QString &name, const Layout &layout)
{
    const QString prefix = layout.table + u'_';
    if (name.startsWith(prefix + u"text"_s, Qt::CaseInsensitive))
        return u"full-text index (%1)"_s.arg(name);
    if (name.compare(QString::fromLatin1(sql::CountersTable), Qt::CaseInsensitive) == 0)
        return u"record count (%1)"_s.arg(name);
    if (name.compare(u"sqlite_sequence"_s, Qt::CaseInsensitive) == 0)
        return u"last position given (%1)"_s.arg(name);
    if (name.startsWith(prefix, Qt::CaseInsensitive))
        return u"key %1"_s.arg(name.mid(prefix.size()));
    return name;
}

struct Outcome
{
    const Salvage &salvage;
    const WriteResult &written;
    std::map<qint64, QString> leftOut; // by position, with the reason

    QStringList findings;           // of the engine's check, but for pages already counted
    std::set<quint32> damagedPages; // those the reading met and those the check names

    Outcome(const Salvage &found, const WriteResult &result, const QStringList &checked)
        : salvage(found), written(result), leftOut(found.lost), damagedPages(found.damagedPages)
    {
        leftOut.insert(result.leftOut.begin(), result.leftOut.end());
        for (const QString &finding : checked) {
            const auto page = pageNamedIn(finding);
            if (!page || !found.damagedPages.contains(*page))
                findings.append(finding);
            if (page)
                damagedPages.insert(*page);
        }
    }
    int leftOutCount() const { return int(leftOut.size()) + salvage.unreadableCells; }
    // Nothing was wrong anywhere in the file: the original holds nothing the new file lacks.
    bool healthy() const
    {
        return damagedPages.empty() && findings.isEmpty() && leftOutCount() == 0;
    }

    QString reasons() const
    {
        std::map<QString, QList<qint64>> byReason;
        for (const auto &[position, reason] : leftOut)
            byReason[reason.section(u" ("_s, 0, 0)].append(position);
        QStringList texts;
        for (const auto &[reason, positions] : byReason)
            texts.append(u"%1: %2 (positions %3)"_s.arg(reason)
                             .arg(positions.size())
                             .arg(listed(positions)));
        if (salvage.unreadableCells > 0)
            texts.append(u"%1: %2"_s.arg(UnreadableCells).arg(salvage.unreadableCells));
        return texts.join(u"; "_s);
    }
};

void report(const Options &options, const Layout &layout, const Outcome &outcome,
            const QString &kept)
{
    const Salvage &found = outcome.salvage;
    QStringList lines{
        u"%1 %2: repaired from the layout example %3 (table %4, version %5)"_s
            .arg(now(), options.damaged, options.example, layout.table)
            .arg(layout.version),
        u"  pages in the file: %1 of %2 bytes"_s.arg(found.pageCount).arg(found.pageSize),
        u"  pages damaged: %1%2"_s.arg(outcome.damagedPages.size())
            .arg(outcome.damagedPages.empty() ? QString()
                                              : u" ("_s + listed(outcome.damagedPages) + u')'),
        u"  records recovered: %1"_s.arg(outcome.written.written),
        u"  records left out: %1%2"_s.arg(outcome.leftOutCount())
            .arg(outcome.leftOutCount() > 0 ? u" - "_s + outcome.reasons() : QString()),
    };
    // What lay on pages that could not be read at all is known only by the positions the
    // pages above them name: every position there that was not recovered may be lost.
    for (std::size_t i = 0; i < found.unreadableRanges.size(); ++i) {
        const auto [after, upTo] = found.unreadableRanges.at(i);
        const qint64 recovered = i < outcome.written.recoveredInRanges.size()
                                     ? outcome.written.recoveredInRanges.at(i)
                                     : 0;
        lines.append(
            upTo == std::numeric_limits<qint64>::max()
                ? u"  records lost on unreadable pages: positions above %1 (%2 recovered there)"_s
                      .arg(after)
                      .arg(recovered)
                : u"  records lost on unreadable pages: positions %1 to %2, up to %3 records "
                  "(%4 recovered there)"_s.arg(after + 1)
                      .arg(upTo)
                      .arg(upTo - after - recovered)
                      .arg(recovered));
    }
    if (!found.damagedStructures.empty()) {
        QStringList names;
        for (const QString &name : found.damagedStructures)
            names.append(structureName(name, layout));
        lines.append(u"  damaged besides the records, made anew from them: "_s +
                     names.join(u", "_s));
    }
    if (!outcome.findings.isEmpty())
        lines.append(u"  the file check also found: "_s +
                     outcome.findings.mid(0, ListedAtMost).join(u"; "_s) +
                     (outcome.findings.size() > ListedAtMost ? u"; ..."_s : QString()));
    for (const auto &[position, reason] : outcome.leftOut)
        lines.append(u"    left out: position %1: %2"_s.arg(position).arg(reason));
    if (!outcome.written.salvaged.empty())
        lines.append(u"  records taken from damaged pages, to be checked: %1"_s.arg(
            outcome.written.salvaged.size()));
    for (const auto &[position, key] : outcome.written.salvaged)
        lines.append(u"    salvaged: position %1%2"_s.arg(position).arg(
            key.isEmpty() ? QString() : u": "_s + key));
    if (outcome.healthy())
        lines.append(u"  no damage found in the file; the original was not kept"_s);
    else
        lines.append(options.keepOriginal ? u"  damaged original kept as %1"_s.arg(kept)
                                          : u"  damaged original removed"_s);
    appendToLog(lines);
    const bool kept_ = options.keepOriginal && !outcome.healthy();
    print(stdout, u"tpsfix: %1 repaired: %2 records recovered, %3 left out, %4 of %5 pages "
                  "damaged, %6 taken from damaged pages%7"_s.arg(options.damaged)
                      .arg(outcome.written.written)
                      .arg(outcome.leftOutCount())
                      .arg(outcome.damagedPages.size())
                      .arg(found.pageCount)
                      .arg(outcome.written.salvaged.size())
                      .arg(kept_ ? u"; original kept as "_s + kept : QString()));
}

} // namespace

std::optional<Options> parseArguments(const QStringList &arguments)
{
    Options options;
    for (const QString &argument : arguments) {
        if (argument.startsWith(u"/E:"_s, Qt::CaseInsensitive))
            options.example = argument.mid(3);
        else if (argument.compare(u"/K"_s, Qt::CaseInsensitive) == 0)
            options.keepOriginal = true;
        else if (options.damaged.isEmpty()) // a path, which may itself start with a slash
            options.damaged = argument;
        else
            return std::nullopt;
    }
    if (options.damaged.isEmpty() ||
        (arguments.contains(u"/E:"_s, Qt::CaseInsensitive) && options.example.isEmpty()))
        return std::nullopt;
    if (options.example.isEmpty()) {
        const QFileInfo damaged(options.damaged);
        options.example = QDir(damaged.path()).filePath(damaged.completeBaseName() + u".tpe"_s);
    }
    return options;
}

int repair(const Options &options)
{
    QString error;
    const auto layout = readLayout(options.example, error);
    if (!layout)
        return refuse(BadExample, options, error);
    if (!QFileInfo(options.damaged).isFile())
        return refuse(NotATableFile, options, u"the file does not exist"_s);
    // Replacing the file under a station that has it open would pull it from under that
    // station; a station that has it open is told apart by its hold, which goes with it.
    StationLock hold;
    if (!hold.take(options.damaged, StationLock::Kind::Exclusive))
        return errorCode() == err::FileLocked
                   ? refuse(InUse, options, u"the file is open at another station"_s)
                   : refuse(NotATableFile, options, u"the file cannot be opened"_s);

    const QString repaired = options.damaged + u".new"_s;
    RepairWriter writer(*layout, definitionFor(options.damaged, *layout));
    if (!writer.open(options.example, repaired))
        return refuse(WriteFailed, options,
                      u"the repaired file cannot be written: %1"_s.arg(writer.error()));
    auto found =
        salvage(options.damaged, *layout, [&](qint64 rowid, const Row &row, bool fromDamagedPage) {
            return writer.add(rowid, row, fromDamagedPage);
        });
    if (!found)
        return writer.error().isEmpty()
                   ? refuse(NotATableFile, options, u"the file cannot be read"_s)
                   : refuse(WriteFailed, options,
                            u"the repaired file cannot be written: %1"_s.arg(writer.error()));
    // Replacing a file that was never one of this table's would throw its contents away.
    if (!found->hasSignature && !found->foundTableLeaf)
        return refuse(NotATableFile, options,
                      u"not a table file: neither its header nor any page is one of the "
                      "table %1"_s.arg(layout->table));
    if (found->schemaLacksTable)
        return refuse(NotATableFile, options,
                      u"the file holds other tables, not %1"_s.arg(layout->table));
    if (!writer.finish(found->lost, found->unreadableRanges,
                       countersGiven(options.damaged, *layout, *found)))
        return refuse(WriteFailed, options,
                      u"the repaired file cannot be written: %1"_s.arg(writer.error()));
    const Outcome outcome(*found, writer.result(), engineFindings(options.damaged));

    // Every station sharing the folder must keep the access it had to the file.
    QFile::setPermissions(repaired, QFile::permissions(options.damaged) | QFile::ReadOwner |
                                        QFile::WriteOwner);
    const QString kept = freeDamagedName(options.damaged);
    if (!swapIn(options.damaged, repaired, kept)) {
        QFile::remove(repaired);
        return refuse(WriteFailed, options, u"the repaired file cannot be put in its place"_s);
    }
    // A copy of a file whose records were all whole would only pile up with every Fix.
    if (!options.keepOriginal || outcome.healthy()) {
        QFile::remove(kept);
        QFile::remove(kept + u"-journal"_s);
    }
    report(options, *layout, outcome, kept);
    return Repaired;
}

} // namespace sv::tpsfix
