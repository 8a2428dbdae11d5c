#include "duplicates.h"

#include "store/errors.h"
#include "store/store.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QStringList>

#include <algorithm>
#include <tuple>

namespace sv {

namespace {

const QString MarksFile = QStringLiteral("SVPDUPES.TXT");

// Letters that decompose into no base letter of their own.
QString spelledOut(QChar c)
{
    switch (c.unicode()) {
    case 0x00DF: // sharp s
        return QStringLiteral("ss");
    case 0x00C6:
    case 0x00E6:
        return QStringLiteral("ae");
    case 0x0152:
    case 0x0153:
        return QStringLiteral("oe");
    case 0x00D8:
    case 0x00F8:
        return QStringLiteral("o");
    case 0x0110:
    case 0x0111:
        return QStringLiteral("d");
    case 0x0141:
    case 0x0142:
        return QStringLiteral("l");
    case 0x00DE:
    case 0x00FE:
        return QStringLiteral("th");
    case 0x0131:
        return QStringLiteral("i");
    default:
        return QString();
    }
}

bool isApostrophe(QChar c)
{
    return c == u'\'' || c == QChar(0x2019) || c == QChar(0x2018) || c == u'`';
}

// The words that open a featured artist's credit, as folded.
bool isCreditWord(QStringView word)
{
    return word == u"feat" || word == u"ft" || word == u"featuring";
}

// Words that make a bracket the name of a mix or an edit of the same recording.
bool isMixWord(QStringView word)
{
    static const QSet<QString> words = {
        QStringLiteral("mix"),        QStringLiteral("remix"),   QStringLiteral("rmx"),
        QStringLiteral("edit"),       QStringLiteral("version"), QStringLiteral("remaster"),
        QStringLiteral("remastered"), QStringLiteral("radio"),   QStringLiteral("extended"),
        QStringLiteral("club"),       QStringLiteral("dub"),     QStringLiteral("single"),
        QStringLiteral("mono"),       QStringLiteral("stereo"),  QStringLiteral("original")};
    return words.contains(word.toString());
}

// Words any version of a recording may carry: said or not, the mix is the same.
bool isPlainMixWord(QStringView word)
{
    return word == u"mix" || word == u"version" || word == u"original" || word == u"album";
}

QStringList wordsOf(const QString &folded)
{
    return folded.split(u' ', Qt::SkipEmptyParts);
}

bool isOpening(QChar c)
{
    return c == u'(' || c == u'[' || c == u'{';
}

QChar closingOf(QChar c)
{
    return c == u'(' ? u')' : c == u'[' ? u']' : u'}';
}

// Splits a text into what stands outside brackets and the contents of each bracket.
void splitBrackets(const QString &text, QString &outside, QStringList &brackets)
{
    outside.clear();
    brackets.clear();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (isOpening(c)) {
            const qsizetype end = text.indexOf(closingOf(c), i + 1);
            if (end > i) {
                brackets.append(text.mid(i + 1, end - i - 1));
                outside += u' ';
                i = end;
                continue;
            }
        }
        outside += c;
    }
}

// The folded text up to a featured artist's credit.
QString withoutCredit(const QString &folded)
{
    const QStringList words = wordsOf(folded);
    QStringList kept;
    for (const QString &word : words) {
        if (isCreditWord(word))
            break;
        kept.append(word);
    }
    return kept.join(u' ');
}

bool isCreditBracket(const QString &folded)
{
    const QStringList words = wordsOf(folded);
    return !words.isEmpty() && isCreditWord(words.first());
}

bool isMixBracket(const QString &folded)
{
    const QStringList words = wordsOf(folded);
    return std::any_of(words.cbegin(), words.cend(),
                       [](const QString &word) { return isMixWord(word); });
}

quint64 hashOf(const QString &text, size_t seed)
{
    return quint64(qHash(text, seed));
}

} // namespace

QString foldForComparison(const QString &text)
{
    QString out;
    out.reserve(text.size());
    bool space = true; // at the start: no leading blank
    const auto put = [&](QChar c) {
        if (c == u' ') {
            space = true;
            return;
        }
        if (space && !out.isEmpty())
            out += u' ';
        space = false;
        out += c;
    };
    const auto take = [&](QChar c) {
        if (c.isLetterOrNumber()) {
            put(c.toCaseFolded());
        } else if (c == u'&') {
            put(u' ');
            for (QChar letter : {u'a', u'n', u'd'})
                put(letter);
            put(u' ');
        } else if (!isApostrophe(c) && c.category() != QChar::Mark_NonSpacing &&
                   c.category() != QChar::Mark_SpacingCombining &&
                   c.category() != QChar::Mark_Enclosing) {
            put(u' ');
        }
    };
    bool ascii = true;
    for (QChar c : text)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii) {
        for (QChar c : text)
            take(c);
        return out;
    }
    // Compatibility decomposition: accents come apart from their letters and are dropped,
    // ligatures and full-width forms become plain letters.
    for (QChar c : text) {
        const QString spelled = spelledOut(c);
        if (!spelled.isEmpty()) {
            for (QChar letter : spelled)
                put(letter);
            continue;
        }
        if (c.unicode() < 0x80) {
            take(c);
            continue;
        }
        for (QChar part : QString(c).normalized(QString::NormalizationForm_KD))
            take(part);
    }
    return out;
}

