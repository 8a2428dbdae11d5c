#include "app/preferences.h"
#include "app/progresswindow.h"
#include "app/session.h"
#include "app/settings.h"
#include "app/setupwizard.h"
#include "platform/inifile.h"
#include "platform/paths.h"
#include "testsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

template <typename Control> Control *control(QWidget *window, const QString &text)
{
    for (Control *candidate : window->findChildren<Control *>()) {
        if (candidate->text() == text)
            return candidate;
    }
    qFatal("no control %s", qPrintable(text));
}

QLineEdit *field(QWidget *window, const QString &label)
{
    return qobject_cast<QLineEdit *>(control<QLabel>(window, label)->buddy());
}

QString stored(const QString &entry)
{
    return IniFile::get(settings::Section, entry, u"<none>"_s, Paths::settingsFile());
}

// Settings as a finished setup leaves them, plus the given entries.
void storeSettings(const QStringList &entries)
{
    settings::writeNumber(u"SetupWizardComplete"_s, 1);
    for (const QString &entry : entries)
        settings::write(entry.section(u'=', 0, 0), entry.section(u'=', 1));
    Settings::global().load();
}

SetupWizard *visibleWizard()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *wizard = qobject_cast<SetupWizard *>(widget); wizard && wizard->isVisible())
            return wizard;
    }
    return nullptr;
}

} // namespace

