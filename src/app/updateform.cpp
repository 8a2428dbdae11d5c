#include "updateform.h"

#include "fieldentry.h"
#include "mainframe.h"
#include "session.h"
#include "windowposition.h"

#include "platform/picture.h"
#include "store/errors.h"
#include "store/warnings.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolTip>

namespace sv {

namespace {

constexpr int NumberingAttempts = 3;

} // namespace

UpdateForm::UpdateForm(Session &session, TableId table, const QString &procedure, Request request,
                       QWidget *parent)
    : QWidget(parent), m_session(session), m_table(table), m_procedure(procedure),
      m_request(request), m_record(tableDef(table)), m_original(tableDef(table))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setProperty("procedure", procedure);
    qApp->installEventFilter(this);
    m_tableUse = m_session.files().use(this->table());
}

UpdateForm::~UpdateForm()
{
    if (!m_ended)
        end(Response::Cancelled, QStringLiteral("Cancel"));
}

Table &UpdateForm::table() const
{
    return m_session.store().table(m_table);
}

int UpdateForm::identityField() const
{
    const TableDef &def = tableDef(m_table);
    const int primary = def.primaryKey();
    if (primary < 0 || def.keys.at(primary).components.size() != 1)
        return -1;
    const int field = def.keys.at(primary).components.first();
    return def.fields.at(field).type == FieldType::String ? -1 : field;
}

QString UpdateForm::duplicateKeyName(int key) const
{
    const TableDef &def = tableDef(m_table);
    return def.prefix + u':' + def.keys.at(key).name;
}

bool UpdateForm::start()
{
    if (!m_tableUse) { // the open routine has told the user
        end(Response::Cancelled, QStringLiteral("Cancel"));
        return false;
    }
    m_record = table().buffer();
    m_current = table().current();
    if (m_request == Request::Delete)
        return runDelete();
    if (m_request == Request::Insert && !prime())
        return false;
    m_original = m_record;
    setWindowTitle(title(m_request));
    loadFields();
    m_shownAtOpening = shownValues();
    if (QWidget *first = firstField())
        first->setFocus();
    return true;
}

QString UpdateForm::title(Request request) const
{
    return request == Request::Insert ? QStringLiteral("Adding Information")
                                      : QStringLiteral("Changing Information");
}

bool UpdateForm::prime()
{
    primeDefaults(m_record);
    if (numberField() < 0)
        return true; // written with ADD when the form completes
    while (true) {
        for (int attempt = 0; attempt < NumberingAttempts; ++attempt) {
            switch (claimNumber()) {
            case Claim::Claimed:
                return true;
            case Claim::HighestUnreadable:
                standardWarning(warning::RecordRetrieval, tableDef(m_table).label);
                end(Response::Cancelled, QStringLiteral("Cancel"));
                return false;
            case Claim::AddFailed:
                break;
            }
        }
        if (standardWarning(warning::AutoIncrementError) != Retry) {
            end(Response::Cancelled, QStringLiteral("Cancel"));
            return false;
        }
    }
}

// The highest number plus one, added at once so that no other window takes it.
UpdateForm::Claim UpdateForm::claimNumber()
{
    Table &t = table();
    qint64 number = 0;
    if (!nextNumber(number))
        return Claim::HighestUnreadable;
    m_record.setNumber(numberField(), number);
    afterPriming(m_record);
    t.buffer() = m_record;
    if (!t.add())
        return Claim::AddFailed;
    m_current = t.current();
    m_primed = true;
    return Claim::Claimed;
}

bool UpdateForm::nextNumber(qint64 &number)
{
    qint64 highest = 0;
    if (!table().highest(tableDef(m_table).primaryKey(), identityField(), highest))
        return false;
    number = highest + 1;
    return true;
}

bool UpdateForm::removePrimed()
{
    return table().remove();
}

bool UpdateForm::removeRecord()
{
    return m_session.integrity().remove(m_table);
}

