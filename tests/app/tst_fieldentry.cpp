#include "app/fieldentry.h"
#include "platform/stddate.h"

#include <QTest>

using namespace sv;

namespace {

FieldDef field(FieldType type, int size)
{
    return FieldDef{QStringLiteral("Field"), type, size, QString()};
}

// What a line edit keeps of the text, as it asks the validator at each change.
QValidator::State check(const FieldEntry &entry, QString &text)
{
    int position = int(text.size());
    return entry.validate(text, position);
}

} // namespace

class TestFieldEntry : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // How a DJ's playing time reads: minutes and seconds of any length, hours, minutes and
    // seconds, and up to two hours the hours-and-minutes form the song form always had.
    void playingTimes_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("seconds"); // -1: refused
        QTest::newRow("blank") << QString() << 0;
        QTest::newRow("m:ss") << QStringLiteral("4:33") << 273;
        QTest::newRow("long mix") << QStringLiteral("63:10") << 3790;
        QTest::newRow("25 minutes") << QStringLiteral("25:30") << 1530;
        QTest::newRow("hours and minutes") << QStringLiteral("1:59") << 7140;
        QTest::newRow("two hours") << QStringLiteral("2:00") << 7200;
        QTest::newRow("just over") << QStringLiteral("2:01") << 121;
        QTest::newRow("h:mm:ss") << QStringLiteral("1:03:10") << 3790;
        QTest::newRow("four hours") << QStringLiteral("4:10:00") << 15000;
        QTest::newRow("digits") << QStringLiteral("410") << 250;
        QTest::newRow("six digits") << QStringLiteral("010310") << 3790;
        QTest::newRow("period") << QStringLiteral("4.33") << 273;
        QTest::newRow("blanks") << QStringLiteral(" 4 : 33 ") << 273;
        QTest::newRow("seconds 60") << QStringLiteral("4:60") << -1;
        QTest::newRow("minutes 60") << QStringLiteral("1:60:00") << -1;
        QTest::newRow("a day") << QStringLiteral("1440:00") << -1;
        QTest::newRow("four parts") << QStringLiteral("1:2:3:4") << -1;
        QTest::newRow("letters") << QStringLiteral("4m33") << -1;
    }
    void playingTimes()
    {
        QFETCH(QString, typed);
        QFETCH(int, seconds);
        const std::optional<qint32> time = readPlayingTime(typed);
        if (seconds < 0) {
            QVERIFY(!time);
            return;
        }
        QVERIFY(time);
        QCOMPARE(*time, seconds == 0 ? NoTime : seconds * 100 + 1);
    }

    // A stored playing time shown in the field reads back as itself, whatever its length.
    void playingTimesRoundTrip()
    {
        const FieldEntry entry(field(FieldType::Long, 4), QStringLiteral("@t4"), true);
        for (int seconds : {1, 59, 273, 3790, 7140, 7200, 7500, 15000, 86399}) {
            const qint32 stored = seconds * 100 + 1;
            const FieldEntry::Reading reading = entry.read(entry.shown(stored), QString());
            QVERIFY2(reading.ok, qPrintable(entry.shown(stored)));
            QCOMPARE(reading.value.toInt(), stored);
        }
    }

    // Numbers: digits only while typing, no more than the picture's width, and no value
    // the stored type cannot hold; a sign only where the picture shows one.
    void numbers()
    {
        const FieldEntry side(field(FieldType::Byte, 1), QStringLiteral("@n2b"));
        QString text = QStringLiteral("300");
        QCOMPARE(check(side, text), QValidator::Invalid);
        text = QStringLiteral("7x");
        QCOMPARE(check(side, text), QValidator::Invalid);
        text = QStringLiteral("-1");
        QCOMPARE(check(side, text), QValidator::Invalid);
        text = QStringLiteral("99");
        QCOMPARE(check(side, text), QValidator::Acceptable);
        QCOMPARE(side.read(QString(), QStringLiteral("Side")).value.toInt(), 0);

        const FieldEntry track(field(FieldType::Byte, 1), QStringLiteral("@n3"));
        text = QStringLiteral("256");
        QCOMPARE(check(track, text), QValidator::Intermediate); // fits the width
        const FieldEntry::Reading tooBig = track.read(text, QStringLiteral("Track"));
        QVERIFY(!tooBig.ok);
        QCOMPARE(tooBig.why, QStringLiteral("Track must be between 0 and 255."));
        QCOMPARE(track.read(QStringLiteral("255"), QString()).value.toInt(), 255);
        QVERIFY(!track.read(QStringLiteral("abc"), QStringLiteral("Track")).ok);

        const FieldEntry bpm(field(FieldType::Long, 4), QStringLiteral("@n_4b"));
        text = QStringLiteral("99999999999");
        QCOMPARE(check(bpm, text), QValidator::Invalid);
        QCOMPARE(bpm.read(QStringLiteral("9999"), QString()).value.toInt(), 9999);

        const FieldEntry category(field(FieldType::Long, 4), QStringLiteral("@n-13"));
        text = QStringLiteral("-12");
        QCOMPARE(check(category, text), QValidator::Acceptable);
        QCOMPARE(category.read(QStringLiteral("2147483647"), QString()).value.toLongLong(),
                 2147483647);
        QVERIFY(!category.read(QStringLiteral("2147483648"), QString()).ok);
        QCOMPARE(category.shown(1234567), QStringLiteral("1234567")); // no grouping marks
    }

    // Dates: a year alone is its first of January; a day that does not exist is refused
    // with the form to type; the field's own forms and month names read as they show.
    void dates()
    {
        const FieldEntry released(field(FieldType::Long, 4), QStringLiteral("@d2"));
        QCOMPARE(released.read(QStringLiteral("1997"), QString()).value.toInt(),
                 makeDate(1997, 1, 1));
        QCOMPARE(released.read(QStringLiteral("10/31/1959"), QString()).value.toInt(),
                 makeDate(1959, 10, 31));
        const FieldEntry::Reading february =
            released.read(QStringLiteral("2/31/2001"), QStringLiteral("Release Date"));
        QVERIFY(!february.ok);
        QCOMPARE(
            february.why,
            QStringLiteral("Release Date: \"2/31/2001\" is not a date. Type it as 10/31/1959."));
        QVERIFY(!released.read(QStringLiteral("0000"), QString()).ok);
        QCOMPARE(released.read(QString(), QString()).value.toInt(), NoDate);
        QString text = QStringLiteral("10/31/1959;");
        QCOMPARE(check(released, text), QValidator::Invalid);

        const FieldEntry named(field(FieldType::Long, 4), QStringLiteral("@d8"));
        QCOMPARE(named.read(QStringLiteral("31 OCT 1959"), QString()).value.toInt(),
                 makeDate(1959, 10, 31));
        QCOMPARE(named.read(QStringLiteral("1959"), QString()).value.toInt(), makeDate(1959, 1, 1));
    }

    // One-line text: control characters never stay, whatever the field.
    void controlCharacters()
    {
        const FieldEntry artist(field(FieldType::String, 50), QString());
        QString text = QStringLiteral("A\tB") + QChar(1) + QChar(0) + QStringLiteral("\r\nC");
        QCOMPARE(check(artist, text), QValidator::Acceptable);
        QCOMPARE(text, QStringLiteral("A B  C"));
        QCOMPARE(artist.read(QStringLiteral("x") + QChar(1), QString()).value.toString(),
                 QStringLiteral("x"));
        const FieldEntry time(field(FieldType::Long, 4), QStringLiteral("@t4"), true);
        text = QStringLiteral("4:33\n");
        QCOMPARE(check(time, text), QValidator::Acceptable);
        QCOMPARE(text, QStringLiteral("4:33 "));
    }
};

QTEST_GUILESS_MAIN(TestFieldEntry)
#include "tst_fieldentry.moc"
