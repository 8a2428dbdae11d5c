#pragma once

#include "catalogue.h"

class QMdiArea;
class QWidget;

namespace sv {

class Session;

namespace reports {

// Starts a report as its menu entry or browser button does: what it needs chosen first
// (a category, or the filter of the DJ log), the criteria window or the preview question,
// the custom font, then the run. The play-list and album reports take the record that the
// browser which started them left in the shared buffer. Returns the first window opened,
// or null when none opened (the report ended, or the first step is a message).
QWidget *startReport(Session &session, const ReportDef &report, QWidget *parent, QMdiArea *area);

// Registers a frame procedure for every report of the catalogue that has one.
void registerReportProcedures();

// The noun of the user-defined key's criteria: the user's name for that field.
QString userKeyNoun();

} // namespace reports
} // namespace sv
