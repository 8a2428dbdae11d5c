#pragma once

#include "request.h"
#include "store/fileaccess.h"
#include "store/record.h"
#include "store/table.h"

#include <QWidget>

#include <functional>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace sv {

class FieldEntry;
class Session;

// The shared behaviour of every update form: it works on a copy of the record its caller
// left in the shared buffer, primes and numbers a new record so the number is claimed
// while the form is open, confirms and runs a delete without opening its window, writes
// through the integrity routines on OK, removes the primed record on Cancel, and offers
// the history key for the values this form saved last.
class UpdateForm : public QWidget
{
    Q_OBJECT

public:
    UpdateForm(Session &session, TableId table, const QString &procedure, Request request,
               QWidget *parent = nullptr);
    ~UpdateForm() override;

    // Primes an insert or runs a delete. False when the form has already ended without a
    // window (a delete, a numbering failure); `finished` then follows.
    bool start();

    Request request() const { return m_request; }
    Record &record() { return m_record; }
    RecordPosition recordPosition() const { return m_current.position; }

    void accept(); // OK
    void cancel(); // Cancel, Esc, the close box
    bool hasEnded() const { return m_ended; }
    // Whether anything shown differs from what the form showed when it opened (or last
    // redisplayed the record): what would be lost if it were cancelled now.
    bool hasUnsavedChanges() const;
    virtual void recallHistory(); // Ctrl+' and the frame's History button
    void takeOverToolbar();
    // Why the last entry was refused, as the status bar shows it; empty once it is right.
    QString entryProblem() const { return m_entryProblem; }

Q_SIGNALS:
    // As the form ends, however it ends, before it closes and hands back its result: work
    // it started that is still under way stops here rather than act for a form that is gone.
    void ending();
    void finished(const WindowResult &result);

protected:
    // A field shown in a line edit with a picture, loaded and stored by the form. The edit
    // takes only what the picture and the stored type allow (see FieldEntry), and is
    // checked when the user leaves it and again on OK. `playingTime`: a song's length.
    void bindLineEdit(QLineEdit *edit, int field, const QString &picture = QString(),
                      bool playingTime = false);
    // A memo: at most `maxLength` characters; Tab leaves it and Ctrl+Tab types a tab.
    void bindMemo(QPlainTextEdit *edit, int maxLength);
    // Refuses an entry: a beep, the reason in the status bar and the cursor back in the
    // field, on its tab.
    void rejectEntry(QWidget *field, const QString &why);
    void showField(QWidget *field); // its tab brought forward and the cursor put in it
    // The name a field goes by in messages: its prompt without mnemonic and colon.
    QString fieldName(QWidget *field) const;
    virtual bool hasHistoryKey() const { return true; }
    // A check run when the user leaves the field for another part of the form (after the
    // entry's own check for a bound field), and again by the form's own checks on OK.
    void checkWhenLeft(QWidget *field, std::function<bool()> check);
    QWidget *firstField() const;
    QLayout *okCancelButtons(const QString &okText = QStringLiteral("&Ok"));
    Table &table() const;
    Session &session() const { return m_session; }

    // The form's own parts: the default is what bound line edits need.
    virtual void primeDefaults(Record &) {} // before the new record is numbered
    virtual void afterPriming(Record &) {}  // once it holds its number
    // The field a new record's number goes in: the single number of the primary key by
    // default; -1 when the record is not numbered (it is written with ADD on OK).
    virtual int numberField() const { return identityField(); }
    // The number a new record takes: one past the highest on file. False when the highest
    // could not be read.
    virtual bool nextNumber(qint64 &number);
    // Gives back the record primed for an insert that was cancelled; it is in the buffer
    // and current.
    virtual bool removePrimed();
    // Deletes the record of a delete request, in the buffer and current, through the
    // referential rules; false, after saying why, asks whether to try again.
    virtual bool removeRecord();
    // The checks of a field's value: a range (warning 10 naming the field and the range)
    // and presence in another table (warning 11); both put the cursor back in the field.
    bool checkRange(QWidget *field, qint64 value, qint64 lowest, qint64 highest,
                    const QString &name);
    bool checkExists(QWidget *field, Table &lookup, int key, const QString &name,
                     const QString &tableName);
    virtual void loadFields();
    virtual void storeFields();
    virtual bool checkFields() { return true; }
    virtual bool redisplayOnConflict() const { return true; }
    virtual QString title(Request request) const;
    // How the duplicate-key warning names a unique key: its full name by default.
    virtual QString duplicateKeyName(int key) const;
    // Writes a completed insert: the primed record by default. A form that writes something
    // else in its place (and removes the primed record itself) says what it wrote through
    // setWrittenRecord; false keeps the form open.
    virtual bool writeInsert();
    void setWrittenRecord(const Table::CurrentRecord &record);

    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Binding
    {
        QLineEdit *edit;
        int field;
        FieldEntry *entry;
    };

    struct LeaveCheck
    {
        QWidget *field;
        std::function<bool()> check;
    };

    void fieldLeft(QWidget *left, Qt::FocusReason reason);
    bool checkEntries();
    bool checkEntry(const Binding &binding);
    void pressDefaultButton();
    void turnTab(int step);

    enum class Claim { Claimed, AddFailed, HighestUnreadable };
    bool prime();
    Claim claimNumber();
    bool runDelete();
    bool writeChange(bool &keepOpen);
    void reportAddFailure();
    bool refuseDuplicate();
    void end(Response response, const QString &endedBy);
    int identityField() const;

    Session &m_session;
    TableId m_table;
    QString m_procedure;
    Request m_request;
    Record m_record;
    Record m_original;
    Table::CurrentRecord m_current;
    TableUse m_tableUse;
    bool m_primed = false;
    bool m_ended = false;
    bool m_placed = false;
    QList<Binding> m_bindings;
    QList<QPlainTextEdit *> m_memos;
    QList<LeaveCheck> m_leaveChecks;
    QString m_entryProblem;
    QStringList m_shownAtOpening;
    QStringList shownValues() const;
};

} // namespace sv
