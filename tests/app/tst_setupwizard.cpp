#include "app/appcontrol.h"
#include "app/session.h"
#include "app/settings.h"
#include "app/setupwizard.h"
#include "platform/inifile.h"
#include "platform/paths.h"
#include "platform/stddate.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

QPushButton *button(QWidget *window, const QString &text)
{
    for (QPushButton *candidate : window->findChildren<QPushButton *>()) {
        if (candidate->text() == text)
            return candidate;
    }
    qFatal("no button %s", qPrintable(text));
}

QString stored(const QString &entry)
{
    return IniFile::get(settings::Section, entry, u"<none>"_s, Paths::settingsFile());
}

void prepareSongs(Session &session, qint32 releaseDate)
{
    session.announceTables();
    for (TableId id : allTables())
        QVERIFY(session.files().use(session.store().table(id))); // creates the file
    Table &songs = session.store().table(TableId::Songs);
    QVERIFY(songs.open());
    songs.buffer().setText(mus::Artist, u"Chic"_s);
    songs.buffer().setText(mus::Title, u"Le Freak"_s);
    songs.buffer().setNumber(mus::ReleaseDate, releaseDate);
    songs.buffer().setNumber(mus::ID, 1);
    QVERIFY(songs.add());
    songs.close();
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

qint64 storedReleaseDate(Session &session)
{
    Table &songs = session.store().table(TableId::Songs);
    if (!songs.open())
        return -1;
    songs.set(mus::KeyID);
    const qint64 date = songs.next() ? songs.buffer().number(mus::ReleaseDate) : -1;
    songs.close();
    return date;
}

void finishFromLastPage(SetupWizard *wizard)
{
    for (int page = 0; page < SetupWizard::PageCount - 1; ++page)
        button(wizard, u"&Next"_s)->click();
    button(wizard, u"&Finish"_s)->click();
}

} // namespace

class TestSetupWizard : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        ended = 0;
        setEndProgramHandler([this] { ++ended; });
    }
    void cleanup() { setEndProgramHandler({}); }

    // On a fresh install the wizard proposes Year Only and Finish stores it without a
    // question, with every choice of its pages and the completed mark.
    void freshInstallFinishStoresChoices()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Session session(workspace.path());
        int finished = 0;
        QPointer<SetupWizard> wizard = SetupWizard::open(session, nullptr, [&] { ++finished; });
        QCOMPARE(wizard->findChild<QComboBox *>()->currentText(), YearOnlyText);
        wizard->findChild<QLineEdit *>()->setText(u"Crate"_s);
        for (QCheckBox *box : wizard->findChildren<QCheckBox *>())
            box->setChecked(box->text() != u"Songs" && box->text() != u"Show tip at startup");
        finishFromLastPage(wizard);

        QCOMPARE(finished, 1);
        QVERIFY(prompter.shown.isEmpty());
        QTRY_VERIFY(!wizard);
        const QStringList expected = {
            u"DateFormat=n4b"_s, u"SetupWizardComplete=1"_s, u"UDKPrompt=Crate"_s, u"SU_Albums=1"_s,
            u"SU_Songs=0"_s,     u"SU_Labels=1"_s,           u"SU_Playlists=1"_s,  u"ShowTips=0"_s};
        for (const QString &entry : expected)
            QCOMPARE(stored(entry.section(u'=', 0, 0)), entry.section(u'=', 1));
        QCOMPARE(Settings::global().setupWizardComplete, 1);
        QCOMPARE(ended, 0);
    }

    void cancelSavesNothing_data()
    {
        QTest::addColumn<bool>("setUpBefore");
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("first use, Cancel") << false << false;
        QTest::newRow("first use, close box") << false << true;
        QTest::newRow("from Preferences") << true << false;
    }
    // Before the setup was ever completed, Cancel and the close box end the program; once
    // it was, Cancel only closes the wizard. Either way nothing is written.
    void cancelSavesNothing()
    {
        QFETCH(bool, setUpBefore);
        QFETCH(bool, closeBox);
        test::Workspace workspace;
        Session session(workspace.path());
        if (setUpBefore)
            settings::writeNumber(u"SetupWizardComplete"_s, 1);
        const QByteArray before = contents(Paths::settingsFile());
        QPointer<SetupWizard> wizard = SetupWizard::open(session, nullptr, {});
        wizard->findChild<QLineEdit *>()->setText(u"Changed"_s);
        if (closeBox)
            wizard->close();
        else
            button(wizard, u"Cancel"_s)->click();
        QCOMPARE(ended, setUpBefore ? 0 : 1);
        QTRY_VERIFY(!wizard);
        QCOMPARE(QFile::exists(Paths::settingsFile()), setUpBefore);
        QCOMPARE(contents(Paths::settingsFile()), before);
    }

    // Back is off on the first page, Finish shows only on the last, Next is off there.
    void buttonsFollowThePage()
    {
        test::Workspace workspace;
        Session session(workspace.path());
        SetupWizard *wizard = SetupWizard::open(session, nullptr, {});
        QPushButton *back = button(wizard, u"&Back"_s);
        QPushButton *next = button(wizard, u"&Next"_s);
        QPushButton *finish = button(wizard, u"&Finish"_s);
        const auto expect = [&](int page, bool backOn, bool nextOn, bool finishShown) {
            QCOMPARE(wizard->currentPage(), page);
            QCOMPARE(back->isEnabled(), backOn);
            QCOMPARE(next->isEnabled(), nextOn);
            QCOMPARE(finish->isVisible(), finishShown);
        };
        expect(0, false, true, false);
        for (int page = 1; page < SetupWizard::PageCount - 1; ++page) {
            next->click();
            expect(page, true, true, false);
        }
        next->click();
        expect(SetupWizard::Done, true, false, true);
        back->click();
        expect(SetupWizard::StartUp, true, true, false);
        for (int page = SetupWizard::StartUp; page > 0; --page)
            back->click();
        expect(0, false, true, false);
        wizard->done(QDialog::Accepted);
    }

    // Moving from a day format to Year Only asks once; No keeps the stored dates as they
    // are, Yes cuts them to their years; either way Year Only is stored.
    void yearOnlyFromDayFormatOffersConversion()
    {
        for (Button answer : {No, Yes}) {
            test::Workspace workspace;
            test::ScriptedPrompter prompter;
            Session session(workspace.path());
            const qint32 halloween = makeDate(1959, 10, 31);
            prepareSongs(session, halloween);
            settings::write(u"DateFormat"_s, u"d2"_s);
            prompter.answer(answer);
            bool finished = false;
            SetupWizard *wizard = SetupWizard::open(session, nullptr, [&] { finished = true; });
            auto *list = wizard->findChild<QComboBox *>();
            QCOMPARE(list->currentText(), u"10/31/1959"_s);
            list->setCurrentText(YearOnlyText);
            finishFromLastPage(wizard);
            QTRY_VERIFY(finished);

            QCOMPARE(prompter.captions(), QStringList{u"Basic Format Changed"_s});
            QCOMPARE(storedReleaseDate(session), answer == Yes ? 1959 : halloween);
            QCOMPARE(stored(u"DateFormat"_s), YearOnlyPicture);
        }
    }

private:
    int ended = 0;
};

QTEST_MAIN(TestSetupWizard)
#include "tst_setupwizard.moc"
