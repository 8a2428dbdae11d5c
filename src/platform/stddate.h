#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <functional>

namespace sv {

// Standard dates and times are the plain integers the catalogue stores and compares.
//
// A date is a day number: day 4 is 1 January 1801 and 0 means "no date". The first
// usable date is 1 January 1801 and the last 31 December 9999; every date from 1810 on
// is above 3000, which is how a full date is told apart from a bare year.
//
// A time is hundredths of a second since midnight plus one, so midnight is 1 and 0 can
// mean "no time"; 23:59:59.99 is 8640000, the largest time.
//
// Every conversion accepts any input: values outside the range give 0 or an invalid
// QDate/QTime rather than a wrong date.

inline constexpr qint32 NoDate = 0;
inline constexpr qint32 FirstDate = 4; // 1 January 1801
inline constexpr qint32 NoTime = 0;
inline constexpr qint32 Midnight = 1;
inline constexpr qint32 LastTime = 8640000; // 23:59:59.99

qint32 lastDate(); // 31 December 9999
bool isValidDate(qint32 date);
QDate dateToQDate(qint32 date);                // invalid QDate for 0 or out of range
qint32 dateFromQDate(const QDate &date);       // 0 for an invalid or out-of-range date
qint32 makeDate(int year, int month, int day); // 0 when the parts make no date
int year(qint32 date);                         // year(), month() and day() give 0 for 0 or invalid
int month(qint32 date);
int day(qint32 date);

bool isValidTime(qint32 time);
QTime timeToQTime(qint32 time);          // invalid QTime for 0 or out of range
qint32 timeFromQTime(const QTime &time); // 0 for an invalid time; drops the last millisecond digit
qint32 makeTime(int hour, int minute, int second, int hundredths = 0); // 0 when out of range

// Today's date and the time now, read through Clock so that tests can fix "now". Call
// it sv::clock() where "using namespace sv" is in force: ::clock() from <ctime> is also seen.
qint32 today();
qint32 clock();

class Clock
{
public:
    using Source = std::function<QDateTime()>;

    static void setSource(Source source); // an empty source means the system clock
    static void useSystemClock();
    static QDateTime now();
};

} // namespace sv
