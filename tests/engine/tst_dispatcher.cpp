#include "engine/dispatcher.h"
#include "scriptedconnection.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace mosscatch;

struct DispatchFixture
{
    explicit DispatchFixture(const QStringList &entries = {})
        : keywords(entries),
          queue(site),
          pool([](QObject *parent) { return new ScriptedConnection(parent); }, options),
          driver(site, options, state, keywords, queue, registry, pool),
          dispatcher(options, state, queue, pool, driver)
    {
        options.setSaveFolder(dir.path());
    }

    ScriptedConnection *slot(int index) const
    {
        return static_cast<ScriptedConnection *>(pool.connection(index));
    }

    QTemporaryDir dir;
    SiteConfiguration site;
    HarvestOptions options;
    HarvestState state;
    QStringListModel keywords;
    AddressQueue queue;
    DoneRegistry registry;
    ConnectionPool pool;
    RunDriver driver;
    Dispatcher dispatcher;
};

class TestDispatcher : public QObject
{
    Q_OBJECT

private slots:
    void routing_data();
    void routing();
    void oneAddressPerTickToTheLowestFreeSlot();
    void existingFileIsSkipped();
    void pauseHoldsEverything();
    void handsOverOnlyWhenDrainedAndIdle();
    void runOverIsReportedOnceAndLateKeywordStarts();
};

void TestDispatcher::routing_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QString>("keywordFolder");
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QByteArray>("fileName");

    const QString k = QStringLiteral("/s/kw");
    QTest::newRow("small becomes thumbnail")
            << QByteArray("farm1.img.com/1234/5678_abcd_m.jpg") << k << QByteArray("farm1.img.com")
            << QByteArray("/1234/5678_abcd_t.jpg") << k + "/thumbnails/" << QByteArray("5678_abcd_t.jpg");
    QTest::newRow("large") << QByteArray("a.com/1/x_b.jpg") << k << QByteArray("a.com")
                           << QByteArray("/1/x_b.jpg") << k + "/largest/" << QByteArray("x_b.jpg");
    QTest::newRow("original") << QByteArray("a.com/1/x_o.jpg") << k << QByteArray("a.com")
                              << QByteArray("/1/x_o.jpg") << k + "/largest/" << QByteArray("x_o.jpg");
    QTest::newRow("standard") << QByteArray("a.com/1/x.jpg") << k << QByteArray("a.com")
                              << QByteArray("/1/x.jpg") << k + "/" << QByteArray("x.jpg");
    QTest::newRow("star asks for largest") << QByteArray("a.com/1/x.jpg*") << k << QByteArray("a.com")
                                           << QByteArray("/1/x.jpg") << k + "/largest/" << QByteArray("x.jpg");
    QTest::newRow("search page")
            << QByteArray("www.p.com/search/?q=cat&ct=0&z=m") << k << QByteArray("www.p.com")
            << QByteArray("/search/?q=cat&ct=0&z=m") << k + "/" << QByteArray("?q=cat&ct=0&z=m");
    QTest::newRow("page ending in slash") << QByteArray("www.p.com/photos/u/1/") << k
                                          << QByteArray("www.p.com") << QByteArray("/photos/u/1/")
                                          << k + "/" << QByteArray();
    QTest::newRow("no .com/") << QByteArray("host.org/a/b") << k << QByteArray("host.org/a/b")
                              << QByteArray("/") << k + "/" << QByteArray();
    QTest::newRow("empty keyword's folder") << QByteArray("a.com/x_t.jpg") << QStringLiteral("/s/")
                                            << QByteArray("a.com") << QByteArray("/x_t.jpg")
                                            << QStringLiteral("/s/thumbnails/") << QByteArray("x_t.jpg");
}

void TestDispatcher::routing()
{
    QFETCH(QByteArray, address);
    QFETCH(QString, keywordFolder);
    const Dispatcher::Route route = Dispatcher::route(address, keywordFolder);
    QTEST(route.host, "host");
    QTEST(route.path, "path");
    QTEST(route.folder, "folder");
    QTEST(route.fileName, "fileName");
}

