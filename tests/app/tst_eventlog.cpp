#include "app/eventlog.h"
#include "app/settings.h"
#include "platform/stddate.h"
#include "testsupport.h"

#include <QFile>
#include <QLocale>
#include <QTest>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

QStringList logLines(const test::Workspace &workspace)
{
    QFile file(workspace.file(u"SVPEvent.LOG"_s));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

class TestEventLog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QLocale::setDefault(QLocale::c());
        Clock::setSource([] { return QDateTime(QDate(1959, 10, 31), QTime(14, 3, 5)); });
        Settings::global().useLog = 1;
    }

    void cleanup()
    {
        resetEventLog();
        Clock::useSystemClock();
        Settings::global().useLog = 0;
    }

    // Every line has the same columns whatever the texts: cut when longer, line breaks in
    // a text blanked, accented letters counted as one column each, CRLF at the end.
    void linesAreFixedWidth()
    {
        test::Workspace workspace;
        logEvent(u"Start"_s, u"Version 1.8g"_s);
        logEvent(QString(40, u'L'), u"one\r\ntwo\t"_s + QString(60, u'd'));
        logEvent(u"Björk"_s, u"Jóga – Homogenic"_s);
        resetEventLog();

        const QStringList lines = logLines(workspace);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines.at(0), u"OCT 31,1959 14:03:05  "_s + u"Start"_s.leftJustified(30) +
                                  u"Version 1.8g"_s.leftJustified(50) + u"\r"_s);
        QCOMPARE(lines.at(1).mid(22, 30), QString(30, u'L'));
        QCOMPARE(lines.at(1).mid(52, 50), (u"one  two "_s + QString(60, u'd')).left(50));
        QCOMPARE(lines.at(2).mid(22, 5), u"Björk"_s);
        QCOMPARE(lines.at(2).mid(52, 16), u"Jóga – Homogenic"_s);
        for (const QString &line : lines)
            QCOMPARE(line.size(), 12 + 10 + 30 + 50 + 1);
    }

    // The file is closed after the 101st line and reopened for the next one, each line
    // written at once; what the file held before stays. With the log off nothing happens.
    void closedEveryHundredAndOneLines()
    {
        test::Workspace workspace;
        Settings::global().useLog = 0;
        logEvent(u"Off"_s, QString());
        QVERIFY(!eventLogOpen());
        QVERIFY(!QFile::exists(workspace.file(u"SVPEvent.LOG"_s)));

        Settings::global().useLog = 1;
        QFile existing(workspace.file(u"SVPEvent.LOG"_s));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("earlier\r\n");
        existing.close();
        for (int i = 1; i <= 100; ++i)
            logEvent(u"Event"_s, QString::number(i));
        QVERIFY(eventLogOpen());
        QCOMPARE(logLines(workspace).size(), 101);
        logEvent(u"Event"_s, u"101"_s);
        QVERIFY(!eventLogOpen());
        logEvent(u"Event"_s, u"102"_s);
        QVERIFY(eventLogOpen());

        const QStringList lines = logLines(workspace);
        QCOMPARE(lines.size(), 103);
        QCOMPARE(lines.first(), u"earlier\r"_s);
        QVERIFY(lines.last().mid(52).startsWith(u"102 "_s));
    }
};

QTEST_GUILESS_MAIN(TestEventLog)
#include "tst_eventlog.moc"
