#pragma once

#include "schema.h"

#include <QList>
#include <QStringList>
#include <QVariant>

namespace sv {

// One record buffer: the fields of a table plus its memos. Text fields hold at most their
// width in characters and are cut when longer; numbers wrap to their stored type the way
// a fixed-size field would.
class Record
{
public:
    explicit Record(const TableDef &definition);

    const TableDef &definition() const { return *m_definition; }

    QString text(int field) const;
    qint64 number(int field) const;
    QVariant value(int field) const { return m_values.at(field); }
    void setText(int field, const QString &text);
    void setNumber(int field, qint64 number);
    void setValue(int field, const QVariant &value); // converts to the field's type

    QString memo(int memo) const { return m_memos.at(memo); }
    void setMemo(int memo, const QString &text);

    // By name, "MUS:Artist" or "Artist" in any case; false when the name is unknown.
    bool setValue(QStringView name, const QVariant &value);
    std::optional<QVariant> value(QStringView name) const;

    // Takes values as the store read them (already fitted).
    void loadStored(QVariantList &&fields, QStringList &&memos);

    bool isBlank(int field) const; // blank text or zero
    void clear();                  // blank text, zero numbers, empty memos

    bool operator==(const Record &other) const;
    bool operator!=(const Record &other) const { return !(*this == other); }
    Record &operator=(const Record &other);
    Record(const Record &other) = default;

private:
    const TableDef *m_definition;
    QList<QVariant> m_values;
    QStringList m_memos;
};

// The stored form of a text: trailing blanks dropped, cut to the width.
QString fitText(const QString &text, int width);
qint64 fitNumber(FieldType type, int size, qint64 value);

} // namespace sv
