#include "harvestfixture.h"

#include <QDir>
#include <QTest>

using namespace mosscatch;

Q_DECLARE_METATYPE(mosscatch::HarvestRequest)

using Request = HarvestRequest;

class TestHarvest : public QObject
{
    Q_OBJECT

private slots:
    void savesWhatTheSiteServes_data()
    {
        QTest::addColumn<HarvestRequest>("wanted");
        QTest::newRow("defaults") << Request{{"count37", "count12"}, {true, true, false}};
        QTest::newRow("every size, no limit, two pages")
                << Request{{"count75", "count7"}, {true, true, true, false, "max"}};
        QTest::newRow("largest only, commercial")
                << Request{{"count90", "count20"}, {false, false, true, true, "Max"}};
        QTest::newRow("thumbnails only, limit of 120")
                << Request{{"count130"}, {true, false, false, false, "120"}};
        QTest::newRow("limit below one page")
                << Request{{"count37", "count5"}, {true, true, true, false, "30"}};
        QTest::newRow("nothing ticked") << Request{{"count37", "count5"}, {false, false, false}};
        QTest::newRow("no results") << Request{{"count0", "count3"}, {true, true, true}};
        QTest::newRow("photos listed twice on page 1 and again on page 2")
                << Request{{"count75", "count7"},
                           {true, true, true, false, "max"},
                           {},
                           {FaultRule::pathPrefix("/search/", FaultRule::Kind::RepeatedPhotos)}};
    }

    void savesWhatTheSiteServes()
    {
        QFETCH(HarvestRequest, wanted);
        HarvestFixture fixture;
        QVERIFY(fixture.harvest(wanted));

        QStringList order;
        for (const QByteArray &keyword : wanted.keywords)
            order << QString::fromUtf8(keyword);
        QCOMPARE(fixture.startedKeywords(), order);
        const QMap<QString, QByteArray> onDisk = fixture.filesOnDisk();
        const QMap<QString, QByteArray> expected = fixture.expectedFiles(wanted);
        QCOMPARE(onDisk.keys(), expected.keys());
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QVERIFY2(onDisk.value(it.key()) == it.value(),
                     qPrintable("different bytes " + it.key()));
        // A request is sent twice only when the transfer is retried.
        QVERIFY(fixture.repeatedRequests().size() <= fixture.retries());
        for (const QString &keyword : order) {
            QVERIFY(QDir(fixture.saveFolder() + keyword + "/thumbnails").exists());
            QVERIFY(QDir(fixture.saveFolder() + keyword + "/largest").exists());
        }
    }

    void secondRunFetchesNoImageAgain()
    {
        const HarvestRequest wanted{{"count20"}, {true, true, true}};
        HarvestFixture fixture;
        QVERIFY(fixture.harvest(wanted));
        const QMap<QString, QByteArray> first = fixture.filesOnDisk();
        QVERIFY(!first.isEmpty());
        QVERIFY(fixture.imageRequests() > 0);

        fixture.site().clearRequests();
        QVERIFY(fixture.harvest(wanted));
        QCOMPARE(fixture.imageRequests(), 0);
        QCOMPARE(fixture.filesOnDisk(), first);
    }
};

QTEST_GUILESS_MAIN(TestHarvest)
#include "tst_harvest.moc"
