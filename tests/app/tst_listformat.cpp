#include "app/listformat.h"
#include "app/windowposition.h"
#include "platform/inifile.h"
#include "platform/paths.h"
#include "testsupport.h"

#include <QTest>
#include <QWidget>

using namespace sv;

class TestListFormat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The formats the windows are designed with read back exactly as written.
    void formatsRoundTrip_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("categories") << QStringLiteral("80L(2)|M~Category~L(2)@s30@");
        QTest::newRow("albums") << QStringLiteral(
            "80L(2)|M~Artist~@s50@80L(2)|M~Album~@s50@49L(2)|M~Media~@s20@43L(2)|M~File "
            "Number~@s20@49R(2)|M~Released~C(1)@d2@128R(2)|M~XCCD~C(1)@s32@");
        QTest::newRow("import") << QStringLiteral(
            "42L(1)|M~Import "
            "Field~S(75)@s50@40L(1)|M~Picture~S(45)@s30@150L(1)~Value~S(300)@s255@");
        QTest::newRow("no header") << QStringLiteral("14C|M@s2@");
    }
    void formatsRoundTrip()
    {
        QFETCH(QString, format);
        const std::optional<ListFormat> parsed = ListFormat::parse(format);
        QVERIFY(parsed);
        QCOMPARE(parsed->toString(), format);
    }

    // Text that is not a format is refused rather than half read.
    void malformedFormatsAreRefused()
    {
        for (const char *text :
             {"", "L(2)@s2@", "80L(2", "80L(2)~Open@s2@", "80L@@", "80X@s2@", "80L(2)|M~T~@s2"})
            QVERIFY2(!ListFormat::parse(QString::fromLatin1(text)), text);
    }

    // Date columns take the user's date picture; other columns keep theirs.
    void datePicturesFollowTheSetting()
    {
        std::optional<ListFormat> format =
            ListFormat::parse(QStringLiteral("49R(2)|M~Released~C(1)@d2@80L(2)|M~Artist~@s50@"));
        format->useDatePicture(QStringLiteral("@d17"));
        QCOMPARE(format->toString(),
                 QStringLiteral("49R(2)|M~Released~C(1)@d17@80L(2)|M~Artist~@s50@"));
    }

    // A saved layout is used only while the design it was saved under is unchanged.
    void savedLayoutFollowsTheDesign()
    {
        test::Workspace workspace;
        const QString designed = QStringLiteral("80L(2)|M~Media~L(2)@s20@");
        QCOMPARE(restoredListFormat(QStringLiteral("BrowseMedia"), QStringLiteral("Browse"),
                                    QStringLiteral(":1"), designed),
                 designed);
        saveListFormat(QStringLiteral("BrowseMedia"), QStringLiteral("Browse"),
                       QStringLiteral(":1"), QStringLiteral("120L(2)|M~Media~L(2)@s20@"));
        QCOMPARE(IniFile::get(QStringLiteral("BrowseMedia"),
                              QStringLiteral("SRCFOriginal?Browse:1"), QString(),
                              Paths::positionFile()),
                 designed);
        QCOMPARE(restoredListFormat(QStringLiteral("BrowseMedia"), QStringLiteral("Browse"),
                                    QStringLiteral(":1"), designed),
                 QStringLiteral("120L(2)|M~Media~L(2)@s20@"));
        const QString redesigned = QStringLiteral("90L(2)|M~Media~L(2)@s20@");
        QCOMPARE(restoredListFormat(QStringLiteral("BrowseMedia"), QStringLiteral("Browse"),
                                    QStringLiteral(":1"), redesigned),
                 redesigned);
    }

    // Positions: a minimized window saves nothing, XPosit 0 leaves the window where it is,
    // a fixed-size window keeps its size, Maximize "Yes" maximizes.
    void windowPositions()
    {
        test::Workspace workspace;
        QWidget window;
        window.setGeometry(40, 50, 300, 200);
        saveWindowPosition(QStringLiteral("UpdateSong"), &window);
        QCOMPARE(IniFile::getNumber(QStringLiteral("UpdateSong"), QStringLiteral("Width"), 0,
                                    Paths::positionFile()),
                 300);
        QCOMPARE(IniFile::get(QStringLiteral("UpdateSong"), QStringLiteral("Maximize"), QString(),
                              Paths::positionFile()),
                 QStringLiteral("No"));

        window.showMinimized();
        window.setGeometry(400, 400, 100, 100);
        saveWindowPosition(QStringLiteral("UpdateSong"), &window);
        QCOMPARE(IniFile::getNumber(QStringLiteral("UpdateSong"), QStringLiteral("XPosit"), 0,
                                    Paths::positionFile()),
                 40);

        QWidget other;
        other.setGeometry(7, 8, 90, 80);
        restoreWindowPosition(QStringLiteral("UpdateSong"), &other, false);
        QCOMPARE(other.pos(), QPoint(40, 50));
        QCOMPARE(other.size(), QSize(90, 80));

        IniFile::putNumber(QStringLiteral("UpdateSong"), QStringLiteral("XPosit"), 0,
                           Paths::positionFile());
        QWidget untouched;
        untouched.setGeometry(7, 8, 90, 80);
        restoreWindowPosition(QStringLiteral("UpdateSong"), &untouched);
        QCOMPARE(untouched.geometry(), QRect(7, 8, 90, 80));
    }
};

QTEST_MAIN(TestListFormat)
#include "tst_listformat.moc"
