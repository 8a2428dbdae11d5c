#include "app/session.h"
#include "app/settings.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>

using namespace sv;

namespace {

// The real program on a catalogue of its own, driven by a test script, with a new song
// typed into its song form.
class RunningProgram
{
public:
    explicit RunningProgram(const QStringList &answers)
    {
        settings::writeNumber(QStringLiteral("SetupWizardComplete"), 1);
        settings::writeNumber(QStringLiteral("ShowTips"), 0);
        QFile script(workspace.file(QStringLiteral("script.txt")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        QStringList lines = {QStringLiteral("open BrowseSongs"), QStringLiteral("press &Add"),
                             QStringLiteral("type &Title:=Le Freak")};
        for (const QString &answer : answers)
            lines.append(QStringLiteral("answer ") + answer);
        lines.append(QStringLiteral("say ready"));
        script.write(lines.join(u'\n').toUtf8());
        script.close();

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("SONGVANE_TEST_SCRIPT"), script.fileName());
        process.setProcessEnvironment(environment);
        process.start(
            QDir(test::helperProgram(QString())).filePath(QStringLiteral("../../songvane")),
            {QStringLiteral("--data"), workspace.path(), QStringLiteral("--config"),
             workspace.file(QStringLiteral("config"))});
        QVERIFY(process.waitForStarted(10000));
        QVERIFY(waitForLine("ready"));
    }
    ~RunningProgram()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    bool waitForLine(const QByteArray &start)
    {
        for (int i = 0; i < 300; ++i) {
            while (process.canReadLine()) {
                const QByteArray line = process.readLine();
                output += line;
                if (line.startsWith(start))
                    return true;
            }
            process.waitForReadyRead(100);
        }
        return false;
    }
    void terminate() { ::kill(pid_t(process.processId()), SIGTERM); }
    bool ended() { return process.waitForFinished(15000) && process.exitCode() == 0; }

    // The songs on file, read once the program has ended.
    QStringList songTitles()
    {
        Session session(workspace.path());
        session.announceTables();
        Table &songs = session.store().table(TableId::Songs);
        const TableUse use = session.files().use(songs);
        QStringList titles;
        songs.setFileOrder();
        while (songs.next())
            titles.append(songs.buffer().text(mus::Title));
        return titles;
    }

    test::Workspace workspace;
    QProcess process;
    QByteArray output;
};

const QByteArray Question = "question: Adding Information: Do you want to save the changes";

} // namespace

class TestTermination : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // SIGTERM with a changed form open: the form asks; Yes saves the song through OK and
    // the program ends.
    void yesSavesTheForm()
    {
        RunningProgram program({QStringLiteral("Yes")});
        program.terminate();
        QVERIFY(program.waitForLine(Question));
        QVERIFY(program.ended());
        QCOMPARE(program.songTitles(), QStringList{QStringLiteral("Le Freak")});
    }

    // No leaves nothing behind: not the song, nor the record its number was claimed with.
    void noDropsTheChanges()
    {
        RunningProgram program({QStringLiteral("No")});
        program.terminate();
        QVERIFY(program.waitForLine(Question));
        QVERIFY(program.ended());
        QCOMPARE(program.songTitles(), QStringList());
    }

    // Cancel keeps the program running with the form; a second SIGTERM then ends it, and
    // says which changes it did not keep.
    void cancelKeepsItRunningUntilASecondSignal()
    {
        RunningProgram program({QStringLiteral("Cancel")});
        program.terminate();
        QVERIFY(program.waitForLine(Question));
        QVERIFY(!program.process.waitForFinished(1000));
        program.terminate();
        QVERIFY(program.ended());
        QVERIFY(program.process.readAllStandardError().contains(
            "the changes in \"Adding Information\" were not saved"));
        QCOMPARE(program.songTitles(), QStringList());
    }

    // A second SIGTERM while the question is on screen ends the program too.
    void secondSignalWhileTheQuestionIsUp()
    {
        RunningProgram program({});
        program.terminate();
        QVERIFY(program.waitForLine(Question));
        QVERIFY(!program.process.waitForFinished(500)); // the question waits for the user
        program.terminate();
        QVERIFY(program.ended());
        QVERIFY(program.process.readAllStandardError().contains("were not saved"));
        QCOMPARE(program.songTitles(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestTermination)
#include "tst_termination.moc"
