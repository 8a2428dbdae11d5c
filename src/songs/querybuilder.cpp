#include "querybuilder.h"

#include "app/settings.h"
#include "platform/inifile.h"
#include "platform/paths.h"
#include "platform/picture.h"
#include "platform/prompter.h"
#include "store/schema.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace sv {

namespace {

// What the dialog offers beyond the schema: each searchable field's label and how its value
// is given. Names, pictures, sizes and kinds are the schema's.
struct Offered
{
    const char *label;
    TableId table;
    int index; // a field of the table, or a memo when `memo`
    bool memo = false;
    QueryInput input = QueryInput::Entry;
    const char *texts = ""; // the check box's text, or the choices separated by '|'
};

constexpr Offered OfferedFields[] = {
    // The song's category and media format, read through the song's link to them.
    {"Category", TableId::Categories, cat::Category},
    {"Media", TableId::Media, med::Media},
    {"Artist", TableId::Songs, mus::Artist},
    {"Title", TableId::Songs, mus::Title},
    {"Mix or Version Specific Information", TableId::Songs, mus::Mix},
    {"Album", TableId::Songs, mus::Album},
    // The media text stored with the song; it differs from "Media" only for a song whose
    // media is not (or no longer) one of the media formats.
    {"Media (as Entered)", TableId::Songs, mus::Media},
    {"File Number", TableId::Songs, mus::FileNumber},
    {"Release", TableId::Songs, mus::ReleaseDate},
    {"Category (Unique ID)", TableId::Songs, mus::CategoryID},
    {"Chart", TableId::Songs, mus::ChartNumber},
    {"Track", TableId::Songs, mus::TrackNumber},
    {"Side / Disc", TableId::Songs, mus::Side},
    {"Time", TableId::Songs, mus::Time},
    {"User Defined Key Field", TableId::Songs, mus::UserDefinedKeyField},
    {"Addition Information (1)", TableId::Songs, mus::AdditionalInformation1},
    {"Addition Information (2)", TableId::Songs, mus::AdditionalInformation2},
    {"Addition Information (3)", TableId::Songs, mus::AdditionalInformation3},
    {"Beats Per Minute (BPM)", TableId::Songs, mus::BeatsPerMinute},
    {"Style", TableId::Songs, mus::Style},
    {"Recording Information", TableId::Songs, mus::Recording, true},
    {"Composer", TableId::Songs, mus::Composer},
    {"Performance Notes", TableId::Songs, mus::PerformanceNotes, true},
    {"Date Last Played", TableId::Songs, mus::LastPlayed},
    {"Skips", TableId::Songs, mus::Skips, false, QueryInput::CheckBox, "Skips"},
    {"Type of ending", TableId::Songs, mus::EndType, false, QueryInput::Choice, "Slow|Fast|Abrupt"},
    {"In/Out Information", TableId::Songs, mus::InOut},
    {"Notes", TableId::Songs, mus::Notes, true},
    {"Rating", TableId::Songs, mus::Rating},
    {"Live", TableId::Songs, mus::Live, false, QueryInput::CheckBox, "Live"},
    {"DoNotPlay", TableId::Songs, mus::DoNotPlay, false, QueryInput::CheckBox, "Do Not Play"},
};

// A value typed for a memo is one line of at most this many characters.
constexpr int MemoValueWidth = 255;

// The picture a value is typed in where the schema shows the field without one.
QString entryPicture(const FieldDef &field)
{
    if (!field.picture.isEmpty())
        return field.picture;
    switch (field.type) {
    case FieldType::String:
        return u"@s%1"_s.arg(field.size);
    case FieldType::Byte:
        return u"@n3"_s;
    case FieldType::Long:
    case FieldType::Decimal:
        return u"@n-13"_s;
    }
    return QString();
}

QueryField describe(const Offered &offered)
{
    const TableDef &def = tableDef(offered.table);
    QueryField field;
    field.label = QString::fromUtf8(offered.label);
    field.input = offered.input;
    if (offered.memo) {
        const MemoDef &memo = def.memos.at(offered.index);
        field.name = def.prefix + u':' + memo.name;
        field.picture = u"@s%1"_s.arg(qMin(memo.maxLength, MemoValueWidth));
        field.size = memo.maxLength;
        field.kind = ValueKind::Text;
    } else {
        const FieldDef &stored = def.fields.at(offered.index);
        field.name = def.fullName(offered.index);
        field.picture = entryPicture(stored);
        field.size = stored.size;
        field.kind = stored.type == FieldType::String ? ValueKind::Text : ValueKind::Number;
        field.followsDateFormat =
            offered.table == TableId::Songs && offered.index == mus::ReleaseDate;
    }
    const QString texts = QString::fromUtf8(offered.texts);
    if (offered.input == QueryInput::CheckBox)
        field.checkBoxText = texts;
    else if (offered.input == QueryInput::Choice)
        field.choices = texts.split(u'|');
    return field;
}

QList<QueryField> makeSongQueryFields()
{
    QList<QueryField> fields;
    for (const Offered &offered : OfferedFields)
        fields.append(describe(offered));
    return fields;
}

// ---------------------------------------------------------------------------------------
// Filter text

QString literal(QString value)
{
    return u'\'' + value.replace(u'\'', u"''"_s) + u'\'';
}

const char *comparison(QueryOperator op)
{
    switch (op) {
    case QueryOperator::IsNotEqualTo:
        return "<>";
    case QueryOperator::IsGreaterThan:
        return ">";
    case QueryOperator::IsLessThan:
        return "<";
    case QueryOperator::IsGreaterThanOrEqualTo:
        return ">=";
    case QueryOperator::IsLessThanOrEqualTo:
        return "<=";
    default:
        return "=";
    }
}

QString textCondition(const QString &name, QueryOperator op, const QString &value)
{
    const QString upperName = u"UPPER(%1)"_s.arg(name);
    const QString upperValue = u"UPPER(%1)"_s.arg(literal(value));
    // SQL counts characters by code point, and upper case may be longer than the typed
    // value ("ß" is "SS"), so the prefix is as long as the upper-case value.
    const qsizetype prefixLength = value.toUpper().toUcs4().size();
    const QString prefix = u"SUB(%1,1,%2)"_s.arg(upperName).arg(prefixLength);
    const QString position = u"INSTRING(%1, %2, 1, 1)"_s.arg(upperValue, upperName);
    switch (op) {
    case QueryOperator::BeginsWith:
        return prefix + u" = "_s + upperValue;
    case QueryOperator::DoesNotBeginWith:
        return prefix + u" <> "_s + upperValue;
    case QueryOperator::Contains:
        return position + u" > 0"_s;
    case QueryOperator::DoesNotContain:
        return position + u" = 0"_s;
    default:
        return u"%1 %2 %3"_s.arg(upperName, QLatin1StringView(comparison(op)), upperValue);
    }
}

std::optional<QString> numberCondition(const QueryField &field, QueryOperator op,
                                       const QString &value)
{
    bool readable = false;
    const QVariant number = Picture::parse(valuePicture(field)).deformat(value, &readable);
    if (!readable)
        return std::nullopt;
    return u"%1 %2 %3"_s.arg(field.name, QLatin1StringView(comparison(op)),
                             QString::number(number.toLongLong()));
}

std::optional<QString> conditionText(const QueryCondition &condition, QString *error)
{
    const QueryField *field = findQueryField(condition.field);
    if (!field) {
        *error = u"There is no field %1."_s.arg(condition.field);
        return std::nullopt;
    }
    if (!operatorsFor(*field).contains(condition.op)) {
        *error = u"%1 does not offer operator %2."_s.arg(field->label).arg(int(condition.op));
        return std::nullopt;
    }
    if (field->input == QueryInput::CheckBox)
        return field->name + (condition.op == QueryOperator::IsChecked ? u" <> 0"_s : u" = 0"_s);
    if (field->input == QueryInput::Choice &&
        !field->choices.contains(condition.value, Qt::CaseInsensitive)) {
        *error = u"%1 cannot be %2."_s.arg(field->label, condition.value);
        return std::nullopt;
    }
    if (field->kind == ValueKind::Text)
        return textCondition(field->name, condition.op, condition.value);
    const std::optional<QString> text = numberCondition(*field, condition.op, condition.value);
    if (!text)
        *error = u"%1 is not a valid value for %2."_s.arg(condition.value, field->label);
    return text;
}

// Knows exactly the names the song browser binds, so a filter that compiles here runs there.
std::optional<FilterName> browserName(const QString &upperName)
{
    static const QHash<QString, ValueKind> names = [] {
        QHash<QString, ValueKind> known;
        for (const QueryField &field : songQueryFields())
            known.insert(field.name.toUpper(), field.kind);
        known.insert(u"BRW1::SORT3:RESET:MED:MEDIA"_s, ValueKind::Text);
        known.insert(u"BRW1::SORT4:RESET:CAT:CATEGORYID"_s, ValueKind::Number);
        return known;
    }();
    const auto found = names.constFind(upperName);
    if (found == names.constEnd())
        return std::nullopt;
    FilterName name;
    name.kind = *found;
    name.value = *found == ValueKind::Text ? QVariant(QString()) : QVariant(0);
    return name;
}

QString joinWord(QueryJoin join)
{
    return join == QueryJoin::And ? u"AND"_s : u"OR"_s;
}

QString filterOrReason(const QList<QueryCondition> &conditions, QString &reason)
{
    QString filter;
    int depth = 0;
    for (const QueryCondition &condition : conditions) {
        const std::optional<QString> text = conditionText(condition, &reason);
        if (!text)
            return QString();
        if (condition.open < 0 || condition.close < 0 || condition.open > MaxQueryParentheses ||
            condition.close > MaxQueryParentheses) {
            reason = u"A condition has too many parentheses."_s;
            return QString();
        }
        depth += condition.open - condition.close;
        if (depth < 0) {
            reason = u"A parenthesis is closed that was not opened."_s;
            return QString();
        }
        if (!filter.isEmpty())
            filter += u' ' + joinWord(condition.join) + u' ';
        filter +=
            QString(condition.open, u'(') + u'(' + *text + u')' + QString(condition.close, u')');
    }
    if (depth != 0) {
        reason = u"A parenthesis is opened that is not closed."_s;
        return QString();
    }
    if (filter.size() > MaxQueryLength) {
        reason = u"The query is longer than %1 characters."_s.arg(MaxQueryLength);
        return QString();
    }
    const CompiledFilter compiled = compileFilter(filter, browserName);
    if (!compiled.ok) {
        reason = compiled.error;
        return QString();
    }
    return filter;
}

// ---------------------------------------------------------------------------------------
// Saved queries: one section per query, named by the hex of the name so that any name
// (brackets, case differences, blanks) is kept exactly; a condition per entry
// "Condition<n>=AND,MUS:Artist,7,"value"", with the parentheses it opens after the join word
// and those it closes after the value: "OR((,MUS:Artist,7,"value")".

const QString QuerySectionPrefix = u"Query "_s;
const QString LastSection = u"Last Query"_s;
const QString CountEntry = u"Conditions"_s;
const QString NameEntry = u"Name"_s;
constexpr int MaxSavedConditions = 1000;

QString conditionEntry(int number)
{
    return u"Condition%1"_s.arg(number);
}

QString sectionOf(const QString &name)
{
    return QuerySectionPrefix + QString::fromLatin1(name.toUtf8().toHex());
}

std::optional<QString> nameOfSection(const QString &section)
{
    if (!section.startsWith(QuerySectionPrefix, Qt::CaseInsensitive))
        return std::nullopt;
    const QByteArray hex = section.mid(QuerySectionPrefix.size()).toLatin1().toLower();
    const QByteArray bytes = QByteArray::fromHex(hex);
    const QString name = QString::fromUtf8(bytes);
    if (name.isEmpty() || bytes.toHex() != hex || name.toUtf8() != bytes)
        return std::nullopt;
    return name;
}

// Values are kept between quotes so that blanks at either end survive; '%' and control
// characters are escaped so that no value breaks its line.
QString quoted(const QString &value)
{
    QString text = u"\""_s;
    for (const QChar c : value) {
        if (c == u'%' || c.unicode() < 0x20 || c.unicode() == 0x7f)
            text += u'%' + QString::number(c.unicode(), 16).rightJustified(2, u'0');
        else
            text += c;
    }
    return text + u'"';
}

std::optional<QString> unquoted(QStringView text)
{
    if (text.size() < 2 || !text.startsWith(u'"') || !text.endsWith(u'"'))
        return std::nullopt;
    return QString::fromUtf8(
        QByteArray::fromPercentEncoding(text.mid(1, text.size() - 2).toUtf8()));
}

QString conditionLine(const QueryCondition &condition)
{
    return u"%1%2,%3,%4,%5%6"_s.arg(joinWord(condition.join), QString(condition.open, u'('),
                                    condition.field, QString::number(int(condition.op)),
                                    quoted(condition.value), QString(condition.close, u')'));
}

// Takes the run of `c` at the end (or, with atEnd false, the start) off `text`; its length.
int takeRun(QStringView &text, QChar c, bool atEnd)
{
    int count = 0;
    while (!text.isEmpty() && (atEnd ? text.back() : text.front()) == c) {
        text = atEnd ? text.chopped(1) : text.mid(1);
        ++count;
    }
    return count;
}

std::optional<QueryCondition> parseCondition(const QString &line)
{
    const qsizetype afterJoin = line.indexOf(u',');
    const qsizetype afterField = line.indexOf(u',', afterJoin + 1);
    const qsizetype afterOperator = line.indexOf(u',', afterField + 1);
    if (afterJoin < 0 || afterField < 0 || afterOperator < 0)
        return std::nullopt;
    QStringView joinText = QStringView(line).left(afterJoin).trimmed();
    const int open = takeRun(joinText, u'(', true);
    const QString join = joinText.trimmed().toString().toUpper();
    const QueryField *field = findQueryField(line.mid(afterJoin + 1, afterField - afterJoin - 1));
    bool isNumber = false;
    const int op = line.mid(afterField + 1, afterOperator - afterField - 1).toInt(&isNumber);
    QStringView valueText = QStringView(line).mid(afterOperator + 1).trimmed();
    const int close = takeRun(valueText, u')', true);
    const std::optional<QString> value = unquoted(valueText);
    if ((join != u"AND" && join != u"OR") || !field || !isNumber || !value)
        return std::nullopt;
    QueryCondition condition{join == u"AND" ? QueryJoin::And : QueryJoin::Or,
                             field->name,
                             QueryOperator(op),
                             *value,
                             open,
                             close};
    if (!operatorsFor(*field).contains(condition.op))
        return std::nullopt;
    return condition;
}

bool fileUnreadable(const QString &path)
{
    QFile file(path);
    return QFileInfo::exists(path) && !file.open(QIODevice::ReadOnly);
}

std::optional<QList<QueryCondition>> readQuery(const QString &section)
{
    const QString path = SavedQueries::file();
    if (fileUnreadable(path))
        return std::nullopt;
    const qint64 count = IniFile::getNumber(section, CountEntry, -1, path);
    if (count < 0 || count > MaxSavedConditions)
        return std::nullopt;
    QList<QueryCondition> conditions;
    for (int number = 1; number <= count; ++number) {
        const QString line = IniFile::get(section, conditionEntry(number), QString(), path);
        const std::optional<QueryCondition> condition = parseCondition(line);
        if (!condition)
            return std::nullopt;
        conditions.append(*condition);
    }
    QString error;
    buildFilter(conditions, &error);
    return error.isEmpty() ? std::optional(conditions) : std::nullopt;
}

// The count goes in after the conditions and conditions left over from a longer query go
// after that, so a reader never finds a count with conditions missing.
bool writeQuery(const QString &section, const QList<QueryCondition> &conditions)
{
    const QString path = SavedQueries::file();
    const qint64 oldCount = IniFile::getNumber(section, CountEntry, 0, path);
    bool written = true;
    for (int number = 1; number <= conditions.size(); ++number)
        written = written && IniFile::put(section, conditionEntry(number),
                                          conditionLine(conditions.at(number - 1)), path);
    written = written && IniFile::putNumber(section, CountEntry, conditions.size(), path);
    for (qint64 number = conditions.size() + 1; written && number <= oldCount; ++number)
        IniFile::removeEntry(section, conditionEntry(int(number)), path);
    return written;
}

} // namespace

