#include "app/progresswindow.h"
#include "catalogue.h"
#include "playlists/chartcopy.h"
#include "testsupport.h"

#include <QPointer>
#include <QTest>

using namespace sv;
using namespace sv::playlists;
using namespace Qt::StringLiterals;

namespace {

class Catalogue : public test::Catalogue
{
public:
    Catalogue() : test::Catalogue({TableId::PlaylistMaster, TableId::PlaylistDetails}) {}

    Table &details() { return table(TableId::PlaylistDetails); }

    // Entries 1 to notes.size() of a play list, with these notes.
    void addEntries(qint64 playlistId, const QStringList &notes)
    {
        for (int i = 0; i < notes.size(); ++i) {
            details().buffer().clear();
            details().buffer().setNumber(pla::PlaylistID, playlistId);
            details().buffer().setNumber(pla::PlaylistSeq, i + 1);
            details().buffer().setNumber(pla::ID, 100 + i);
            details().buffer().setText(pla::PlaylistNotes, notes.at(i));
            QVERIFY(details().add());
        }
    }

    QStringList notes(qint64 playlistId)
    {
        QStringList found;
        details().set(pla::KeyPlaylistID);
        while (details().next())
            if (details().buffer().number(pla::PlaylistID) == playlistId)
                found.append(details().buffer().text(pla::PlaylistNotes));
        return found;
    }

    // Runs the copy to its end; whether it reported a copy.
    std::optional<bool> copy(qint64 playlistId)
    {
        std::optional<bool> copied;
        QPointer<ProgressWindow> window =
            copyChart(session, playlistId, nullptr, [&](bool done) { copied = done; });
        if (window && !QTest::qWaitFor([&] { return !window; }, 10000))
            return std::nullopt;
        return copied;
    }
};

QStringList numbered(int count, const QString &text = QString())
{
    QStringList notes;
    for (int i = 0; i < count; ++i)
        notes.append(text);
    return notes;
}

} // namespace

