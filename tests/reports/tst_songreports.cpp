#include "reportfixture.h"

#include "app/settings.h"
#include "platform/picture.h"
#include "platform/stddate.h"

#include <QFile>
#include <QImage>
#include <QTest>

using namespace sv;
using namespace sv::reports;
using namespace Qt::StringLiterals;
using test::ReportCatalogue;

class TestSongReports : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        Clock::setSource([] { return QDateTime(QDate(2026, 12, 8), QTime(10, 0)); });
    }

    // Printed values: song times, release dates and years, the song test.
    void values()
    {
        QCOMPARE(songTime(0), u"     "_s);
        QCOMPARE(songTime(makeTime(0, 4, 5)), u" 4:05"_s);
        QCOMPARE(songTime(makeTime(1, 5, 10)), u"65:10"_s);
        QCOMPARE(releaseYear(0), u" --"_s);
        QCOMPARE(releaseYear(1998), u"1998"_s);
        QCOMPARE(releaseYear(makeDate(1985, 6, 1)), u"1985"_s);
        QCOMPARE(releaseDate(1998, u"@d3b"), u"1998"_s);
        QCOMPARE(releaseDate(0, u"@d3b"), QString());

        ReportCatalogue catalogue;
        Record song(tableDef(TableId::Songs));
        song.setText(mus::Artist, u"Plain"_s);
        song.setText(mus::Title, u"Plain"_s);
        QVERIFY(!songLeftOut(song));
        song.setText(mus::Artist, u"Hidden (*)"_s);
        QVERIFY(songLeftOut(song));
        song.setText(mus::Artist, u"Plain"_s);
        song.setText(mus::Title, u"Long one (Skips)"_s);
        QVERIFY(songLeftOut(song));
        song.setText(mus::Title, u"Plain"_s);
        song.setNumber(mus::DoNotPlay, 1);
        QVERIFY(songLeftOut(song));
    }

    // The song test leaves out marked songs in the reports that have it and keeps them in
    // the others; a title with "(Skips)" prints with its mix by chart number.
    void songTest()
    {
        ReportCatalogue catalogue;
        catalogue.addSong({u"Hidden Artist (*)"_s, u"Hidden Song"_s});
        catalogue.addSong({u"Skipper"_s, u"Jumpy (Skips)"_s, u"Album"_s, 0, 7, false, false, 0, 0,
                           u"Radio Edit"_s});
        catalogue.addSong({u"Resting"_s, u"Not Tonight"_s, u"Album"_s, 0, 0, false, true});
        catalogue.addSong({u"Visible"_s, u"Shown Song"_s});

        for (const QString &title : {u"Songs by Artist"_s, u"Songs by Title"_s}) {
            const QString text = catalogue.text(title);
            QVERIFY2(text.contains(u"Shown Song"_s), qPrintable(title));
            QVERIFY2(!text.contains(u"Hidden Song"_s), qPrintable(title));
            QVERIFY2(!text.contains(u"Jumpy"_s), qPrintable(title));
            QVERIFY2(!text.contains(u"Not Tonight"_s), qPrintable(title));
        }
        const QString byAlbum = catalogue.text(u"Songs by Album"_s);
        QVERIFY(byAlbum.contains(u"Hidden Song"_s));
        QVERIFY(byAlbum.contains(u"Not Tonight"_s)); // the do-not-play flag prints here
        QVERIFY(byAlbum.contains(u"Jumpy (Skips)"_s));

        const QString byChart = catalogue.text(u"Songs by Chart Number"_s);
        QCOMPARE(ReportCatalogue::linesWith(byChart, u"Jumpy"_s).size(), 1);
        QVERIFY(byChart.contains(u"Jumpy (Skips) (Radio Edit)"_s));
    }

    // "Selected" matches the start of the selection field without regard to case, numbers
    // by their digits; the BPM report never prints BPM 0 then; an empty text takes all.
    void selection()
    {
        ReportCatalogue catalogue;
        for (qint64 bpm : {0, 1, 2, 10, 19, 21, 100, 199, 200})
            catalogue.addSong({u"Artist %1"_s.arg(bpm), u"Tempo %1"_s.arg(bpm), u"Album"_s, bpm});
        catalogue.addSong({u"abba"_s, u"Waterloo"_s});
        catalogue.addSong({u"ABC"_s, u"Poison Arrow"_s});
        catalogue.addSong({u"Blondie"_s, u"Atomic"_s});

        const QString bpm = catalogue.text(u"Songs by Beats Per Minute"_s, test::selected(u"1"_s));
        QStringList printed;
        for (qint64 value : {0, 1, 2, 10, 19, 21, 100, 199, 200})
            if (!ReportCatalogue::linesWith(bpm, u"Tempo %1 "_s.arg(value)).isEmpty() ||
                bpm.contains(QRegularExpression(u"Tempo %1\\b"_s.arg(value))))
                printed.append(QString::number(value));
        QCOMPARE(printed, (QStringList{u"1"_s, u"10"_s, u"19"_s, u"100"_s, u"199"_s}));

        const QString artists = catalogue.text(u"Songs by Artist"_s, test::selected(u"ab "_s));
        QVERIFY(artists.contains(u"Waterloo"_s));
        QVERIFY(artists.contains(u"Poison Arrow"_s));
        QVERIFY(!artists.contains(u"Atomic"_s));

        const QString every = catalogue.text(u"Songs by Artist"_s, test::selected(QString()));
        QVERIFY(every.contains(u"Atomic"_s));
        QVERIFY(every.contains(u"Tempo 0"_s));
    }

    // Each song report prints its columns in its order, the brief twin its own; the
    // category report only the chosen category's songs under its built title.
    void columnsAndOrders()
    {
        ReportCatalogue catalogue;
        catalogue.addCategory(1, u"Disco"_s);
        catalogue.addCategory(2, u"Rock"_s);
        catalogue.addSong(
            {u"Zed"_s, u"Alpha"_s, u"Mid Album"_s, 120, 0, false, false, 1, makeTime(0, 4, 5)});
        catalogue.addSong({u"Amy"_s, u"Omega"_s, u"Last Album"_s, 90, 0, false, false, 2});

        const QString byArtist = catalogue.text(u"Songs by Artist"_s);
        QVERIFY(byArtist.indexOf(u"Omega"_s) < byArtist.indexOf(u"Alpha"_s));
        QVERIFY(byArtist.contains(u"Songs by Artist"_s));
        QVERIFY(byArtist.contains(u"Page 1"_s));
        QVERIFY(byArtist.contains(format(today(), u"@d4")));
        const QStringList heading = ReportCatalogue::linesWith(byArtist, u"Release Date"_s);
        QCOMPARE(heading.size(), 1);
        QCOMPARE(heading.first(), u"Artist Title Album Media Category Track Chart File Number "
                                  u"Release Date"_s);
        QCOMPARE(ReportCatalogue::linesWith(byArtist, u"Alpha"_s).first(),
                 u"Zed Alpha Mid Album CD Disco F1"_s);

        const QString byTitle = catalogue.text(u"Songs by Title"_s);
        QVERIFY(byTitle.indexOf(u"Alpha"_s) < byTitle.indexOf(u"Omega"_s));

        reports::RunChoice brief;
        brief.brief = true;
        const QString briefArtist = catalogue.text(u"Songs by Artist"_s, brief);
        QCOMPARE(ReportCatalogue::linesWith(briefArtist, u"Alpha"_s).first(),
                 u"4:05 F1 Zed Alpha Mid Album"_s);

        reports::RunChoice disco;
        disco.id = 1;
        disco.name = u"Disco   "_s;
        const QString category = catalogue.text(u"Music in Category"_s, disco);
        QVERIFY(category.contains(u"Music in Disco Category"_s));
        QVERIFY(category.contains(u"Alpha"_s));
        QVERIFY(!category.contains(u"Omega"_s));
    }

    // A long report numbers its pages and keeps every line; long titles are cut to their
    // column, never run into the next one.
    void pagesAndColumns()
    {
        ReportCatalogue catalogue;
        QVERIFY(catalogue.store().database().logout(2));
        for (int i = 0; i < 130; ++i)
            catalogue.addSong({u"Artist %1"_s.arg(i, 3, 10, QChar(u'0')), u"Title %1"_s.arg(i)});
        catalogue.addSong({u"Zz Long"_s, QString(u"Very long title "_s).repeated(12)});
        QVERIFY(catalogue.store().database().commit());
        const std::shared_ptr<PageList> pages = catalogue.pages(u"Songs by Artist"_s);
        QVERIFY(pages);
        QVERIFY(pages->count() >= 3);
        const QString text = catalogue.pdfText(*pages);
        for (int page = 1; page <= pages->count(); ++page)
            QVERIFY(text.contains(u"Page %1"_s.arg(page)));
        QVERIFY(!text.contains(u"Page %1"_s.arg(pages->count() + 1)));
        for (int i = 0; i < 130; ++i)
            QCOMPARE(
                ReportCatalogue::linesWith(text, u"Artist %1 "_s.arg(i, 3, 10, QChar(u'0'))).size(),
                1);

        // With positions: the long title ends before the album column starts.
        const QString boxes = catalogue.pdfText(*pages, {u"-bbox"_s});
        const QRegularExpression word(
            uR"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="[\d.]+">([^<]*)</word>)re"_s);
        double albumLeft = 0;
        double titleRight = 0;
        double longLine = -1;
        for (auto it = word.globalMatch(boxes); it.hasNext();) {
            const auto match = it.next();
            if (match.captured(4) == u"Album" && albumLeft == 0)
                albumLeft = match.captured(1).toDouble();
            if (match.captured(4) == u"Zz")
                longLine = match.captured(2).toDouble();
            if (longLine >= 0 && match.captured(2).toDouble() == longLine &&
                match.captured(4) == u"title")
                titleRight = qMax(titleRight, match.captured(3).toDouble());
        }
        QVERIFY(albumLeft > 0);
        QVERIFY(titleRight > 0);
        QVERIFY2(titleRight < albumLeft, qPrintable(u"%1 %2"_s.arg(titleRight).arg(albumLeft)));
        // The layout is in thousandths of an inch: the first column starts half an inch in
        // (36 points), the title's word "Artist" further right.
        double artistLeft = 1000;
        for (auto it = word.globalMatch(boxes); it.hasNext();) {
            const auto match = it.next();
            if (match.captured(4) == u"Artist")
                artistLeft = qMin(artistLeft, match.captured(1).toDouble());
        }
        QCOMPARE(qRound(artistLeft), 36);
    }

    // The play list's report: its entries in order with the total time at the end.
    void playlist()
    {
        ReportCatalogue catalogue;
        catalogue.addCategory(3, u"Pop"_s);
        const qint64 first = catalogue.addSong(
            {u"One"_s, u"First"_s, u"Album"_s, 0, 0, false, false, 3, makeTime(0, 3, 30)});
        const qint64 second = catalogue.addSong(
            {u"Two"_s, u"Second (Skips)"_s, u"Album"_s, 0, 0, false, false, 0, makeTime(0, 4, 45)});
        catalogue.addPlaylist(5, u"Friday Night"_s);
        catalogue.addPlaylist(6, u"Other"_s);
        catalogue.addEntry(5, 2, first);
        catalogue.addEntry(5, 1, second);
        catalogue.addEntry(6, 1, first);
        reports::RunChoice choice;
        choice.id = 5;
        choice.name = u"Friday Night"_s;
        const QString text = catalogue.text(u"Playlist"_s, choice);
        QVERIFY(text.contains(u"Friday Night"_s));
        QVERIFY(text.indexOf(u"Second"_s) < text.indexOf(u"First"_s));
        QCOMPARE(ReportCatalogue::linesWith(text, u"First"_s).first(),
                 u"One First Pop Album 3:30 F1"_s);
        QCOMPARE(ReportCatalogue::linesWith(text, u"Total Time"_s).first(),
                 u"Total Time 00:08:15"_s);
    }

    // The chart: last week's text, the marks, the numbering closed up and stored.
    void chart()
    {
        ReportCatalogue catalogue;
        QList<qint64> songs;
        for (int i = 1; i <= 5; ++i)
            songs.append(catalogue.addSong({u"Artist %1"_s.arg(i), u"Hit %1"_s.arg(i)}));
        catalogue.addPlaylist(1, u"Top Chart"_s);
        catalogue.addEntry(1, 1, songs[0], u"LW:15"_s);    // climbed more than ten
        catalogue.addEntry(1, 2, songs[1], u"LW:5"_s);     // climbed three
        catalogue.addEntry(1, 4, songs[2], u"LW:3"_s);     // stays third once renumbered
        catalogue.addEntry(1, 7, songs[3], u"Req LW:2"_s); // fell
        catalogue.addEntry(1, 9, songs[4]);                // new
        reports::RunChoice choice;
        choice.id = 1;
        choice.name = u"Top Chart"_s;
        const QString text = catalogue.text(u"Top 40"_s, choice);
        QVERIFY(text.contains(u"Top Chart"_s));
        QCOMPARE(ReportCatalogue::linesWith(text, u"Hit 1"_s).first(),
                 u"Artist 1 Hit 1 1 * 15 F1"_s);
        QCOMPARE(ReportCatalogue::linesWith(text, u"Hit 2"_s).first(),
                 u"Artist 2 Hit 2 2 ^ 5 F2"_s);
        QCOMPARE(ReportCatalogue::linesWith(text, u"Hit 3"_s).first(),
                 u"Artist 3 Hit 3 3 = 3 F3"_s);
        QCOMPARE(ReportCatalogue::linesWith(text, u"Hit 4"_s).first(), u"Artist 4 Hit 4 4 2 F4"_s);
        QCOMPARE(ReportCatalogue::linesWith(text, u"Hit 5"_s).first(), u"Artist 5 Hit 5 5 -- F5"_s);

        QList<qint64> stored;
        Table &entries = catalogue.table(TableId::PlaylistDetails);
        entries.set(pla::KeyPlaylistID);
        while (entries.next())
            stored.append(entries.buffer().number(pla::PlaylistSeq));
        QCOMPARE(stored, (QList<qint64>{1, 2, 3, 4, 5}));

        QCOMPARE(movementMark(5, u"5"_s), u"="_s);
        QCOMPARE(movementMark(3, u"5"_s), u"^"_s);
        QCOMPARE(movementMark(7, u"5"_s), QString());
        QCOMPARE(movementMark(1, u"--"_s), QString());
        QCOMPARE(lastWeekText(u"Requested LW:7"_s), u"7"_s);
    }

    // The chart's logo: the settings' picture, else LOGO.GIF; a missing or broken one
    // leaves the page without it and says nothing.
    void chartLogo()
    {
        ReportCatalogue catalogue;
        catalogue.addEntry(1, 1, catalogue.addSong({u"Artist"_s, u"Hit"_s}));
        catalogue.addPlaylist(1, u"Chart"_s);
        reports::RunChoice choice;
        choice.id = 1;
        choice.name = u"Chart"_s;
        const auto images = [&catalogue](const reports::PageList &pages) {
            const QString pdf = catalogue.file(u"logo.pdf"_s);
            QString error;
            if (!reports::writePdf(pages, pdf, error))
                return -1;
            QProcess list;
            list.start(u"pdfimages"_s, {u"-list"_s, pdf});
            list.waitForFinished(30000);
            // Two heading lines, then one line per image.
            return int(QString::fromUtf8(list.readAllStandardOutput())
                           .trimmed()
                           .split(u'\n')
                           .size()) -
                   2;
        };
        test::ScriptedPrompter prompter;
        auto pages = catalogue.pages(u"Top 40"_s, choice);
        QVERIFY(pages);
        QCOMPARE(images(*pages), 0); // no LOGO.GIF

        QFile broken(catalogue.file(u"LOGO.GIF"_s));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("GIF89a not really");
        broken.close();
        pages = catalogue.pages(u"Top 40"_s, choice);
        QVERIFY(pages);
        QCOMPARE(images(*pages), 0);
        QVERIFY(catalogue.pdfText(*pages).contains(u"Hit"_s));

        QImage logo(64, 32, QImage::Format_RGB32);
        logo.fill(Qt::red);
        QVERIFY(logo.save(catalogue.file(u"station.png"_s)));
        Settings::global().logo = u"station.png"_s; // in the working folder
        pages = catalogue.pages(u"Top 40"_s, choice);
        QCOMPARE(images(*pages), 1);
        QVERIFY(prompter.shown.isEmpty());
    }

    // Album reports read the album table in their order; the album sheet lists one album.
    void albums()
    {
        ReportCatalogue catalogue;
        Table &albums = catalogue.table(TableId::Albums);
        const auto addAlbum = [&](qint64 id, const QString &artist, const QString &album,
                                  const QString &fileNumber) {
            albums.buffer().clear();
            albums.buffer().setNumber(alb::AlbumID, id);
            albums.buffer().setText(alb::Artist, artist);
            albums.buffer().setText(alb::Album, album);
            albums.buffer().setText(alb::FileNumber, fileNumber);
            albums.buffer().setText(alb::Media, u"CD"_s);
            albums.buffer().setText(alb::AssociatedWavFile, u"/music/"_s + album + u".wav"_s);
            QVERIFY(albums.add());
        };
        addAlbum(1, u"Zappa"_s, u"Apostrophe"_s, u"B-2"_s);
        addAlbum(2, u"Abba"_s, u"Voulez-Vous"_s, u"A-1"_s);
        catalogue.addSong({u"Zappa"_s, u"Cosmik Debris"_s, u"Apostrophe"_s, 0, 0, false, false, 0,
                           0, QString(), u"CD"_s, 1});
        catalogue.addSong({u"Abba"_s, u"Chiquitita"_s, u"Voulez-Vous"_s, 0, 0, false, false, 0, 0,
                           QString(), u"CD"_s, 2});

        const QString byArtist = catalogue.text(u"Albums by Artist"_s);
        QVERIFY(byArtist.indexOf(u"Voulez-Vous"_s) < byArtist.indexOf(u"Apostrophe"_s));
        QVERIFY(byArtist.contains(u"/music/Apostrophe.wav"_s));
        reports::RunChoice brief;
        brief.brief = true;
        const QString briefAlbums = catalogue.text(u"Albums"_s, brief);
        QVERIFY(briefAlbums.contains(u"Albums by Album"_s));
        QCOMPARE(ReportCatalogue::linesWith(briefAlbums, u"Apostrophe"_s).first(),
                 u"B-2 Apostrophe Zappa CD"_s);
        const QString byNumber = catalogue.text(u"Albums by File Number"_s, test::selected(u"b"_s));
        QVERIFY(byNumber.contains(u"Apostrophe"_s));
        QVERIFY(!byNumber.contains(u"Voulez-Vous"_s));

        reports::RunChoice sheet;
        sheet.id = 1;
        const QString albumSheet = catalogue.text(u"Album Sheet"_s, sheet);
        QVERIFY(albumSheet.contains(u"Cosmik Debris"_s));
        QVERIFY(!albumSheet.contains(u"Chiquitita"_s));
    }

    // The DJ log applies the query's filter and prints the year, or " --" for none.
    void djLog()
    {
        ReportCatalogue catalogue;
        catalogue.addSong({u"Kept"_s, u"Dance"_s});
        catalogue.addSong({u"Dropped"_s, u"Ballad"_s});
        reports::RunChoice choice;
        choice.filter = u"MUS:Artist = 'Kept'"_s;
        const QString text = catalogue.text(u"DJ LOG"_s, choice);
        QVERIFY(text.contains(u"DJ LOG"_s));
        QVERIFY(text.contains(u"Dance"_s));
        QVERIFY(!text.contains(u"Ballad"_s));
        QCOMPARE(ReportCatalogue::linesWith(text, u"Dance"_s).first(), u"Kept Dance Album -- F1"_s);
    }
};

QTEST_MAIN(TestSongReports)
#include "tst_songreports.moc"
