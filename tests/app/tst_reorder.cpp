#include "app/reorder.h"
#include "store/store.h"
#include "testsupport.h"

#include <QTest>

using namespace sv;

namespace {

// Tracks of one wizard run (instance 7, side "A") titled T1..Tn, plus a row of another run.
struct WizardRows
{
    explicit WizardRows(const QString &folder, int tracks) : store(folder)
    {
        Table &rows = store.table(TableId::AddWizard);
        if (!rows.create() || !rows.open())
            qFatal("the wizard rows cannot be made");
        for (int track = 1; track <= tracks; ++track)
            add(7, track, QStringLiteral("T%1").arg(track));
        add(8, 1, QStringLiteral("Other run"));
    }

    void add(qint64 instance, qint64 track, const QString &title)
    {
        Table &rows = store.table(TableId::AddWizard);
        rows.buffer().clear();
        rows.buffer().setNumber(aw::Instance, instance);
        rows.buffer().setText(aw::Side, QStringLiteral("A"));
        rows.buffer().setNumber(aw::Track, track);
        rows.buffer().setText(aw::Title, title);
        QVERIFY(rows.add());
    }

    // Titles in track order for instance 7.
    QStringList order()
    {
        Table &rows = store.table(TableId::AddWizard);
        QStringList titles;
        rows.set(aw::KeyInstance);
        while (rows.next()) {
            if (rows.buffer().number(aw::Instance) == 7)
                titles.append(rows.buffer().text(aw::Title));
        }
        return titles;
    }

    bool move(qint64 track, MoveMode mode)
    {
        Table &rows = store.table(TableId::AddWizard);
        Record row(tableDef(TableId::AddWizard));
        row.setNumber(aw::Instance, 7);
        row.setText(aw::Side, QStringLiteral("A"));
        const ChildRun run{&rows, aw::KeyInstance, {aw::Instance, aw::Side}, aw::Track};
        return moveChildRow(run, row, track, mode,
                            [this](const QString &section, qint64) { errors.append(section); });
    }

    Store store;
    QStringList errors;
};

QStringList titles(std::initializer_list<int> numbers)
{
    QStringList list;
    for (int n : numbers)
        list.append(QStringLiteral("T%1").arg(n));
    return list;
}

} // namespace

class TestReorder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Moving track 5 of 8 to the top shifts 1 to 4 down by one and makes it track 1.
    void toTop()
    {
        test::Workspace workspace;
        WizardRows rows(workspace.path(), 8);
        QVERIFY(rows.move(5, MoveMode::ToTop));
        QCOMPARE(rows.order(), titles({5, 1, 2, 3, 4, 6, 7, 8}));
        QVERIFY(rows.errors.isEmpty());
    }

    // One step up or down swaps neighbours; moving past either end moves nothing; the other
    // run is never touched.
    void oneStepAndEnds()
    {
        test::Workspace workspace;
        WizardRows rows(workspace.path(), 4);
        QVERIFY(rows.move(2, MoveMode::DownOne));
        QCOMPARE(rows.order(), titles({1, 3, 2, 4}));
        QVERIFY(rows.move(3, MoveMode::UpOne));
        QCOMPARE(rows.order(), titles({1, 2, 3, 4}));
        QVERIFY(!rows.move(1, MoveMode::UpOne));
        QVERIFY(!rows.move(4, MoveMode::ToBottom));
        QVERIFY(rows.move(1, MoveMode::ToBottom));
        QCOMPARE(rows.order(), titles({2, 3, 4, 1}));
        Table &table = rows.store.table(TableId::AddWizard);
        table.buffer().setNumber(aw::Instance, 8);
        table.buffer().setText(aw::Side, QStringLiteral("A"));
        table.buffer().setNumber(aw::Track, 1);
        QVERIFY(table.get(aw::KeyInstance));
        QCOMPARE(table.buffer().text(aw::Title), QStringLiteral("Other run"));
    }

    // Two tracks: moving the second to the top swaps them.
    void twoTracks()
    {
        test::Workspace workspace;
        WizardRows rows(workspace.path(), 2);
        QVERIFY(rows.move(2, MoveMode::ToTop));
        QCOMPARE(rows.order(), titles({2, 1}));
    }
};

QTEST_GUILESS_MAIN(TestReorder)
#include "tst_reorder.moc"