QString comparableArtist(const QString &artist)
{
    QString outside;
    QStringList brackets;
    splitBrackets(artist, outside, brackets);
    QString folded = withoutCredit(foldForComparison(outside));
    if (folded.startsWith(QStringLiteral("the ")))
        folded.remove(0, 4);
    if (folded.endsWith(QStringLiteral(" the")))
        folded.chop(4);
    // A name that is only brackets, or only "The", stays as it is written.
    return folded.isEmpty() ? foldForComparison(artist) : folded;
}

QString comparableTitle(const QString &title)
{
    QString outside;
    QStringList brackets;
    splitBrackets(title, outside, brackets);
    QString folded = withoutCredit(foldForComparison(outside));
    // Brackets that are neither a credit nor a mix are part of the title ("(Part 2)", "(Live)").
    for (const QString &bracket : std::as_const(brackets)) {
        const QString inside = foldForComparison(bracket);
        if (!inside.isEmpty() && !isCreditBracket(inside) && !isMixBracket(inside))
            folded += u' ' + inside;
    }
    return folded.trimmed().isEmpty() ? foldForComparison(title) : folded.trimmed();
}

QString comparableMix(const QString &mix, const QString &title)
{
    QString outside;
    QStringList brackets;
    splitBrackets(title, outside, brackets);
    QStringList words;
    for (const QString &word : wordsOf(foldForComparison(mix))) {
        if (!isPlainMixWord(word))
            words.append(word);
    }
    for (const QString &bracket : std::as_const(brackets)) {
        const QString inside = foldForComparison(bracket);
        if (!isMixBracket(inside))
            continue;
        for (const QString &word : wordsOf(inside)) {
            if (!isPlainMixWord(word))
                words.append(word);
        }
    }
    return words.join(u' ');
}

NotDuplicates::NotDuplicates(const QString &catalogueFolder)
    : m_path(QDir(catalogueFolder).filePath(MarksFile))
{}

void NotDuplicates::load()
{
    m_pairs.clear();
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    while (!file.atEnd()) {
        const QList<QByteArray> numbers = file.readLine().simplified().split(' ');
        if (numbers.size() != 2)
            continue;
        bool firstOk = false;
        bool secondOk = false;
        const qint64 a = numbers.at(0).toLongLong(&firstOk);
        const qint64 b = numbers.at(1).toLongLong(&secondOk);
        if (firstOk && secondOk)
            m_pairs.insert({qMin(a, b), qMax(a, b)});
    }
}

bool NotDuplicates::allMarked(const QList<qint64> &ids) const
{
    for (qsizetype i = 0; i < ids.size(); ++i) {
        for (qsizetype j = i + 1; j < ids.size(); ++j) {
            if (!m_pairs.contains({qMin(ids.at(i), ids.at(j)), qMax(ids.at(i), ids.at(j))}))
                return false;
        }
    }
    return true;
}

bool NotDuplicates::mark(const QList<qint64> &ids)
{
    QByteArray lines;
    QList<QPair<qint64, qint64>> added;
    for (qsizetype i = 0; i < ids.size(); ++i) {
        for (qsizetype j = i + 1; j < ids.size(); ++j) {
            const QPair<qint64, qint64> pair{qMin(ids.at(i), ids.at(j)),
                                             qMax(ids.at(i), ids.at(j))};
            if (m_pairs.contains(pair))
                continue;
            added.append(pair);
            lines += QByteArray::number(pair.first) + ' ' + QByteArray::number(pair.second) + '\n';
        }
    }
    if (lines.isEmpty())
        return true;
    // Appended in one write, so that marks two stations add at once both stay whole.
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(lines) != lines.size() ||
        !file.flush())
        return false;
    for (const auto &pair : std::as_const(added))
        m_pairs.insert(pair);
    return true;
}

DuplicateScan::DuplicateScan(Table &songs, const DuplicateRules &rules, const NotDuplicates &marks)
    : m_songs(songs), m_rules(rules), m_marks(marks)
{}

DuplicateScan::~DuplicateScan() = default;