bool UpdateForm::runDelete()
{
    if (standardWarning(warning::ConfirmDelete) != Ok) {
        end(Response::Cancelled, QStringLiteral("Cancel"));
        return false;
    }
    while (true) {
        table().buffer() = m_record;
        table().setCurrent(m_current);
        if (removeRecord()) {
            end(Response::Completed, QStringLiteral("OK"));
            return false;
        }
        if (standardWarning(warning::DeleteRetry) != Yes) {
            end(Response::Cancelled, QStringLiteral("Cancel"));
            return false;
        }
    }
}

void UpdateForm::accept()
{
    if (!checkEntries())
        return;
    storeFields();
    if (!checkFields() || refuseDuplicate())
        return;
    bool keepOpen = false;
    const bool written = m_request == Request::Insert ? writeInsert() : writeChange(keepOpen);
    if (!written) {
        if (!keepOpen && m_request != Request::Insert)
            end(Response::Cancelled, QStringLiteral("Cancel"));
        return;
    }
    m_session.lastSaved().insert(m_procedure, m_record);
    end(Response::Completed, QStringLiteral("OK"));
}

bool UpdateForm::writeInsert()
{
    Table &t = table();
    t.buffer() = m_record;
    bool written;
    if (m_primed) {
        t.setCurrent(m_current);
        written = t.put();
    } else {
        written = t.add();
    }
    if (written) {
        m_current = t.current();
        return true;
    }
    reportAddFailure();
    if (QWidget *first = firstField())
        first->setFocus();
    return false;
}

void UpdateForm::setWrittenRecord(const Table::CurrentRecord &record)
{
    m_current = record;
    m_primed = false;
}

// A record that would repeat another's value in a unique key is refused before it is
// written, naming the key, and the form stays open for the user to put it right: writing it
// could only fail, and offering to retry would fail again.
bool UpdateForm::refuseDuplicate()
{
    Table &t = table();
    t.buffer() = m_record;
    t.setCurrent(m_current);
    const int key = t.duplicateKey();
    if (key < 0)
        return false;
    standardWarning(warning::DuplicateKey, duplicateKeyName(key));
    if (QWidget *first = firstField())
        first->setFocus();
    return true;
}

// A duplicate names the unique key that clashes; any other failure is an insert error.
void UpdateForm::reportAddFailure()
{
    if (errorCode() == err::DuplicateKey) {
        const int key = table().duplicateKey();
        standardWarning(warning::DuplicateKey, key >= 0 ? duplicateKeyName(key) : QString());
    } else {
        standardWarning(warning::InsertError);
    }
}

bool UpdateForm::writeChange(bool &keepOpen)
{
    keepOpen = true;
    if (m_record == m_original)
        return true;
    while (true) {
        Table &t = table();
        // The values children link to, as this form found them: another form of the same
        // table may have noted its own since.
        t.buffer() = m_original;
        m_session.integrity().saveOriginals(m_table);
        t.buffer() = m_record;
        t.setCurrent(m_current);
        const int result = m_session.integrity().update(m_table, redisplayOnConflict());
        if (result == Integrity::Written) {
            m_current = t.current();
            return true;
        }
        if (result == Integrity::ChangedElsewhere) {
            // The buffer now holds the other station's version: show it, and check the
            // next save against it.
            m_record = t.buffer();
            m_original = m_record;
            m_current = t.current();
            loadFields();
            m_shownAtOpening = shownValues();
            if (QWidget *first = firstField())
                first->setFocus();
            return false;
        }
        if (result == Integrity::DeletedElsewhere) {
            // Saving again cannot succeed: the record can only be added anew.
            const Button answer = Integrity::reportDeletedElsewhere(Integrity::Deleted::AddAgain);
            keepOpen = answer != No;
            if (answer != Yes)
                return false;
            t.buffer() = m_record;
            if (t.add()) {
                m_current = t.current();
                return true;
            }
            reportAddFailure();
            return false;
        }
        const Button answer = standardWarning(warning::UpdateRetry);
        if (answer == Yes)
            continue;
        keepOpen = answer == Cancel;
        return false;
    }
}

