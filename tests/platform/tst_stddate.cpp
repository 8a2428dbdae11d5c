#include "platform/stddate.h"

#include <QRandomGenerator>
#include <QTest>

using namespace sv;

class TestStdDate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { Clock::useSystemClock(); }

    // Stored day numbers must keep their meaning: day 4 is 1 Jan 1801 and full dates
    // from 1810 on are told apart from bare years by being above 3000.
    void dayNumbersKeepTheirOrigin()
    {
        QCOMPARE(dateToQDate(4), QDate(1801, 1, 1));
        QCOMPARE(dateFromQDate(QDate(1801, 1, 1)), 4);
        QCOMPARE(dateToQDate(1), QDate());
        QVERIFY(dateFromQDate(QDate(1810, 1, 1)) > 3000);
        QCOMPARE(dateToQDate(lastDate()), QDate(9999, 12, 31));
        QCOMPARE(makeDate(1801, 1, 1) + 365, makeDate(1802, 1, 1));
    }

    // Out-of-range values give a clear "no date", never a wrapped or shifted one.
    void outOfRangeDatesAreInvalid()
    {
        for (qint32 date : {0, 3, -1, lastDate() + 1, std::numeric_limits<qint32>::min(),
                            std::numeric_limits<qint32>::max()}) {
            QVERIFY(!dateToQDate(date).isValid());
            QCOMPARE(year(date), 0);
            QCOMPARE(month(date), 0);
            QCOMPARE(day(date), 0);
        }
        QCOMPARE(dateFromQDate(QDate(1800, 12, 31)), 0);
        QCOMPARE(dateFromQDate(QDate(10000, 1, 1)), 0);
        QCOMPARE(dateFromQDate(QDate()), 0);
        QCOMPARE(makeDate(1999, 13, 1), 0);
        QCOMPARE(makeDate(1999, 2, 29), 0);
        QCOMPARE(makeDate(1999, 0, 10), 0);
    }

    // 1900 is not a leap year and 2000 is: a calendar slip here moves every later date.
    void leapYearsFollowTheGregorianRules()
    {
        QCOMPARE(makeDate(1900, 2, 29), 0);
        QCOMPARE(makeDate(1900, 3, 1) - makeDate(1900, 2, 28), 1);
        QVERIFY(makeDate(2000, 2, 29) != 0);
        QCOMPARE(makeDate(2000, 3, 1) - makeDate(2000, 2, 28), 2);
    }

    // Every day of the range converts both ways and splits into the right parts.
    void conversionsRoundTripOverTheWholeRange()
    {
        QRandomGenerator random(1801);
        for (int i = 0; i < 20000; ++i) {
            const qint32 date = random.bounded(FirstDate, lastDate() + 1);
            const QDate qdate = dateToQDate(date);
            QVERIFY(qdate.isValid());
            QCOMPARE(dateFromQDate(qdate), date);
            QCOMPARE(makeDate(year(date), month(date), day(date)), date);
            QCOMPARE(year(date), qdate.year());
        }
    }

    // Times count hundredths from 1 at midnight; 24:00 and beyond do not exist.
    void timesCountHundredthsFromOne()
    {
        QCOMPARE(timeFromQTime(QTime(0, 0)), 1);
        QCOMPARE(timeFromQTime(QTime(0, 0, 1)), 101);
        QCOMPARE(timeFromQTime(QTime(0, 4, 33)), 27301);
        QCOMPARE(timeFromQTime(QTime(23, 59, 59, 999)), LastTime);
        QCOMPARE(makeTime(2, 0, 0), 720001);
        QCOMPARE(timeToQTime(27301), QTime(0, 4, 33));
        QCOMPARE(timeToQTime(LastTime), QTime(23, 59, 59, 990));
        QVERIFY(!timeToQTime(0).isValid());
        QVERIFY(!timeToQTime(LastTime + 1).isValid());
        QCOMPARE(makeTime(24, 0, 0), 0);
        QCOMPARE(makeTime(1, 60, 0), 0);
        QCOMPARE(makeTime(1, 0, 0, 100), 0);
        QRandomGenerator random(2400);
        for (int i = 0; i < 20000; ++i) {
            const qint32 time = random.bounded(Midnight, LastTime + 1);
            QCOMPARE(timeFromQTime(timeToQTime(time)), time);
        }
    }

    // TODAY and CLOCK read the injected clock, so tests can fix "now".
    void todayAndClockReadTheInjectedClock()
    {
        Clock::setSource([] { return QDateTime(QDate(1998, 5, 7), QTime(14, 3, 5, 120)); });
        QCOMPARE(today(), makeDate(1998, 5, 7));
        QCOMPARE(sv::clock(), makeTime(14, 3, 5, 12));
        Clock::setSource([] { return QDateTime(QDate(1700, 1, 1), QTime(0, 0)); });
        QCOMPARE(today(), 0);
        QCOMPARE(sv::clock(), Midnight);
        Clock::setSource([] { return QDateTime(); });
        QCOMPARE(today(), 0);
        QCOMPARE(sv::clock(), 0);
        Clock::useSystemClock();
        QCOMPARE(today(), dateFromQDate(QDate::currentDate()));
    }
};

QTEST_GUILESS_MAIN(TestStdDate)
#include "tst_stddate.moc"
