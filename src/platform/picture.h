#pragma once

#include <QString>
#include <QStringView>
#include <QVariant>

#include <memory>

namespace sv {

// A picture is the short format text that says how a value is shown as text and read
// back: "@s20", "@n_5", "@N30.9", "@d17", "@t4b", "@p(<)pb". The leading '@' is optional
// and the kind and option letters are case-insensitive, so "n4b" and "@N4B" are the same.
//
// Kinds (widths are capped: strings 65535, the others 255):
//  @sN   text of at most N characters; longer text is cut, shorter text is not padded.
//        "@s" without a width is invalid.
//  @n[currency][sign][fill]size[grouping][.places][sign][currency][b]
//        A number right-aligned in `size` characters; sign, currency, grouping marks and
//        the decimal point all count towards the size, and a value that does not fit
//        shows as '#' across the width.
//        currency: '$' or a text between tildes ("~EUR ~"), before or after the digits.
//        sign: '-' before the size (the default) or after the places for a trailing minus;
//              '(' before with ')' after shows negatives in parentheses. A trailing sign
//              keeps a blank in its place for positive values so decimals line up.
//        fill: '0' zeros, '_' blanks, '*' asterisks. Zeros and asterisks go between the
//              sign and the digits ("-0042"); blanks go before the sign ("  -42").
//        grouping: without a fill, commas every three digits; with a fill, none. A '_'
//              after the size groups with blanks and a '`' with commas whatever the fill.
//              Grouping is dropped when only the ungrouped digits fit, so "@n4" shows
//              1998 as "1998", not "####".
//        places: decimal places, rounded half away from zero; a zero integer part shows
//              as "0" ("0.50") unless only ".50" fits.
//        b: blank when zero (rounded to the places): all blanks, width kept.
//        Reading back is lenient: blanks, grouping marks, fill and currency are ignored,
//        a '-' or parenthesis before or after the digits makes it negative, text without
//        digits is 0, and "1.5e3" style is read too. The result is a qint64 when the
//        picture has no places (rounded half away from zero) and a double otherwise.
//  @dN[sep][b]  a standard date (day number); N is 1..18, a leading zero ("@d01") is
//        accepted and changes nothing because month and day are always two digits.
//        sep replaces the separator: '.' period, '-' hyphen, '_' blank, '`' comma. It
//        replaces the blanks of forms 7 and 8 ("31-OCT-59") and leaves forms 3 and 4 as
//        they are. Forms 17 and 18 are the default QLocale's short and long date; with
//        a separator every literal between their fields becomes that separator.
//  @tN[sep][b]  a standard time; N is 1..8, hours always two digits ("02:00"). Seconds and
//        hundredths the form does not show are dropped, not rounded. Forms 7 and 8 are
//        the default QLocale's short and long time, without the time zone (a time of
//        day carries none).
//  @p<template>p[b]  digits of a whole number placed into the template from the right:
//        '#' always shows a digit, '<' is blank while it and every digit to its left is
//        zero, anything else is literal. "b" makes zero show as "" (empty). Negative or
//        too large values show '#' across the width. At most 18 digit positions.
//
// Dates and times show no date (0) as "" whether or not 'b' is given, and out-of-range
// values as "" too. Two-digit years read back as 1930..2029. Reading a date or time is
// lenient about separators and case, and takes a run of digits without separators
// ("19591031") field by field. Times read h, m, s from the left, so with @t4 "4:33" is
// 4 h 33 min and "0:04:33" is 4 min 33 s. Invalid text reads as 0 with ok = false.
// Dates and times read back as int (qint32), patterns as qint64, strings as QString.
class Picture
{
public:
    enum class Kind { Invalid, String, Number, Date, Time, Pattern };

    Picture(); // invalid
    static Picture parse(QStringView text);

    bool isValid() const { return m_parsed != nullptr; }
    QString errorString() const { return m_error; }
    QString text() const { return m_text; }
    Kind kind() const;
    int width() const; // display width; 0 for an invalid picture
    bool blankWhenZero() const;

    // An invalid picture formats as a null QString and reads back as an invalid QVariant.
    QString format(const QVariant &value) const;
    QVariant deformat(QStringView text, bool *ok = nullptr) const;

    // Pictures are equal when they mean the same ("n4b" == "@N4B").
    bool operator==(const Picture &other) const;

private:
    struct Parsed;

    std::shared_ptr<const Parsed> m_parsed;
    QString m_text;
    QString m_error;
};

QString format(const QVariant &value, QStringView picture);
QVariant deformat(QStringView text, QStringView picture);

} // namespace sv
