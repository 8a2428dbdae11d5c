#include "listsource.h"

#include "app/session.h"
#include "store/errors.h"
#include "store/warnings.h"

namespace sv::reports {

void loadRow(Record &record, const QList<int> &fields, const Cursor::Row &row)
{
    record.clear();
    for (qsizetype i = 0; i < fields.size() && i < row.fields.size(); ++i) {
        const QVariant &stored = row.fields.at(i);
        record.setValue(fields.at(i), stored.typeId() == QMetaType::QByteArray
                                          ? QVariant(QString::fromUtf8(stored.toByteArray()))
                                          : stored);
    }
}

ListSource::ListSource(Session &session, Plan plan)
    : m_session(session), m_plan(std::move(plan)), m_record(tableDef(m_plan.table))
{}

ListSource::~ListSource()
{
    if (m_view)
        m_view->table().setReadAhead(Table::DefaultReadAhead);
}

bool ListSource::open()
{
    Store &store = m_session.store();
    Table &table = store.table(m_plan.table);
    QList<Table *> tables{&table};
    for (TableId id : std::as_const(m_plan.lookups))
        tables.append(&store.table(id));
    m_uses = m_session.files().use(tables);
    if (!m_uses)
        return false; // the open routine has told the user
    m_view = std::make_unique<View>(table, m_plan.key, m_plan.filter, &store.bindings());
    QList<int> fields;
    for (int field = 0; field < table.definition().fields.size(); ++field)
        fields.append(field);
    m_view->setFields(fields);
    if (m_plan.range.isValid())
        m_view->setRange(m_plan.range);
    // Reading ahead in key order, as a report reads its table from start to end.
    table.setReadAhead(Table::DefaultReadAhead * 5);
    if (!m_view->open()) {
        table.setReadAhead(Table::DefaultReadAhead);
        standardWarning(warning::ViewOpen, table.label());
        return false;
    }
    m_view->set();
    return true;
}

qint64 ListSource::recordsToProcess()
{
    if (m_plan.records)
        return m_plan.records();
    return m_session.store().table(m_plan.table).records();
}

ReportSource::Read ListSource::next(ReportWriter &writer)
{
    if (!m_view->next()) {
        if (errorCode() == err::RecordNotAvailable && !m_view->paused())
            return Read::End;
        if (m_view->paused())
            return Read::Record; // a sparse filter's search goes on in the next read
        standardWarning(warning::RecordRetrieval, m_view->table().label());
        return Read::Failed;
    }
    loadRow(m_record, m_view->fields(), m_view->row());
    const std::optional<QStringList> cells = m_plan.line(m_record, m_view->row());
    if (cells && !writer.detail(*cells))
        return Read::Failed;
    return Read::Record;
}

bool ListSource::finish(ReportWriter &writer)
{
    return !m_plan.finish || m_plan.finish(writer);
}

} // namespace sv::reports
