#include "app/backups.h"
#include "app/preferences.h"
#include "app/progresswindow.h"
#include "app/settings.h"
#include "catalogue.h"
#include "platform/stddate.h"
#include "store/backup.h"
#include "storecatalogue.h"
#include "testsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include <csignal>

using namespace sv;

namespace {

const QString BackupsBox = QStringLiteral("Backups");

QPushButton *button(QWidget *window, const QString &text)
{
    for (QPushButton *candidate : window->findChildren<QPushButton *>()) {
        if (candidate->text() == text)
            return candidate;
    }
    return nullptr;
}

// The fields of the Backups box, in the order they stand.
struct BackupFields
{
    explicit BackupFields(Preferences *preferences)
    {
        for (QLineEdit *edit : preferences->findChildren<QLineEdit *>()) {
            if (edit->placeholderText().endsWith(QStringLiteral("Backups")))
                folder = edit;
        }
        kept = preferences->findChild<QSpinBox *>();
        for (QCheckBox *box : preferences->findChildren<QCheckBox *>()) {
            if (box->text().startsWith(QStringLiteral("Back up the catalogue")))
                automatic = box;
        }
    }
    QLineEdit *folder = nullptr;
    QSpinBox *kept = nullptr;
    QCheckBox *automatic = nullptr;
};

// A catalogue with a few songs, as the program has it.
class Catalogue : public test::Catalogue
{
public:
    Catalogue() : test::Catalogue({TableId::Songs, TableId::Albums, TableId::Media})
    {
        settings::writeNumber(QStringLiteral("SetupWizardComplete"), 1);
        Settings::global().setupWizardComplete = 1;
        Table &songs = table(TableId::Songs);
        for (int id = 1; id <= 4; ++id) {
            test::newSong(songs, id).setText(mus::Title, QStringLiteral("Song %1").arg(id));
            QVERIFY(songs.add());
        }
    }
};

// Presses "Back Up Now" and waits until the backup has ended.
bool backUpNow(Preferences *preferences)
{
    QPushButton *now = button(preferences, QStringLiteral("Back &Up Now"));
    if (!now)
        return false;
    now->click();
    auto *progress = preferences->findChild<ProgressWindow *>();
    if (!progress)
        return true; // ended at once
    QPointer<ProgressWindow> window(progress);
    const bool ended = QTest::qWaitFor([&] { return window.isNull(); }, 30000);
    QTest::qWait(20); // what it tells comes once it has gone
    return ended;
}

} // namespace

