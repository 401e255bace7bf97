#include "common/bytesize.h"
#include "engine/harvestengine.h"
#include "scriptedconnection.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace mosscatch;

namespace {

// The run side of the engine, with the top keyword started when there is one.
struct Run
{
    explicit Run(const QStringList &entries = {}, bool commercial = false) : keywords(entries)
    {
        options.setSaveFolder(dir.path() + QStringLiteral("/save"));
        options.setCommercial(commercial);
        if (!entries.isEmpty())
            driver.nextMajorKeyword();
    }

    ScriptedConnection *slot(int index) const
    {
        return static_cast<ScriptedConnection *>(pool.connection(index));
    }

    void ticks(int count)
    {
        for (int i = 0; i < count; ++i)
            dispatcher.tick();
    }

    QTemporaryDir dir;
    SiteConfiguration site;
    HarvestOptions options;
    HarvestState state;
    QStringListModel keywords;
    AddressQueue queue{site};
    DoneRegistry registry;
    ConnectionPool pool{[](QObject *parent) { return new ScriptedConnection(parent); }, options};
    RunDriver driver{site, options, state, keywords, queue, registry, pool};
    Dispatcher dispatcher{options, state, queue, pool, driver};
    HarvestStatistics statistics{pool, queue, state};
};

const QStringList oneKeyword{QStringLiteral("kw")};

// The whole engine as the window and the command line drive it; keywords are added in order.
std::unique_ptr<HarvestEngine> makeEngine(const QString &saveFolder, const QStringList &keywords)
{
    auto engine = std::make_unique<HarvestEngine>(
        SiteConfiguration{}, [](QObject *parent) { return new ScriptedConnection(parent); });
    engine->options().setSaveFolder(saveFolder);
    for (const QString &keyword : keywords)
        engine->addKeyword(keyword);
    return engine;
}

ScriptedConnection *slotOf(HarvestEngine &engine, int index)
{
    return static_cast<ScriptedConnection *>(engine.pool()->connection(index));
}

}

