#include "platform/instances.h"

#include <QTest>

using namespace sv;

class TestInstances : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { Instances::reset(); }

    // Procedures take the lowest free number, and a freed number is the next one handed out.
    void lowestFreeNumberIsReused()
    {
        QCOMPARE(Instances::start(), 2);
        QCOMPARE(Instances::start(), 3);
        QCOMPARE(Instances::start(), 4);
        Instances::end(3);
        QVERIFY(!Instances::inUse(3));
        QCOMPARE(Instances::start(), 3);
        QCOMPARE(Instances::start(), 5);
    }

    // The frame keeps number 1 whatever ends.
    void frameIsNeverFreed()
    {
        Instances::end(Instances::Frame);
        QVERIFY(Instances::inUse(Instances::Frame));
        QCOMPARE(Instances::start(), 2);
    }
};

QTEST_GUILESS_MAIN(TestInstances)
#include "tst_instances.moc"