// Every entry the user can change, in the form's own order: what it shows now.
QStringList UpdateForm::shownValues() const
{
    QStringList values;
    for (const QWidget *widget : findChildren<QWidget *>()) {
        if (const auto *edit = qobject_cast<const QLineEdit *>(widget))
            values.append(edit->text());
        else if (const auto *memo = qobject_cast<const QPlainTextEdit *>(widget))
            values.append(memo->toPlainText());
        else if (const auto *choice = qobject_cast<const QComboBox *>(widget))
            values.append(choice->currentText());
        else if (const auto *box = qobject_cast<const QAbstractButton *>(widget);
                 box && box->isCheckable())
            values.append(box->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    }
    return values;
}

bool UpdateForm::hasUnsavedChanges() const
{
    return !m_ended && shownValues() != m_shownAtOpening;
}

void UpdateForm::cancel()
{
    end(Response::Cancelled, QStringLiteral("Cancel"));
}

void UpdateForm::end(Response response, const QString &endedBy)
{
    if (m_ended)
        return;
    m_ended = true;
    Q_EMIT ending();
    if (response == Response::Cancelled && m_primed) {
        // The number claimed for the new record is given back.
        table().buffer() = m_record;
        table().setCurrent(m_current);
        if (!removePrimed())
            standardWarning(warning::DeleteError, table().label());
    }
    if (response == Response::Completed)
        table().buffer() = m_record;
    if (!m_entryProblem.isEmpty()) // the reason goes with the form it was about
        if (auto *frame = qobject_cast<MainFrame *>(window()))
            frame->statusBar()->clearMessage();
    if (isVisible())
        saveWindowPosition(m_procedure, placementWindow(this));
    const WindowResult result{response, 0, endedBy};
    QTimer::singleShot(0, this, [this, result] {
        Q_EMIT finished(result);
        close();
    });
}

void UpdateForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_placed) {
        m_placed = true;
        restoreWindowPosition(m_procedure, placementWindow(this), false);
        m_shownAtOpening = shownValues(); // lists filled on showing are no change
    }
}

void UpdateForm::closeEvent(QCloseEvent *event)
{
    if (!m_ended)
        end(Response::Cancelled, QStringLiteral("Cancel"));
    event->accept();
}

void UpdateForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        cancel();
        return;
    }
    if (event->key() == Qt::Key_Apostrophe && (event->modifiers() & Qt::ControlModifier) &&
        hasHistoryKey()) {
        recallHistory();
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        !(event->modifiers() & ~Qt::KeypadModifier)) {
        pressDefaultButton();
        return;
    }
    if (event->modifiers() & Qt::ControlModifier) {
        switch (event->key()) {
        case Qt::Key_PageDown:
            turnTab(1);
            return;
        case Qt::Key_PageUp:
            turnTab(-1);
            return;
        default:
            break;
        }
    }
    QWidget::keyPressEvent(event);
}

