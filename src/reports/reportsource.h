#pragma once

#include "reportwriter.h"

#include <QString>

namespace sv::reports {

// The records of one report: the tables it opens, the order it reads them in, which it
// prints and how. The run calls next() until the end, a record at a time, so that it can
// show progress and be cancelled between records.
class ReportSource
{
public:
    virtual ~ReportSource() = default;

    // Opens the tables; false when one could not be opened (the user has been told).
    [[nodiscard]] virtual bool open() = 0;
    // The number the percentage is measured against.
    virtual qint64 recordsToProcess() = 0;
    virtual ReportLayout layout() const = 0;
    // The user's custom font in place of every font of the report.
    virtual void useFont(const ReportFont &font) = 0;

    enum class Read {
        Record, // one record read (printed or not)
        End,    // no more records
        Failed, // a read or a write failed; the user has been told
    };
    virtual Read next(ReportWriter &writer) = 0;
    // After the last record: the totals. False when the page could not be written.
    [[nodiscard]] virtual bool finish(ReportWriter &) { return true; }
};

} // namespace sv::reports
