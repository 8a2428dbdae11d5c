#include "app/settings.h"
#include "platform/inifile.h"
#include "platform/paths.h"
#include "testsupport.h"
#include "wizards/cdplayerpreferences.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
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
    return nullptr;
}

QRadioButton *choice(CdPlayerPreferences *window, const QString &text)
{
    for (QAbstractButton *candidate : window->periods()->buttons()) {
        if (candidate->text() == text)
            return qobject_cast<QRadioButton *>(candidate);
    }
    return nullptr;
}

qint64 storedPeriod()
{
    return settings::readNumber(u"CDTimer"_s, -1);
}

} // namespace

class TestCdPlayerPreferences : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_workspace = std::make_unique<test::Workspace>();
        Settings::global() = Settings();
        m_caller = std::make_unique<QWidget>();
        m_caller->show();
    }
    void cleanup()
    {
        m_caller.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_workspace.reset();
    }

    // The eight periods in window order (the order the keyboard walks them), the one in
    // effect checked; a period no choice offers checks none and is stored unchanged.
    void choicesInWindowOrder()
    {
        Settings::global().cdTimer = 150;
        QPointer<CdPlayerPreferences> window = CdPlayerPreferences::open(m_caller.get());
        QCOMPARE(window->windowTitle(), u"CD Player Preferences"_s);
        QCOMPARE(window->findChild<QGroupBox *>()->title(),
                 u"Check CD Status Every n 100ths of a Second"_s);
        QStringList walked;
        QWidget *at = choice(window, u"100"_s);
        for (int step = 0; step < 8 && qobject_cast<QRadioButton *>(at); ++step) {
            walked.append(qobject_cast<QRadioButton *>(at)->text());
            at = at->nextInFocusChain();
        }
        QCOMPARE(walked, (QStringList{u"100"_s, u"250"_s, u"1000"_s, u"150"_s, u"300"_s,
                                      u"Do Not Check"_s, u"200"_s, u"500"_s}));
        QVERIFY(choice(window, u"150"_s)->isChecked());
        QVERIFY(window->isModal() && window->isVisible());
        window->reject();

        Settings::global().cdTimer = 120;
        window = CdPlayerPreferences::open(m_caller.get());
        QVERIFY(!window->periods()->checkedButton());
        button(window, u"&Ok"_s)->click();
        QCOMPARE(storedPeriod(), 120);
    }

    // A choice is in effect at once; "&Ok" stores it, tells the caller, and the window goes
    // with its place kept under "CDSetup".
    void okStoresTheChoice()
    {
        int told = -1;
        QPointer<CdPlayerPreferences> window =
            CdPlayerPreferences::open(m_caller.get(), [&](bool stored) { told = stored; });
        choice(window, u"Do Not Check"_s)->click();
        QCOMPARE(Settings::global().cdTimer, 0);
        QCOMPARE(storedPeriod(), -1);
        button(window, u"&Ok"_s)->click();
        QCOMPARE(told, 1);
        QCOMPARE(storedPeriod(), 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!window);
        QVERIFY(IniFile::sections(Paths::positionFile()).contains(u"CDSetup"_s));
        Settings::global().load();
        QCOMPARE(Settings::global().cdTimer, 0);
    }

    // Cancel, Escape and the close box put back the period that was in effect and store
    // nothing; settings other windows hold in memory stay as they are.
    void cancelUndoesTheChoice()
    {
        settings::writeNumber(u"CDTimer"_s, 300);
        Settings::global().load();
        Settings::global().autoAddToAlbums = u"0"_s; // a wizard's choice for its own run
        const std::function<void(CdPlayerPreferences *)> ways[] = {
            [](CdPlayerPreferences *window) { button(window, u"Cancel"_s)->click(); },
            [](CdPlayerPreferences *window) { QTest::keyClick(window, Qt::Key_Escape); },
            [](CdPlayerPreferences *window) { window->close(); },
        };
        for (const auto &leave : ways) {
            int told = -1;
            QPointer<CdPlayerPreferences> window =
                CdPlayerPreferences::open(m_caller.get(), [&](bool stored) { told = stored; });
            choice(window, u"Do Not Check"_s)->click();
            QCOMPARE(Settings::global().cdTimer, 0);
            leave(window);
            QCOMPARE(told, 0);
            QCOMPARE(Settings::global().cdTimer, 300);
            QCOMPARE(storedPeriod(), 300);
            QCOMPARE(Settings::global().autoAddToAlbums, u"0"_s);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(!window);
        }
    }

private:
    std::unique_ptr<test::Workspace> m_workspace;
    std::unique_ptr<QWidget> m_caller;
};

QTEST_MAIN(TestCdPlayerPreferences)
#include "tst_cdplayerpreferences.moc"