const QList<QueryField> &songQueryFields()
{
    static const QList<QueryField> fields = makeSongQueryFields();
    return fields;
}

const QueryField *findQueryField(QStringView name)
{
    const QList<QueryField> &fields = songQueryFields();
    const auto found = std::find_if(fields.begin(), fields.end(), [name](const QueryField &f) {
        return name.trimmed().compare(f.name, Qt::CaseInsensitive) == 0;
    });
    return found == fields.end() ? nullptr : &*found;
}

QString valuePicture(const QueryField &field)
{
    return field.followsDateFormat ? Settings::global().datePicture() : field.picture;
}

QString operatorText(QueryOperator op)
{
    static const QStringList texts = {
        u"Is Equal To"_s,
        u"Is NOT Equal To"_s,
        u"Is Greater Than"_s,
        u"Is Less Than"_s,
        u"Is Greater Than or Equal To"_s,
        u"Is Less Than or Equal To"_s,
        u"Begins With"_s,
        u"Contains"_s,
        u"Does NOT Begin With"_s,
        u"Does NOT Contain"_s,
        u"Is Checked"_s,
        u"Is NOT Checked"_s,
    };
    return texts.value(int(op) - 1);
}

QList<QueryOperator> operatorsFor(const QueryField &field)
{
    auto range = [](QueryOperator first, QueryOperator last) {
        QList<QueryOperator> ops;
        for (int op = int(first); op <= int(last); ++op)
            ops.append(QueryOperator(op));
        return ops;
    };
    switch (field.input) {
    case QueryInput::CheckBox:
        return range(QueryOperator::IsChecked, QueryOperator::IsNotChecked);
    case QueryInput::Choice:
        return range(QueryOperator::IsEqualTo, QueryOperator::IsNotEqualTo);
    case QueryInput::Entry:
        break;
    }
    return field.kind == ValueKind::Text
               ? range(QueryOperator::IsEqualTo, QueryOperator::DoesNotContain)
               : range(QueryOperator::IsEqualTo, QueryOperator::IsLessThanOrEqualTo);
}

