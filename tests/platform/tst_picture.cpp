#include "platform/picture.h"
#include "platform/stddate.h"

#include <QLocale>
#include <QMap>
#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <limits>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

const qint32 Oct31st1959 = makeDate(1959, 10, 31);
const qint32 Afternoon = makeTime(14, 3, 5, 12);

void useLocale(const QString &name)
{
    QLocale::setDefault(QLocale(name));
}

QVariant readBack(const QString &text, const QString &picture, bool *ok = nullptr)
{
    return Picture::parse(picture).deformat(text, ok);
}

qint64 powerOfTen(int exponent)
{
    qint64 power = 1;
    while (exponent-- > 0)
        power *= 10;
    return power;
}

QString randomText(QRandomGenerator &random, int maxLength, QStringView alphabet = {})
{
    QString text;
    const int length = random.bounded(maxLength + 1);
    for (int i = 0; i < length; ++i) {
        if (!alphabet.isEmpty() && random.bounded(8) != 0)
            text += alphabet[random.bounded(int(alphabet.size()))];
        else
            text += QChar(char16_t(random.bounded(0x20, 0xD800)));
    }
    return text;
}

// A known picture with a few characters inserted, replaced or removed.
QString mutatedPicture(QRandomGenerator &random, QStringView alphabet)
{
    static const QStringList seeds{u"@s20"_s,       u"@n-13"_s, u"@N30.9"_s,  u"@n$(9.2)b"_s,
                                   u"@n~EUR~_9`"_s, u"@d3b"_s,  u"@d17-"_s,   u"@d18_b"_s,
                                   u"@t4."_s,       u"@t8b"_s,  u"@p(<)pb"_s, u"pPage <<<#p"_s};
    QString text = seeds[random.bounded(int(seeds.size()))];
    for (int edits = random.bounded(3); edits > 0; --edits) {
        const int at = random.bounded(int(text.size()));
        const QChar ch = alphabet[random.bounded(int(alphabet.size()))];
        const int edit = random.bounded(3);
        if (edit == 0)
            text.insert(at, ch);
        else if (edit == 1)
            text[at] = ch;
        else
            text.remove(at, 1);
        if (text.isEmpty())
            return text;
    }
    return text;
}

} // namespace