void TestDispatcher::oneAddressPerTickToTheLowestFreeSlot()
{
    DispatchFixture f({QStringLiteral("kw")});
    f.driver.nextMajorKeyword();
    f.queue.addUrl("a.com/1/x_m.jpg");
    f.queue.addUrl("b.com/2/");

    f.dispatcher.tick();
    QCOMPARE(f.slot(1)->host(), f.site.siteHost);
    QCOMPARE(f.slot(1)->port(), ConnectionPool::Port);
    QCOMPARE(f.queue.size(), 2);

    f.dispatcher.tick();
    const SlotRecord &second = f.pool.record(2);
    QCOMPARE(second.url, QByteArray("a.com/1/x_m.jpg"));
    QCOMPARE(second.path, QByteArray("/1/x_t.jpg"));
    QCOMPARE(second.folder, f.state.keywordFolder + "/thumbnails/");
    QCOMPARE(f.slot(2)->connectCount(), 1);

    f.dispatcher.tick();
    QCOMPARE(f.queue.size(), 1);
}

void TestDispatcher::existingFileIsSkipped()
{
    DispatchFixture f({QStringLiteral("kw")});
    f.driver.nextMajorKeyword();
    f.queue.takeFirst();
    QFile existing(f.state.keywordFolder + QStringLiteral("/largest/old_b.jpg"));
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.close();
    f.queue.addUrl("a.com/1/old_b.jpg");
    f.queue.addUrl("a.com/1/new_b.jpg");

    f.dispatcher.tick();
    QCOMPARE(f.slot(1)->connectCount(), 0);
    QVERIFY(f.pool.record(1).host.isEmpty());
    QCOMPARE(f.queue.size(), 1);

    f.dispatcher.tick();
    QCOMPARE(f.pool.record(1).fileName, QByteArray("new_b.jpg"));
    QCOMPARE(f.slot(1)->connectCount(), 1);
}

void TestDispatcher::pauseHoldsEverything()
{
    DispatchFixture f({QStringLiteral("first"), QStringLiteral("second")});
    f.driver.nextMajorKeyword();
    f.options.setPaused(true);
    for (int i = 0; i < 10; ++i)
        f.dispatcher.tick();
    QCOMPARE(f.queue.size(), 1);
    QCOMPARE(f.slot(1)->connectCount(), 0);

    f.queue.takeFirst();
    f.dispatcher.tick();
    QCOMPARE(f.state.currentKeyword, QStringLiteral("first"));
    f.options.setPaused(false);
    f.dispatcher.tick();
    QCOMPARE(f.state.currentKeyword, QStringLiteral("second"));
}

void TestDispatcher::handsOverOnlyWhenDrainedAndIdle()
{
    DispatchFixture f({QStringLiteral("empty search"), QStringLiteral("next")});
    f.driver.nextMajorKeyword();
    f.dispatcher.tick();
    QVERIFY(f.queue.isEmpty());
    f.slot(1)->acceptConnection();
    f.state.queueFilled = true;

    for (int i = 0; i < 3; ++i)
        f.dispatcher.tick();
    QCOMPARE(f.state.currentKeyword, QStringLiteral("empty+search"));
    QCOMPARE(f.slot(1)->state(), SocketState::Connected);

    // The search found nothing: the exchange ends the transfer, nothing queued.
    f.pool.resetSock(1);
    f.dispatcher.tick();
    QCOMPARE(f.state.currentKeyword, QStringLiteral("next"));
    QVERIFY(!f.state.queueFilled);
}

void TestDispatcher::runOverIsReportedOnceAndLateKeywordStarts()
{
    DispatchFixture f({QStringLiteral("only")});
    QSignalSpy over(&f.dispatcher, &Dispatcher::runOver);
    f.driver.nextMajorKeyword();
    f.dispatcher.tick();
    f.pool.resetSock(1);

    for (int i = 0; i < 5; ++i)
        f.dispatcher.tick();
    QCOMPARE(over.count(), 1);

    f.keywords.setStringList({QStringLiteral("late")});
    f.dispatcher.tick();
    QCOMPARE(f.state.currentKeyword, QStringLiteral("late"));
    f.dispatcher.tick();
    f.pool.resetSock(1);
    f.dispatcher.tick();
    QCOMPARE(over.count(), 2);
}

QTEST_GUILESS_MAIN(TestDispatcher)
#include "tst_dispatcher.moc"
