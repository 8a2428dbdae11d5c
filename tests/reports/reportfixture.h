#pragma once

#include "catalogue.h"
#include "reports/catalogue.h"
#include "reports/reportoutput.h"
#include "reports/reportrun.h"
#include "store/schema.h"
#include "testsupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace sv::test {

// A catalogue with the tables the reports read, songs added by a line each, and the
// reports' pages written to PDF and read back as text.
class ReportCatalogue : public Catalogue
{
public:
    ReportCatalogue()
        : Catalogue({TableId::Songs, TableId::Categories, TableId::Albums, TableId::Media,
                     TableId::PlaylistMaster, TableId::PlaylistDetails})
    {}

    struct Song
    {
        QString artist;
        QString title;
        QString album = QStringLiteral("Album");
        qint64 bpm = 0;
        qint64 chart = 0;
        bool skips = false;
        bool doNotPlay = false;
        qint64 category = 0;
        qint64 time = 0; // standard time
        QString mix = QString();
        QString media = QStringLiteral("CD");
        qint64 albumId = 0;
    };

    qint64 addSong(const Song &song)
    {
        Table &songs = table(TableId::Songs);
        songs.buffer().clear();
        const qint64 id = ++m_lastSong;
        songs.buffer().setNumber(mus::ID, id);
        songs.buffer().setText(mus::Artist, song.artist);
        songs.buffer().setText(mus::Title, song.title);
        songs.buffer().setText(mus::Mix, song.mix);
        songs.buffer().setText(mus::Album, song.album);
        songs.buffer().setText(mus::Media, song.media);
        songs.buffer().setText(mus::FileNumber, QStringLiteral("F%1").arg(id));
        songs.buffer().setNumber(mus::BeatsPerMinute, song.bpm);
        songs.buffer().setNumber(mus::ChartNumber, song.chart);
        songs.buffer().setNumber(mus::Skips, song.skips ? 1 : 0);
        songs.buffer().setNumber(mus::DoNotPlay, song.doNotPlay ? 1 : 0);
        songs.buffer().setNumber(mus::CategoryID, song.category);
        songs.buffer().setNumber(mus::Time, song.time);
        songs.buffer().setNumber(mus::AlbumID, song.albumId);
        if (!songs.add())
            qWarning("song not added: %s", qPrintable(song.title));
        return id;
    }

    void addCategory(qint64 id, const QString &name)
    {
        Table &categories = table(TableId::Categories);
        categories.buffer().clear();
        categories.buffer().setNumber(cat::CategoryID, id);
        categories.buffer().setText(cat::Category, name);
        QVERIFY(categories.add());
    }

    void addPlaylist(qint64 id, const QString &description)
    {
        Table &masters = table(TableId::PlaylistMaster);
        masters.buffer().clear();
        masters.buffer().setNumber(pld::PlaylistID, id);
        masters.buffer().setText(pld::PlaylistDescription, description);
        QVERIFY(masters.add());
    }

    void addEntry(qint64 playlist, qint64 sequence, qint64 song, const QString &notes = QString())
    {
        Table &entries = table(TableId::PlaylistDetails);
        entries.buffer().clear();
        entries.buffer().setNumber(pla::PlaylistID, playlist);
        entries.buffer().setNumber(pla::PlaylistSeq, sequence);
        entries.buffer().setNumber(pla::ID, song);
        entries.buffer().setText(pla::PlaylistNotes, notes);
        QVERIFY(entries.add());
    }

    // The pages of a report run to its end without windows.
    std::shared_ptr<reports::PageList> pages(const QString &title,
                                             const reports::RunChoice &choice = {})
    {
        const reports::ReportDef *report = reports::findReport(title);
        if (!report)
            return nullptr;
        std::unique_ptr<reports::ReportSource> source =
            reports::makeSource(session, *report, choice);
        QString error;
        return reports::ReportRun::runToEnd(*source, error);
    }

    // The report as text, as pdftotext reads its PDF (with -layout).
    QString text(const QString &title, const reports::RunChoice &choice = {})
    {
        const std::shared_ptr<reports::PageList> list = pages(title, choice);
        return list ? pdfText(*list) : QString();
    }

    QString pdfText(const reports::PageList &list,
                    const QStringList &options = {QStringLiteral("-layout")})
    {
        const QString pdf = file(QStringLiteral("report-%1.pdf").arg(++m_files));
        QString error;
        if (!reports::writePdf(list, pdf, error)) {
            qWarning("%s", qPrintable(error));
            return QString();
        }
        return pdfFileText(pdf, options);
    }

    static QString pdfFileText(const QString &pdf,
                               const QStringList &options = {QStringLiteral("-layout")})
    {
        QProcess process;
        process.start(QStringLiteral("pdftotext"), QStringList(options)
                                                       << pdf << QStringLiteral("-"));
        if (!process.waitForFinished(30000))
            return QString();
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    // The detail lines of a report's text: lines holding this artist or title text.
    static QStringList linesWith(const QString &text, const QString &needle)
    {
        QStringList found;
        for (const QString &line : text.split(u'\n'))
            if (line.contains(needle))
                found.append(line.simplified());
        return found;
    }

private:
    qint64 m_lastSong = 0;
    int m_files = 0;
};

inline reports::RunChoice selected(const QString &text, bool brief = false)
{
    reports::RunChoice choice;
    choice.brief = brief;
    choice.criteria.include = QStringLiteral("Selected");
    choice.criteria.selection = text;
    return choice;
}

} // namespace sv::test