class TestPicture : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { useLocale(u"en_US"_s); }

    // Strings are cut to the width and otherwise read back exactly as shown.
    void stringsAreCutToTheirWidth()
    {
        QCOMPARE(format(u"Moonlight Shadow"_s, u"@s9"), u"Moonlight"_s);
        QCOMPARE(format(u"Abba"_s, u"@S9"), u"Abba"_s);
        QCOMPARE(format(1998, u"@s2"), u"19"_s);
        QCOMPARE(deformat(u"  padded  ", u"@s20"), QVariant(u"  padded  "_s));
        QCOMPARE(Picture::parse(u"@s20").width(), 20);
    }

    void numbersShowRightAligned_data()
    {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *picture, const QVariant &value, const char *expected) {
            QTest::addRow("%s %s", picture, qPrintable(value.toString()))
                << QString::fromLatin1(picture) << value << QString::fromLatin1(expected);
        };
        row("@n9", 1234567, "1,234,567");
        row("@n_9", 1234567, "  1234567");
        row("@n9_", 1234567, "1 234 567");
        row("@n3", 5, "  5");
        row("@n3", -5, " -5");
        row("@n3", 1000, "###");
        row("@n3b", 0.4, "   ");
        row("n4b", 1998, "1998");
        row("n4b", 0, "    ");
        row("n_3", 7, "  7");
        row("@n-13", Q_INT64_C(-1234567), "   -1,234,567");
        row("@n-13", Q_INT64_C(-123456789012), "-123456789012");
        row("@n20", std::numeric_limits<qint64>::max(), " 9223372036854775807");
        row("@n05", -42, "-0042");
        row("@n*6", 42, "****42");
        row("@n9.2", 1234.5, " 1,234.50");
        row("@n6.2", 2.675, "  2.68");
        row("@n6.2", -2.675, " -2.68");
        row("@n6.2", -0.004, "  0.00");
        row("@n4", 2.5, "   3");
        row("@n9.2-", -12.5, "   12.50-");
        row("@n9.2-", 12.5, "   12.50 ");
        row("@n(9.2)", -12.5, "  (12.50)");
        row("@n$9.2", 1234.5, "$1,234.50");
        row("@n~EUR ~10", 5, "     EUR 5");
        row("@n3.2", 0.5, ".50");
        row("@N30.9", 1998, "               1,998.000000000");
        row("@n9", u"3,456"_s, "    3,456");
        row("@n9", u"-12.5"_s, "      -13");
        row("@n9", u"no digits"_s, "        0");
        row("@n5", std::nan(""), "#####");
        row("@n5", QVariant(), "    0");
    }

    // Numbers: grouping only where it fits, fill, signs, currency, rounding, overflow.
    void numbersShowRightAligned()
    {
        QFETCH(QString, picture);
        QFETCH(QVariant, value);
        QFETCH(QString, expected);
        QVERIFY(Picture::parse(picture).isValid());
        QCOMPARE(format(value, picture), expected);
    }

    // Imported text is read whatever its blanks, grouping or sign position.
    void numbersReadBackLeniently()
    {
        QCOMPARE(deformat(u"1998", u"@N30.9"), QVariant(1998.0));
        QCOMPARE(deformat(u"-12.5", u"@N30.9"), QVariant(-12.5));
        QCOMPARE(deformat(u"3,456", u"@N30.9"), QVariant(3456.0));
        QCOMPARE(deformat(u"   42   ", u"@N30.9"), QVariant(42.0));
        QCOMPARE(deformat(u"(7.25)", u"@N30.9"), QVariant(-7.25));
        QCOMPARE(deformat(u"7.25-", u"@N30.9"), QVariant(-7.25));
        QCOMPARE(deformat(u"1.5e3", u"@N30.9"), QVariant(1500.0));
        QCOMPARE(deformat(u"$1,234", u"@n9"), QVariant(qint64(1234)));
        QCOMPARE(deformat(u"****42", u"@n*6"), QVariant(qint64(42)));
        QCOMPARE(deformat(u"12.5", u"@n3"), QVariant(qint64(13)));
        QCOMPARE(deformat(u"   ", u"@n3b"), QVariant(qint64(0)));
        bool ok = true;
        QCOMPARE(readBack(u"abc"_s, u"@n3"_s, &ok), QVariant(qint64(0)));
        QVERIFY(!ok);
        QCOMPARE(readBack(u"99999999999999999999"_s, u"@n3"_s, &ok), QVariant(qint64(0)));
        QVERIFY(!ok);
        QCOMPARE(readBack(u"1e999"_s, u"@n3.1"_s, &ok), QVariant(0.0));
        QVERIFY(!ok);
    }

    // Each date form on one date, with separators and the blank rules.
    void datesShowInEveryForm()
    {
        const QStringList expected{u"10/31/59"_s,    u"10/31/1959"_s,
                                   u"OCT 31,1959"_s, u"October 31, 1959"_s,
                                   u"31/10/59"_s,    u"31/10/1959"_s,
                                   u"31 OCT 59"_s,   u"31 OCT 1959"_s,
                                   u"59/10/31"_s,    u"1959/10/31"_s,
                                   u"591031"_s,      u"19591031"_s,
                                   u"10/59"_s,       u"10/1959"_s,
                                   u"59/10"_s,       u"1959/10"_s,
                                   u"10/31/59"_s,    u"Saturday, October 31, 1959"_s};
        for (int form = 1; form <= 18; ++form)
            QCOMPARE(format(Oct31st1959, u"@d%1"_s.arg(form)), expected[form - 1]);
        QCOMPARE(format(makeDate(1998, 7, 5), u"@d2"), u"07/05/1998"_s);
        QCOMPARE(format(makeDate(1998, 7, 5), u"@d4"), u"July 5, 1998"_s);
        QCOMPARE(format(Oct31st1959, u"@d6."), u"31.10.1959"_s);
        QCOMPARE(format(Oct31st1959, u"@d2-"), u"10-31-1959"_s);
        QCOMPARE(format(Oct31st1959, u"@d1_"), u"10 31 59"_s);
        QCOMPARE(format(Oct31st1959, u"@D8-"), u"31-OCT-1959"_s);
        QCOMPARE(format(Oct31st1959, u"d17-"), u"10-31-59"_s);
        QCOMPARE(format(Oct31st1959, u"@d18-"), u"Saturday-October-31-1959"_s);
        QCOMPARE(format(QDate(1959, 10, 31), u"@d1"), u"10/31/59"_s);
        for (const QVariant &nothing : {QVariant(0), QVariant(3), QVariant(lastDate() + 1)}) {
            QCOMPARE(format(nothing, u"@d3b"), QString());
            QCOMPARE(format(nothing, u"@d3"), QString());
        }
        useLocale(u"de_DE"_s);
        QCOMPARE(format(Oct31st1959, u"@d17"), u"31.10.59"_s);
        QCOMPARE(format(Oct31st1959, u"@d18"), u"Samstag, 31. Oktober 1959"_s);
        QCOMPARE(format(Oct31st1959, u"@d17-"), u"31-10-59"_s);
    }

    // Typed dates: any separator, any case, digits run together, the two-digit window.
    void datesReadBackLeniently()
    {
        QCOMPARE(deformat(u"10-31-1959", u"@d2"), QVariant(Oct31st1959));
        QCOMPARE(deformat(u"10.31.59", u"@d2"), QVariant(Oct31st1959));
        QCOMPARE(deformat(u"10311959", u"@d2"), QVariant(Oct31st1959));
        QCOMPARE(deformat(u"oct 31, 1959", u"@d3"), QVariant(Oct31st1959));
        QCOMPARE(deformat(u"OCTOBER 31 1959", u"@d4"), QVariant(Oct31st1959));
        QCOMPARE(deformat(u"591031", u"@d11"), QVariant(Oct31st1959));
        QCOMPARE(deformat(u"10/1959", u"@d14"), QVariant(makeDate(1959, 10, 1)));
        QCOMPARE(deformat(u"01/01/29", u"@d1"), QVariant(makeDate(2029, 1, 1)));
        QCOMPARE(deformat(u"01/01/30", u"@d1"), QVariant(makeDate(1930, 1, 1)));
        QCOMPARE(deformat(u"", u"@d1"), QVariant(0));
        bool ok = true;
        for (const QString &invalid : {u"13/45/1999"_s, u"02/29/1900"_s, u"12/31/1800"_s,
                                       u"1/2/3/4"_s, u"hello"_s, u"99999999999/1/1"_s}) {
            QCOMPARE(readBack(invalid, u"@d2"_s, &ok), QVariant(0));
            QVERIFY2(!ok, qPrintable(invalid));
        }
        useLocale(u"de_DE"_s);
        QCOMPARE(deformat(u"31.10.1959", u"@d17"), QVariant(Oct31st1959));
        QCOMPARE(deformat(u"31. okt 1959", u"@d18"), QVariant(Oct31st1959));
    }

    // Time forms, hours always two digits, and the ambiguous reads taken from the left.
    void timesShowAndReadBack()
    {
        const QStringList expected{u"14:03"_s,  u"1403"_s,       u"02:03PM"_s, u"14:03:05"_s,
                                   u"140305"_s, u"02:03:05PM"_s, u"2:03 PM"_s, u"2:03:05 PM"_s};
        for (int form = 1; form <= 8; ++form)
            QCOMPARE(format(Afternoon, u"@t%1"_s.arg(form)), expected[form - 1]);
        QCOMPARE(format(27301, u"@T4"), u"00:04:33"_s);
        QCOMPARE(format(27301, u"@t4."), u"00.04.33"_s);
        QCOMPARE(format(makeTime(0, 30, 0), u"@t3"), u"12:30AM"_s);
        QCOMPARE(format(0, u"@t4b"), QString());
        QCOMPARE(format(LastTime + 1, u"@t4"), QString());
        QCOMPARE(deformat(u"2:00", u"@t1"), QVariant(720001));
        QCOMPARE(deformat(u"4:33", u"@t4"), QVariant(makeTime(4, 33, 0)));
        QCOMPARE(deformat(u"0:04:33", u"@t4"), QVariant(27301));
        QCOMPARE(deformat(u"1430", u"@t2"), QVariant(makeTime(14, 30, 0)));
        QCOMPARE(deformat(u"2:00 pm", u"@t3"), QVariant(makeTime(14, 0, 0)));
        QCOMPARE(deformat(u"12:00AM", u"@t3"), QVariant(Midnight));
        QCOMPARE(deformat(u"  ", u"@t4"), QVariant(0));
        bool ok = true;
        for (const QString &invalid : {u"24:00"_s, u"12:60"_s, u"1:2:3:4"_s, u"noon"_s}) {
            QCOMPARE(readBack(invalid, u"@t4"_s, &ok), QVariant(0));
            QVERIFY2(!ok, qPrintable(invalid));
        }
        useLocale(u"de_DE"_s);
        QCOMPARE(format(Afternoon, u"@t7"), u"14:03"_s);
        QCOMPARE(format(Afternoon, u"@t8"), u"14:03:05"_s);
    }

    // Digits fill the template from the right; '<' blanks leading zeros, 'b' blanks zero.
    void patternsFillDigitPositions()
    {
        QCOMPARE(format(2, u"@p(<)pb"), u"(2)"_s);
        QCOMPARE(format(0, u"@p(<)pb"), u""_s);
        QCOMPARE(format(0, u"@p(<)p"), u"( )"_s);
        QCOMPARE(format(3, u"@p(<)p"), u"(3)"_s);
        QCOMPARE(format(7, u"pPage <<<#p"), u"Page    7"_s);
        QCOMPARE(format(1234, u"pPage <<<#p"), u"Page 1234"_s);
        QCOMPARE(format(12345, u"pPage <<<#p"), u"#########"_s);
        QCOMPARE(format(-1, u"pPage <<<#p"), u"#########"_s);
        QCOMPARE(format(5, u"@p##-##p"), u"00-05"_s);
        QCOMPARE(deformat(u"Page    7", u"pPage <<<#p"), QVariant(qint64(7)));
        QCOMPARE(deformat(u"( )", u"@p(<)p"), QVariant(qint64(0)));
        QCOMPARE(deformat(u"Page 12", u"pPage <<<#p"), QVariant(qint64(12)));
        QCOMPARE(Picture::parse(u"pPage <<<#p").width(), 9);
    }

    // Widths used to lay out columns, and pictures that mean the same compare equal.
    void widthsAndEquality()
    {
        const QList<std::pair<QString, int>> widths{
            {u"@n-13"_s, 13}, {u"@d1"_s, 8},  {u"@d2"_s, 10}, {u"@d3"_s, 11},
            {u"@d4"_s, 18},   {u"@d11"_s, 6}, {u"@t1"_s, 5},  {u"@t4"_s, 8},
            {u"@t6"_s, 10},   {u"@d17"_s, 8}, {u"@t7"_s, 8},  {u"@d18"_s, 29}};
        for (const auto &[picture, width] : widths)
            QCOMPARE(Picture::parse(picture).width(), width);
        QCOMPARE(Picture::parse(u"n4b"), Picture::parse(u"@N4B"));
        QCOMPARE(Picture::parse(u"d17"), Picture::parse(u"@d17"));
        QCOMPARE(Picture::parse(u"@d01"), Picture::parse(u"@d1"));
        QCOMPARE(Picture::parse(u" @T4 "), Picture::parse(u"@t4"));
        QVERIFY(!(Picture::parse(u"@n3") == Picture::parse(u"@n3b")));
        QVERIFY(Picture::parse(u"@d3b").blankWhenZero());
        QCOMPARE(Picture::parse(u"@p<p").kind(), Picture::Kind::Pattern);
    }

    // Bad picture text is reported, and using it gives empty results instead of guesses.
    void invalidPicturesReportErrors()
    {
        QStringList invalid{u"@x5"_s,   u"@n"_s,      u"@d19"_s,    u"@d0"_s,   u"@t9"_s,
                            u"@s"_s,    u"@s0"_s,     u"@p<<"_s,    u"@pp"_s,   u""_s,
                            u"@"_s,     u"@n3.x"_s,   u"@n3.3"_s,   u"@n(3"_s,  u"@n3)"_s,
                            u"@n-3-"_s, u"@n256"_s,   u"@n~EUR3"_s, u"@n$3$"_s, u"@d3bb"_s,
                            u"@s10b"_s, u"@p(<)pbx"_s};
        invalid << u"@p"_s + QString(19, u'#') + u"p"_s; // too many digit positions
        for (const QString &text : invalid) {
            const Picture picture = Picture::parse(text);
            QVERIFY2(!picture.isValid(), qPrintable(text));
            QVERIFY(picture.errorString().contains(u"invalid picture"));
            QCOMPARE(picture.kind(), Picture::Kind::Invalid);
            QCOMPARE(picture.width(), 0);
            QVERIFY(picture.format(12).isNull());
            bool ok = true;
            QVERIFY(!picture.deformat(u"12", &ok).isValid());
            QVERIFY(!ok);
            QVERIFY(format(12, text).isNull());
            QVERIFY(!deformat(u"12", text).isValid());
        }
    }

    void numbersRoundTrip_data()
    {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<qint64>("lowest"); // in units of the last decimal place
        QTest::addColumn<qint64>("highest");
        QTest::addColumn<int>("places");
        const auto row = [](const char *picture, qint64 lowest, qint64 highest, int places = 0) {
            QTest::newRow(picture) << QString::fromLatin1(picture) << lowest << highest << places;
        };
        row("@n3", -99, 999);
        row("@n3b", -99, 999);
        row("@n2", -9, 99);
        row("@n2b", -9, 99);
        row("@n_4b", -999, 9999);
        row("@n_5", -9999, 99999);
        row("@n-13", -999999999999, 9999999999999);
        row("@N30.9", -999999999999999, 999999999999999, 9);
        row("@n9.2-", -9999999, 9999999, 2);
        row("N2", -9, 99);
        row("N3", -99, 999);
        row("n4b", -999, 9999);
        row("n_3", -99, 999);
    }

    // Whatever a number picture shows reads back as the same number.
    void numbersRoundTrip()
    {
        QFETCH(QString, picture);
        QFETCH(qint64, lowest);
        QFETCH(qint64, highest);
        QFETCH(int, places);
        const Picture parsed = Picture::parse(picture);
        QRandomGenerator random(1234);
        for (int i = 0; i < 4000; ++i) {
            const qint64 units =
                random.bounded(lowest, highest + 1) / powerOfTen(random.bounded(6));
            const double real = double(units) / double(powerOfTen(places));
            const QVariant value = places > 0   ? QVariant(real)
                                   : i % 3 == 0 ? QVariant(units)
                                   : i % 3 == 1 ? QVariant(QString::number(units))
                                                : QVariant(real);
            const QString text = parsed.format(value);
            QCOMPARE(text.size(), parsed.width());
            QVERIFY2(!text.contains(u'#'), qPrintable(text));
            const QVariant back = parsed.deformat(text);
            if (places > 0)
                QCOMPARE(back, QVariant(real));
            else
                QCOMPARE(back, QVariant(units));
        }
    }

    void datesRoundTrip_data()
    {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("form");
        for (int form = 1; form <= 18; ++form) {
            for (const QString &suffix : {u""_s, u"b"_s, u"."_s, u"-"_s, u"_b"_s, u"`"_s}) {
                const QString picture = u"@d%1%2"_s.arg(form).arg(suffix);
                for (const QString &locale : {u"en_US"_s, u"de_DE"_s}) {
                    if (form >= 17 || locale == u"en_US")
                        QTest::newRow(qPrintable(picture + u' ' + locale))
                            << picture << locale << form;
                }
            }
        }
    }

    // Dates read back as shown: within the century window for two-digit years, and as
    // the first of the month for month/year forms.
    void datesRoundTrip()
    {
        QFETCH(QString, picture);
        QFETCH(QString, locale);
        QFETCH(int, form);
        useLocale(locale);
        const Picture parsed = Picture::parse(picture);
        const QString localeFormat =
            QLocale().dateFormat(form == 17 ? QLocale::ShortFormat : QLocale::LongFormat);
        const bool twoDigitYear = QList<int>{1, 5, 7, 9, 11, 13, 15}.contains(form) ||
                                  (form >= 17 && !localeFormat.contains(u"yyyy"));
        const bool monthOnly = form >= 13 && form <= 16;
        const qint32 first = twoDigitYear ? makeDate(1930, 1, 1) : FirstDate;
        const qint32 last = twoDigitYear ? makeDate(2029, 12, 31) : lastDate();
        QRandomGenerator random(1959);
        for (int i = 0; i < 3000; ++i) {
            const qint32 date = random.bounded(first, last + 1);
            const qint32 expected = monthOnly ? makeDate(year(date), month(date), 1) : date;
            const QString text = parsed.format(date);
            QVERIFY(text.size() <= parsed.width());
            bool ok = false;
            QCOMPARE(parsed.deformat(text, &ok), QVariant(expected));
            QVERIFY(ok);
        }
    }

    void timesRoundTrip_data()
    {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("resolution"); // hundredths of a second
        const QList<std::pair<const char *, int>> pictures{
            {"@t1", 6000}, {"@t2", 6000}, {"@t3", 6000}, {"@t4", 100},
            {"@t5", 100},  {"@t6", 100},  {"@t7", 6000}, {"@t8", 100},
            {"@t4b", 100}, {"@T4", 100},  {"@t4.", 100}, {"@t7_", 6000}};
        for (const auto &[picture, resolution] : pictures) {
            for (const char *locale : {"en_US", "de_DE"}) {
                QTest::addRow("%s %s", picture, locale)
                    << QString::fromLatin1(picture) << QString::fromLatin1(locale) << resolution;
            }
        }
    }

    // Times read back to the picture's resolution.
    void timesRoundTrip()
    {
        QFETCH(QString, picture);
        QFETCH(QString, locale);
        QFETCH(int, resolution);
        useLocale(locale);
        const Picture parsed = Picture::parse(picture);
        QRandomGenerator random(2400);
        for (int i = 0; i < 3000; ++i) {
            const qint32 time = random.bounded(Midnight, LastTime + 1);
            const qint32 expected = (time - 1) / resolution * resolution + 1;
            const QString text = parsed.format(time);
            QVERIFY(text.size() <= parsed.width());
            QCOMPARE(parsed.deformat(text), QVariant(expected));
        }
    }

    // Strings and patterns read back exactly what they show.
    void stringsAndPatternsRoundTrip()
    {
        QRandomGenerator random(77);
        const Picture string = Picture::parse(u"@s20");
        for (int i = 0; i < 3000; ++i) {
            const QString text = randomText(random, 20);
            QCOMPARE(string.deformat(string.format(text)), QVariant(text));
        }
        const QList<std::pair<QString, int>> patterns{
            {u"@p(<)pb"_s, 9}, {u"@p(<)p"_s, 9}, {u"pPage <<<#p"_s, 9999}, {u"@p#<<-<p"_s, 9999}};
        for (const auto &[text, highest] : patterns) {
            const Picture pattern = Picture::parse(text);
            for (int i = 0; i < 3000; ++i) {
                const qint64 value = random.bounded(highest + 1);
                QCOMPARE(pattern.deformat(pattern.format(value)), QVariant(value));
            }
        }
    }

    // Random picture texts and random input must never crash, and what a valid picture
    // shows keeps to its width.
    void fuzzedPicturesNeverCrash()
    {
        QRandomGenerator random(20240601);
        const QString pictureAlphabet = u"@sSnNdDtTpPbB0123456789.-_`*$~()<># ,/:"_s;
        const QString inputAlphabet = u"0123456789 -.,:/()$*#apmAPMocOCTmärzJanuary"_s;
        const QStringList locales{u"en_US"_s, u"de_DE"_s, u"ja_JP"_s, u"ar_EG"_s, u"hu_HU"_s};
        const double specials[] = {0.0,     -0.0,         1e300,
                                   -1e-300, std::nan(""), std::numeric_limits<double>::infinity()};
        QMap<Picture::Kind, int> kinds;
        for (int i = 0; i < 200000; ++i) {
            if (i % 10000 == 0)
                useLocale(locales[random.bounded(int(locales.size()))]);
            const Picture picture =
                Picture::parse(i % 2 == 0 ? randomText(random, 10, pictureAlphabet)
                                          : mutatedPicture(random, pictureAlphabet));
            ++kinds[picture.kind()];
            const QVariant values[] = {
                QVariant(qint64(random.generate64())),
                QVariant(random.bounded(-100000, 100000)),
                QVariant(specials[random.bounded(6)]),
                QVariant((random.generateDouble() - 0.5) * std::pow(10.0, random.bounded(40))),
                QVariant(randomText(random, 12, inputAlphabet)),
                QVariant(QDate(random.bounded(1700, 10100), 1, 1)),
                QVariant()};
            const QString shown = picture.format(values[random.bounded(7)]);
            if (picture.kind() == Picture::Kind::Number)
                QCOMPARE(shown.size(), picture.width());
            if (picture.kind() == Picture::Kind::String || picture.kind() == Picture::Kind::Pattern)
                QVERIFY(shown.size() <= picture.width());
            bool ok = false;
            picture.deformat(randomText(random, 16, inputAlphabet), &ok);
            picture.deformat(shown, &ok);
        }
        for (Picture::Kind kind :
             {Picture::Kind::Invalid, Picture::Kind::String, Picture::Kind::Number,
              Picture::Kind::Date, Picture::Kind::Time, Picture::Kind::Pattern})
            QVERIFY2(kinds.value(kind) > 2000,
                     qPrintable(u"%1: %2"_s.arg(int(kind)).arg(kinds.value(kind))));
    }
};

QTEST_GUILESS_MAIN(TestPicture)
#include "tst_picture.moc"