bool DuplicateScan::start()
{
    m_entries.clear();
    m_groups.clear();
    m_read = 0;
    m_total = m_songs.records();
    if (errorCode() != err::None)
        return false;
    m_entries.reserve(size_t(m_total));
    m_view = std::make_unique<View>(m_songs, -1, QString());
    m_view->setFields({mus::Artist, mus::Title, mus::Mix, mus::Time, mus::ID});
    m_view->setWanted(Table::MaxWanted);
    if (!m_view->open())
        return false;
    m_view->set();
    return true;
}

DuplicateScan::Step DuplicateScan::step(int rows)
{
    if (!m_view)
        return Step::Failed;
    // Where each field read lies in a row.
    const QList<int> &fields = m_view->fields();
    const qsizetype artistAt = fields.indexOf(mus::Artist);
    const qsizetype titleAt = fields.indexOf(mus::Title);
    const qsizetype mixAt = fields.indexOf(mus::Mix);
    const qsizetype timeAt = fields.indexOf(mus::Time);
    const qsizetype idAt = fields.indexOf(mus::ID);
    for (int i = 0; i < rows; ++i) {
        if (!m_view->next()) {
            if (errorCode() != err::RecordNotAvailable)
                return Step::Failed;
            m_view.reset();
            group();
            return Step::Done;
        }
        const Cursor::Row &row = m_view->row();
        const QString artist = QString::fromUtf8(row.fields.at(artistAt).toByteArray());
        const QString title = QString::fromUtf8(row.fields.at(titleAt).toByteArray());
        auto known = m_artists.constFind(artist);
        if (known == m_artists.cend())
            known = m_artists.insert(artist, comparableArtist(artist));
        QString key = known.value() + QChar(0x1F) + comparableTitle(title);
        if (m_rules.compareMixes)
            key += QChar(0x1F) +
                   comparableMix(QString::fromUtf8(row.fields.at(mixAt).toByteArray()), title);
        ++m_read;
        m_entries.push_back({hashOf(key, 0x5F3759DF), hashOf(key, 0x9E3779B9), row.position,
                             row.fields.at(idAt).toLongLong(),
                             qint32(row.fields.at(timeAt).toLongLong())});
    }
    return Step::Going;
}

// Songs whose comparison texts agree, split where their times lie further apart than the
// tolerance allows.
void DuplicateScan::group()
{
    std::sort(m_entries.begin(), m_entries.end(), [](const Entry &a, const Entry &b) {
        return std::tie(a.hash1, a.hash2, a.time, a.id) < std::tie(b.hash1, b.hash2, b.time, b.id);
    });
    const int tolerance = qMax(0, m_rules.toleranceSeconds) * 100; // hundredths
    for (size_t begin = 0; begin < m_entries.size();) {
        size_t end = begin + 1;
        while (end < m_entries.size() && m_entries[end].hash1 == m_entries[begin].hash1 &&
               m_entries[end].hash2 == m_entries[begin].hash2)
            ++end;
        if (end - begin >= 2) {
            std::vector<const Entry *> cluster;
            if (!m_rules.compareTimes) {
                for (size_t i = begin; i < end; ++i)
                    cluster.push_back(&m_entries[i]);
                addCluster(cluster);
            } else {
                // Sorted by time: songs without one (0) come first and join the first
                // cluster of timed songs, or make one of their own when there is none.
                std::vector<const Entry *> untimed;
                size_t i = begin;
                for (; i < end && m_entries[i].time == 0; ++i)
                    untimed.push_back(&m_entries[i]);
                cluster = untimed;
                for (; i < end; ++i) {
                    if (!cluster.empty() && cluster.back()->time != 0 &&
                        m_entries[i].time - cluster.back()->time > tolerance) {
                        addCluster(cluster);
                        cluster.clear();
                    }
                    cluster.push_back(&m_entries[i]);
                }
                addCluster(cluster);
            }
        }
        begin = end;
    }
    std::sort(m_groups.begin(), m_groups.end(),
              [](const DuplicateGroup &a, const DuplicateGroup &b) { return a.ids < b.ids; });
    m_entries.clear();
    m_entries.shrink_to_fit();
}

void DuplicateScan::addCluster(std::vector<const Entry *> &cluster)
{
    if (cluster.size() < 2)
        return;
    std::sort(cluster.begin(), cluster.end(),
              [](const Entry *a, const Entry *b) { return a->id < b->id; });
    DuplicateGroup found;
    for (const Entry *entry : cluster) {
        found.positions.append(entry->position);
        found.ids.append(entry->id);
    }
    if (!m_marks.allMarked(found.ids))
        m_groups.append(found);
}

} // namespace sv
