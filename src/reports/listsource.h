#pragma once

#include "reportsource.h"

#include "store/fileaccess.h"
#include "store/schema.h"
#include "store/store.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace sv {

class Session;

namespace reports {

// A report that reads one table in one key order and prints a line for each record that
// passes. Records are read into a record of the report's own, so the table's shared buffer
// and position stay as the windows left them.
class ListSource : public ReportSource
{
public:
    struct Plan
    {
        TableId table = TableId::Songs;
        QList<TableId> lookups; // other tables the lines read (categories, songs)
        int key = 0;
        QString filter; // in the expression language, "" for none
        QVariant range; // the key's leading field held to this value; invalid: none
        ReportLayout layout;
        // The cells of a record's line; nothing when the record is not printed.
        std::function<std::optional<QStringList>(const Record &record, const Cursor::Row &row)>
            line;
        // After the last record (totals, writes); false when it failed (the user was told).
        std::function<bool(ReportWriter &writer)> finish;
        // The records to process when it is not the table's count.
        std::function<qint64()> records;
    };

    ListSource(Session &session, Plan plan);
    ~ListSource() override;

    bool open() override;
    qint64 recordsToProcess() override;
    ReportLayout layout() const override { return m_plan.layout; }
    void useFont(const ReportFont &font) override { m_plan.layout.setAllFonts(font); }
    Read next(ReportWriter &writer) override;
    bool finish(ReportWriter &writer) override;

    Plan &plan() { return m_plan; }

private:
    Session &m_session;
    Plan m_plan;
    TableUses m_uses;
    std::unique_ptr<View> m_view;
    Record m_record;
};

// A record filled from a row read with every field, its texts decoded.
void loadRow(Record &record, const QList<int> &fields, const Cursor::Row &row);

} // namespace reports
} // namespace sv
