#include "harvestfixture.h"
#include "testmain.h"

#include <QDir>
#include <QSet>

using namespace mosscatch;

Q_DECLARE_METATYPE(mosscatch::HarvestRequest)

using Request = HarvestRequest;

class TestHarvest : public QObject
{
    Q_OBJECT

private slots:
    // A row named "TLS: ..." harvests over TLS.
    void savesWhatTheSiteServes_data()
    {
        QTest::addColumn<HarvestRequest>("wanted");
        const Request threeKeywords{{"count12", "count5", "m\xC3\xB6ss"}, {true, true, false}};
        QTest::newRow("three keywords, one in UTF-8") << threeKeywords;
        QTest::newRow("TLS: the same") << threeKeywords;
        Request oneShot = threeKeywords;
        oneShot.settings.keepAlive = false;
        QTest::newRow("the same, one request per connection") << oneShot;
        QTest::newRow("largest only, commercial")
                << Request{{"count90", "count20"}, {false, false, true, true, "Max"}};
        // Page 2 may come in first; the photos taken are the first hundred all the same.
        QTest::newRow("thumbnails only, limit of 100 across two pages")
                << Request{{"count130"}, {true, false, false, false, "100"}};
        QTest::newRow("limit below one page")
                << Request{{"count37", "count5"}, {true, true, true, false, "30"}};
        QTest::newRow("nothing ticked") << Request{{"count37", "count5"}, {false, false, false}};
        QTest::newRow("no results") << Request{{"count0", "count3"}, {true, true, true}};
        // Every size, no limit, two pages: as a clean harvest saves, whatever the repeats.
        QTest::newRow("photos listed twice on page 1 and again on page 2")
                << Request{{"count75", "count7"},
                           {true, true, true, false, "max"},
                           {FaultRule::pathPrefix("/search/", FaultRule::Kind::RepeatedPhotos)}};
    }

    void savesWhatTheSiteServes()
    {
        QFETCH(HarvestRequest, wanted);
        HarvestFixture fixture(QByteArray(QTest::currentDataTag()).startsWith("TLS: "));
        QVERIFY(fixture.isValid());
        QVERIFY(fixture.harvest(wanted));

        QCOMPARE(fixture.startedKeywords, wanted.keywords);
        QVERIFY(sameFiles(fixture.filesOnDisk(), fixture.expectedFiles(wanted)));
        // A request is sent twice only when the transfer is retried.
        const qsizetype requests = fixture.site().requests().size();
        QSet<QByteArray> addresses;
        for (const RequestRecord &request : fixture.site().requests())
            addresses.insert(request.host + request.path);
        QVERIFY(requests - addresses.size() <= fixture.retries);
        // However soon a connection is free again, no two transfers start closer than the
        // dispatch interval (1 ms here).
        QVERIFY(fixture.closestStartsNs >= 1000000);
        // Kept open, a connection carries many requests (where a keyword makes many); else
        // each its own.
        if (!wanted.settings.keepAlive)
            QCOMPARE(fixture.site().connections(), requests);
        else if (requests >= 100)
            QVERIFY(fixture.site().connections() * 3 < requests);
        for (const QString &keyword : wanted.keywords)
            QVERIFY(QDir(fixture.saveFolder() + keyword + "/thumbnails").exists()
                    && QDir(fixture.saveFolder() + keyword + "/largest").exists());
    }
};

MOSSCATCH_TEST_GUILESS_MAIN(TestHarvest)
#include "tst_harvest.moc"
