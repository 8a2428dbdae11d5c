#pragma once

#include "store/filter.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class QComboBox;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace sv {

// How the value of a condition is given.
enum class QueryInput {
    Entry,    // typed, read through the field's picture when the field is a number
    CheckBox, // no value: the field is on (not zero) or off
    Choice,   // one of a fixed list of texts
};

// A song field the user can search on.
struct QueryField
{
    QString label;
    QString name;    // as written in filters: "MUS:Artist"
    QString picture; // also gives the most characters a value may have
    int size = 0;    // bytes stored
    ValueKind kind = ValueKind::Text;
    QueryInput input = QueryInput::Entry;
    QString checkBoxText;           // CheckBox only
    QStringList choices;            // Choice only
    bool followsDateFormat = false; // typed in the user's date format, as the song form has it
};

// In the order the dialog offers them, described by the schema. Two are fields of the
// records a song links to: CAT:Category, the name of the song's category, and MED:Media, the
// media format the song's media names.
const QList<QueryField> &songQueryFields();
const QueryField *findQueryField(QStringView name); // by name, any case; null if unknown

enum class QueryOperator {
    IsEqualTo = 1,
    IsNotEqualTo,
    IsGreaterThan,
    IsLessThan,
    IsGreaterThanOrEqualTo,
    IsLessThanOrEqualTo,
    BeginsWith,
    Contains,
    DoesNotBeginWith,
    DoesNotContain,
    IsChecked,
    IsNotChecked,
};

// The picture a value for the field is typed in at this moment.
QString valuePicture(const QueryField &field);

QString operatorText(QueryOperator op);
QList<QueryOperator> operatorsFor(const QueryField &field);

enum class QueryJoin { And, Or };

struct QueryCondition
{
    QueryJoin join = QueryJoin::And; // how it joins what comes before; ignored on the first
    QString field;                   // a QueryField name
    QueryOperator op = QueryOperator::IsEqualTo;
    QString value; // as the user typed it; ignored by check boxes
    int open = 0;  // parentheses opened before the condition
    int close = 0; // and closed after it

    bool operator==(const QueryCondition &other) const = default;
};

inline constexpr int MaxQueryLength = 1024;
inline constexpr int MaxQueryParentheses = 3; // on one side of one condition

// The filter expression for the conditions, each in parentheses, joined in order by AND and
// OR and grouped by the user's parentheses. Where parentheses do not say otherwise, AND binds
// more tightly than OR, as in the filter language: "A OR B AND C" is "A OR (B AND C)", and
// "A AND B OR C" is "(A AND B) OR C". No conditions give "", the filter of all records. A
// condition the expression cannot hold (unknown field, an operator the field does not offer,
// a value its picture cannot read), parentheses that do not pair up, a result longer than
// MaxQueryLength or one that does not compile gives "" with the reason in *error; *error is
// cleared on success. Typed values are literals of the expression, which the store binds
// as parameters: they never become SQL text.
QString buildFilter(const QList<QueryCondition> &conditions, QString *error);

struct SavedQuery
{
    QString name;
    QList<QueryCondition> conditions;
};

// Named queries and the last query the user finished, kept in "SPVQUERY" in the working
// folder. Each read goes to the file, so queries saved by another station show up.
class SavedQueries
{
public:
    static QString file();
    static QStringList names(); // in alphabetical order
    // nullopt when the query is missing, damaged or the file cannot be read.
    static std::optional<QList<QueryCondition>> load(const QString &name);
    static bool save(const QString &name, const QList<QueryCondition> &conditions);
    static bool remove(const QString &name);

    static std::optional<SavedQuery> lastFinished(); // name is "" for an unnamed query
    static bool setLastFinished(const SavedQuery &query);
};

// The filter of the last query finished in the dialog; "" when there is none or it no
// longer builds.
QString lastFinishedFilter();

class QueryConditionRow;

// The song search dialog: a list of conditions the user builds, with saved queries.
class QueryBuilder : public QDialog
{
    Q_OBJECT

public:
    using Done = std::function<void(bool finished, const QString &filter)>;

    // Opens the dialog (modal, without waiting). `done` runs once: with the filter on OK or
    // All Records, with (false, "") on Cancel. The last finished query is shown again unless
    // the browser's current filter is another, non-empty one.
    static QueryBuilder *open(QWidget *parent, const QString &currentFilter, Done done);

public Q_SLOTS:
    void accept() override; // OK
    void reject() override; // Cancel, Escape and the close box

private:
    QueryBuilder(QWidget *parent, Done done);
    QWidget *createSavedQueryBox();
    QWidget *createConditionBox();
    void fitRowsWithoutScrolling(QScrollArea *scroll);
    QWidget *createButtons();
    void restoreLast(const QString &currentFilter);

    void addRow(const QueryCondition &condition);
    void addBlankRow();
    void removeRow(QueryConditionRow *row);
    void removeAllRows();
    void showConditions(const QList<QueryCondition> &conditions);
    QList<QueryCondition> conditions() const;
    void edited();

    void savedQueryChosen(int index);
    bool confirmOverwrite();
    void loadSavedQuery(const QString &name);
    void refreshSavedQueries(const QString &selected);
    void selectSavedQuery(const QString &name);
    void saveQuery();
    bool saveUnder(const QString &name);
    void deleteQuery();
    void updateButtons();

    std::optional<QString> validFilter();
    void allRecords();
    void finish(const SavedQuery &query, const QString &filter);

    Done m_done;
    std::vector<QueryConditionRow *> m_rows;
    bool m_edited = false;  // since the last load or save
    bool m_showing = false; // filling the widgets: not the user's edits
    QString m_loadedName;   // the saved query the combo shows, "" for a custom query

    QComboBox *m_savedQueries = nullptr;
    QLineEdit *m_name = nullptr;
    QPushButton *m_save = nullptr;
    QPushButton *m_delete = nullptr;
    QVBoxLayout *m_rowLayout = nullptr;
};

} // namespace sv