class TestChartCopy : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The tag rules on the notes of one entry.
    void notes_data()
    {
        QTest::addColumn<QString>("notes");
        QTest::addColumn<qint64>("position");
        QTest::addColumn<QString>("expected");
        const QString forty = u"Requested by the Friday crowd at Ritzy!!"_s;
        QTest::newRow("blank") << QString() << qint64(12) << u"LW:12"_s;
        QTest::newRow("other text") << u"Requested"_s << qint64(3) << u"Requested LW:3"_s;
        QTest::newRow("tag replaced") << u"Requested LW:7"_s << qint64(3) << u"Requested LW:3"_s;
        QTest::newRow("two digits") << u"LW:15"_s << qint64(1) << u"LW:1"_s;
        QTest::newRow("tag in the middle")
            << u"Hot LW:7 by request"_s << qint64(22) << u"Hot by request LW:22"_s;
        QTest::newRow("three digits gone whole") << u"LW:100"_s << qint64(5) << u"LW:5"_s;
        QTest::newRow("only the first tag") << u"LW:4 LW:9"_s << qint64(2) << u"LW:9 LW:2"_s;
        QTest::newRow("tag after one digit and text")
            << u"LW:5 12 inch"_s << qint64(6) << u"12 inch LW:6"_s;
        QTest::newRow("leading blanks") << u"   mellow"_s << qint64(8) << u"mellow LW:8"_s;
        QTest::newRow("forty characters keep their text") << forty << qint64(3) << forty;
        // A cut tag would read as position 1: it is left out instead.
        QTest::newRow("no room for the whole tag")
            << forty.left(36) << qint64(12) << forty.left(36);
        QTest::newRow("just room") << forty.left(34) << qint64(12) << forty.left(34) + u" LW:12"_s;
        QTest::newRow("old tag makes room")
            << forty.left(34) + u"LW:40"_s << qint64(41) << forty.left(34) + u" LW:41"_s;
    }
    void notes()
    {
        QFETCH(QString, notes);
        QFETCH(qint64, position);
        QFETCH(QString, expected);
        QCOMPARE(chartNotes(notes, position), expected);
        // Copying again at the same position changes nothing (one tag is the copy's own).
        if (expected.count(u"LW:"_s) == 1 || !expected.contains(u"LW:"_s))
            QCOMPARE(chartNotes(expected, position), expected);
    }

    // After the question, every entry of the play list (and only of that one) takes its
    // position as last week's; the progress window shows its texts.
    void copiesEveryEntry()
    {
        Catalogue catalogue;
        test::ScriptedPrompter prompter;
        prompter.answer(Ok);
        QStringList notes = numbered(12);
        notes[0] = u"Requested LW:7"_s;
        notes[11] = u"new"_s;
        catalogue.addEntries(1, notes);
        catalogue.addEntries(2, {u"LW:3"_s});
        catalogue.addEntries(3, numbered(2));

        QStringList texts;
        QString title, message;
        QPointer<ProgressWindow> window = copyChart(catalogue.session, 1, nullptr, [](bool) {});
        QVERIFY(window);
        title = window->windowTitle();
        message = window->message();
        texts.append(window->progressText());
        connect(window, &ProgressWindow::progressTextChanged,
                [&](const QString &text) { texts.append(text); });
        QTRY_VERIFY(!window);
        QCOMPARE(prompter.shown.size(), 1);
        QCOMPARE(prompter.shown.at(0).caption, u"Warning"_s);
        QCOMPARE(prompter.shown.at(0).text,
                 u"This will copy the current chart standings into the notes field to be used "
                 "as \"last week's chart positions\"."_s);
        QCOMPARE(prompter.shown.at(0).buttons, Ok | Cancel);
        QCOMPARE(title, u"Processing Records"_s);
        QCOMPARE(message, u"Updating Chart"_s);
        QCOMPARE(texts.first(), u"0% Completed"_s);
        QVERIFY(texts.contains(u" 24% Completed"_s)); // 12 of an estimated 50
        QCOMPARE(texts.last(), u"Process Completed"_s);

        QStringList expected;
        for (int i = 1; i <= 12; ++i)
            expected.append(u"LW:%1"_s.arg(i));
        expected[0] = u"Requested LW:1"_s;
        expected[11] = u"new LW:12"_s;
        QCOMPARE(catalogue.notes(1), expected);
        QCOMPARE(catalogue.notes(2), QStringList{u"LW:3"_s});
        QCOMPARE(catalogue.notes(3), numbered(2));

        prompter.answer(Ok);
        QCOMPARE(catalogue.copy(1), true);
        QCOMPARE(catalogue.notes(1), expected);
    }

    // Cancel at the question, or in the progress window, changes nothing at all.
    void cancelChangesNothing()
    {
        Catalogue catalogue;
        test::ScriptedPrompter prompter;
        catalogue.addEntries(1, numbered(80, u"x"_s));
        prompter.answer(Cancel);
        QCOMPARE(catalogue.copy(1), false);
        QCOMPARE(catalogue.notes(1), numbered(80, u"x"_s));

        prompter.answer(Ok);
        std::optional<bool> copied;
        QPointer<ProgressWindow> window =
            copyChart(catalogue.session, 1, nullptr, [&](bool done) { copied = done; });
        // Cancel pressed after the first entry, while the copy is under way.
        connect(window, &ProgressWindow::progressTextChanged, window, [&](const QString &text) {
            if (text.trimmed() == u"2% Completed"_s)
                window->cancel();
        });
        QTRY_VERIFY(!window);
        QCOMPARE(prompter.shown.size(), 2); // the two questions, and no warning
        QCOMPARE(copied, false);
        QCOMPARE(catalogue.notes(1), numbered(80, u"x"_s));
    }

    // An entry changed elsewhere while the copy read the play list stops the copy with the
    // process warning, and no entry is left half copied.
    void entryChangedMeanwhile()
    {
        Catalogue catalogue;
        test::ScriptedPrompter prompter;
        catalogue.addEntries(1, numbered(60));
        prompter.answer(Ok);
        std::optional<bool> copied;
        QPointer<ProgressWindow> window =
            copyChart(catalogue.session, 1, nullptr, [&](bool done) { copied = done; });
        // The first entry, already read by the copy, is changed before the copy goes on.
        bool changed = false;
        connect(window, &ProgressWindow::progressTextChanged, window, [&](const QString &text) {
            if (text.trimmed() != u"2% Completed"_s)
                return;
            Table &details = catalogue.details();
            details.buffer().clear();
            details.buffer().setNumber(pla::PlaylistID, 1);
            details.buffer().setNumber(pla::PlaylistSeq, 1);
            changed = details.get(pla::KeyPlaylistID);
            details.buffer().setText(pla::PlaylistNotes, u"changed"_s);
            changed = changed && details.put();
        });
        QTRY_VERIFY(!window);
        QVERIFY(changed);
        QCOMPARE(copied, false);
        QCOMPARE(prompter.shown.size(), 2);
        QCOMPARE(prompter.shown.at(1).caption, u"Process PUT Error"_s);
        QVERIFY(prompter.shown.at(1).text.startsWith(
            u"An error was experienced when making changes to the PlaylistDetails file."_s));
        QStringList expected = numbered(60);
        expected[0] = u"changed"_s;
        QCOMPARE(catalogue.notes(1), expected);
    }
};

QTEST_MAIN(TestChartCopy)
#include "tst_chartcopy.moc"