QString buildFilter(const QList<QueryCondition> &conditions, QString *error)
{
    QString reason;
    const QString filter = filterOrReason(conditions, reason);
    if (error)
        *error = reason;
    return filter;
}

QString SavedQueries::file()
{
    return Paths::inWorkingFolder(u"SPVQUERY"_s);
}

QStringList SavedQueries::names()
{
    QStringList names;
    for (const QString &section : IniFile::sections(file())) {
        const std::optional<QString> name = nameOfSection(section);
        // A deleted query leaves its empty section behind.
        if (name && !IniFile::get(section, CountEntry, QString(), file()).isEmpty())
            names.append(*name);
    }
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return a.localeAwareCompare(b) < 0; });
    return names;
}

std::optional<QList<QueryCondition>> SavedQueries::load(const QString &name)
{
    return readQuery(sectionOf(name));
}

bool SavedQueries::save(const QString &name, const QList<QueryCondition> &conditions)
{
    return !name.isEmpty() && writeQuery(sectionOf(name), conditions);
}

bool SavedQueries::remove(const QString &name)
{
    const QString section = sectionOf(name);
    const qint64 count = IniFile::getNumber(section, CountEntry, 0, file());
    if (!IniFile::removeEntry(section, CountEntry, file()))
        return false;
    for (int number = 1; number <= count; ++number)
        IniFile::removeEntry(section, conditionEntry(number), file());
    return true;
}