// Ctrl+Tab and Ctrl+PgDn turn to the next tab of the form (Ctrl+Shift+Tab and Ctrl+PgUp to
// the one before), the cursor in its first field.
void UpdateForm::turnTab(int step)
{
    const QList<QTabWidget *> tabSheets = findChildren<QTabWidget *>();
    if (tabSheets.isEmpty() || tabSheets.first()->count() < 2)
        return;
    QTabWidget *tabs = tabSheets.first();
    tabs->setCurrentIndex((tabs->currentIndex() + step + tabs->count()) % tabs->count());
    const QList<QWidget *> fields = tabs->currentWidget()->findChildren<QWidget *>();
    for (QWidget *field : fields) {
        if ((field->focusPolicy() & Qt::TabFocus) && field->isEnabled() && field->isVisible()) {
            field->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

// Enter on a button presses that button; anywhere else, the form's default button.
void UpdateForm::pressDefaultButton()
{
    if (auto *focused = qobject_cast<QPushButton *>(QApplication::focusWidget());
        focused && isAncestorOf(focused)) {
        focused->click();
        return;
    }
    const QList<QPushButton *> buttons = findChildren<QPushButton *>();
    for (QPushButton *button : buttons) {
        if (button->isDefault() && button->isVisible() && button->isEnabled()) {
            button->click();
            return;
        }
    }
}

bool UpdateForm::eventFilter(QObject *watched, QEvent *event)
{
    // Ctrl+Tab is seen here before the work area takes it to switch windows: in a form it
    // turns the form's tabs, and in a memo it types a tab (Tab itself leaves a memo).
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        const auto *key = static_cast<QKeyEvent *>(event);
        auto *target = static_cast<QWidget *>(watched);
        const bool tabKey = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        if (tabKey && (key->modifiers() & Qt::ControlModifier) && isAncestorOf(target)) {
            for (QPlainTextEdit *memo : std::as_const(m_memos)) {
                if (memo == target || memo->isAncestorOf(target)) {
                    if (key->key() == Qt::Key_Tab)
                        memo->insertPlainText(QStringLiteral("\t"));
                    return true;
                }
            }
            if (!findChildren<QTabWidget *>().isEmpty()) {
                turnTab(key->key() == Qt::Key_Tab ? 1 : -1);
                return true;
            }
        }
    }
    if (event->type() == QEvent::FocusOut && watched->isWidgetType())
        fieldLeft(static_cast<QWidget *>(watched), static_cast<QFocusEvent *>(event)->reason());
    return QWidget::eventFilter(watched, event);
}

// A field's checks run when the user moves from it to another part of this form; going to
// another window leaves the entry as it is until the user comes back or presses OK.
void UpdateForm::fieldLeft(QWidget *left, Qt::FocusReason reason)
{
    QWidget *next = QApplication::focusWidget();
    if (m_ended || reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason ||
        !next || !isAncestorOf(next))
        return;
    const auto within = [](QWidget *field, QWidget *widget) {
        return widget == field || field->isAncestorOf(widget);
    };
    for (const LeaveCheck &leaveCheck : std::as_const(m_leaveChecks)) {
        QWidget *field = leaveCheck.field;
        if (!within(field, left) || within(field, next))
            continue;
        QTimer::singleShot(0, field, [this, field, within] {
            // Not when OK has already sent the cursor back to it.
            if (m_ended || !QApplication::focusWidget() ||
                within(field, QApplication::focusWidget()))
                return;
            for (const LeaveCheck &check : std::as_const(m_leaveChecks)) {
                if (check.field == field && !check.check())
                    return;
            }
        });
        return;
    }
}

void UpdateForm::checkWhenLeft(QWidget *field, std::function<bool()> check)
{
    m_leaveChecks.append({field, std::move(check)});
}

void UpdateForm::recallHistory()
{
    if (!hasHistoryKey())
        return;
    const auto saved = m_session.lastSaved().constFind(m_procedure);
    if (saved == m_session.lastSaved().constEnd())
        return;
    for (const Binding &binding : std::as_const(m_bindings)) {
        if (binding.edit->hasFocus())
            binding.edit->setText(binding.entry->shown(saved->value(binding.field)));
    }
}

bool UpdateForm::checkEntries()
{
    for (const Binding &binding : std::as_const(m_bindings)) {
        if (!checkEntry(binding))
            return false;
    }
    return true;
}

bool UpdateForm::checkEntry(const Binding &binding)
{
    const FieldEntry::Reading reading =
        binding.entry->read(binding.edit->text(), fieldName(binding.edit));
    if (!reading.ok) {
        rejectEntry(binding.edit, reading.why);
        return false;
    }
    if (!m_entryProblem.isEmpty() && m_entryProblem.startsWith(fieldName(binding.edit))) {
        m_entryProblem.clear();
        if (auto *frame = qobject_cast<MainFrame *>(window()))
            frame->statusBar()->clearMessage();
    }
    return true;
}

void UpdateForm::rejectEntry(QWidget *field, const QString &why)
{
    QApplication::beep();
    m_entryProblem = why;
    if (auto *frame = qobject_cast<MainFrame *>(window()))
        frame->statusBar()->showMessage(why);
    else
        QToolTip::showText(field->mapToGlobal(QPoint(0, field->height())), why, field);
    showField(field);
}

void UpdateForm::showField(QWidget *field)
{
    const QList<QTabWidget *> tabSheets = findChildren<QTabWidget *>();
    for (QTabWidget *tabs : tabSheets) {
        for (int page = 0; page < tabs->count(); ++page) {
            if (tabs->widget(page)->isAncestorOf(field))
                tabs->setCurrentIndex(page);
        }
    }
    field->setFocus();
    if (auto *edit = qobject_cast<QLineEdit *>(field))
        edit->selectAll();
}

QString UpdateForm::fieldName(QWidget *field) const
{
    const QList<QLabel *> labels = findChildren<QLabel *>();
    for (const QLabel *label : labels) {
        if (label->buddy() == field) {
            QString name = label->text().remove(u'&').trimmed();
            if (name.endsWith(u':'))
                name.chop(1);
            return name;
        }
    }
    for (const Binding &binding : m_bindings) {
        if (binding.edit == field)
            return tableDef(m_table).fields.at(binding.field).name;
    }
    return QStringLiteral("This field");
}

bool UpdateForm::checkRange(QWidget *field, qint64 value, qint64 lowest, qint64 highest,
                            const QString &name)
{
    if (value >= lowest && value <= highest)
        return true;
    standardWarning(warning::RangeError, name,
                    QString::number(lowest) + QStringLiteral(" and ") + QString::number(highest));
    showField(field);
    return false;
}

bool UpdateForm::checkExists(QWidget *field, Table &lookup, int key, const QString &name,
                             const QString &tableName)
{
    if (lookup.get(key))
        return true;
    // A look-up that could not be made (a lost server, a locked file) is not a wrong value.
    if (errorCode() == err::RecordNotFound)
        standardWarning(warning::FieldContentsError, name, tableName);
    else
        standardWarning(warning::RecordRetrieval, tableName);
    showField(field);
    return false;
}

void UpdateForm::takeOverToolbar()
{
    if (auto *frame = qobject_cast<MainFrame *>(window())) {
        if (!hasHistoryKey()) {
            frame->takeRecordButtons(this, {});
            return;
        }
        const bool hasHistory = m_session.lastSaved().contains(m_procedure);
        frame->takeRecordButtons(
            this, {{RecordButton::History, {[this] { recallHistory(); }, hasHistory, {}}}});
    }
}

void UpdateForm::bindLineEdit(QLineEdit *edit, int field, const QString &picture, bool playingTime)
{
    const FieldDef &def = tableDef(m_table).fields.at(field);
    if (def.type == FieldType::String)
        edit->setMaxLength(def.size);
    auto *entry = new FieldEntry(def, picture, playingTime, edit);
    edit->setValidator(entry);
    m_bindings.append({edit, field, entry});
    checkWhenLeft(edit, [this, edit] {
        for (const Binding &binding : std::as_const(m_bindings)) {
            if (binding.edit == edit)
                return checkEntry(binding);
        }
        return true;
    });
}

void UpdateForm::bindMemo(QPlainTextEdit *edit, int maxLength)
{
    edit->setTabChangesFocus(true);
    m_memos.append(edit);
    connect(edit, &QPlainTextEdit::textChanged, edit, [edit, maxLength] {
        const QString text = edit->toPlainText();
        if (text.size() > maxLength)
            edit->setPlainText(text.left(maxLength));
    });
}

QWidget *UpdateForm::firstField() const
{
    return m_bindings.isEmpty() ? nullptr : m_bindings.first().edit;
}

void UpdateForm::loadFields()
{
    for (const Binding &binding : std::as_const(m_bindings))
        binding.edit->setText(binding.entry->shown(m_record.value(binding.field)));
}

// Only entries that read: a refused one keeps the record's value until it is put right.
void UpdateForm::storeFields()
{
    for (const Binding &binding : std::as_const(m_bindings)) {
        const FieldEntry::Reading reading = binding.entry->read(binding.edit->text(), QString());
        if (reading.ok)
            m_record.setValue(binding.field, reading.value);
    }
}

QLayout *UpdateForm::okCancelButtons(const QString &okText)
{
    auto *ok = new QPushButton(okText);
    auto *cancelButton = new QPushButton(QStringLiteral("Cancel"));
    // A click on Cancel leaves the field being typed in, unchecked, as it is abandoned.
    cancelButton->setFocusPolicy(Qt::TabFocus);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &UpdateForm::accept);
    connect(cancelButton, &QPushButton::clicked, this, &UpdateForm::cancel);
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancelButton);
    return row;
}

} // namespace sv
