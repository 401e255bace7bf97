#include "engine/connectionpool.h"
#include "scriptedconnection.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace mosscatch;

class PoolFixture
{
public:
    PoolFixture()
        : pool([this](QObject *parent) { return new ScriptedConnection(parent); }, options)
    {
    }

    ScriptedConnection *slot(int index) const
    {
        return static_cast<ScriptedConnection *>(pool.connection(index));
    }

    // A running transfer on slot index, as the dispatcher leaves it.
    void startTransfer(int index, const QByteArray &url)
    {
        SlotRecord &record = pool.record(index);
        record.url = url;
        record.host = url.left(url.indexOf('/'));
        record.path = url.mid(url.indexOf('/'));
        slot(index)->connectToHost(record.host, ConnectionPool::Port);
        slot(index)->acceptConnection();
    }

    HarvestOptions options;
    ConnectionPool pool;
};

static bool isBlank(const SlotRecord &record)
{
    return record.data.isEmpty() && record.host.isEmpty() && record.url.isEmpty()
           && record.path.isEmpty() && record.retries == 0 && record.lastReceived == 0
           && record.contentLength == 0 && record.folder.isEmpty() && record.fileName.isEmpty()
           && record.received == 0 && !record.image;
}

class TestPool : public QObject
{
    Q_OBJECT

private slots:
    void beforeFirstStartOnlyTemplateExists();
    void nextEmptySockByState_data();
    void nextEmptySockByState();
    void secondLoadLeavesEveryRecordBlank();
    void stalledTransferIsGivenUpAtFourthTick();
    void pauseHoldsTheStallWatch();
    void slotsWithoutHostOrClosingAreSkipped_data();
    void slotsWithoutHostOrClosingAreSkipped();
    void retryDiscardsOnlyItsOwnTemporaryImage();
    void pageRetryDeletesNothing();
    void connectionEventsCarryTheSlot();
};

void TestPool::beforeFirstStartOnlyTemplateExists()
{
    PoolFixture f;
    QCOMPARE(f.pool.count(), 1);
    QVERIFY(f.pool.connection(0));
    QCOMPARE(f.pool.nextEmptySock(), 0);

    f.pool.record(12).host = "x.com";
    f.pool.unloadSocks();
    QVERIFY(isBlank(f.pool.record(12)));
    QCOMPARE(f.pool.count(), 1);
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, f.pool.record(13));
}

void TestPool::nextEmptySockByState_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<int>("expected");

    QTest::newRow("connected, closing") << 7 << 8 << 2;
    QTest::newRow("closing, closed") << 8 << 0 << 1;
    QTest::newRow("both error") << 9 << 9 << 0;
    QTest::newRow("connecting, closed") << 6 << 0 << 2;
    QTest::newRow("both resolving") << 4 << 5 << 0;
}

void TestPool::nextEmptySockByState()
{
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(int, expected);

    PoolFixture f;
    f.pool.loadSocks();
    f.slot(1)->setState(SocketState(first));
    f.slot(2)->setState(SocketState(second));
    QCOMPARE(f.pool.nextEmptySock(), expected);
    QCOMPARE(f.pool.allWorkingSlotsFree(), expected != 0 && (first == 0 || first == 8)
                                                   && (second == 0 || second == 8));
}

void TestPool::secondLoadLeavesEveryRecordBlank()
{
    QTemporaryDir dir;
    PoolFixture f;
    QSignalSpy loaded(&f.pool, &ConnectionPool::socksLoaded);
    f.pool.loadSocks();
    f.startTransfer(1, "a.com/x_m.jpg");
    f.pool.record(1).image = std::make_unique<PartialImage>(dir.filePath("x_t.jpg"));
    const QString temporary = f.pool.record(1).image->temporaryPath();
    QVERIFY(QFile::exists(temporary));
    for (int i = 2; i < ConnectionPool::RecordCount; ++i)
        f.pool.record(i).url = "left.com/over";

    f.pool.loadSocks();

    QCOMPARE(f.pool.count(), 3);
    for (int i = 0; i < ConnectionPool::RecordCount; ++i)
        QVERIFY2(isBlank(f.pool.record(i)), qPrintable(QString::number(i)));
    QCOMPARE(f.slot(1)->state(), SocketState::Closed);
    QVERIFY(!QFile::exists(temporary));
    QCOMPARE(loaded.count(), 2);
    QCOMPARE(loaded.last().at(0).toInt(), 3);
}

void TestPool::stalledTransferIsGivenUpAtFourthTick()
{
    PoolFixture f;
    f.pool.loadSocks();
    QSignalSpy givenUp(&f.pool, &ConnectionPool::addressGivenUp);
    f.startTransfer(1, "silent.com/page/");

    for (int tick = 1; tick <= ConnectionPool::MaxRetries; ++tick) {
        f.pool.timeoutTick();
        QCOMPARE(f.pool.record(1).retries, tick);
        QCOMPARE(f.slot(1)->connectCount(), tick + 1);
        QCOMPARE(f.slot(1)->host(), QByteArray("silent.com"));
        QCOMPARE(f.slot(1)->port(), ConnectionPool::Port);
        f.slot(1)->acceptConnection();
    }
    QVERIFY(givenUp.isEmpty());

    f.pool.timeoutTick();
    QVERIFY(isBlank(f.pool.record(1)));
    QCOMPARE(f.slot(1)->state(), SocketState::Closed);
    QCOMPARE(f.slot(1)->connectCount(), 4);
    QCOMPARE(givenUp.count(), 1);
    QCOMPARE(givenUp.first().at(0).toByteArray(), QByteArray("silent.com/page/"));
}

