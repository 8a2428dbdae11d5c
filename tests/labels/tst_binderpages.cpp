// Binder and flap pages: which albums a range prints, their headings, dot leaders and
// colours, the flap's two heading bands, and a run over many albums.
#include "labelfixture.h"

#include "labels/binderpages.h"
#include "reports/reportrun.h"

using namespace sv;
using namespace sv::labels;
using namespace sv::test;
using namespace Qt::StringLiterals;

namespace {

std::shared_ptr<reports::PageList> run(LabelCatalogue &catalogue, const QString &style,
                                       const QString &from, const QString &to)
{
    BinderSource source(catalogue.session, {style, from, to});
    QString error;
    auto pages = reports::ReportRun::runToEnd(source, error);
    if (!pages)
        qWarning("%s", qPrintable(error));
    return pages;
}

QString text(LabelCatalogue &catalogue, const reports::PageList &pages)
{
    const QString pdf = catalogue.file(u"binder.pdf"_s);
    QString error;
    if (!reports::writePdf(pages, pdf, error))
        return error;
    QProcess process;
    process.start(u"pdftotext"_s, {u"-layout"_s, pdf, u"-"_s});
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The headings printed, in order, with their colour and size.
struct Heading
{
    QString text;
    QColor colour;
    int points;
};
QList<Heading> headings(const reports::PageList &pages)
{
    QList<Heading> found;
    for (int i = 0; i < pages.count(); ++i)
        for (const reports::PageItem &item : pages.page(i).items) {
            const reports::ReportFont &font = pages.font(item.font);
            if (item.kind == reports::PageItem::Kind::Text && font.bold)
                found.append({item.text, font.colour, font.points});
        }
    return found;
}

} // namespace

class TestBinderPages : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The range is of file numbers as text: one number prints each album that has it, an
    // end that sorts before the start prints nothing, the albums in between print in order.
    void rangeOfFileNumbers()
    {
        LabelCatalogue catalogue;
        catalogue.addAlbum(u"First"_s, u"A"_s, u"10"_s);
        catalogue.addAlbum(u"Second"_s, u"B"_s, u"20"_s);
        catalogue.addAlbum(u"Twin"_s, u"C"_s, u"20"_s);
        catalogue.addAlbum(u"Third"_s, u"D"_s, u"30"_s);
        catalogue.addAlbum(u"Unnumbered"_s, u"E"_s);
        const auto titles = [](const reports::PageList &pages) {
            QStringList list;
            for (const Heading &h : headings(pages))
                if (!h.text.at(0).isDigit())
                    list.append(h.text.section(u" - "_s, 0, 0));
            return list;
        };
        auto pages = run(catalogue, u"Binder"_s, u"20"_s, u"20"_s);
        QCOMPARE(titles(*pages), (QStringList{u"Second"_s, u"Twin"_s}));
        pages = run(catalogue, u"Flap"_s, u"15"_s, u"30"_s);
        QCOMPARE(titles(*pages), (QStringList{u"Second"_s, u"Twin"_s, u"Third"_s}));
        pages = run(catalogue, u"Binder"_s, u"30"_s, u"10"_s);
        QVERIFY(pages && pages->isEmpty());
        pages = run(catalogue, u"Binder"_s, QString(), u"9"_s);
        QCOMPARE(titles(*pages), (QStringList{u"First"_s, u"Second"_s, u"Twin"_s, u"Third"_s}));
    }

    // Binder: the heading turns the artist round and carries the file number; every song
    // line has its artist and title followed by dots, and its time. A "Various" album is
    // headed by its title alone.
    void binderLines()
    {
        LabelCatalogue catalogue;
        const qint64 album = catalogue.addAlbum(u"Blue Skies"_s, u"Doe, Jane"_s, u"F7"_s);
        catalogue.addSong(
            {u"Opener"_s, u"Doe, Jane"_s, u"Blue Skies"_s, album, 1, 0, timeOf(0, 3, 5)});
        catalogue.addSong({u"Closer"_s,
                           u"Roe, Ann"_s,
                           u"Blue Skies"_s,
                           album,
                           2,
                           0,
                           0,
                           {},
                           u"CD"_s,
                           {},
                           u"Club Mix"_s});
        const qint64 various = catalogue.addAlbum(u"Hits"_s, u"Various"_s, u"F8"_s);
        catalogue.addSong({u"Hit"_s, u"Band"_s, u"Hits"_s, various, 1});
        const auto pages = run(catalogue, u"Binder"_s, u"F7"_s, u"F8"_s);
        QCOMPARE(pages->pageSize(), QSize(10500, 8000));
        const QString printed = text(catalogue, *pages);
        QVERIFY2(printed.contains(u"Blue Skies - Jane Doe"_s), qPrintable(printed));
        QVERIFY(printed.contains(u"F7"_s));
        bool openerLine = false, closerLine = false, hitLine = false;
        for (const QString &line : printed.split(u'\n')) {
            const QString simple = line.simplified();
            openerLine =
                openerLine || (simple.startsWith(u"1 Jane Doe....."_s) &&
                               simple.contains(u"Opener....."_s) && simple.endsWith(u"3:05"_s));
            closerLine = closerLine || (simple.startsWith(u"2 Ann Roe....."_s) &&
                                        simple.contains(u"Closer (Club Mix)....."_s));
            hitLine = hitLine || simple.startsWith(u"1 Band....."_s);
        }
        QVERIFY(openerLine && closerLine && hitLine);
        QVERIFY(printed.contains(u"Hits"_s));
        QVERIFY(!printed.contains(u"Hits - Various"_s));
    }

