#include "common/bytesize.h"
#include "engine/harveststatistics.h"
#include "scriptedconnection.h"

#include <QTest>

using namespace mosscatch;

struct StatsFixture
{
    StatsFixture()
        : queue(site),
          pool([](QObject *parent) { return new ScriptedConnection(parent); }, options),
          statistics(pool, queue, state)
    {
    }

    void fillQueue(int entries)
    {
        for (int i = 0; i < entries; ++i)
            queue.addUrl("a.com/" + QByteArray::number(i));
    }

    SiteConfiguration site;
    HarvestOptions options;
    HarvestState state;
    AddressQueue queue;
    ConnectionPool pool;
    HarvestStatistics statistics;
};

class TestStatistics : public QObject
{
    Q_OBJECT

private slots:
    void templateOnlyChangesNothing();
    void connectionRow_data();
    void connectionRow();
    void queueFilledAboveThree_data();
    void queueFilledAboveThree();
    void speedIsHalfTheGrowthPerTick();
};

void TestStatistics::templateOnlyChangesNothing()
{
    StatsFixture f;
    f.fillQueue(5);
    f.state.totalReceived = 4096;
    f.statistics.updateStats();
    QCOMPARE(f.statistics.queueText(), QStringLiteral("0"));
    QCOMPARE(f.statistics.totalText(), QStringLiteral("0"));
    QVERIFY(f.statistics.rows().isEmpty());
    QVERIFY(!f.state.queueFilled);
}

void TestStatistics::connectionRow_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<double>("received");
    QTest::addColumn<double>("contentLength");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("percent");

    QTest::newRow("half") << 7 << 512.0 << 1024.0 << "CONNECTED" << formatByteSize(512) << "50%";
    QTest::newRow("third") << 7 << 1.0 << 3.0 << "CONNECTED" << formatByteSize(1) << "33%";
    QTest::newRow("eighth rounds up") << 8 << 1.0 << 8.0 << "CLOSING" << formatByteSize(1) << "13%";
    QTest::newRow("no length shows data") << 0 << 999.0 << 0.0 << "CLOSED" << formatByteSize(300) << "";
    QTest::newRow("unknown state") << 12 << 0.0 << 0.0 << "" << formatByteSize(300) << "";
    QTest::newRow("beyond 32 bits") << 7 << 3e9 << 4e9 << "CONNECTED"
                                    << formatByteSize(Q_INT64_C(3000000000)) << "75%";
}

void TestStatistics::connectionRow()
{
    QFETCH(int, state);
    QFETCH(double, received);
    QFETCH(double, contentLength);

    StatsFixture f;
    f.pool.loadSocks();
    static_cast<ScriptedConnection *>(f.pool.connection(2))->setState(SocketState(state));
    SlotRecord &record = f.pool.record(2);
    record.url = "a.com/p/1/";
    record.data = QByteArray(300, 'x');
    record.received = received;
    record.contentLength = contentLength;
    f.state.totalReceived = 5e9;

    f.statistics.updateStats();

    QCOMPARE(f.statistics.rows().size(), 2);
    const HarvestStatistics::ConnectionRow &row = f.statistics.rows().at(1);
    QTEST(row.status, "status");
    QCOMPARE(row.url, QStringLiteral("a.com/p/1/"));
    QTEST(row.size, "size");
    QTEST(row.percent, "percent");
    QCOMPARE(f.statistics.rows().at(0).status, QStringLiteral("CLOSED"));
    QCOMPARE(f.statistics.totalText(), formatByteSize(Q_INT64_C(5000000000)));
}

void TestStatistics::queueFilledAboveThree_data()
{
    QTest::addColumn<int>("entries");
    QTest::addColumn<bool>("filled");
    QTest::newRow("three") << 3 << false;
    QTest::newRow("four") << 4 << true;
}

void TestStatistics::queueFilledAboveThree()
{
    QFETCH(int, entries);
    StatsFixture f;
    f.pool.loadSocks();
    f.fillQueue(entries);
    f.statistics.updateStats();
    QCOMPARE(f.statistics.queueText(), QString::number(entries));
    QTEST(f.state.queueFilled, "filled");

    f.queue.takeFirst();
    f.statistics.updateStats();
    QTEST(f.state.queueFilled, "filled");
}

void TestStatistics::speedIsHalfTheGrowthPerTick()
{
    StatsFixture f;
    f.statistics.speedTick();
    QCOMPARE(f.statistics.speedText(), formatByteSize(0) + "/sec");
    f.state.totalReceived = 5000;
    f.statistics.speedTick();
    QCOMPARE(f.statistics.speedText(), formatByteSize(2500) + "/sec");
    f.state.totalReceived = 5005;
    f.statistics.speedTick();
    QCOMPARE(f.statistics.speedText(), formatByteSize(2) + "/sec");
}

QTEST_GUILESS_MAIN(TestStatistics)
#include "tst_statistics.moc"
