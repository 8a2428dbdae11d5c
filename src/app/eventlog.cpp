#include "eventlog.h"

#include "platform/paths.h"
#include "platform/picture.h"
#include "platform/stddate.h"
#include "settings.h"
#include "store/schema.h"

#include <QFile>

namespace sv {

namespace {

constexpr int LinesPerOpening = 100; // the file is closed once the count goes past this

struct EventLog
{
    QFile file;
    int lines = 0;
};

EventLog &eventLog()
{
    static EventLog log;
    return log;
}

// Exactly `width` characters: control characters blanked, cut without splitting a
// surrogate pair, padded with blanks.
QString column(const QString &text, int width)
{
    QString fitted = text.left(width);
    if (fitted.size() == width && fitted.back().isHighSurrogate())
        fitted.chop(1);
    for (QChar &c : fitted) {
        if (c.category() == QChar::Other_Control)
            c = u' ';
    }
    return fitted.leftJustified(width, u' ');
}

QString logLine(const QString &label, const QString &data)
{
    const QList<FieldDef> &fields = eventLogDef().fields;
    return column(format(today(), u"@d3"), fields.at(evl::LogDate).size) +
           column(format(sv::clock(), u"@t7"), fields.at(evl::LogTime).size) +
           column(label, fields.at(evl::LogLabel).size) +
           column(data, fields.at(evl::LogData).size) + QStringLiteral("\r\n");
}

void openLog(QFile &file)
{
    file.setFileName(Paths::inWorkingFolder(eventLogDef().fileName));
    file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
}

} // namespace

void logEvent(const QString &label, const QString &data)
{
    if (Settings::global().useLog != 1)
        return;
    EventLog &log = eventLog();
    if (log.lines == 0)
        openLog(log.file);
    ++log.lines;
    if (log.file.isOpen())
        log.file.write(logLine(label, data).toUtf8());
    if (log.lines > LinesPerOpening)
        resetEventLog();
}

bool eventLogOpen()
{
    return eventLog().file.isOpen();
}

void resetEventLog()
{
    EventLog &log = eventLog();
    log.file.close();
    log.lines = 0;
}

} // namespace sv
