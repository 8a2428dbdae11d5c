#include "app/session.h"
#include "app/settings.h"
#include "app/tipsbrowser.h"
#include "app/tipwindow.h"
#include "testsupport.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using namespace sv;

namespace {

TipForm *openTipForm()
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (auto *form = qobject_cast<TipForm *>(window); form && form->isVisible())
                return form;
        }
        QTest::qWait(10);
    }
    return nullptr;
}

QPushButton *buttonNamed(QWidget *window, const QString &text)
{
    for (QPushButton *button : window->findChildren<QPushButton *>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

} // namespace

class TestTipsBrowser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Tips are added and changed through the tip window as the list's form, and the list
    // shows them by number.
    void addAndChangeTips()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Session session(workspace.path());
        session.announceTables();
        TipsBrowser browser(session);
        QVERIFY(browser.start());
        browser.show();
        QCOMPARE(browser.windowTitle(), QStringLiteral("Tips"));
        for (const char *text : {"Press Insert to add a song.", "Type to find an artist."}) {
            browser.add();
            TipForm *form = openTipForm();
            QVERIFY(form);
            form->findChild<QPlainTextEdit *>()->setPlainText(QString::fromUtf8(text));
            buttonNamed(form, QStringLiteral("&Ok"))->click();
            QTest::qWait(20);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        QCOMPARE(browser.list()->model()->rowCount(), 2);
        QCOMPARE(browser.list()->model()->textAt(1, 0), QStringLiteral("Type to find an artist."));
        QVERIFY(browser.isEnabled());

        browser.list()->highlightRow(0);
        browser.change();
        TipForm *form = openTipForm();
        QVERIFY(form);
        QCOMPARE(form->tipText(), QStringLiteral("Press Insert to add a song."));
        form->findChild<QPlainTextEdit *>()->setPlainText(
            QStringLiteral("Type to find an artist."));
        buttonNamed(form, QStringLiteral("&Ok"))->click();
        QCOMPARE(prompter.captions().value(0), QStringLiteral("Duplicate Key Error"));
        form->cancel();
        QTest::qWait(20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(browser.isEnabled());
        browser.close();
    }
};

QTEST_MAIN(TestTipsBrowser)
#include "tst_tipsbrowser.moc"