    // Flap: a song by the album's artist has no artist column; another artist's song has
    // one; the footer gives the file number.
    void flapLines()
    {
        LabelCatalogue catalogue;
        const qint64 album = catalogue.addAlbum(u"Blue Skies"_s, u"Doe, Jane"_s, u"F7"_s);
        catalogue.addSong(
            {u"Opener"_s, u"Doe, Jane"_s, u"Blue Skies"_s, album, 1, 0, timeOf(0, 3, 5)});
        catalogue.addSong({u"Duet"_s, u"Roe, Ann"_s, u"Blue Skies"_s, album, 2});
        const auto pages = run(catalogue, u"Flap"_s, u"F7"_s, u"F7"_s);
        const QString printed = text(catalogue, *pages);
        QVERIFY2(printed.contains(u"Blue Skies - Doe, Jane"_s), qPrintable(printed));
        bool opener = false, duet = false;
        for (const QString &line : printed.split(u'\n')) {
            const QString simple = line.simplified();
            opener =
                opener || (simple.startsWith(u"1 Opener....."_s) && simple.endsWith(u"3:05"_s));
            duet =
                duet || (simple.startsWith(u"2 Ann Roe....."_s) && simple.contains(u"Duet...."_s));
        }
        QVERIFY(opener && duet);
        const QList<Heading> found = headings(*pages);
        QCOMPARE(found.last().text, u"F7"_s);
        QCOMPARE(found.last().colour, found.first().colour);
    }

    // Binder headings take fifteen colours in turn from the first album printed, so the
    // sixteenth takes the first again.
    void binderColourCycle()
    {
        LabelCatalogue catalogue;
        for (int i = 1; i <= 17; ++i)
            catalogue.addAlbum(u"Album %1"_s.arg(i), u"Artist"_s,
                               u"N%1"_s.arg(i, 2, 10, QChar(u'0')));
        const QList<Heading> found = headings(*run(catalogue, u"Binder"_s, u"N02"_s, u"N17"_s));
        QList<QColor> colours;
        for (qsizetype i = 0; i < found.size(); i += 2) // the heading, then its file number
            colours.append(found.at(i).colour);
        QCOMPARE(colours.size(), 16);
        QCOMPARE(colours.at(0), QColor(Qt::black));
        QCOMPARE(colours.at(1), QColor(0x80, 0, 0)); // 0x000080: red in the low byte
        QCOMPARE(colours.at(12), QColor(0, 0, 0xFF));
        QCOMPARE(colours.at(15), colours.at(0));
        QCOMPARE(binderColour(15), binderColour(0));
    }

    // A flap heading's colour follows the album's place in the file, whatever else is
    // printed; a heading of 40 characters or more takes the long heading's band.
    void flapColoursAndBands()
    {
        LabelCatalogue catalogue;
        for (int i = 1; i <= 8; ++i)
            catalogue.addAlbum(i == 8 ? QString(31, u'x') : u"Album %1"_s.arg(i), u"Artist"_s,
                               u"N%1"_s.arg(i)); // "xxx... - Artist": exactly 40 characters
        catalogue.addAlbum(QString(30, u'y'), u"Artist"_s, u"N9"_s); // 39 characters
        const QList<Heading> seventh = headings(*run(catalogue, u"Flap"_s, u"N7"_s, u"N7"_s));
        QCOMPARE(seventh.first().colour, QColor(0, 0, 0xFF)); // record 7: 0xFF0000
        QCOMPARE(flapColour(8), flapColour(1));
        QCOMPARE(flapColour(12), flapColour(7));
        QCOMPARE(flapColour(15), flapColour(0));
        const QList<Heading> eighth = headings(*run(catalogue, u"Flap"_s, u"N8"_s, u"N8"_s));
        const QList<Heading> ninth = headings(*run(catalogue, u"Flap"_s, u"N9"_s, u"N9"_s));
        QCOMPARE(eighth.first().text.size(), 40);
        QVERIFY(eighth.first().points < ninth.first().points);
        QCOMPARE(eighth.first().colour, QColor(0x80, 0, 0)); // record 8: 0x000080
    }

    // Ten thousand albums go through one run; the pages wait on disk, and the last album
    // is on the last page.
    void tenThousandAlbums()
    {
        LabelCatalogue catalogue;
        Table &albums = catalogue.table(TableId::Albums);
        QVERIFY(albums.stream());
        for (int i = 1; i <= 10000; ++i) {
            const qint64 id = catalogue.addAlbum(u"Album %1"_s.arg(i), u"Artist"_s,
                                                 u"B%1"_s.arg(i, 5, 10, QChar(u'0')));
            catalogue.addSong({u"Song %1"_s.arg(i), u"Artist"_s, u"Album %1"_s.arg(i), id, 1});
        }
        QVERIFY(albums.flush());
        BinderSource source(catalogue.session, {u"Binder"_s, u"B00001"_s, u"B10000"_s});
        QString error;
        qint64 reports = 0;
        const auto pages =
            reports::ReportRun::runToEnd(source, error, [&](qint64 done, qint64 total) {
                ++reports;
                QCOMPARE(total, 10000);
                QVERIFY(done <= total);
            });
        QVERIFY(pages);
        QVERIFY(reports >= 400); // progress every 25 albums
        QVERIFY(pages->count() > 100);
        bool last = false;
        for (const reports::PageItem &item : pages->page(pages->count() - 1).items)
            last = last || item.text == u"Album 10000 - Artist"_s;
        QVERIFY(last);
    }
};

QTEST_MAIN(TestBinderPages)
#include "tst_binderpages.moc"
