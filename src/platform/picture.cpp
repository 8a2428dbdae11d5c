#include "picture.h"

#include "stddate.h"

#include <QList>
#include <QLocale>
#include <QRegularExpression>

#include <array>
#include <cmath>
#include <optional>
#include <span>
#include <variant>

using namespace Qt::StringLiterals;

namespace sv {

namespace {

constexpr int MaxStringWidth = 65535;
constexpr int MaxWidth = 255;
constexpr int MaxPatternDigits = 18; // so that every pattern reads back into a qint64

// ---------------------------------------------------------------------------------------
// What a parsed picture says, one struct per kind.

enum class Sign { Leading, Trailing, Parentheses };

struct StringSpec
{
    int width = 0;
    bool operator==(const StringSpec &) const = default;
};

struct NumberSpec
{
    QString leadCurrency;
    QString trailCurrency;
    Sign sign = Sign::Leading;
    QChar fill;  // null, '0', ' ' or '*'
    QChar group; // null for no grouping
    int size = 0;
    int places = 0;
    bool blankZero = false;
    bool operator==(const NumberSpec &) const = default;
};

struct DateSpec
{
    int form = 0;
    QChar separator; // null keeps the form's own separator
    bool blankZero = false;
    bool operator==(const DateSpec &) const = default;
};

struct TimeSpec
{
    int form = 0;
    QChar separator;
    bool blankZero = false;
    bool operator==(const TimeSpec &) const = default;
};

struct PatternSpec
{
    QString layout;
    bool blankZero = false;
    bool operator==(const PatternSpec &) const = default;
};

using AnySpec = std::variant<StringSpec, NumberSpec, DateSpec, TimeSpec, PatternSpec>;

// ---------------------------------------------------------------------------------------
// The date and time forms. Layout letters: Y four-digit year, y two-digit year, m month,
// d day, e day without a leading zero, A three-letter month in capitals, N month name,
// H hour 0-23, h hour 1-12, M minute, S second, X AM/PM. The placeholder is the
// separator a picture's separator letter replaces; everything else is literal.

struct StampForm
{
    int number;
    QStringView layout;
    QChar placeholder;
};

constexpr int LocaleShortDate = 17;
constexpr int LocaleLongDate = 18;
constexpr int LocaleShortTime = 7;
constexpr int LocaleLongTime = 8;

constexpr std::array<StampForm, 16> DateForms{{
    {1, u"m/d/y", u'/'},     // 10/31/59
    {2, u"m/d/Y", u'/'},     // 10/31/1959
    {3, u"A d,Y", QChar()},  // OCT 31,1959
    {4, u"N e, Y", QChar()}, // October 31, 1959
    {5, u"d/m/y", u'/'},     // 31/10/59
    {6, u"d/m/Y", u'/'},     // 31/10/1959
    {7, u"d A y", u' '},     // 31 OCT 59
    {8, u"d A Y", u' '},     // 31 OCT 1959
    {9, u"y/m/d", u'/'},     // 59/10/31
    {10, u"Y/m/d", u'/'},    // 1959/10/31
    {11, u"ymd", u'/'},      // 591031
    {12, u"Ymd", u'/'},      // 19591031
    {13, u"m/y", u'/'},      // 10/59
    {14, u"m/Y", u'/'},      // 10/1959
    {15, u"y/m", u'/'},      // 59/10
    {16, u"Y/m", u'/'},      // 1959/10
}};

constexpr std::array<StampForm, 6> TimeForms{{
    {1, u"H:M", u':'},
    {2, u"HM", u':'},
    {3, u"h:MX", u':'},
    {4, u"H:M:S", u':'},
    {5, u"HMS", u':'},
    {6, u"h:M:SX", u':'},
}};

const StampForm *findForm(std::span<const StampForm> forms, int number)
{
    for (const StampForm &form : forms) {
        if (form.number == number)
            return &form;
    }
    return nullptr;
}

const std::array<QStringView, 12> MonthNames{u"January",   u"February", u"March",    u"April",
                                             u"May",       u"June",     u"July",     u"August",
                                             u"September", u"October",  u"November", u"December"};

struct Stamp
{
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

QString zeroPadded(int value, int width)
{
    return QString::number(value).rightJustified(width, u'0');
}

QString renderToken(QChar token, const Stamp &stamp)
{
    switch (token.unicode()) {
    case u'Y':
        return zeroPadded(stamp.year, 4);
    case u'y':
        return zeroPadded(stamp.year % 100, 2);
    case u'm':
        return zeroPadded(stamp.month, 2);
    case u'd':
        return zeroPadded(stamp.day, 2);
    case u'e':
        return QString::number(stamp.day);
    case u'A':
        return MonthNames[stamp.month - 1].left(3).toString().toUpper();
    case u'N':
        return MonthNames[stamp.month - 1].toString();
    case u'H':
        return zeroPadded(stamp.hour, 2);
    case u'h':
        return zeroPadded(stamp.hour % 12 == 0 ? 12 : stamp.hour % 12, 2);
    case u'M':
        return zeroPadded(stamp.minute, 2);
    case u'S':
        return zeroPadded(stamp.second, 2);
    case u'X':
        return stamp.hour < 12 ? u"AM"_s : u"PM"_s;
    }
    return QString(token);
}

int tokenWidth(QChar token)
{
    switch (token.unicode()) {
    case u'Y':
        return 4;
    case u'A':
        return 3;
    case u'N':
        return 9; // "September"
    case u'y':
    case u'm':
    case u'd':
    case u'e':
    case u'H':
    case u'h':
    case u'M':
    case u'S':
    case u'X':
        return 2;
    }
    return 1;
}

QString render(const StampForm &form, QChar separator, const Stamp &stamp)
{
    QString text;
    for (QChar token : form.layout) {
        const bool replaced = token == form.placeholder && !separator.isNull();
        text += replaced ? QString(separator) : renderToken(token, stamp);
    }
    return text;
}

int layoutWidth(const StampForm &form)
{
    int width = 0;
    for (QChar token : form.layout)
        width += tokenWidth(token);
    return width;
}

// ---------------------------------------------------------------------------------------
// Locale forms: the locale's own format, with the separator letter applied.

bool isFormatLetter(QChar ch)
{
    return (ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z');
}

// Every run of literal text between the fields becomes the separator, which keeps the
// result readable back whatever the locale puts there.
QString withSeparator(QStringView format, QChar separator)
{
    if (separator.isNull())
        return format.toString();
    QString result;
    bool quoted = false;
    bool separatorWritten = false;
    for (QChar ch : format) {
        if (ch == u'\'')
            quoted = !quoted;
        else if (!quoted && isFormatLetter(ch)) {
            result += ch;
            separatorWritten = false;
            continue;
        }
        if (!separatorWritten)
            result += separator;
        separatorWritten = true;
    }
    return result;
}

// A time of day carries no zone, so the zone field and the blanks or brackets around it go.
QString withoutTimeZone(QStringView format)
{
    const auto isWrapping = [](QChar ch) { return ch == u' ' || ch == u'(' || ch == u')'; };
    QString result;
    bool quoted = false;
    for (qsizetype at = 0; at < format.size(); ++at) {
        const QChar ch = format[at];
        if (ch == u'\'')
            quoted = !quoted;
        if (quoted || ch != u't') {
            result += ch;
            continue;
        }
        while (!result.isEmpty() && isWrapping(result.back()))
            result.chop(1);
        while (at + 1 < format.size() && (format[at + 1] == u't' || isWrapping(format[at + 1])))
            ++at;
    }
    return result;
}

QString localeDateFormat(const DateSpec &parts)
{
    const auto length = parts.form == LocaleShortDate ? QLocale::ShortFormat : QLocale::LongFormat;
    return withSeparator(QLocale().dateFormat(length), parts.separator);
}

QString localeTimeFormat(const TimeSpec &parts)
{
    const auto length = parts.form == LocaleShortTime ? QLocale::ShortFormat : QLocale::LongFormat;
    return withSeparator(withoutTimeZone(QLocale().timeFormat(length)), parts.separator);
}

// ---------------------------------------------------------------------------------------
// Reading the picture text.

std::nullopt_t fail(QString &error, const QString &message)
{
    error = message;
    return std::nullopt;
}

class Scanner
{
public:
    explicit Scanner(QStringView text) : m_text(text) {}

    bool atEnd() const { return m_at >= m_text.size(); }
    QChar peek() const { return atEnd() ? QChar() : m_text[m_at]; }
    QStringView rest() const { return m_text.mid(m_at); }
    void skip(qsizetype count = 1) { m_at += count; }

    bool take(QChar wanted)
    {
        if (atEnd() || peek().toLower() != wanted)
            return false;
        ++m_at;
        return true;
    }

    // The number at the cursor, or nothing when there is no digit; large values stop
    // growing at a bound well above every limit so that they can still be reported.
    std::optional<int> takeNumber()
    {
        std::optional<int> number;
        while (!atEnd() && peek() >= u'0' && peek() <= u'9') {
            number = qMin(number.value_or(0) * 10 + peek().digitValue(), 10'000'000);
            ++m_at;
        }
        return number;
    }

private:
    QStringView m_text;
    qsizetype m_at = 0;
};

bool expectEnd(const Scanner &in, QString &error)
{
    if (in.atEnd())
        return true;
    error = u"unexpected \"%1\" at the end"_s.arg(in.rest());
    return false;
}

std::optional<int> takeBounded(Scanner &in, const QString &what, int low, int high, QString &error)
{
    const std::optional<int> number = in.takeNumber();
    if (!number)
        return fail(error, u"%1 expected"_s.arg(what));
    if (*number < low || *number > high)
        return fail(error, u"%1 must be %2 to %3"_s.arg(what).arg(low).arg(high));
    return number;
}

std::optional<AnySpec> readString(Scanner &in, QString &error)
{
    const std::optional<int> width = takeBounded(in, u"string width"_s, 1, MaxStringWidth, error);
    if (!width || !expectEnd(in, error))
        return std::nullopt;
    return StringSpec{*width};
}

// '$' or a text between tildes; false only for a tilde that is not closed.
bool takeCurrency(Scanner &in, QString &currency, QString &error)
{
    if (in.take(u'$')) {
        currency = u"$"_s;
        return true;
    }
    if (!in.take(u'~'))
        return true;
    const QStringView rest = in.rest();
    const qsizetype close = rest.indexOf(u'~');
    if (close < 0) {
        error = u"currency text has no closing '~'"_s;
        return false;
    }
    currency = rest.left(close).toString();
    in.skip(close + 1);
    return true;
}

QChar takeFill(Scanner &in)
{
    for (QChar fill : {u'0', u'*'}) {
        if (in.take(fill))
            return fill;
    }
    return in.take(u'_') ? QChar(u' ') : QChar();
}

bool takeTrailingSign(Scanner &in, NumberSpec &parts, bool leadingSignGiven, QString &error)
{
    const bool parenthesis = parts.sign == Sign::Parentheses;
    if (in.take(u')')) {
        if (!parenthesis)
            error = u"')' without '('"_s;
        return parenthesis;
    }
    if (parenthesis) {
        error = u"'(' without ')'"_s;
        return false;
    }
    if (!in.take(u'-'))
        return true;
    if (leadingSignGiven) {
        error = u"a sign both before and after the number"_s;
        return false;
    }
    parts.sign = Sign::Trailing;
    return true;
}

std::optional<AnySpec> readNumber(Scanner &in, QString &error)
{
    NumberSpec parts;
    if (!takeCurrency(in, parts.leadCurrency, error))
        return std::nullopt;
    const bool leadingMinus = in.take(u'-');
    if (!leadingMinus && in.take(u'('))
        parts.sign = Sign::Parentheses;
    parts.fill = takeFill(in);
    const std::optional<int> size = takeBounded(in, u"number size"_s, 1, MaxWidth, error);
    if (!size)
        return std::nullopt;
    parts.size = *size;
    if (in.take(u'_'))
        parts.group = u' ';
    else if (in.take(u'`') || parts.fill.isNull())
        parts.group = u',';
    if (in.take(u'.')) {
        const std::optional<int> places =
            takeBounded(in, u"decimal places"_s, 0, parts.size - 1, error);
        if (!places)
            return std::nullopt;
        parts.places = *places;
    }
    if (!takeTrailingSign(in, parts, leadingMinus || parts.sign == Sign::Parentheses, error))
        return std::nullopt;
    if (!takeCurrency(in, parts.trailCurrency, error))
        return std::nullopt;
    if (!parts.leadCurrency.isEmpty() && !parts.trailCurrency.isEmpty())
        return fail(error, u"currency both before and after the number"_s);
    parts.blankZero = in.take(u'b');
    if (!expectEnd(in, error))
        return std::nullopt;
    return parts;
}

QChar takeSeparator(Scanner &in)
{
    static constexpr std::array<std::pair<QChar, QChar>, 4> letters{{
        {u'.', u'.'},
        {u'-', u'-'},
        {u'_', u' '},
        {u'`', u','},
    }};
    for (const auto &[letter, separator] : letters) {
        if (in.take(letter))
            return separator;
    }
    return {};
}

// Dates and times share the shape: form number, separator letter, 'b'.
template <typename StampSpec>
std::optional<AnySpec> readStamp(Scanner &in, const QString &what, int lastForm, QString &error)
{
    const std::optional<int> form = takeBounded(in, what, 1, lastForm, error);
    if (!form)
        return std::nullopt;
    StampSpec parts;
    parts.form = *form;
    parts.separator = takeSeparator(in);
    parts.blankZero = in.take(u'b');
    if (!expectEnd(in, error))
        return std::nullopt;
    return parts;
}

bool isDigitPosition(QChar ch)
{
    return ch == u'<' || ch == u'#';
}

// The template runs to the last 'p' of the picture, so it may itself contain a 'p'.
std::optional<AnySpec> readPattern(Scanner &in, QString &error)
{
    QStringView layout = in.rest();
    const bool blankZero = layout.endsWith(u"pb", Qt::CaseInsensitive);
    if (blankZero)
        layout.chop(1);
    if (!layout.endsWith(u'p', Qt::CaseInsensitive))
        return fail(error, u"the pattern has no closing 'p'"_s);
    layout.chop(1);
    const auto positions = std::count_if(layout.begin(), layout.end(), isDigitPosition);
    if (positions == 0)
        return fail(error, u"the pattern has no digit position ('<' or '#')"_s);
    if (positions > MaxPatternDigits)
        return fail(error, u"the pattern has more than %1 digit positions"_s.arg(MaxPatternDigits));
    if (layout.size() > MaxWidth)
        return fail(error, u"the pattern is longer than %1 characters"_s.arg(MaxWidth));
    return PatternSpec{layout.toString(), blankZero};
}

std::optional<AnySpec> readPicture(QStringView text, QString &error)
{
    if (text.isEmpty())
        return fail(error, u"the picture is empty"_s);
    Scanner in(text);
    in.take(u'@');
    if (in.atEnd())
        return fail(error, u"a kind letter (s, n, d, t or p) is expected"_s);
    const QChar kind = in.peek().toLower();
    in.skip();
    switch (kind.unicode()) {
    case u's':
        return readString(in, error);
    case u'n':
        return readNumber(in, error);
    case u'd':
        return readStamp<DateSpec>(in, u"date form"_s, LocaleLongDate, error);
    case u't':
        return readStamp<TimeSpec>(in, u"time form"_s, LocaleLongTime, error);
    case u'p':
        return readPattern(in, error);
    }
    return fail(error, u"unknown kind '%1' (expected s, n, d, t or p)"_s.arg(kind));
}

// ---------------------------------------------------------------------------------------
// Numbers are handled as decimal digit strings, so that a value shows exactly as written
// and rounding at the places is the decimal rounding people expect (2.675 -> 2.68).

int digitOf(QChar ch)
{
    return ch.isDigit() ? ch.digitValue() : -1;
}

struct Decimal
{
    bool negative = false;
    QString integer = u"0"_s; // ASCII digits without leading zeros
    QString fraction;         // ASCII digits

    bool isZero() const
    {
        return integer == u"0" &&
               std::all_of(fraction.begin(), fraction.end(), [](QChar ch) { return ch == u'0'; });
    }
};

Decimal makeDecimal(bool negative, QString integer, QString fraction)
{
    qsizetype zeros = 0;
    while (zeros < integer.size() && integer[zeros] == u'0')
        ++zeros;
    integer.remove(0, zeros);
    Decimal number{negative, integer.isEmpty() ? u"0"_s : integer, fraction};
    number.negative = negative && !number.isZero();
    return number;
}

QString incremented(QString digits)
{
    for (qsizetype at = digits.size() - 1; at >= 0; --at) {
        if (digits[at] != u'9') {
            digits[at] = QChar(digits[at].unicode() + 1);
            return digits;
        }
        digits[at] = u'0';
    }
    return u'1' + digits;
}

// Half away from zero: the magnitude goes up on a 5.
Decimal rounded(const Decimal &number, int places)
{
    if (number.fraction.size() <= places)
        return {number.negative, number.integer, number.fraction.leftJustified(places, u'0')};
    QString digits = number.integer + number.fraction.left(places);
    if (number.fraction[places] >= u'5')
        digits = incremented(digits);
    return makeDecimal(number.negative, digits.left(digits.size() - places), digits.right(places));
}

std::optional<Decimal> readDecimal(QStringView text);

std::optional<Decimal> decimalFromDouble(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    return readDecimal(QString::number(value, 'f', QLocale::FloatingPointShortest));
}

bool isExponentForm(QStringView text)
{
    static const QRegularExpression form(u"^\\s*[-+]?\\d*\\.?\\d+[eE][-+]?\\d+\\s*$"_s);
    return form.match(text).hasMatch();
}

bool signBefore(QStringView text)
{
    return text.contains(u'-') || text.contains(u'(');
}

bool signAfter(QStringView text)
{
    return text.contains(u'-') || text.contains(u')');
}

// Lenient: digits and the first '.' count, a '-' or parenthesis before or after the
// digits makes the number negative, everything else is ignored. Nothing without digits.
std::optional<Decimal> readDecimal(QStringView text)
{
    if (isExponentForm(text)) {
        bool ok = false;
        const double value = text.trimmed().toDouble(&ok);
        return ok ? decimalFromDouble(value) : std::nullopt;
    }
    QString integer;
    QString fraction;
    QString *digits = &integer;
    qsizetype first = -1;
    qsizetype last = -1;
    for (qsizetype at = 0; at < text.size(); ++at) {
        const int digit = digitOf(text[at]);
        if (text[at] == u'.' && digits == &integer)
            digits = &fraction;
        if (digit < 0)
            continue;
        *digits += QChar(u'0' + digit);
        first = first < 0 ? at : first;
        last = at;
    }
    if (first < 0)
        return std::nullopt;
    const bool negative = signBefore(text.left(first)) || signAfter(text.mid(last + 1));
    return makeDecimal(negative, integer, fraction);
}

// Nothing for values that have no finite number (NaN, infinity).
std::optional<Decimal> decimalFromVariant(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return decimalFromDouble(value.toDouble());
    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::ULongLong:
        return readDecimal(value.toString()).value_or(Decimal{});
    }
    bool ok = false; // other integers, bool, and nothing at all (0)
    const qlonglong number = value.toLongLong(&ok);
    return ok ? readDecimal(QString::number(number)) : Decimal{};
}

// Nothing when the rounded number does not fit a qint64.
std::optional<qint64> integerOf(const Decimal &number)
{
    const Decimal whole = rounded(number, 0);
    bool ok = false;
    const qint64 result = (whole.negative ? u'-' + whole.integer : whole.integer).toLongLong(&ok);
    return ok ? std::optional<qint64>(result) : std::nullopt;
}

std::optional<qint64> wholeNumber(const QVariant &value)
{
    const std::optional<Decimal> number = decimalFromVariant(value);
    return number ? integerOf(*number) : std::nullopt;
}

QString overflow(int width)
{
    return QString(width, u'#');
}

QString grouped(const QString &integer, QChar mark)
{
    QString text;
    for (qsizetype at = 0; at < integer.size(); ++at) {
        if (at > 0 && (integer.size() - at) % 3 == 0)
            text += mark;
        text += integer[at];
    }
    return text;
}

// Sign, currency and fill around the digits; nothing when it does not fit the size.
std::optional<QString> assembled(const NumberSpec &parts, bool negative, const QString &digits)
{
    QString prefix = parts.leadCurrency;
    QString suffix;
    if (parts.sign == Sign::Leading && negative)
        prefix += u'-';
    if (parts.sign == Sign::Parentheses && negative)
        prefix += u'(';
    if (parts.sign == Sign::Trailing)
        suffix = negative ? u"-"_s : u" "_s;
    if (parts.sign == Sign::Parentheses)
        suffix = negative ? u")"_s : u" "_s;
    suffix += parts.trailCurrency;
    const qsizetype padding = parts.size - prefix.size() - digits.size() - suffix.size();
    if (padding < 0)
        return std::nullopt;
    if (parts.fill == u'0' || parts.fill == u'*')
        return prefix + QString(padding, parts.fill) + digits + suffix;
    return QString(padding, u' ') + prefix + digits + suffix;
}

QString formatWith(const NumberSpec &parts, const QVariant &value)
{
    const std::optional<Decimal> number = decimalFromVariant(value);
    if (!number)
        return overflow(parts.size);
    const Decimal shown = rounded(*number, parts.places);
    if (parts.blankZero && shown.isZero())
        return QString(parts.size, u' ');
    const QString fraction = parts.places > 0 ? u'.' + shown.fraction : QString();
    QStringList candidates;
    if (!parts.group.isNull())
        candidates << grouped(shown.integer, parts.group) + fraction;
    candidates << shown.integer + fraction;
    if (shown.integer == u"0" && parts.places > 0)
        candidates << fraction;
    for (const QString &digits : std::as_const(candidates)) {
        if (const std::optional<QString> text = assembled(parts, shown.negative, digits))
            return *text;
    }
    return overflow(parts.size);
}

QVariant deformatWith(const NumberSpec &parts, QStringView text, bool &ok)
{
    const std::optional<Decimal> read = readDecimal(text);
    ok = read || text.trimmed().isEmpty();
    const Decimal number = read.value_or(Decimal{});
    if (parts.places == 0) {
        const std::optional<qint64> whole = integerOf(number);
        ok = ok && whole;
        return whole.value_or(0);
    }
    const QString sign = number.negative ? u"-"_s : QString();
    bool converted = false;
    const QString fraction = number.fraction.isEmpty() ? QString() : u'.' + number.fraction;
    const double real = (sign + number.integer + fraction).toDouble(&converted);
    ok = ok && converted && std::isfinite(real);
    return ok ? real : 0.0;
}

// ---------------------------------------------------------------------------------------
// Reading dates and times back: the text is cut into runs of digits and runs of letters,
// and the fields are taken in the order the form shows them.

struct Token
{
    QString text;
    bool digits = false;