class TestRun : public QObject
{
    Q_OBJECT

private slots:
    void nextEmptySockByState_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::addColumn<int>("expected");
        QTest::addColumn<bool>("allFree");
        QTest::newRow("connected, closing") << 7 << 8 << 2 << false;
        QTest::newRow("closing, closed") << 8 << 0 << 1 << true;
        QTest::newRow("both error") << 9 << 9 << 0 << false;
        QTest::newRow("connecting, closed") << 6 << 0 << 2 << false;
        QTest::newRow("resolving, resolved") << 4 << 5 << 0 << false;
    }

    void nextEmptySockByState()
    {
        QFETCH(int, first);
        QFETCH(int, second);
        Run r(oneKeyword);
        r.slot(1)->setState(SocketState(first));
        r.slot(2)->setState(SocketState(second));
        QTEST(r.pool.nextEmptySock(), "expected");
        QTEST(r.pool.allWorkingSlotsFree(), "allFree");
    }

    // Two ticks of the stall watch: a transfer that moved since the previous tick is left alone.
    void stallWatch_data()
    {
        QTest::addColumn<QByteArray>("host");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("paused");
        QTest::addColumn<double>("received");
        QTest::addColumn<int>("retries");
        QTest::newRow("no host") << QByteArray() << 7 << false << 0.0 << 0;
        QTest::newRow("closing") << QByteArray("a.com") << 8 << false << 0.0 << 0;
        QTest::newRow("paused") << QByteArray("a.com") << 7 << true << 0.0 << 0;
        QTest::newRow("quiet") << QByteArray("a.com") << 7 << false << 0.0 << 2;
        QTest::newRow("quiet, error") << QByteArray("a.com") << 9 << false << 0.0 << 2;
        QTest::newRow("moving, then quiet") << QByteArray("a.com") << 7 << false << 10.0 << 1;
    }

    void stallWatch()
    {
        QFETCH(QByteArray, host);
        QFETCH(int, state);
        QFETCH(bool, paused);
        QFETCH(double, received);
        Run r(oneKeyword);
        SlotRecord &record = r.pool.record(2);
        record.host = host;
        record.received = received;
        r.slot(2)->setState(SocketState(state));
        r.options.setPaused(paused);
        r.pool.timeoutTick();
        r.pool.timeoutTick();
        QTEST(int(record.retries), "retries");
    }

    void retryDeletesOnlyItsOwnTemporaryImage()
    {
        Run r(oneKeyword);
        const QString earlier = r.state.keywordFolder + QStringLiteral("/x.jpg");
        QVERIFY(QFile(earlier).open(QIODevice::WriteOnly));
        for (int i : {1, 2}) {
            r.pool.record(i).host = "a.com";
            r.pool.record(i).received = 7;
            r.pool.record(i).image = std::make_unique<PartialImage>(earlier);
        }
        const QString own = r.pool.record(1).image->temporaryPath();
        const QString other = r.pool.record(2).image->temporaryPath();
        r.pool.retrySock(1);
        QVERIFY(!QFile::exists(own) && QFile::exists(other));
        QCOMPARE(r.pool.record(1).received, 0.0);

        // A page transfer in the keyword folder, retried until given up, deletes nothing.
        r.pool.resetSock(2);
        r.pool.record(2).host = "a.com";
        r.pool.record(2).folder = r.state.keywordFolder + QStringLiteral("/");
        for (int i = 0; i <= ConnectionPool::MaxRetries; ++i)
            r.pool.retrySock(2);
        QVERIFY(r.pool.record(2).host.isEmpty());
        const auto entries = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden;
        QCOMPARE(QDir(r.state.keywordFolder).entryList(entries), (QStringList{"largest", "thumbnails", "x.jpg"}));
    }

    void keywordAndFolderLayout_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("commercial");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("folderName");
        QTest::newRow("spaces") << " Blue  Sky " << false << "blue++sky" << "blue++sky";
        QTest::newRow("commercial") << "Red Fox" << true << "red+fox" << "red+fox";
        QTest::newRow("forbidden characters") << "a/b:c*d?" << false << "abcd" << "abcd";
        QTest::newRow("dot") << "." << false << "." << "_";
        QTest::newRow("dot dot") << " .. " << false << ".." << "__";
        QTest::newRow("dots left by removed characters") << "./." << false << ".." << "__";
        QTest::newRow("empty") << "<>" << false << "" << "";
    }

    void keywordAndFolderLayout()
    {
        QFETCH(QString, entry);
        QFETCH(bool, commercial);
        QFETCH(QString, keyword);
        QFETCH(QString, folderName);
        Run r({entry}, commercial);
        const QString folder = r.dir.path() + QStringLiteral("/save/") + folderName;
        QCOMPARE(r.state.currentKeyword, keyword);
        QCOMPARE(r.state.keywordFolder, folder);
        QVERIFY(QFileInfo(folder + QStringLiteral("/thumbnails")).isDir());
        QVERIFY(QFileInfo(folder + QStringLiteral("/largest")).isDir());
        QCOMPARE(QDir(r.dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("save")});
        QCOMPARE(r.queue.at(0), "www.photosite.example.com/search/?q=" + keyword.toUtf8()
                                    + (commercial ? "&l=comm" : "") + "&ct=0&mt=photos&adv=1&z=m");
    }

    void saveFolderNormalisation_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("normalised");
        QTest::newRow("no trailing slash") << "c:/pics" << "c:/pics/";
        QTest::newRow("trailing slash kept single") << "/srv/pics/" << "/srv/pics/";
        QTest::newRow("backslashes") << "c:\\pics" << "c:/pics/";
        QTest::newRow("network path") << "\\\\host\\share" << "/host/share/";
        QTest::newRow("three in a row become two") << "/a///b" << "/a//b/";
    }

    void saveFolderNormalisation()
    {
        QFETCH(QString, folder);
        QTEST(RunDriver::normalisedSaveFolder(folder), "normalised");
    }

    void keywordStartResetsAllButTheQueue()
    {
        Run r({QStringLiteral("b"), QStringLiteral("a")});
        r.state.resultPageCount = 7;
        r.registry.isAlreadyDone("seen");
        r.driver.nextMajorKeyword();
        QCOMPARE(r.state.currentKeyword, QStringLiteral("a"));
        QCOMPARE(r.state.resultPageCount, 0.0);
        QVERIFY(!r.registry.isAlreadyDone("seen"));
        QCOMPARE(r.queue.size(), 2);
        QCOMPARE(r.options.saveFolder(), r.dir.path() + QStringLiteral("/save/"));
    }

    void routing_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<QString>("keywordFolder");
        QTest::addColumn<QString>("route");
        const QString k = QStringLiteral("/s/kw");
        QTest::newRow("small becomes thumbnail") << QByteArray("i.com/1/x_m.jpg") << k
                                                 << "i.com /1/x_t.jpg /s/kw/thumbnails/ x_t.jpg";
        QTest::newRow("large") << QByteArray("a.com/1/x_b.jpg") << k
                               << "a.com /1/x_b.jpg /s/kw/largest/ x_b.jpg";
        QTest::newRow("original") << QByteArray("a.com/1/x_o.jpg") << k
                                  << "a.com /1/x_o.jpg /s/kw/largest/ x_o.jpg";
        QTest::newRow("standard") << QByteArray("a.com/1/x.jpg") << k << "a.com /1/x.jpg /s/kw/ x.jpg";
        QTest::newRow("star asks for largest") << QByteArray("a.com/1/x.jpg*") << k
                                               << "a.com /1/x.jpg /s/kw/largest/ x.jpg";
        QTest::newRow("search page") << QByteArray("w.p.com/search/?q=c&z=m") << k
                                     << "w.p.com /search/?q=c&z=m /s/kw/ ?q=c&z=m";
        QTest::newRow("page") << QByteArray("w.p.com/photos/u/1/") << k << "w.p.com /photos/u/1/ /s/kw/ ";
        QTest::newRow("no .com/") << QByteArray("host.org/a/b") << k << "host.org/a/b / /s/kw/ ";
        QTest::newRow("empty keyword's folder") << QByteArray("a.com/x_t.jpg") << QStringLiteral("/s/")
                                                << "a.com /x_t.jpg /s/thumbnails/ x_t.jpg";
    }

    void routing()
    {
        QFETCH(QByteArray, address);
        QFETCH(QString, keywordFolder);
        const Dispatcher::Route route = Dispatcher::route(address, keywordFolder);
        QTEST(QString::fromLatin1(route.host + ' ' + route.path + ' ') + route.folder + ' '
                  + QString::fromLatin1(route.fileName),
              "route");
    }

    void dispatchSkipsExistingFilesAndFillsTheLowestFreeSlot()
    {
        Run r(oneKeyword);
        QFile existing(r.state.keywordFolder + QStringLiteral("/largest/old_b.jpg"));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.close();
        r.queue.takeFirst();
        for (const char *address : {"a.com/1/old_b.jpg", "a.com/1/x_m.jpg", "b.com/2/", "c.com/3/"})
            r.queue.addUrl(address);
        r.ticks(1);
        QCOMPARE(r.slot(1)->connectCount(), 0);
        QVERIFY(r.pool.record(1).host.isEmpty());
        r.ticks(1);
        QCOMPARE(r.pool.record(1).fileName, QByteArray("x_t.jpg"));
        QCOMPARE(r.pool.record(1).folder, r.state.keywordFolder + "/thumbnails/");
        QCOMPARE(r.slot(1)->host(), QByteArray("a.com"));
        QCOMPARE(r.slot(1)->port(), ConnectionPool::Port);
        r.ticks(2);
        QCOMPARE(r.slot(2)->host(), QByteArray("b.com"));
        QCOMPARE(r.queue.size(), 1);
    }

    // Hand-over waits for an empty queue and free slots, pause holds it, and a keyword
    // added once the run is over starts with the next tick.
    void keywordsHandOver()
    {
        Run r({QStringLiteral("empty search"), QStringLiteral("next")});
        QSignalSpy over(&r.dispatcher, &Dispatcher::runOver);
        r.options.setPaused(true);
        r.ticks(3);
        QCOMPARE(r.slot(1)->connectCount(), 0);
        r.options.setPaused(false);
        r.ticks(1);
        r.slot(1)->acceptConnection();
        r.state.queueFilled = true;
        r.ticks(3);
        QCOMPARE(r.slot(1)->state(), SocketState::Connected);
        // The search found nothing: the exchange ends the transfer, nothing queued.
        r.pool.resetSock(1);
        r.options.setPaused(true);
        r.ticks(1);
        QCOMPARE(r.state.currentKeyword, QStringLiteral("empty+search"));
        r.options.setPaused(false);
        r.ticks(1);
        QCOMPARE(r.state.currentKeyword, QStringLiteral("next"));
        QVERIFY(!r.state.queueFilled);
        r.queue.takeFirst();
        r.ticks(5);
        QCOMPARE(over.size(), 1);
        r.keywords.setStringList({QStringLiteral("late")});
        r.ticks(1);
        QCOMPARE(r.state.currentKeyword, QStringLiteral("late"));
        r.ticks(1);
        r.pool.resetSock(1);
        r.ticks(1);
        QCOMPARE(over.size(), 2);
    }

    void connectionRow_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<double>("received");
        QTest::addColumn<double>("length");
        QTest::addColumn<QStringList>("row");
        const auto row = [](const char *status, const QString &size, const char *percent) {
            return QStringList{status, QStringLiteral("a.com/p/1/"), size, percent};
        };
        QTest::newRow("half") << 7 << 512.0 << 1024.0 << row("CONNECTED", formatByteSize(512), "50%");
        QTest::newRow("third") << 7 << 1.0 << 3.0 << row("CONNECTED", formatByteSize(1), "33%");
        QTest::newRow("eighth rounds up") << 8 << 1.0 << 8.0 << row("CLOSING", formatByteSize(1), "13%");
        QTest::newRow("no length shows data") << 0 << 9.0 << 0.0 << row("CLOSED", formatByteSize(300), "");
        QTest::newRow("beyond 32 bits")
            << 7 << 3e9 << 4e9 << row("CONNECTED", formatByteSize(Q_INT64_C(3000000000)), "75%");
    }

    void connectionRow()
    {
        QFETCH(int, state);
        QFETCH(double, received);
        QFETCH(double, length);
        Run r(oneKeyword);
        r.slot(2)->setState(SocketState(state));
        SlotRecord &record = r.pool.record(2);
        record.url = "a.com/p/1/";
        record.data = QByteArray(300, 'x');
        record.received = received;
        record.contentLength = length;
        r.state.totalReceived = 5e9;
        r.statistics.updateStats();
        QCOMPARE(r.statistics.rows().size(), 2);
        const HarvestStatistics::ConnectionRow &row = r.statistics.rows().at(1);
        QTEST((QStringList{row.status, row.url, row.size, row.percent}), "row");
        QCOMPARE(r.statistics.totalText(), formatByteSize(Q_INT64_C(5000000000)));
    }

    void queueFigures_data()
    {
        QTest::addColumn<bool>("started");
        QTest::addColumn<int>("entries");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("filled");
        QTest::newRow("template only changes nothing") << false << 5 << "0" << false;
        QTest::newRow("three") << true << 3 << "3" << false;
        QTest::newRow("four") << true << 4 << "4" << true;
    }

    void queueFigures()
    {
        QFETCH(bool, started);
        QFETCH(int, entries);
        Run r(started ? oneKeyword : QStringList{});
        while (r.queue.size() < entries)
            r.queue.addUrl("a.com/1/");
        r.statistics.updateStats();
        QTEST(r.statistics.queueText(), "text");
        QTEST(r.state.queueFilled, "filled");
        // Once set, the flag stays for the keyword even as the queue drains.
        r.queue.takeFirst();
        r.statistics.updateStats();
        QTEST(r.state.queueFilled, "filled");
    }

    void speedIsHalfTheGrowthPerTick()
    {
        Run r;
        r.state.totalReceived = 5000;
        r.statistics.speedTick();
        QCOMPARE(r.statistics.speedText(), formatByteSize(2500) + "/sec");
        r.state.totalReceived = 5005;
        r.statistics.speedTick();
        QCOMPARE(r.statistics.speedText(), formatByteSize(2) + "/sec");
    }

    void engineTakesTheNewestKeywordAndRefusesAnEmptyList()
    {
        QTemporaryDir dir;
        const auto engine = makeEngine(dir.path(), {});
        QVERIFY(!engine->start());
        QCOMPARE(engine->pool()->count(), 1);
        QVERIFY(engine->queue()->isEmpty());
        QSignalSpy started(engine.get(), &HarvestEngine::keywordStarted);
        for (const char *keyword : {"a", "b", "c"})
            engine->addKeyword(QLatin1String(keyword));
        QVERIFY(engine->start());
        engine->nextMajorKeyword();
        QCOMPARE(started.value(0).value(0).toString(), QStringLiteral("c"));
        QCOMPARE(started.value(1).value(0).toString(), QStringLiteral("b"));
    }

    void engineTimersDriveTheHarvestOnceStarted()
    {
        QTemporaryDir dir;
        const auto engine = makeEngine(dir.path(), {QStringLiteral("moss")});
        engine->setIntervals({5, 5, 10, 60000});
        QTest::qWait(20);
        QCOMPARE(engine->pool()->count(), 1);
        QVERIFY(engine->start());
        QTRY_COMPARE(slotOf(*engine, 1)->connectCount(), 1);
        QCOMPARE(slotOf(*engine, 1)->host(), engine->site().siteHost);
        QTRY_COMPARE(engine->statistics()->rows().value(0).status, QStringLiteral("CONNECTING"));
        QSignalSpy speed(engine->statistics(), &HarvestStatistics::speedUpdated);
        QVERIFY(speed.wait(1000));
    }

    void engineRestartsAStalledTransferThreeTimesThenGivesItUp()
    {
        QTemporaryDir dir;
        const auto engine = makeEngine(dir.path(), {QStringLiteral("moss")});
        QSignalSpy retried(engine.get(), &HarvestEngine::transferRetried);
        QSignalSpy givenUp(engine.get(), &HarvestEngine::addressGivenUp);
        engine->start();
        engine->dispatchTick();
        for (int tick = 1; tick <= 3; ++tick) {
            engine->timeoutTick();
            QCOMPARE(slotOf(*engine, 1)->connectCount(), tick + 1);
            QCOMPARE(slotOf(*engine, 1)->host(), engine->site().siteHost);
        }
        QVERIFY(givenUp.isEmpty());
        engine->timeoutTick();
        QCOMPARE(retried.size(), 3);
        QCOMPARE(slotOf(*engine, 1)->state(), SocketState::Closed);
        QVERIFY(engine->pool()->record(1).host.isEmpty());
        QVERIFY(givenUp.value(0).value(0).toByteArray().startsWith(engine->site().siteHost + "/search/"));
    }

    void engineLeavesNoTemporaryImageBehind()
    {
        QTemporaryDir dir;
        auto engine = makeEngine(dir.path(), {QStringLiteral("moss")});
        engine->start();
        SlotRecord &record = engine->pool()->record(1);
        record.image = std::make_unique<PartialImage>(engine->state().keywordFolder + "/x.jpg");
        const QString temporary = record.image->temporaryPath();
        QVERIFY(QFile::exists(temporary));
        engine.reset();
        QVERIFY(!QFile::exists(temporary));
    }
};

QTEST_GUILESS_MAIN(TestRun)
#include "tst_run.moc"
