#include "stddate.h"

namespace sv {

namespace {

qint64 julianDayOfDayZero()
{
    static const qint64 julianDay = QDate(1801, 1, 1).toJulianDay() - FirstDate;
    return julianDay;
}

Clock::Source &clockSource()
{
    static Clock::Source source;
    return source;
}

} // namespace

qint32 lastDate()
{
    static const qint32 last = qint32(QDate(9999, 12, 31).toJulianDay() - julianDayOfDayZero());
    return last;
}

bool isValidDate(qint32 date)
{
    return date >= FirstDate && date <= lastDate();
}

QDate dateToQDate(qint32 date)
{
    if (!isValidDate(date))
        return {};
    return QDate::fromJulianDay(julianDayOfDayZero() + date);
}

qint32 dateFromQDate(const QDate &date)
{
    if (!date.isValid() || date.year() < 1801 || date.year() > 9999)
        return NoDate;
    return qint32(date.toJulianDay() - julianDayOfDayZero());
}

qint32 makeDate(int year, int month, int day)
{
    return dateFromQDate(QDate(year, month, day));
}

int year(qint32 date)
{
    return dateToQDate(date).year();
}

int month(qint32 date)
{
    return dateToQDate(date).month();
}

int day(qint32 date)
{
    return dateToQDate(date).day();
}

bool isValidTime(qint32 time)
{
    return time >= Midnight && time <= LastTime;
}

QTime timeToQTime(qint32 time)
{
    if (!isValidTime(time))
        return {};
    return QTime::fromMSecsSinceStartOfDay((time - 1) * 10);
}

qint32 timeFromQTime(const QTime &time)
{
    if (!time.isValid())
        return NoTime;
    return time.msecsSinceStartOfDay() / 10 + 1;
}

qint32 makeTime(int hour, int minute, int second, int hundredths)
{
    if (hundredths < 0 || hundredths > 99)
        return NoTime;
    return timeFromQTime(QTime(hour, minute, second, hundredths * 10));
}

qint32 today()
{
    return dateFromQDate(Clock::now().date());
}

qint32 clock()
{
    return timeFromQTime(Clock::now().time());
}

void Clock::setSource(Source source)
{
    clockSource() = std::move(source);
}

void Clock::useSystemClock()
{
    clockSource() = nullptr;
}

QDateTime Clock::now()
{
    const Source &source = clockSource();
    return source ? source() : QDateTime::currentDateTime();
}

} // namespace sv