std::optional<SavedQuery> SavedQueries::lastFinished()
{
    const std::optional<QList<QueryCondition>> conditions = readQuery(LastSection);
    const std::optional<QString> name =
        unquoted(IniFile::get(LastSection, NameEntry, u"\"\""_s, file()));
    if (!conditions || !name)
        return std::nullopt;
    return SavedQuery{*name, *conditions};
}

bool SavedQueries::setLastFinished(const SavedQuery &query)
{
    return writeQuery(LastSection, query.conditions) &&
           IniFile::put(LastSection, NameEntry, quoted(query.name), file());
}

QString lastFinishedFilter()
{
    const std::optional<SavedQuery> last = SavedQueries::lastFinished();
    QString error;
    return last ? buildFilter(last->conditions, &error) : QString();
}

// ---------------------------------------------------------------------------------------
// One condition of the dialog: "[And/Or] [(] field operator value [)]" and its Remove
// button.

class QueryConditionRow : public QWidget
{
public:
    QueryConditionRow(std::function<void()> changed,
                      std::function<void(QueryConditionRow *)> removed);

    QueryCondition condition() const;
    void showCondition(const QueryCondition &condition);
    void setFirst(bool first) { m_join->setVisible(!first); }

private:
    void fieldChosen();
    void showValueInput(const QueryField &field);
    const QueryField &field() const;

