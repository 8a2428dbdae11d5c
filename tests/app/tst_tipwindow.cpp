#include "app/session.h"
#include "app/settings.h"
#include "app/tipwindow.h"
#include "catalogue.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

void click(QWidget *window, const QString &text)
{
    for (QPushButton *button : window->findChildren<QPushButton *>()) {
        if (button->text() == text)
            return QTest::mouseClick(button, Qt::LeftButton);
    }
    QFAIL(qPrintable(text));
}

QPlainTextEdit *tipText(QWidget *window)
{
    return window->findChild<QPlainTextEdit *>();
}

// A catalogue whose tip file holds "Tip N" numbered N for each given number.
class Catalogue : public test::Catalogue
{
public:
    explicit Catalogue(const QList<int> &numbers) : test::Catalogue({TableId::Tips})
    {
        for (int id : numbers) {
            tips().buffer().setNumber(tip::ID, id);
            tips().buffer().setText(tip::Tip, u"Tip %1"_s.arg(id));
            QVERIFY(tips().add());
        }
    }

    Table &tips() { return table(TableId::Tips); }

    // Reads the tip numbered `id` into the buffer; its text, or "" when there is none.
    QString tip(qint64 id)
    {
        tips().buffer().setNumber(tip::ID, id);
        return tips().get(tip::KeyID) ? tips().buffer().text(tip::Tip) : QString();
    }

    QWidget frame;
    std::optional<bool> saved;
    // Opens the form for the tip in the buffer as the tips list would; null when it ended
    // without a window (a delete).
    QPointer<TipForm> openForm(Request request)
    {
        if (request == Request::Insert) {
            tips().buffer().clear();
        } else {
            tips().watch();
            if (!tips().reget(tips().position()))
                return nullptr;
        }
        auto *form = new TipForm(session, request);
        QObject::connect(form, &UpdateForm::finished, &frame, [this](const WindowResult &r) {
            saved = r.response == Response::Completed;
        });
        if (!form->start())
            return nullptr;
        form->show();
        return form;
    }
};

} // namespace

class TestTipWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // After the last tip the day's tip starts again at the first; Back and Next go round
    // at either end; Close keeps the number reached and the check box for the next start.
    void tipOfTheDayGoesRound()
    {
        test::ScriptedPrompter prompter;
        Catalogue c({1, 2, 3, 4, 5, 6, 7});
        settings::writeNumber(u"Tip"_s, 7);
        bool closed = false;
        QPointer<TipWindow> window =
            TipWindow::showTipOfTheDay(c.session, &c.frame, [&] { closed = true; });
        QVERIFY(window && window->isVisible());
        QVERIFY(tipText(window)->isReadOnly());
        QCOMPARE(tipText(window)->toPlainText(), u"Tip 1"_s);
        click(window, u"&Back"_s);
        QCOMPARE(tipText(window)->toPlainText(), u"Tip 7"_s);
        click(window, u"&Next"_s);
        click(window, u"&Next"_s);
        QCOMPARE(tipText(window)->toPlainText(), u"Tip 2"_s);

        window->findChild<QCheckBox *>()->setChecked(false);
        click(window, u"Cl&ose"_s);
        QVERIFY(closed);
        QTRY_VERIFY(!window);
        QCOMPARE(settings::readNumber(u"Tip"_s, 0), 2);
        QCOMPARE(settings::readNumber(u"ShowTips"_s, 1), 0);
        QCOMPARE(c.session.files().users(c.tips()), 1); // only the test's own
    }

    // Numbers left by deleted tips hide none of the tips after them.
    void gapsInNumbersArePassedOver()
    {
        Catalogue c({2, 5, 6});
        settings::writeNumber(u"Tip"_s, 2);
        QPointer<TipWindow> window = TipWindow::showTipOfTheDay(c.session, &c.frame, {});
        QStringList shown{tipText(window)->toPlainText()};
        for (const QString &button : {u"&Next"_s, u"&Next"_s, u"&Back"_s, u"&Back"_s}) {
            click(window, button);
            shown.append(tipText(window)->toPlainText());
        }
        QCOMPARE(shown, (QStringList{u"Tip 5"_s, u"Tip 6"_s, u"Tip 2"_s, u"Tip 6"_s, u"Tip 5"_s}));
        window->reject(); // Escape closes as Close does
        QCOMPARE(settings::readNumber(u"Tip"_s, 0), 5);
    }

    // With no tips the window closes before it is ever shown.
    void emptyTableClosesAtOnce()
    {
        Catalogue c({});
        bool closed = false;
        QVERIFY(!TipWindow::showTipOfTheDay(c.session, &c.frame, [&] { closed = true; }));
        QVERIFY(closed);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(c.frame.findChildren<TipWindow *>().isEmpty());
        QCOMPARE(c.session.files().users(c.tips()), 1);
    }

    // A new tip is numbered after the highest number and added; a text already on file is
    // refused (also the one numbering reads last) and the form keeps the user's text.
    void maintenanceInsert()
    {
        test::ScriptedPrompter prompter;
        Catalogue c({1, 2, 5});
        QPointer<TipForm> window = c.openForm(Request::Insert);
        QVERIFY(window && !tipText(window)->isReadOnly());
        QCOMPARE(window->windowTitle(), u"SongVane Pro Tip of the Day..."_s);
        for (const QString &text : {u"tip 2"_s, u"Tip 5"_s}) {
            tipText(window)->setPlainText(text);
            click(window, u"&Ok"_s);
            QCOMPARE(prompter.captions().last(), u"Duplicate Key Error"_s);
            QVERIFY(prompter.shown.last().text.endsWith(u"key:Tips"_s));
        }
        QVERIFY(!c.saved && window->isVisible());
        QCOMPARE(prompter.shown.size(), 2);

        tipText(window)->setPlainText(u"Press F1 for help."_s);
        click(window, u"&Ok"_s);
        QTRY_COMPARE(c.saved, std::optional<bool>(true));
        QCOMPARE(c.tip(6), u"Press F1 for help."_s);
        QCOMPARE(c.tips().records(), 4);
        QTRY_VERIFY(!window);

        // Closed unsaved, a new tip takes no number and leaves no blank tip behind.
        c.saved.reset();
        window = c.openForm(Request::Insert);
        tipText(window)->setPlainText(u"Never mind"_s);
        click(window, u"Cl&ose"_s);
        QTRY_COMPARE(c.saved, std::optional<bool>(false));
        QCOMPARE(c.tips().records(), 4);
        QTRY_VERIFY(!window);
        QCOMPARE(c.session.files().users(c.tips()), 1); // only the test's own
    }

    // Change writes the edited text unless another tip has it; Delete asks first.
    void maintenanceChangeAndDelete()
    {
        test::ScriptedPrompter prompter;
        Catalogue c({1, 2});
        c.tip(2);
        QPointer<TipForm> window = c.openForm(Request::Change);
        QCOMPARE(tipText(window)->toPlainText(), u"Tip 2"_s);
        tipText(window)->setPlainText(u"Tip 1"_s);
        click(window, u"&Ok"_s);
        QCOMPARE(prompter.captions(), QStringList{u"Duplicate Key Error"_s});
        QVERIFY(window->isVisible() && !c.saved);
        tipText(window)->setPlainText(u"Changed"_s);
        click(window, u"&Ok"_s);
        QTRY_COMPARE(c.saved, std::optional<bool>(true));
        QCOMPARE(c.tip(2), u"Changed"_s);

        c.saved.reset();
        prompter.answer(Ok);
        QVERIFY(!c.openForm(Request::Delete));
        QTRY_COMPARE(c.saved, std::optional<bool>(true));
        QCOMPARE(c.tip(2), QString());
        QCOMPARE(prompter.captions().last(), u"Confirm Delete"_s);
        QVERIFY(!c.session.store().database().inTransaction());
    }
};

QTEST_MAIN(TestTipWindow)
#include "tst_tipwindow.moc"