class TestBackups : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void cleanup() { Clock::useSystemClock(); }

    // The backup settings start at their defaults, OK writes them and Cancel undoes edits.
    void settingsAreKeptByOkOnly()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        const QString chosen = catalogue.file(QStringLiteral("elsewhere"));
        QVERIFY(QDir().mkpath(chosen));

        auto *preferences = Preferences::open(catalogue.session, nullptr);
        BackupFields fields(preferences);
        QVERIFY(fields.folder && fields.kept && fields.automatic);
        QCOMPARE(fields.folder->text(), QString());
        QCOMPARE(fields.folder->placeholderText(),
                 QDir::toNativeSeparators(catalogue.file(QStringLiteral("Backups"))));
        QCOMPARE(fields.kept->value(), 10);
        QVERIFY(fields.automatic->isChecked());
        fields.folder->setText(chosen);
        fields.kept->setValue(4);
        fields.automatic->setChecked(false);
        preferences->reject();
        QCOMPARE(Settings::global().backupsKept, 10);
        QCOMPARE(Settings::global().autoBackup, 1);

        preferences = Preferences::open(catalogue.session, nullptr);
        BackupFields again(preferences);
        again.folder->setText(chosen);
        again.kept->setValue(4);
        again.automatic->setChecked(false);
        preferences->accept();
        QCOMPARE(settings::read(QStringLiteral("BackupFolder"), QString()), chosen);
        QCOMPARE(settings::readNumber(QStringLiteral("BackupsKept"), 0), 4);
        QCOMPARE(settings::readNumber(QStringLiteral("AutoBackup"), 1), 0);
        Settings::global().load();
        QCOMPARE(backupsFolder(catalogue.session), chosen);
        QVERIFY(prompter.shown.isEmpty());
    }

    // A folder typed that is not there is refused when the field is left and at OK, and
    // "Back Up Now" takes no backup into it; nothing is written to the settings.
    void missingFolderIsRefused()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        auto *preferences = Preferences::open(catalogue.session, nullptr);
        QPointer<Preferences> guard(preferences);
        BackupFields fields(preferences);
        const QString missing = catalogue.file(QStringLiteral("unplugged/disk"));
        fields.folder->setText(missing);
        Q_EMIT fields.folder->editingFinished();
        QCOMPARE(prompter.shown.size(), 1);
        QVERIFY(prompter.shown.last().text.contains(QStringLiteral("does not exist")));

        QVERIFY(backUpNow(preferences));
        QCOMPARE(prompter.shown.size(), 2);
        preferences->accept();
        QCOMPARE(prompter.shown.size(), 3);
        QVERIFY(guard); // still open, for the folder to be put right
        QCOMPARE(settings::read(QStringLiteral("BackupFolder"), QStringLiteral("unset")),
                 QStringLiteral("unset"));
        QVERIFY(!QFileInfo::exists(catalogue.file(QStringLiteral("unplugged"))));
        QVERIFY(!QFileInfo::exists(catalogue.file(QStringLiteral("Backups"))));
        fields.folder->clear();
        preferences->reject();
    }

    // "Back Up Now" takes a backup into the default folder while the catalogue stays open,
    // says where it went, and keeps only as many as the setting says.
    void backUpNowKeepsTheNewest()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        QDateTime now(QDate(2024, 3, 1), QTime(10, 0));
        Clock::setSource([&now] { return now; });
        auto *preferences = Preferences::open(catalogue.session, nullptr);
        BackupFields(preferences).kept->setValue(2);
        for (int round = 0; round < 3; ++round) {
            QVERIFY(backUpNow(preferences));
            now = now.addSecs(60);
        }
        QCOMPARE(prompter.shown.size(), 3);
        QCOMPARE(prompter.shown.last().caption, QStringLiteral("Backup"));
        QVERIFY(prompter.shown.last().text.contains(QStringLiteral("(4 songs)")));
        const QList<BackupEntry> kept = listBackups(catalogue.file(QStringLiteral("Backups")));
        QCOMPARE(kept.size(), 2);
        QCOMPARE(kept.first().taken, QDateTime(QDate(2024, 3, 1), QTime(10, 2)));
        QCOMPARE(kept.last().taken, QDateTime(QDate(2024, 3, 1), QTime(10, 1)));
        QVERIFY(catalogue.table(TableId::Songs).isOpen());
        preferences->reject();
    }

    // A run of the program that changed the catalogue ends with a backup of it; one that
    // changed nothing leaves none; one whose backup folder is gone says so as it ends.
    void programEndBacksUpChanges()
    {
        enum Run { Unchanged, Changed, FolderGone };
        for (const Run run : {Unchanged, Changed, FolderGone}) {
            test::Workspace workspace;
            settings::writeNumber(QStringLiteral("SetupWizardComplete"), 1);
            settings::writeNumber(QStringLiteral("ShowTips"), 0);
            const QString gone = workspace.file(QStringLiteral("unplugged"));
            if (run == FolderGone)
                settings::write(QStringLiteral("BackupFolder"), gone);
            QFile script(workspace.file(QStringLiteral("script.txt")));
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write("answer Ok\nsay ready\n");
            script.close();
            QProcess program;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            environment.insert(QStringLiteral("SONGVANE_TEST_SCRIPT"), script.fileName());
            program.setProcessEnvironment(environment);
            program.start(
                QDir(test::helperProgram(QString())).filePath(QStringLiteral("../../songvane")),
                {QStringLiteral("--data"), workspace.path(), QStringLiteral("--config"),
                 workspace.file(QStringLiteral("config"))});
            QVERIFY(program.waitForStarted(10000));
            QByteArray output;
            QVERIFY(QTest::qWaitFor(
                [&] {
                    program.waitForReadyRead(50);
                    output += program.readAll();
                    return output.contains("ready");
                },
                30000));
            if (run != Unchanged) {
                QProcess station;
                station.start(test::helperProgram(QStringLiteral("station")),
                              {workspace.path(), QStringLiteral("add-song"), QStringLiteral("7"),
                               QStringLiteral("Chic"), QStringLiteral("Le Freak")});
                QVERIFY(station.waitForFinished(10000));
                QCOMPARE(station.readAll().trimmed(), QByteArray("ready"));
            }
            ::kill(pid_t(program.processId()), SIGTERM);
            QVERIFY(program.waitForFinished(30000));
            QCOMPARE(program.exitCode(), 0);
            output += program.readAll();
            const QList<BackupEntry> backups =
                listBackups(workspace.file(QStringLiteral("Backups")));
            QCOMPARE(backups.size(), run == Changed ? 1 : 0);
            if (run == Changed)
                QCOMPARE(backups.first().songs, qint64(1));
            QCOMPARE(output.contains("question: Backup: The backup folder"), run == FolderGone);
            QVERIFY(!QFileInfo::exists(gone));
        }
    }
};

QTEST_MAIN(TestBackups)
#include "tst_backups.moc"
