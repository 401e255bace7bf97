#include "engine/harvestengine.h"
#include "scriptedconnection.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace mosscatch;

static std::unique_ptr<HarvestEngine> makeEngine(const QTemporaryDir &dir)
{
    auto engine = std::make_unique<HarvestEngine>(
            SiteConfiguration{}, [](QObject *parent) { return new ScriptedConnection(parent); });
    engine->options().setSaveFolder(dir.path());
    return engine;
}

static ScriptedConnection *slot(HarvestEngine &engine, int index)
{
    return static_cast<ScriptedConnection *>(engine.pool()->connection(index));
}

class TestEngine : public QObject
{
    Q_OBJECT

private slots:
    void startOnEmptyListIsRefused();
    void newestKeywordIsHarvestedFirst();
    void timersDriveTheHarvestOnceStarted();
    void poolEventsReachTheEngine();
    void destructionLeavesNoTemporaryImage();
};

void TestEngine::startOnEmptyListIsRefused()
{
    QTemporaryDir dir;
    auto engine = makeEngine(dir);
    QVERIFY(!engine->start());
    QCOMPARE(engine->pool()->count(), 1);
    QVERIFY(engine->queue()->isEmpty());
    QVERIFY(!engine->keywordStartedAt().isValid());
}

void TestEngine::newestKeywordIsHarvestedFirst()
{
    QTemporaryDir dir;
    auto engine = makeEngine(dir);
    QSignalSpy started(engine.get(), &HarvestEngine::keywordStarted);
    for (const char *keyword : {"a", "b", "c"})
        engine->addKeyword(QLatin1String(keyword));

    QVERIFY(engine->start());
    engine->nextMajorKeyword();
    engine->nextMajorKeyword();

    QCOMPARE(started.count(), 3);
    QCOMPARE(started.at(0).at(0).toString(), QStringLiteral("c"));
    QCOMPARE(started.at(2).at(0).toString(), QStringLiteral("a"));
    QVERIFY(engine->keywordStartedAt().isValid());
}

void TestEngine::timersDriveTheHarvestOnceStarted()
{
    QTemporaryDir dir;
    auto engine = makeEngine(dir);
    engine->setIntervals({5, 5, 10, 60000});
    engine->addKeyword(QStringLiteral("moss"));
    QTest::qWait(20);
    QCOMPARE(engine->pool()->count(), 1);

    QVERIFY(engine->start());
    QTRY_COMPARE(slot(*engine, 1)->connectCount(), 1);
    QCOMPARE(slot(*engine, 1)->host(), engine->site().siteHost);
    QTRY_COMPARE(engine->statistics()->rows().size(), 2);
    QTRY_COMPARE(engine->statistics()->rows().at(0).status, QStringLiteral("CONNECTING"));
    QSignalSpy speed(engine->statistics(), &HarvestStatistics::speedUpdated);
    QVERIFY(speed.wait(1000));
}

void TestEngine::poolEventsReachTheEngine()
{
    QTemporaryDir dir;
    auto engine = makeEngine(dir);
    QSignalSpy retried(engine.get(), &HarvestEngine::transferRetried);
    QSignalSpy givenUp(engine.get(), &HarvestEngine::addressGivenUp);
    engine->addKeyword(QStringLiteral("moss"));
    engine->start();
    engine->dispatchTick();

    for (int tick = 0; tick <= ConnectionPool::MaxRetries; ++tick)
        engine->timeoutTick();

    QCOMPARE(retried.count(), ConnectionPool::MaxRetries);
    QCOMPARE(givenUp.count(), 1);
    QVERIFY(givenUp.first().at(0).toByteArray().startsWith(engine->site().siteHost + "/search/"));
}

void TestEngine::destructionLeavesNoTemporaryImage()
{
    QTemporaryDir dir;
    auto engine = makeEngine(dir);
    engine->addKeyword(QStringLiteral("moss"));
    engine->start();
    SlotRecord &record = engine->pool()->record(1);
    record.image = std::make_unique<PartialImage>(engine->state().keywordFolder + "/x.jpg");
    QVERIFY(record.image->append("part"));
    const QString temporary = record.image->temporaryPath();
    QVERIFY(QFile::exists(temporary));

    engine.reset();
    QVERIFY(!QFile::exists(temporary));
}

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
