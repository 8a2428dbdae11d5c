#pragma once

#include "reportcriteria.h"
#include "reportsource.h"

#include "app/session.h"

#include <QList>
#include <QString>

#include <memory>

namespace sv::reports {

// What a report needs chosen before it runs, beyond the criteria.
enum class Needs {
    Nothing,
    Category, // one category, chosen in the category list first
    Playlist, // the play list highlighted in the play-list browser
    Album,    // the album highlighted in the album browser
    Query,    // a filter built in the query builder
};

// One report of the catalogue.
struct ReportDef
{
    QString title;         // the command line's name; the printed title unless it is built
    QString procedure;     // the frame's menu procedure, "" when only a browser starts it
    QString noun;          // the criteria window's noun; "" when it asks the preview question
    QString fontOrder;     // the order name of its custom font keys, "" for none
    bool briefFont = true; // the brief twin has font keys of its own
    bool hasBrief = true;
    Needs needs = Needs::Nothing;
};

// How one run goes: the twin, the criteria and what was chosen first.
struct RunChoice
{
    bool brief = false;
    ReportCriteria criteria;
    qint64 id = 0;  // the category, play list or album
    QString name;   // the category's name or the play list's description
    QString filter; // the query builder's filter
};

const QList<ReportDef> &reportCatalogue();
const ReportDef *findReport(QStringView title);        // any case; null when unknown
const ReportDef *reportForProcedure(QStringView name); // null when unknown

// The report's source for one run. The custom font, when the criteria ask for one, is
// applied by the caller through the layout.
std::unique_ptr<ReportSource> makeSource(Session &session, const ReportDef &report,
                                         const RunChoice &choice);

// Printed values.
// A song's playing time as five characters: total minutes right-aligned in two places, a
// colon and two-digit seconds; blanks for no time.
QString songTime(qint64 time);
// A release date: the date, or the year when it holds only a year, blank for none.
QString releaseDate(qint64 value, QStringView datePicture);
// The year of a release date, the stored year, or " --" for none.
QString releaseYear(qint64 value);
// Whether a song is left out of the reports that test songs.
bool songLeftOut(const Record &song);

// The chart print's marks.
QString lastWeekText(const QString &notes); // "--" without a tag
QString movementMark(qint64 position, const QString &lastWeek);

} // namespace sv::reports