void TestPool::pauseHoldsTheStallWatch()
{
    PoolFixture f;
    f.pool.loadSocks();
    f.startTransfer(1, "a.com/p/");
    f.pool.record(1).received = 10;
    f.pool.timeoutTick();

    f.options.setPaused(true);
    f.pool.record(1).received = 20;
    for (int i = 0; i < 5; ++i)
        f.pool.timeoutTick();
    QCOMPARE(f.pool.record(1).lastReceived, 10.0);
    f.pool.record(1).received = 10;
    f.pool.timeoutTick();
    QCOMPARE(f.pool.record(1).retries, 0);

    f.options.setPaused(false);
    f.pool.timeoutTick();
    QCOMPARE(f.pool.record(1).retries, 1);
}

void TestPool::slotsWithoutHostOrClosingAreSkipped_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("retries");

    QTest::newRow("no host, error") << QByteArray() << 9 << 0;
    QTest::newRow("no host, connected") << QByteArray() << 7 << 0;
    QTest::newRow("host, closing") << QByteArray("a.com") << 8 << 0;
    QTest::newRow("host, error") << QByteArray("a.com") << 9 << 1;
    QTest::newRow("host, closed") << QByteArray("a.com") << 0 << 1;
}

void TestPool::slotsWithoutHostOrClosingAreSkipped()
{
    QFETCH(QByteArray, host);
    QFETCH(int, state);
    QFETCH(int, retries);

    PoolFixture f;
    f.pool.loadSocks();
    f.pool.record(2).host = host;
    f.slot(2)->setState(SocketState(state));
    f.pool.timeoutTick();
    QCOMPARE(int(f.pool.record(2).retries), retries);
}

void TestPool::retryDiscardsOnlyItsOwnTemporaryImage()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/");
    PoolFixture f;
    f.pool.loadSocks();
    f.startTransfer(1, "a.com/1/x.jpg");
    f.startTransfer(2, "a.com/1/y.jpg");
    QFile earlier(folder + QStringLiteral("x.jpg"));
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier");
    earlier.close();
    for (int i : {1, 2}) {
        SlotRecord &record = f.pool.record(i);
        record.folder = folder;
        record.fileName = record.path.mid(3);
        record.data = "pending";
        record.received = 7;
        record.contentLength = 5000;
        record.image = std::make_unique<PartialImage>(folder + QString::fromLatin1(record.fileName));
        QVERIFY(record.image->append("body"));
    }
    const QString ownTemporary = f.pool.record(1).image->temporaryPath();
    const QString otherTemporary = f.pool.record(2).image->temporaryPath();

    f.pool.retrySock(1);

    QVERIFY(!QFile::exists(ownTemporary));
    QVERIFY(QFile::exists(otherTemporary));
    QVERIFY(QFile::exists(earlier.fileName()));
    QVERIFY(!f.pool.record(1).image);
    QVERIFY(f.pool.record(1).data.isEmpty());
    QCOMPARE(f.pool.record(1).received, 0.0);
    QCOMPARE(f.pool.record(1).contentLength, 5000.0);
    QCOMPARE(f.pool.record(1).fileName, QByteArray("x.jpg"));
}

void TestPool::pageRetryDeletesNothing()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/kw/");
    QVERIFY(QDir().mkpath(folder));
    QFile keep(folder + QStringLiteral("keep.jpg"));
    QVERIFY(keep.open(QIODevice::WriteOnly));
    keep.close();
    PoolFixture f;
    f.pool.loadSocks();
    f.startTransfer(1, "a.com/photos/1/");
    f.pool.record(1).folder = folder;

    for (int i = 0; i <= ConnectionPool::MaxRetries; ++i)
        f.pool.retrySock(1);

    QVERIFY(QFileInfo(folder).isDir());
    QVERIFY(keep.exists());
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

void TestPool::connectionEventsCarryTheSlot()
{
    PoolFixture f;
    f.pool.loadSocks();
    QSignalSpy connected(&f.pool, &ConnectionPool::connected);
    QSignalSpy arrival(&f.pool, &ConnectionPool::dataArrival);
    QSignalSpy closed(&f.pool, &ConnectionPool::peerClosed);

    f.slot(2)->acceptConnection();
    f.slot(1)->deliver("x");
    f.slot(2)->closeFromPeer();

    QCOMPARE(connected.count(), 1);
    QCOMPARE(connected.first().at(0).toInt(), 2);
    QCOMPARE(arrival.first().at(0).toInt(), 1);
    QCOMPARE(closed.first().at(0).toInt(), 2);
}

QTEST_GUILESS_MAIN(TestPool)
#include "tst_pool.moc"