    std::function<void()> m_changed;
    QComboBox *m_join = new QComboBox;
    QComboBox *m_open = new QComboBox;
    QComboBox *m_field = new QComboBox;
    QComboBox *m_operator = new QComboBox;
    QLineEdit *m_text = new QLineEdit;
    QComboBox *m_choice = new QComboBox;
    QComboBox *m_close = new QComboBox;
};

QueryConditionRow::QueryConditionRow(std::function<void()> changed,
                                     std::function<void(QueryConditionRow *)> removed)
    : m_changed(std::move(changed))
{
    setObjectName(u"conditionRow"_s);
    m_join->setObjectName(u"join"_s);
    m_field->setObjectName(u"field"_s);
    m_operator->setObjectName(u"operator"_s);
    m_text->setObjectName(u"value"_s);
    m_choice->setObjectName(u"choice"_s);
    m_open->setObjectName(u"open"_s);
    m_close->setObjectName(u"close"_s);
    for (int count = 0; count <= MaxQueryParentheses; ++count) {
        m_open->addItem(QString(count, u'('), count);
        m_close->addItem(QString(count, u')'), count);
    }
    m_open->setToolTip(u"Opens a group of conditions"_s);
    m_close->setToolTip(u"Closes a group of conditions"_s);
    m_join->addItem(u"And"_s, int(QueryJoin::And));
    m_join->addItem(u"Or"_s, int(QueryJoin::Or));
    QSizePolicy keepPlace = m_join->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    m_join->setSizePolicy(keepPlace);
    for (const QueryField &f : songQueryFields())
        m_field->addItem(f.label, f.name);
    for (int op = int(QueryOperator::IsEqualTo); op <= int(QueryOperator::IsNotChecked); ++op)
        m_operator->addItem(operatorText(QueryOperator(op)));
    // Every row's operator list is as wide as the widest operator, so the rows line up.
    m_operator->ensurePolished();
    m_operator->setMinimumWidth(m_operator->sizeHint().width());
    m_operator->clear();
    auto *remove = new QPushButton(u"Remove"_s);
    remove->setObjectName(u"remove"_s);
    remove->setAutoDefault(false);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget *widget : std::initializer_list<QWidget *>{m_join, m_open, m_field, m_operator,
                                                            m_text, m_choice, m_close})
        layout->addWidget(widget);
    layout->addStretch();
    layout->addWidget(remove);

    fieldChosen();
    connect(m_field, &QComboBox::currentIndexChanged, this, [this] {
        fieldChosen();
        m_changed();
    });
    for (QComboBox *combo : {m_join, m_open, m_operator, m_choice, m_close})
        connect(combo, &QComboBox::currentIndexChanged, this, [this] { m_changed(); });
    connect(m_text, &QLineEdit::textEdited, this, [this] { m_changed(); });
    connect(remove, &QPushButton::clicked, this, [this, removed] { removed(this); });
}