    // -1 for a run too long to be any field
    int value() const
    {
        if (!digits || text.size() > 9)
            return -1;
        int number = 0;
        for (QChar ch : text)
            number = number * 10 + digitOf(ch);
        return number;
    }
};

QList<Token> tokenized(QStringView text)
{
    QList<Token> tokens;
    for (qsizetype at = 0; at < text.size();) {
        const bool digits = text[at].isDigit();
        const bool letters = text[at].isLetter();
        qsizetype end = at + 1;
        while (end < text.size() && digits && text[end].isDigit())
            ++end;
        while (end < text.size() && letters && text[end].isLetter())
            ++end;
        if (digits || letters)
            tokens.append({text.mid(at, end - at).toString().toLower(), digits});
        at = end;
    }
    return tokens;
}

enum class DateField { Year, Month, MonthName, Day };

QList<DateField> fieldsOfLayout(QStringView layout)
{
    QList<DateField> fields;
    for (QChar token : layout) {
        if (token == u'Y' || token == u'y')
            fields << DateField::Year;
        else if (token == u'm')
            fields << DateField::Month;
        else if (token == u'A' || token == u'N')
            fields << DateField::MonthName;
        else if (token == u'd' || token == u'e')
            fields << DateField::Day;
    }
    return fields;
}

// Weekday names ("dddd") are not fields: the date alone decides the day of the week.
QList<DateField> fieldsOfQtFormat(QStringView format)
{
    QList<DateField> fields;
    bool quoted = false;
    for (qsizetype at = 0; at < format.size();) {
        const QChar ch = format[at];
        qsizetype run = 1;
        while (at + run < format.size() && format[at + run] == ch)
            ++run;
        quoted = ch == u'\'' ? quoted != (run % 2 == 1) : quoted;
        if (!quoted && ch == u'y')
            fields << DateField::Year;
        else if (!quoted && ch == u'M')
            fields << (run >= 3 ? DateField::MonthName : DateField::Month);
        else if (!quoted && ch == u'd' && run <= 2)
            fields << DateField::Day;
        at += run;
    }
    return fields;
}

QString lettersOnly(const QString &text)
{
    QString letters;
    for (QChar ch : text) {
        if (ch.isLetter())
            letters += ch.toLower();
    }
    return letters;
}

// English and the default locale's names; a word matches a name exactly, or as the
// beginning (three letters at least) of the names of one month only.
int monthOfWord(const QString &word)
{
    const QLocale locale;
    int prefixMatch = 0;
    for (int month = 1; month <= 12; ++month) {
        const QStringList names{
            MonthNames[month - 1].toString().toLower(),
            lettersOnly(locale.monthName(month, QLocale::LongFormat)),
            lettersOnly(locale.monthName(month, QLocale::ShortFormat)),
            lettersOnly(locale.standaloneMonthName(month, QLocale::LongFormat)),
            lettersOnly(locale.standaloneMonthName(month, QLocale::ShortFormat)),
        };
        for (const QString &name : names) {
            if (name == word)
                return month;
            if (word.size() >= 3 && name.startsWith(word))
                prefixMatch = prefixMatch == 0 || prefixMatch == month ? month : -1;
        }
    }
    return qMax(prefixMatch, 0);
}

// "19591031" read as one field after the other: month and day take two digits each and
// the year what is left.
void splitRunOfDigits(QList<Token> &tokens, const QList<DateField> &fields)
{
    const auto digitTokens = std::count_if(tokens.begin(), tokens.end(),
                                           [](const Token &token) { return token.digits; });
    if (digitTokens != 1 || fields.size() < 2 || fields.contains(DateField::MonthName))
        return;
    const auto run =
        std::find_if(tokens.begin(), tokens.end(), [](const Token &token) { return token.digits; });
    const QString digits = run->text;
    const qsizetype yearWidth = digits.size() - 2 * (fields.size() - 1);
    if (yearWidth < 1)
        return;
    QList<Token> pieces;
    qsizetype at = 0;
    for (DateField field : fields) {
        const qsizetype width = field == DateField::Year ? yearWidth : 2;
        pieces.append({digits.mid(at, width), true});
        at += width;
    }
    const qsizetype index = run - tokens.begin();
    tokens.remove(index);
    for (qsizetype i = 0; i < pieces.size(); ++i)
        tokens.insert(index + i, pieces[i]);
}

// Two-digit years fall in 1930..2029.
int fullYear(const Token &token)
{
    const int year = token.value();
    if (token.text.size() > 2)
        return year;
    return year < 30 ? 2000 + year : 1900 + year;
}

void assignField(Stamp &stamp, DateField field, const Token &token)
{
    switch (field) {
    case DateField::Year:
        stamp.year = fullYear(token);
        break;
    case DateField::Month:
        stamp.month = token.value();
        break;
    case DateField::MonthName:
        stamp.month = token.digits ? token.value() : monthOfWord(token.text);
        break;
    case DateField::Day:
        stamp.day = token.value();
        break;
    }
}

qint32 readDate(QStringView text, const QList<DateField> &fields)
{
    QList<Token> tokens = tokenized(text);
    splitRunOfDigits(tokens, fields);
    Stamp stamp;
    stamp.day = 1; // month/year forms name the first of the month
    qsizetype next = 0;
    for (DateField field : fields) {
        const bool wordAllowed = field == DateField::MonthName;
        while (next < tokens.size() && !tokens[next].digits &&
               !(wordAllowed && monthOfWord(tokens[next].text) > 0))
            ++next;
        if (next == tokens.size())
            return NoDate;
        assignField(stamp, field, tokens[next++]);
    }
    const bool digitsLeft = std::any_of(tokens.begin() + next, tokens.end(),
                                        [](const Token &token) { return token.digits; });
    return digitsLeft ? NoDate : makeDate(stamp.year, stamp.month, stamp.day);
}

bool isMarker(const QString &word, const QString &english, const QString &localeText)
{
    const QList<Token> localeWords = tokenized(localeText);
    return word == english || word == english.left(1) || word == lettersOnly(localeText) ||
           (!localeWords.isEmpty() && word == localeWords.first().text);
}

// "230", "1430" or "143005": minutes and seconds take two digits, the hours what is left.
QList<int> splitTime(const QString &digits)
{
    const qsizetype hourWidth = 2 - digits.size() % 2;
    QList<int> parts{Token{digits.left(hourWidth), true}.value()};
    for (qsizetype at = hourWidth; at < digits.size(); at += 2)
        parts << Token{digits.mid(at, 2), true}.value();
    return parts;
}

qint32 readTime(QStringView text)
{
    const QLocale locale;
    QList<int> parts;
    bool am = false;
    bool pm = false;
    const QList<Token> tokens = tokenized(text);
    for (const Token &token : tokens) {
        if (token.digits)
            parts << token.value();
        am = am || (!token.digits && isMarker(token.text, u"am"_s, locale.amText()));
        pm = pm || (!token.digits && isMarker(token.text, u"pm"_s, locale.pmText()));
    }
    if (parts.size() == 1) {
        const auto run = std::find_if(tokens.begin(), tokens.end(),
                                      [](const Token &token) { return token.digits; });
        if (run->text.size() >= 3 && run->text.size() <= 6)
            parts = splitTime(run->text);
    }
    if (parts.isEmpty() || parts.size() > 3 || (am && pm))
        return NoTime;
    int hour = parts[0];
    if (pm && hour < 12)
        hour += 12;
    if (am && hour == 12)
        hour = 0;
    return makeTime(hour, parts.value(1), parts.value(2));
}

// ---------------------------------------------------------------------------------------
// Formatting and reading by kind.

QString formatWith(const StringSpec &parts, const QVariant &value)
{
    return value.toString().left(parts.width);
}

QVariant deformatWith(const StringSpec &, QStringView text, bool &)
{
    return text.toString();
}

qint32 dateValue(const QVariant &value)
{
    if (value.typeId() == QMetaType::QDate || value.typeId() == QMetaType::QDateTime)
        return dateFromQDate(value.toDate());
    const std::optional<qint64> number = wholeNumber(value);
    if (!number || *number < FirstDate || *number > lastDate())
        return NoDate;
    return qint32(*number);
}

QString formatWith(const DateSpec &parts, const QVariant &value)
{
    const QDate date = dateToQDate(dateValue(value));
    if (!date.isValid())
        return u""_s;
    if (parts.form >= LocaleShortDate)
        return QLocale().toString(date, localeDateFormat(parts));
    const Stamp stamp{date.year(), date.month(), date.day()};
    return render(*findForm(DateForms, parts.form), parts.separator, stamp);
}

QVariant deformatWith(const DateSpec &parts, QStringView text, bool &ok)
{
    if (text.trimmed().isEmpty())
        return NoDate;
    const QList<DateField> fields = parts.form >= LocaleShortDate
                                        ? fieldsOfQtFormat(localeDateFormat(parts))
                                        : fieldsOfLayout(findForm(DateForms, parts.form)->layout);
    const qint32 date = readDate(text, fields);
    ok = date != NoDate;
    return date;
}

qint32 timeValue(const QVariant &value)
{
    if (value.typeId() == QMetaType::QTime || value.typeId() == QMetaType::QDateTime)
        return timeFromQTime(value.toTime());
    const std::optional<qint64> number = wholeNumber(value);
    return number && *number >= Midnight && *number <= LastTime ? qint32(*number) : NoTime;
}

QString formatWith(const TimeSpec &parts, const QVariant &value)
{
    const QTime time = timeToQTime(timeValue(value));
    if (!time.isValid())
        return u""_s;
    if (parts.form >= LocaleShortTime)
        return QLocale().toString(time, localeTimeFormat(parts));
    const Stamp stamp{0, 0, 0, time.hour(), time.minute(), time.second()};
    return render(*findForm(TimeForms, parts.form), parts.separator, stamp);
}

QVariant deformatWith(const TimeSpec &, QStringView text, bool &ok)
{
    if (text.trimmed().isEmpty())
        return NoTime;
    const qint32 time = readTime(text);
    ok = time != NoTime;
    return time;
}

QString formatWith(const PatternSpec &parts, const QVariant &value)
{
    const std::optional<qint64> number = wholeNumber(value);
    if (parts.blankZero && number == 0)
        return u""_s;
    const auto positions = std::count_if(parts.layout.begin(), parts.layout.end(), isDigitPosition);
    const QString digits = number ? QString::number(*number) : QString();
    if (!number || *number < 0 || digits.size() > positions)
        return overflow(int(parts.layout.size()));
    const QString padded = digits.rightJustified(positions, u'0');
    QString text = parts.layout;
    qsizetype next = 0;
    bool leading = true;
    for (QChar &ch : text) {
        if (!isDigitPosition(ch))
            continue;
        const QChar digit = padded[next++];
        leading = leading && digit == u'0';
        ch = ch == u'<' && leading ? QChar(u' ') : digit;
    }
    return text;
}

// Text as wide as the pattern is read at the digit positions; other text (typed by hand)
// gives all its digits.
QVariant deformatWith(const PatternSpec &parts, QStringView text, bool &ok)
{
    if (text.trimmed().isEmpty())
        return qint64(0);
    const bool positional = text.size() == parts.layout.size();
    QString digits;
    for (qsizetype at = 0; at < text.size(); ++at) {
        if (positional && !isDigitPosition(parts.layout[at]))
            continue;
        const int digit = digitOf(text[at]);
        if (digit >= 0)
            digits += QChar(u'0' + digit);
        else if (positional && text[at] == u' ')
            digits += u'0'; // a blanked leading zero
        else if (positional)
            ok = false;
    }
    const qint64 number = digits.size() <= MaxPatternDigits ? digits.toLongLong() : 0;
    ok = ok && !digits.isEmpty() && digits.size() <= MaxPatternDigits;
    return ok ? number : qint64(0);
}

// ---------------------------------------------------------------------------------------
// Display widths.

int localeDateWidth(const DateSpec &parts)
{
    const QLocale locale;
    const QString format = localeDateFormat(parts);
    qsizetype width = 0;
    for (int month = 1; month <= 12; ++month) {
        for (int day = 22; day <= 28; ++day) // every weekday
            width = qMax(width, locale.toString(QDate(2000, month, day), format).size());
    }
    return int(width);
}

int localeTimeWidth(const TimeSpec &parts)
{
    const QLocale locale;
    const QString format = localeTimeFormat(parts);
    qsizetype width = 0;
    for (int hour : {0, 10, 12, 22, 23})
        width = qMax(width, locale.toString(QTime(hour, 59, 59), format).size());
    return int(width);
}

int widthOf(const StringSpec &parts)
{
    return parts.width;
}

int widthOf(const NumberSpec &parts)
{
    return parts.size;
}

int widthOf(const DateSpec &parts)
{
    if (parts.form >= LocaleShortDate)
        return localeDateWidth(parts);
    return layoutWidth(*findForm(DateForms, parts.form));
}

int widthOf(const TimeSpec &parts)
{
    if (parts.form >= LocaleShortTime)
        return localeTimeWidth(parts);
    return layoutWidth(*findForm(TimeForms, parts.form));
}

int widthOf(const PatternSpec &parts)
{
    return int(parts.layout.size());
}

} // namespace

struct Picture::Parsed
{
    AnySpec kind;
    bool operator==(const Parsed &) const = default;
};

Picture::Picture() : m_error(u"no picture"_s) {}

Picture Picture::parse(QStringView text)
{
    Picture picture;
    picture.m_text = text.toString();
    QString error;
    if (std::optional<AnySpec> parts = readPicture(text.trimmed(), error)) {
        picture.m_parsed = std::make_shared<const Parsed>(Parsed{std::move(*parts)});
        picture.m_error.clear();
    } else {
        picture.m_error = u"invalid picture \"%1\": %2"_s.arg(text, error);
    }
    return picture;
}

Picture::Kind Picture::kind() const
{
    if (!m_parsed)
        return Kind::Invalid;
    static constexpr std::array<Kind, 5> kinds{Kind::String, Kind::Number, Kind::Date, Kind::Time,
                                               Kind::Pattern};
    return kinds[m_parsed->kind.index()];
}

int Picture::width() const
{
    if (!m_parsed)
        return 0;
    return std::visit([](const auto &parts) { return widthOf(parts); }, m_parsed->kind);
}

bool Picture::blankWhenZero() const
{
    if (!m_parsed)
        return false;
    return std::visit(
        [](const auto &parts) {
            if constexpr (requires { parts.blankZero; })
                return parts.blankZero;
            else
                return false;
        },
        m_parsed->kind);
}

QString Picture::format(const QVariant &value) const
{
    if (!m_parsed)
        return {};
    return std::visit([&](const auto &parts) { return formatWith(parts, value); }, m_parsed->kind);
}

QVariant Picture::deformat(QStringView text, bool *ok) const
{
    bool readable = m_parsed != nullptr;
    QVariant value;
    if (m_parsed) {
        value = std::visit([&](const auto &parts) { return deformatWith(parts, text, readable); },
                           m_parsed->kind);
    }
    if (ok)
        *ok = readable;
    return value;
}

bool Picture::operator==(const Picture &other) const
{
    if (!m_parsed || !other.m_parsed)
        return m_parsed == other.m_parsed;
    return *m_parsed == *other.m_parsed;
}

QString format(const QVariant &value, QStringView picture)
{
    return Picture::parse(picture).format(value);
}

QVariant deformat(QStringView text, QStringView picture)
{
    return Picture::parse(picture).deformat(text);
}

} // namespace sv