class TestPreferences : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { Preferences::setFileChooser({}); }

    // Closing Preferences while a housekeeping process runs asks first: No keeps both open
    // and the album build runs to its end; Yes stops the link test (what it wrote is
    // committed) and closes.
    void closingDuringAnAlbumBuild()
    {
        test::ScriptedPrompter prompter;
        test::Workspace workspace;
        Session session(workspace.path());
        session.announceTables();
        storeSettings({});
        Table &songs = session.store().table(TableId::Songs);
        Table &albums = session.store().table(TableId::Albums);
        const TableUses uses = session.files().use({&songs, &albums});
        for (int id = 1; id <= 200; ++id) {
            songs.buffer().clear();
            songs.buffer().setNumber(mus::ID, id);
            songs.buffer().setText(mus::Artist, u"Artist %1"_s.arg(id % 40));
            songs.buffer().setText(mus::Album, u"Album %1"_s.arg(id % 40));
            QVERIFY(songs.add());
        }
        const auto startBuild = [&](Preferences *window) {
            prompter.answer(Yes); // are you sure
            control<QPushButton>(window, u"Create Album Database from SongVane Database"_s)
                ->click();
            QVERIFY(window->findChild<ProgressWindow *>());
        };

        QPointer<Preferences> window = Preferences::open(session, nullptr);
        startBuild(window);
        prompter.answer(No);
        window->reject();
        QCOMPARE(prompter.captions().last(), u"Housekeeping"_s);
        QVERIFY(window && window->isVisible());
        QTRY_VERIFY(!window->findChild<ProgressWindow *>());
        QCOMPARE(albums.records(), 40); // the build ran to its end
        window->reject();               // nothing runs: no question
        QTRY_VERIFY(!window);
        QCOMPARE(prompter.captions().count(u"Housekeeping"_s), 2);

        window = Preferences::open(session, nullptr);
        prompter.answer(Yes); // are you sure
        control<QPushButton>(window, u"Test Album Database Link Integrity"_s)->click();
        QPointer<ProgressWindow> progress = window->findChild<ProgressWindow *>();
        QVERIFY(progress);
        QCOMPARE(session.files().users(songs), 2);
        prompter.answer(Yes);
        window->reject();
        QTRY_VERIFY(!window && !progress);
        QCOMPARE(session.files().users(songs), 1); // the test ended and let its tables go
        QVERIFY(!session.store().database().inTransaction());
    }

    // Until the setup has been completed, Preferences gives way to the setup wizard.
    void setupWizardComesFirst()
    {
        test::Workspace workspace;
        Session session(workspace.path());
        Settings::global().load();
        QVERIFY(!Preferences::open(session, nullptr));
        QPointer<SetupWizard> wizard = visibleWizard();
        QVERIFY(wizard);
        wizard->done(QDialog::Accepted);
        QTRY_VERIFY(!wizard);
    }

    // Stored values naming no choice fall back sensibly (AddMode "1" is Normal, an unknown
    // date picture shows nothing and is kept), start-up entries come from the file, and
    // OK writes every entry from its control without asking anything; a cleared
    // Automatically-Add box reads as off.
    void fieldsReadAndWriteEveryEntry()
    {
        test::ScriptedPrompter prompter;
        test::Workspace workspace;
        Session session(workspace.path());
        storeSettings({u"DateFormat=d99"_s});
        settings::writeNumber(u"SU_Songs"_s, 1);
        QPointer<Preferences> window = Preferences::open(session, nullptr);
        QCOMPARE(window->findChild<QComboBox *>()->currentIndex(), -1);
        QCOMPARE(window->findChild<QComboBox *>()->count(), dateFormatChoices().size());
        for (const QString &radio : {u"Standard"_s, u"Normal"_s, u"Title - Artist"_s})
            QVERIFY(control<QRadioButton>(window, radio)->isChecked());
        const QString autoAdd = u"Automatically Add Album Information to Album Database"_s;
        QVERIFY(control<QCheckBox>(window, autoAdd)->isChecked());
        QVERIFY(control<QCheckBox>(window, u"Songs"_s)->isChecked());
        QVERIFY(!control<QPushButton>(window, u"File Manager"_s)->isEnabled());

        for (const QString &radio : {u"Explorer"_s, u"Single Artist"_s, u"Artist - Title"_s})
            control<QRadioButton>(window, radio)->click();
        field(window, u"User Defined Key Field:"_s)->setText(u"Crate"_s);
        field(window, u"Notes Field (on DJ Log):"_s)->setText(u"Cue"_s);
        field(window, u"Track #/Song Delimiter"_s)->setText(u"-"_s);
        field(window, u"Company Logo:"_s)->setText(u"/logos/club.bmp"_s);
        for (QCheckBox *box : window->findChildren<QCheckBox *>())
            box->setChecked(!box->isChecked());
        control<QPushButton>(window, u"&OK"_s)->click();
        QTRY_VERIFY(!window);

        QVERIFY(prompter.shown.isEmpty());
        const QStringList expected = {u"Interface=Explorer"_s,
                                      u"UDKPrompt=Crate"_s,
                                      u"NotesLabel=Cue"_s,
                                      u"GLO:Delimiter=-"_s,
                                      u"Logo=/logos/club.bmp"_s,
                                      u"SU_Albums=1"_s,
                                      u"SU_Songs=0"_s,
                                      u"SU_Labels=1"_s,
                                      u"SU_Playlists=1"_s,
                                      u"AltCasFmt=1"_s,
                                      u"UseLog=1"_s,
                                      u"DefaultWizardCompilation=1"_s,
                                      u"ShowTips=0"_s,
                                      u"SaveLastTab=0"_s,
                                      u"AutoAddToAlbums=0"_s,
                                      u"AddMode=Single Artist"_s,
                                      u"LabelArtistTitleOrder=Artist - Title"_s,
                                      u"DateFormat=d99"_s};
        for (const QString &entry : expected)
            QCOMPARE(stored(entry.section(u'=', 0, 0)), entry.section(u'=', 1));
        Settings::global().load();
        QVERIFY(!Settings::global().autoAddsToAlbums());
    }

    void dateFormatQuestions_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QString>("after");
        QTest::newRow("year only to day format")
            << YearOnlyPicture << u"31/10/1959"_s << QStringList{u"Information"_s} << u"d6"_s;
        QTest::newRow("day format to year only, no conversion")
            << u"d2"_s << YearOnlyText << QStringList{u"Information"_s, u"Basic Format Changed"_s}
            << YearOnlyPicture;
    }
    // A new date format is announced; only a move to Year Only offers to cut the stored
    // dates (answered No here), and the new picture is stored either way.
    void dateFormatQuestions()
    {
        QFETCH(QString, before);
        QFETCH(QString, chosen);
        QFETCH(QStringList, captions);
        QFETCH(QString, after);
        test::ScriptedPrompter prompter;
        test::Workspace workspace;
        Session session(workspace.path());
        storeSettings({u"DateFormat="_s + before});
        prompter.answer(Ok);
        prompter.answer(No);
        QPointer<Preferences> window = Preferences::open(session, nullptr);
        window->findChild<QComboBox *>()->setCurrentText(chosen);
        control<QPushButton>(window, u"&OK"_s)->click();
        QTRY_VERIFY(!window);
        QCOMPARE(prompter.captions(), captions);
        QCOMPARE(prompter.shown.first().text,
                 u"Date format changes will not affect currently open windows.  You can close "
                 u"and re-open windows, or exit and restart SongVane Pro to view information "
                 u"using the new date format."_s);
        QCOMPARE(stored(u"DateFormat"_s), after);
        QCOMPARE(Settings::global().dateFormat, after);
    }

    // Cancel undoes in memory whatever was changed, by reading the file again.
    void cancelReloadsSettings()
    {
        test::Workspace workspace;
        Session session(workspace.path());
        storeSettings({u"UDKPrompt=Crate"_s});
        QPointer<Preferences> window = Preferences::open(session, nullptr);
        Settings::global().udkPrompt = u"Changed"_s;
        control<QPushButton>(window, u"Cancel"_s)->click();
        QTRY_VERIFY(!window);
        QCOMPARE(Settings::global().udkPrompt, u"Crate"_s);
    }

    // Browse starts at the current logo; a chosen file replaces it, choosing none keeps it.
    void browseChoosesLogo()
    {
        test::Workspace workspace;
        Session session(workspace.path());
        storeSettings({u"Logo=/old.bmp"_s});
        QStringList starts;
        QStringList answers = {u"/new.bmp"_s, QString()};
        Preferences::setFileChooser([&](const QString &start) {
            starts.append(start);
            return answers.takeFirst();
        });
        QPointer<Preferences> window = Preferences::open(session, nullptr);
        control<QPushButton>(window, u"&Browse"_s)->click();
        control<QPushButton>(window, u"&Browse"_s)->click();
        QCOMPARE(starts, (QStringList{u"/old.bmp"_s, u"/new.bmp"_s}));
        control<QPushButton>(window, u"&OK"_s)->click();
        QTRY_VERIFY(!window);
        QCOMPARE(stored(u"Logo"_s), u"/new.bmp"_s);
    }

    // File Manager uses the caller's opener and leaves Preferences open; the setup wizard
    // replaces Preferences.
    void windowsOpenedFromPreferences()
    {
        test::Workspace workspace;
        Session session(workspace.path());
        storeSettings({});
        int fileManagers = 0;
        QWidget *caller = nullptr;
        QPointer<Preferences> window = Preferences::open(session, nullptr, [&](QWidget *over) {
            ++fileManagers;
            caller = over;
        });
        control<QPushButton>(window, u"File Manager"_s)->click();
        QCOMPARE(fileManagers, 1);
        QCOMPARE(caller, window.data());
        QVERIFY(window->isVisible());
        control<QPushButton>(window, u"Use Setup Wi&zard"_s)->click();
        QTRY_VERIFY(!window);
        QPointer<SetupWizard> wizard = visibleWizard();
        QVERIFY(wizard);
        wizard->reject();
        QTRY_VERIFY(!wizard);
    }
};

QTEST_MAIN(TestPreferences)
#include "tst_preferences.moc"