const QueryField &QueryConditionRow::field() const
{
    return songQueryFields().at(qMax(0, m_field->currentIndex()));
}

void QueryConditionRow::fieldChosen()
{
    const QueryField &chosen = field();
    const QVariant previous = m_operator->currentData();
    m_operator->clear();
    for (QueryOperator op : operatorsFor(chosen))
        m_operator->addItem(operatorText(op), int(op));
    m_operator->setCurrentIndex(qMax(0, m_operator->findData(previous)));
    showValueInput(chosen);
}

void QueryConditionRow::showValueInput(const QueryField &chosen)
{
    const int width = Picture::parse(valuePicture(chosen)).width();
    m_text->setMaxLength(qMax(1, width));
    const int shownCharacters = std::clamp(width, 8, 32);
    m_text->setFixedWidth(m_text->fontMetrics().averageCharWidth() * shownCharacters + 16);
    m_text->setVisible(chosen.input == QueryInput::Entry);
    m_choice->clear();
    m_choice->addItems(chosen.choices);
    m_choice->setVisible(chosen.input == QueryInput::Choice);
}

QueryCondition QueryConditionRow::condition() const
{
    const QueryField &chosen = field();
    QueryCondition condition;
    condition.join = QueryJoin(m_join->currentData().toInt());
    condition.field = chosen.name;
    condition.op = QueryOperator(m_operator->currentData().toInt());
    condition.open = m_open->currentData().toInt();
    condition.close = m_close->currentData().toInt();
    if (chosen.input == QueryInput::Entry)
        condition.value = m_text->text();
    else if (chosen.input == QueryInput::Choice)
        condition.value = m_choice->currentText();
    return condition;
}

void QueryConditionRow::showCondition(const QueryCondition &condition)
{
    m_join->setCurrentIndex(m_join->findData(int(condition.join)));
    const QueryField *chosen = findQueryField(condition.field);
    m_field->setCurrentIndex(chosen ? int(chosen - songQueryFields().constData()) : 0);
    m_operator->setCurrentIndex(qMax(0, m_operator->findData(int(condition.op))));
    m_text->setText(condition.value);
    m_open->setCurrentIndex(qMax(0, m_open->findData(condition.open)));
    m_close->setCurrentIndex(qMax(0, m_close->findData(condition.close)));
    m_choice->setCurrentIndex(qMax(0, m_choice->findText(condition.value, Qt::MatchFixedString)));
}

// ---------------------------------------------------------------------------------------

namespace {

void showInvalidQuery()
{
    ask(Message{u"Invalid Query"_s,
                u"The query you have designed is invalid.\nPlease review your query and correct "
                u"the problem."_s,
                Ok, Ok, Icon::Exclamation});
}

void showLoadError()
{
    ask(Message{u"ErrorLoadingQuery"_s,
                u"An error has prevented the Query Wizard from loading your query at this time."_s,
                Ok, Ok, Icon::Exclamation});
}

void showSaveError()
{
    ask(Message{u"Save Query"_s,
                u"The query could not be saved. Please check that the catalogue folder can be "
                u"written to."_s,
                Ok, Ok, Icon::Exclamation});
}

} // namespace

QueryBuilder *QueryBuilder::open(QWidget *parent, const QString &currentFilter, Done done)
{
    auto *dialog = new QueryBuilder(parent, std::move(done));
    dialog->restoreLast(currentFilter);
    dialog->QDialog::open();
    return dialog;
}

QueryBuilder::QueryBuilder(QWidget *parent, Done done) : QDialog(parent), m_done(std::move(done))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(u"Search Songs"_s);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(createSavedQueryBox());
    layout->addWidget(createConditionBox(), 1);
    layout->addWidget(createButtons());
    refreshSavedQueries(QString());
    resize(860, 440);
}

