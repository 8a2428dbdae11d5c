// Filling a label from an album or a file number, the artist display names, song times
// and lines, and the favourite fonts' descriptions.
#include "labelfixture.h"

#include "app/settings.h"
#include "labels/labeltext.h"

using namespace sv;
using namespace sv::labels;
using namespace Qt::StringLiterals;

class TestLabelText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A name stored surname first is turned round; a group after " with " follows it, and a
    // " with " before the comma moves with the surname.
    void artistDisplayNames()
    {
        QCOMPARE(artistDisplayName(u"Doe, Jane"_s), u"Jane Doe"_s);
        QCOMPARE(artistDisplayName(u"  Doe ,  Jane  "_s), u"Jane Doe"_s);
        QCOMPARE(artistDisplayName(u"Doe, Jane with The Quartet"_s),
                 u"Jane Doe with The Quartet"_s);
        QCOMPARE(artistDisplayName(u"Doe, Jane WITH The Quartet"_s),
                 u"Jane Doe WITH The Quartet"_s);
        QCOMPARE(artistDisplayName(u"Roe with Doe, Jane"_s), u"Jane Roe with Doe"_s);
        QCOMPARE(artistDisplayName(u"The Band"_s), u"The Band"_s);
        QCOMPARE(artistDisplayName(u"Earth, Wind, Fire"_s), u"Wind, Fire Earth"_s);
        QCOMPARE(artistDisplayName(QString()), QString());
    }

    // Minutes without a leading zero and hours left out; an extra field holding a time
    // stands in for a song without one, unless it is a zero time.
    void songTimes()
    {
        QCOMPARE(songTimeSuffix(test::timeOf(0, 4, 5), {}), u" (4:05)"_s);
        QCOMPARE(songTimeSuffix(test::timeOf(0, 12, 30), {}), u" (12:30)"_s);
        QCOMPARE(songTimeSuffix(test::timeOf(1, 2, 5), {}), u" (2:05)"_s);
        QCOMPARE(songTimeSuffix(test::timeOf(0, 0, 0), {}), u" (0:00)"_s);
        QCOMPARE(songTimeSuffix(0, u"3:41   "_s), u" (3:41)"_s);
        QCOMPARE(songTimeSuffix(0, u"00:00"_s), QString());
        QCOMPARE(songTimeSuffix(0, u"live"_s), QString());
        QCOMPARE(songTimeSuffix(test::timeOf(0, 1, 0), u"3:41"_s), u" (1:00)"_s);
    }

    // Lines go by side then track, the track in three places, and the delimiter setting's
    // one character (with a blank) replaces ". ".
    void songLinesOrderAndDelimiter()
    {
        const QList<LabelSong> songs{
            {12, 2, u"Outro"_s}, {3, 0, u"Intro (3:05)"_s}, {1, 1, u"Opener"_s}};
        QCOMPARE(songLines(songs, u"-"_s), u"  3- Intro (3:05)\r\n  1- Opener\r\n 12- Outro"_s);
        QCOMPARE(songLines(songs, u"."_s), u"  3. Intro (3:05)\r\n  1. Opener\r\n 12. Outro"_s);
        QCOMPARE(songLines(songs, QString()).section(u"\r\n"_s, 0, 0), u"  3. Intro (3:05)"_s);
        QCOMPARE(songLines(songs, u"#x"_s).section(u"\r\n"_s, 0, 0), u"  3# Intro (3:05)"_s);
        QCOMPARE(songLines({}, u"."_s), QString());
    }

    // An album's texts: heading title first (or artist first under "Artist - Title"), the
    // first 51 of its songs by side and track, cassette sides by the songs' sides (a song
    // without a side on both), and the album's picture.
    void fillingFromAnAlbum()
    {
        test::LabelCatalogue catalogue;
        const qint64 id =
            catalogue.addAlbum(u"Blue Skies"_s, u"Doe, Jane"_s, u"F12"_s, u"/pics/blue.png"_s);
        for (int track = 1; track <= 60; ++track)
            catalogue.addSong({u"Song %1"_s.arg(track, 2, 10, QChar(u'0')), u"Doe, Jane"_s,
                               u"Blue Skies"_s, id, track, track <= 2 ? 0 : (track <= 30 ? 1 : 2),
                               track == 3 ? test::timeOf(0, 3, 5) : 0});
        // Another artist's album of the same title is not taken.
        catalogue.addSong({u"Stranger"_s, u"Someone Else"_s, u"Blue Skies"_s, 99, 1});
        Settings::global().delimiter = u"-"_s;
        Table &albums = catalogue.table(TableId::Albums);
        albums.buffer().clear();
        albums.buffer().setNumber(alb::AlbumID, id);
        QVERIFY(albums.get(alb::KeyAlbumID));
        Table &songs = catalogue.table(TableId::Songs);
        songs.buffer().clear();
        songs.buffer().setText(mus::Title, u"kept"_s);

        Record label = catalogue.label(u"CD"_s);
        fillFromAlbum(catalogue.store(), albums.buffer(), label);
        QCOMPARE(label.text(lab::LabelDescription), u"Blue Skies - Jane Doe"_s);
        QCOMPARE(label.text(lab::CDSpine), u"Blue Skies - Jane Doe"_s);
        QCOMPARE(label.text(lab::CDTitle), u"Blue Skies - Jane Doe"_s);
        QCOMPARE(label.memo(lab::CassetteTitle), u"Blue Skies\r\nJane Doe"_s);
        QCOMPARE(label.memo(lab::CassetteFlap), u"Blue Skies\r\nJane Doe"_s);
        QCOMPARE(label.number(lab::AlbumID), id);
        QCOMPARE(label.text(lab::ImageName), u"/pics/blue.png"_s);
        const QStringList all = label.memo(lab::CDCoverText).split(u"\r\n"_s);
        QCOMPARE(all.size(), 51);
        QCOMPARE(all.at(0), u"  1- Song 01"_s);
        QCOMPARE(all.at(2), u"  3- Song 03 (3:05)"_s);
        QCOMPARE(all.at(50), u" 51- Song 51"_s);
        QVERIFY(!label.memo(lab::CDCoverText).contains(u"Stranger"_s));
        QCOMPARE(label.memo(lab::CDInsideText), label.memo(lab::CDCoverText));
        const QStringList sideA = label.memo(lab::CassetteContentsA).split(u"\r\n"_s);
        const QStringList sideB = label.memo(lab::CassetteContentsB).split(u"\r\n"_s);
        QCOMPARE(sideA.size(), 30); // two without a side and 28 of side 1
        QCOMPARE(sideB.size(), 23); // two without a side and 21 of side 2
        QCOMPARE(sideB.at(0), u"  1- Song 01"_s);
        QCOMPARE(sideB.at(2), u" 31- Song 31"_s);
        // The buffers of the windows are as they were.
        QCOMPARE(songs.buffer().text(mus::Title), u"kept"_s);
        QCOMPARE(albums.buffer().number(alb::AlbumID), id);

        // Artist first, and a memo replaced rather than added to.
        Settings::global().labelArtistTitleOrder = u"Artist - Title"_s;
        fillFromAlbum(catalogue.store(), albums.buffer(), label);
        QCOMPARE(label.text(lab::LabelDescription), u"Jane Doe - Blue Skies"_s);
        QCOMPARE(label.memo(lab::CassetteTitle), u"Jane Doe\r\nBlue Skies"_s);
        QCOMPARE(label.memo(lab::CDCoverText).count(u"Song 01"_s), 1);
    }

    // A file number's texts: every song of that number on that medium, each with its
    // artist, tracks numbered by place where they have none.
    void fillingFromAFileNumber()
    {
        test::LabelCatalogue catalogue;
        const qint64 album = catalogue.addAlbum(u"Mixes"_s, u"Various"_s, u"77"_s, u"m.gif"_s);
        catalogue.addSong(
            {u"Beta"_s, u"Roe, Ann"_s, u"Mixes"_s, album, 0, 0, test::timeOf(0, 2, 0), u"77"_s});
        catalogue.addSong(
            {u"Alpha"_s, u"Band"_s, u"Mixes"_s, album, 0, 0, 0, u"77"_s, u"CD"_s, u"4:10"_s});
        catalogue.addSong({u"Gamma"_s, u"Band"_s, u"Mixes"_s, album, 0, 0, 0, u"77"_s, u"Tape"_s});
        catalogue.addSong({u"Delta"_s, u"Band"_s, u"Mixes"_s, album, 0, 0, 0, u"78"_s});
        Table &songs = catalogue.table(TableId::Songs);
        songs.buffer().clear();
        songs.buffer().setNumber(mus::ID, 1);
        QVERIFY(songs.get(mus::KeyID));
        const Record picked = songs.buffer();
        Record label = catalogue.label(u"Cassette"_s);
        fillFromFileNumber(catalogue.store(), picked, label);
        QCOMPARE(label.text(lab::LabelDescription), u"File Number 77"_s);
        QCOMPARE(label.text(lab::CDSpine), u"File Number 77 Mixes - Ann Roe"_s);
        QCOMPARE(label.memo(lab::CassetteTitle), u"File Number 77\r\nMixes\r\nAnn Roe"_s);
        QCOMPARE(label.memo(lab::CDCoverText),
                 u"  1. Alpha - Band (4:10)\r\n  2. Beta - Ann Roe (2:00)"_s);
        QCOMPARE(label.text(lab::ImageName), u"m.gif"_s);

        Settings::global().labelArtistTitleOrder = u"A"_s;
        fillFromFileNumber(catalogue.store(), picked, label);
        QCOMPARE(label.text(lab::CDTitle), u"File Number 77 Ann Roe - Mixes"_s);
        QCOMPARE(label.memo(lab::CassetteContentsA).section(u"\r\n"_s, 0, 0),
                 u"  1. Band - Alpha (4:10)"_s);
    }

    // A font is described by its four values, cut to 60 characters; none, and a font no
    // longer on file, is the layout's own.
    void fontDescriptions()
    {
        test::LabelCatalogue catalogue;
        const qint64 id = catalogue.addFont(u"Courier New"_s, u"12"_s, u"255"_s, u"700"_s);
        QCOMPARE(fontDescription(catalogue.store(), id),
                 u"Courier New 12  Colour:  255  Style:  700"_s);
        const qint64 wide = catalogue.addFont(QString(32, u'W'), u"12"_s, u"16777215"_s, u"4796"_s);
        QCOMPARE(fontDescription(catalogue.store(), wide).size(), 60);
        QCOMPARE(fontDescription(catalogue.store(), 0), u"Default Font"_s);
        Table &fonts = catalogue.table(TableId::Fonts);
        fonts.buffer().setNumber(fon::FontID, id);
        QVERIFY(fonts.get(fon::KeyFontID));
        QVERIFY(fonts.remove());
        QCOMPARE(fontDescription(catalogue.store(), id), u"Default Font"_s);
    }
};

QTEST_MAIN(TestLabelText)
#include "tst_labeltext.moc"
