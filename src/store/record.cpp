#include "record.h"

namespace sv {

QString fitText(const QString &text, int width)
{
    QString fitted = text.size() > width ? text.left(width) : text;
    qsizetype end = fitted.size();
    while (end > 0 && fitted.at(end - 1) == u' ')
        --end;
    fitted.truncate(end);
    return fitted;
}

qint64 fitNumber(FieldType type, int size, qint64 value)
{
    switch (type) {
    case FieldType::Byte:
        return value & 0xFF;
    case FieldType::Long:
        return qint32(quint32(quint64(value)));
    case FieldType::Decimal: {
        qint64 limit = 1;
        for (int digit = 0; digit < 2 * size - 1; ++digit)
            limit *= 10;
        return value % limit;
    }
    case FieldType::String:
        break;
    }
    return value;
}

Record::Record(const TableDef &definition) : m_definition(&definition)
{
    m_values.resize(definition.fields.size());
    for (int memo = 0; memo < definition.memos.size(); ++memo)
        m_memos.append(QString());
    clear();
}

Record &Record::operator=(const Record &other)
{
    Q_ASSERT(m_definition->id == other.m_definition->id);
    m_values = other.m_values;
    m_memos = other.m_memos;
    return *this;
}

QString Record::text(int field) const
{
    const QVariant &v = m_values.at(field);
    return v.typeId() == QMetaType::QString ? v.toString() : QString::number(v.toLongLong());
}

qint64 Record::number(int field) const
{
    return m_values.at(field).toLongLong();
}

void Record::setText(int field, const QString &text)
{
    const FieldDef &def = m_definition->fields.at(field);
    if (def.type == FieldType::String)
        m_values[field] = fitText(text, def.size);
    else
        setNumber(field, text.trimmed().toLongLong());
}

void Record::setNumber(int field, qint64 number)
{
    const FieldDef &def = m_definition->fields.at(field);
    if (def.type == FieldType::String)
        m_values[field] = fitText(QString::number(number), def.size);
    else
        m_values[field] = fitNumber(def.type, def.size, number);
}

void Record::setValue(int field, const QVariant &value)
{
    if (m_definition->fields.at(field).type == FieldType::String)
        setText(field, value.toString());
    else if (value.typeId() == QMetaType::QString)
        setText(field, value.toString());
    else
        setNumber(field,
                  qint64(value.toDouble() >= 0 ? value.toDouble() + 0.5 : value.toDouble() - 0.5));
}

void Record::setMemo(int memo, const QString &text)
{
    m_memos[memo] = text.left(m_definition->memos.at(memo).maxLength);
}

bool Record::setValue(QStringView name, const QVariant &value)
{
    if (const int field = m_definition->fieldIndex(name); field >= 0) {
        setValue(field, value);
        return true;
    }
    if (const int memo = m_definition->memoIndex(name); memo >= 0) {
        setMemo(memo, value.toString());
        return true;
    }
    return false;
}

std::optional<QVariant> Record::value(QStringView name) const
{
    if (const int field = m_definition->fieldIndex(name); field >= 0)
        return m_values.at(field);
    if (const int memo = m_definition->memoIndex(name); memo >= 0)
        return QVariant(m_memos.at(memo));
    return std::nullopt;
}

void Record::loadStored(QVariantList &&fields, QStringList &&memos)
{
    Q_ASSERT(fields.size() == m_values.size() && memos.size() == m_memos.size());
    m_values = std::move(fields);
    m_memos = std::move(memos);
}

bool Record::isBlank(int field) const
{
    const QVariant &v = m_values.at(field);
    return v.typeId() == QMetaType::QString ? v.toString().isEmpty() : v.toLongLong() == 0;
}

void Record::clear()
{
    for (int field = 0; field < m_values.size(); ++field) {
        if (m_definition->fields.at(field).type == FieldType::String)
            m_values[field] = QString();
        else
            m_values[field] = qint64(0);
    }
    for (QString &memo : m_memos)
        memo.clear();
}

bool Record::operator==(const Record &other) const
{
    return m_definition->id == other.m_definition->id && m_values == other.m_values &&
           m_memos == other.m_memos;
}

} // namespace sv