QWidget *QueryBuilder::createSavedQueryBox()
{
    auto *box = new QGroupBox(u"Saved Queries"_s);
    m_savedQueries = new QComboBox;
    m_savedQueries->setObjectName(u"savedQueries"_s);
    m_name = new QLineEdit;
    m_name->setObjectName(u"queryName"_s);
    m_save = new QPushButton(u"&Save"_s);
    m_save->setObjectName(u"saveQuery"_s);
    m_delete = new QPushButton(u"&Delete"_s);
    m_delete->setObjectName(u"deleteQuery"_s);
    for (QPushButton *button : {m_save, m_delete})
        button->setAutoDefault(false);
    auto *nameRow = new QHBoxLayout;
    nameRow->addWidget(m_name, 1);
    nameRow->addWidget(m_save);
    nameRow->addWidget(m_delete);
    auto *nameLabel = new QLabel(u"&Name:"_s);
    nameLabel->setBuddy(m_name);
    auto *form = new QFormLayout(box);
    form->addRow(u"&Query:"_s, m_savedQueries);
    form->addRow(nameLabel, nameRow);
    connect(m_savedQueries, &QComboBox::currentIndexChanged, this, &QueryBuilder::savedQueryChosen);
    connect(m_name, &QLineEdit::textChanged, this, &QueryBuilder::updateButtons);
    connect(m_save, &QPushButton::clicked, this, &QueryBuilder::saveQuery);
    connect(m_delete, &QPushButton::clicked, this, &QueryBuilder::deleteQuery);
    return box;
}

QWidget *QueryBuilder::createConditionBox()
{
    auto *box = new QGroupBox(u"Find the songs where"_s);
    auto *rows = new QWidget;
    m_rowLayout = new QVBoxLayout(rows);
    m_rowLayout->addStretch();
    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setWidget(rows);
    fitRowsWithoutScrolling(scroll);
    auto *add = new QPushButton(u"&Add Condition"_s);
    add->setObjectName(u"addCondition"_s);
    add->setAutoDefault(false);
    connect(add, &QPushButton::clicked, this, &QueryBuilder::addBlankRow);
    // Without parentheses And binds more tightly than Or, as in arithmetic; the note says so
    // where the conditions are built.
    auto *precedence = new QLabel(
        u"Without parentheses, And is applied before Or: \"A Or B And "
        u"C\" finds the songs that match A, and those that match both "
        u"B and C. Group conditions with the parentheses beside them to say otherwise."_s);
    precedence->setObjectName(u"precedenceNote"_s);
    precedence->setWordWrap(true);
    auto *addRow = new QHBoxLayout;
    addRow->addWidget(add);
    addRow->addWidget(precedence, 1);
    auto *layout = new QVBoxLayout(box);
    layout->addWidget(scroll, 1);
    layout->addLayout(addRow);
    return box;
}

// Wide enough for a row with the widest value box, high enough for a few rows.
void QueryBuilder::fitRowsWithoutScrolling(QScrollArea *scroll)
{
    QueryConditionRow sample([] {}, [](QueryConditionRow *) {});
    sample.showCondition(QueryCondition{QueryJoin::And, u"MUS:Artist"_s});
    const QSize row = sample.sizeHint();
    const int frame = 2 * scroll->frameWidth() + 2 * m_rowLayout->contentsMargins().left();
    const int scrollBar = scroll->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    scroll->setMinimumWidth(row.width() + frame + scrollBar);
    scroll->setMinimumHeight(3 * (row.height() + m_rowLayout->spacing()) + frame);
}

QWidget *QueryBuilder::createButtons()
{
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    auto *all = buttons->addButton(u"All &Records"_s, QDialogButtonBox::ResetRole);
    all->setObjectName(u"allRecords"_s);
    connect(buttons, &QDialogButtonBox::accepted, this, &QueryBuilder::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QueryBuilder::reject);
    connect(all, &QPushButton::clicked, this, &QueryBuilder::allRecords);
    return buttons;
}

// The last query comes back unless the browser shows another filter the rows cannot hold.
void QueryBuilder::restoreLast(const QString &currentFilter)
{
    const std::optional<SavedQuery> last = SavedQueries::lastFinished();
    QString error;
    if (!last ||
        (!currentFilter.isEmpty() && buildFilter(last->conditions, &error) != currentFilter))
        return;
    showConditions(last->conditions);
    m_name->setText(last->name);
    selectSavedQuery(last->name);
    const std::optional<QList<QueryCondition>> saved =
        m_loadedName.isEmpty() ? std::nullopt : SavedQueries::load(m_loadedName);
    m_edited = saved && *saved != last->conditions;
}

void QueryBuilder::addRow(const QueryCondition &condition)
{
    auto *row = new QueryConditionRow([this] { edited(); },
                                      [this](QueryConditionRow *removed) { removeRow(removed); });
    const bool wasShowing = std::exchange(m_showing, true);
    row->showCondition(condition);
    m_showing = wasShowing;
    row->setFirst(m_rows.empty());
    m_rowLayout->insertWidget(m_rowLayout->count() - 1, row);
    row->show(); // at once: the layout would show it only from the event loop
    m_rows.push_back(row);
}

void QueryBuilder::addBlankRow()
{
    addRow(QueryCondition{QueryJoin::And, u"MUS:Artist"_s}); // what most searches are by
    edited();
}

