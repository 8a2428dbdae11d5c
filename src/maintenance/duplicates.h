#pragma once

#include "store/store.h"

#include <QList>
#include <QSet>
#include <QString>

#include <memory>
#include <vector>

namespace sv {

// How songs are told to be the same: always by artist and title as compared below; with
// compareTimes also by playing times no further apart than the tolerance (a song without a
// time matches any), with compareMixes also by their mixes.
struct DuplicateRules
{
    bool compareTimes = false;
    int toleranceSeconds = 3;
    bool compareMixes = false;
};

// Text as compared: letters and digits only, without regard to case or accents, "&" read as
// "and", other punctuation as a space.
QString foldForComparison(const QString &text);
// An artist as compared: the text folded, without "The " in front or ", The" behind, and
// without the credit of a featured artist ("feat.", "ft.", "featuring").
QString comparableArtist(const QString &artist);
// A title as compared: without a featured artist's credit and without the brackets that
// name a mix or an edit ("(Radio Edit)", "[Extended Mix]", "(Remastered 2011)").
QString comparableTitle(const QString &title);
// A song's mix as compared: its mix field and the mix brackets of its title, without the
// words that every original version could carry ("Original Mix" and "Album Version" are the
// same as no mix).
QString comparableMix(const QString &mix, const QString &title);

// Song pairs the user has said are not duplicates, kept in a file of the catalogue's folder
// that every station sharing the folder reads.
class NotDuplicates
{
public:
    explicit NotDuplicates(const QString &catalogueFolder);
    void load();
    // Whether every pair of these songs is marked, so that the group is not shown again.
    bool allMarked(const QList<qint64> &ids) const;
    // Marks every pair of these songs; false when the file could not be written.
    [[nodiscard]] bool mark(const QList<qint64> &ids);

private:
    QString m_path;
    QSet<QPair<qint64, qint64>> m_pairs;
};

// Songs found alike, in the order of their numbers.
struct DuplicateGroup
{
    QList<RecordPosition> positions;
    QList<qint64> ids;
};

// Looks through every song for duplicates, a slice at a time, so that the windows go on
// working meanwhile: reads the fields compared in file order and keeps only a hash of
// each song's comparison text, then groups the songs whose hashes agree.
class DuplicateScan
{
public:
    DuplicateScan(Table &songs, const DuplicateRules &rules, const NotDuplicates &marks);
    ~DuplicateScan();

    // Opens the walk; false with the store's error set.
    [[nodiscard]] bool start();
    enum class Step { Going, Done, Failed };
    // Reads up to `rows` songs; Done once every song is read and the groups are known.
    [[nodiscard]] Step step(int rows);
    qint64 songsRead() const { return m_read; }
    qint64 songsTotal() const { return m_total; }
    const QList<DuplicateGroup> &groups() const { return m_groups; }

private:
    struct Entry
    {
        quint64 hash1;
        quint64 hash2;
        RecordPosition position;
        qint64 id;
        qint32 time;
    };
    void group();
    void addCluster(std::vector<const Entry *> &cluster);

    Table &m_songs;
    DuplicateRules m_rules;
    const NotDuplicates &m_marks;
    std::unique_ptr<View> m_view;
    std::vector<Entry> m_entries;
    QHash<QString, QString> m_artists; // artists repeat: each is folded once
    qint64 m_total = 0;
    qint64 m_read = 0;
    QList<DuplicateGroup> m_groups;
};

} // namespace sv
