#include "updateform.h"

#include "mainframe.h"
#include "session.h"
#include "windowposition.h"

#include "platform/picture.h"
#include "store/errors.h"
#include "store/warnings.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHash>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace sv {

namespace {

constexpr int NumberingAttempts = 3;

// The record each form saved last in this run, for the history key.
QHash<QString, Record> &lastSaved()
{
    static QHash<QString, Record> records;
    return records;
}

QString shown(const QVariant &value, const QString &picture)
{
    if (picture.isEmpty())
        return value.toString();
    return format(value, picture).trimmed();
}

QVariant entered(const QString &text, const QString &picture, FieldType type)
{
    if (!picture.isEmpty() && type != FieldType::String)
        return deformat(text, picture);
    return text;
}

} // namespace

UpdateForm::UpdateForm(Session &session, TableId table, const QString &procedure, Request request,
                       QWidget *parent)
    : QWidget(parent), m_session(session), m_table(table), m_procedure(procedure),
      m_request(request), m_record(tableDef(table)), m_original(tableDef(table))
{
    setAttribute(Qt::WA_DeleteOnClose);
    m_session.files().access(this->table());
}

UpdateForm::~UpdateForm()
{
    if (!m_ended)
        end(Response::Cancelled, QStringLiteral("Cancel"));
    m_session.files().release(table());
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
    m_record = table().buffer();
    m_current = table().current();
    if (m_request == Request::Delete)
        return runDelete();
    if (m_request == Request::Insert && !prime())
        return false;
    m_original = m_record;
    setWindowTitle(title(m_request));
    loadFields();
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
    if (identityField() < 0)
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
    const int field = identityField();
    qint64 highest = 0;
    if (!t.highest(tableDef(m_table).primaryKey(), field, highest))
        return Claim::HighestUnreadable;
    m_record.setNumber(field, highest + 1);
    afterPriming(m_record);
    t.buffer() = m_record;
    if (!t.add())
        return Claim::AddFailed;
    m_current = t.current();
    m_primed = true;
    return Claim::Claimed;
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
        if (m_session.integrity().remove(m_table)) {
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
    storeFields();
    if (!checkFields())
        return;
    bool keepOpen = false;
    const bool written = m_request == Request::Insert ? writeInsert() : writeChange(keepOpen);
    if (!written) {
        if (!keepOpen && m_request != Request::Insert)
            end(Response::Cancelled, QStringLiteral("Cancel"));
        return;
    }
    lastSaved().insert(m_procedure, m_record);
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
    if (errorCode() == err::DuplicateKey) {
        const int key = t.duplicateKey();
        standardWarning(warning::DuplicateKey, key >= 0 ? duplicateKeyName(key) : QString());
    } else {
        standardWarning(warning::InsertError);
    }
    if (QWidget *first = firstField())
        first->setFocus();
    return false;
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
            if (QWidget *first = firstField())
                first->setFocus();
            return false;
        }
        const Button answer = standardWarning(warning::UpdateRetry);
        if (answer == Yes)
            continue;
        keepOpen = answer == Cancel;
        return false;
    }
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
    if (response == Response::Cancelled && m_primed) {
        // The number claimed for the new record is given back.
        table().setCurrent(m_current);
        table().remove();
    }
    if (response == Response::Completed)
        table().buffer() = m_record;
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
        placementWindow(this)->setMinimumSize(placementWindow(this)->size());
        restoreWindowPosition(m_procedure, placementWindow(this), false);
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
    if (event->key() == Qt::Key_Apostrophe && (event->modifiers() & Qt::ControlModifier)) {
        recallHistory();
        return;
    }
    QWidget::keyPressEvent(event);
}

void UpdateForm::recallHistory()
{
    const auto saved = lastSaved().constFind(m_procedure);
    if (saved == lastSaved().constEnd())
        return;
    for (const Binding &binding : std::as_const(m_bindings)) {
        if (binding.edit->hasFocus())
            binding.edit->setText(shown(saved->value(binding.field), binding.picture));
    }
}

bool UpdateForm::checkRange(QWidget *field, qint64 value, qint64 lowest, qint64 highest,
                            const QString &name)
{
    if (value >= lowest && value <= highest)
        return true;
    standardWarning(warning::RangeError, name,
                    QString::number(lowest) + QStringLiteral(" and ") + QString::number(highest));
    field->setFocus();
    return false;
}

bool UpdateForm::checkExists(QWidget *field, Table &lookup, int key, const QString &name,
                             const QString &tableName)
{
    if (lookup.get(key))
        return true;
    standardWarning(warning::FieldContentsError, name, tableName);
    field->setFocus();
    return false;
}

void UpdateForm::takeOverToolbar()
{
    if (auto *frame = qobject_cast<MainFrame *>(window())) {
        const bool hasHistory = lastSaved().contains(m_procedure);
        frame->takeRecordButtons(
            this, {{RecordButton::History, {[this] { recallHistory(); }, hasHistory, {}}}});
    }
}

void UpdateForm::bindLineEdit(QLineEdit *edit, int field, const QString &picture)
{
    const FieldDef &def = tableDef(m_table).fields.at(field);
    if (def.type == FieldType::String)
        edit->setMaxLength(def.size);
    m_bindings.append({edit, field, picture});
}

QWidget *UpdateForm::firstField() const
{
    return m_bindings.isEmpty() ? nullptr : m_bindings.first().edit;
}

void UpdateForm::loadFields()
{
    for (const Binding &binding : std::as_const(m_bindings))
        binding.edit->setText(shown(m_record.value(binding.field), binding.picture));
}

void UpdateForm::storeFields()
{
    const TableDef &def = tableDef(m_table);
    for (const Binding &binding : std::as_const(m_bindings))
        m_record.setValue(binding.field, entered(binding.edit->text(), binding.picture,
                                                 def.fields.at(binding.field).type));
}

QLayout *UpdateForm::okCancelButtons(const QString &okText)
{
    auto *ok = new QPushButton(okText);
    auto *cancelButton = new QPushButton(QStringLiteral("Cancel"));
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