void QueryBuilder::removeRow(QueryConditionRow *row)
{
    m_rows.erase(std::find(m_rows.begin(), m_rows.end(), row));
    m_rowLayout->removeWidget(row);
    row->hide();
    row->deleteLater(); // its own Remove button is still being clicked
    if (!m_rows.empty())
        m_rows.front()->setFirst(true);
    edited();
}

void QueryBuilder::removeAllRows()
{
    for (QueryConditionRow *row : m_rows)
        delete row;
    m_rows.clear();
}

void QueryBuilder::showConditions(const QList<QueryCondition> &conditions)
{
    m_showing = true;
    removeAllRows();
    for (const QueryCondition &condition : conditions)
        addRow(condition);
    m_showing = false;
}

QList<QueryCondition> QueryBuilder::conditions() const
{
    QList<QueryCondition> list;
    for (const QueryConditionRow *row : m_rows)
        list.append(row->condition());
    return list;
}

void QueryBuilder::edited()
{
    if (!m_showing)
        m_edited = true;
}

void QueryBuilder::savedQueryChosen(int index)
{
    if (m_showing)
        return;
    if (index <= 0) {
        m_loadedName.clear();
        m_name->clear();
        return;
    }
    const QString name = m_savedQueries->itemText(index);
    if (m_edited && !confirmOverwrite()) {
        selectSavedQuery(m_loadedName);
        return;
    }
    loadSavedQuery(name);
}

bool QueryBuilder::confirmOverwrite()
{
    return ask(Message{u"Overwrite Query"_s,
                       u"Do you want to overwrite the query you are editing?"_s, Yes | No, No,
                       Icon::Question}) == Yes;
}

void QueryBuilder::loadSavedQuery(const QString &name)
{
    const std::optional<QList<QueryCondition>> loaded = SavedQueries::load(name);
    if (!loaded) {
        showLoadError();
        selectSavedQuery(m_loadedName);
        return;
    }
    showConditions(*loaded);
    m_name->setText(name);
    m_loadedName = name;
    m_edited = false;
}

void QueryBuilder::refreshSavedQueries(const QString &selected)
{
    m_showing = true;
    m_savedQueries->clear();
    m_savedQueries->addItem(u"Custom Query..."_s);
    m_savedQueries->addItems(SavedQueries::names());
    m_showing = false;
    selectSavedQuery(selected);
}

void QueryBuilder::selectSavedQuery(const QString &name)
{
    const int index = name.isEmpty() ? 0 : m_savedQueries->findText(name, Qt::MatchExactly);
    m_showing = true;
    m_savedQueries->setCurrentIndex(qMax(0, index));
    m_showing = false;
    m_loadedName = index > 0 ? name : QString();
    updateButtons();
}

void QueryBuilder::saveQuery()
{
    const QString name = m_name->text().trimmed();
    if (!name.isEmpty() && validFilter())
        saveUnder(name);
}

bool QueryBuilder::saveUnder(const QString &name)
{
    if (!SavedQueries::save(name, conditions())) {
        showSaveError();
        return false;
    }
    refreshSavedQueries(name);
    m_name->setText(name);
    m_edited = false;
    return true;
}

void QueryBuilder::deleteQuery()
{
    if (!SavedQueries::remove(m_name->text().trimmed()))
        return;
    refreshSavedQueries(QString());
    m_edited = !m_rows.empty(); // the rows are no longer saved anywhere
}

void QueryBuilder::updateButtons()
{
    const QString name = m_name->text().trimmed();
    m_save->setEnabled(!name.isEmpty());
    m_delete->setEnabled(!name.isEmpty() && m_savedQueries->findText(name, Qt::MatchExactly) > 0);
}

std::optional<QString> QueryBuilder::validFilter()
{
    QString error;
    const QString filter = buildFilter(conditions(), &error);
    if (!error.isEmpty()) {
        showInvalidQuery();
        return std::nullopt;
    }
    return filter;
}

void QueryBuilder::accept()
{
    const std::optional<QString> filter = validFilter();
    if (!filter)
        return;
    const QString name = m_name->text().trimmed();
    if (!name.isEmpty() && m_edited &&
        ask(Message{u"Save Query"_s, u"Would you like to save this query?"_s, Yes | No, Yes,
                    Icon::Question}) == Yes)
        saveUnder(name);
    finish(SavedQuery{name, conditions()}, *filter);
}

void QueryBuilder::allRecords()
{
    finish(SavedQuery{}, QString());
}

void QueryBuilder::finish(const SavedQuery &query, const QString &filter)
{
    // Remembering is a convenience: the search goes ahead when the file cannot be written.
    SavedQueries::setLastFinished(query);
    const Done done = std::exchange(m_done, nullptr);
    QDialog::accept();
    if (done)
        done(true, filter);
}

void QueryBuilder::reject()
{
    const Done done = std::exchange(m_done, nullptr);
    QDialog::reject();
    if (done)
        done(false, QString());
}

} // namespace sv
