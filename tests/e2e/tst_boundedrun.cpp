#include "clirun.h"
#include "harvestfixture.h"
#include "rows.h"
#include "testmain.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace mosscatch;

namespace {

struct EngineRow
{
    HarvestRequest wanted; // its faults are the site's
    QStringList lost = {}; // files a complete harvest would have and this one cannot
    int givenUp = 0; // at least
    int attempts = 0; // requests of each exactly faulted path, at least
    // Started in all, at most: one per address a whole harvest asks for, each keyword's search
    // and each photo's page and images, and with the largest size its two sizes pages.
    int transfers = 59; // count15 and count4 with thumbnails and standard: 2 + 19 * 3
    qint64 refused = 0; // photos the results pages listed past their keyword's budget
};

}

Q_DECLARE_METATYPE(EngineRow)
Q_DECLARE_METATYPE(mosscatch::FaultRule)

class TestBoundedRun : public QObject
{
    Q_OBJECT

private slots:
    void engineEndsWhateverTheSiteServes_data()
    {
        using K = FaultRule::Kind;
        QTest::addColumn<EngineRow>("row");
        const QList<Photo> plain = HarvestFixture::plainPhotos("count15", 2);
        const QStringList keywords{"count15", "count4"};
        EngineRow hostless{{keywords}, {}, 2, 1}, drip{{keywords}, {}, 2, Transfer::MaxRetries + 1};
        const QByteArrayList hostlessImages{"//farm1.example.com/1/x.jpg", ""};
        for (qsizetype i = 0; i < plain.size(); ++i) {
            FaultRule hostlessImage = FaultRule::exactPath(plain[i].pagePath, K::PhotoImageAddress);
            FaultRule dripping = FaultRule::exactPath(pathOf(plain[i].thumbnailImage), K::Trickle);
            hostlessImage.text = hostlessImages[i];
            std::tie(dripping.chunkBytes, dripping.intervalMs) = std::tuple(1, 150);
            hostless.wanted.faults << hostlessImage;
            drip.wanted.faults << dripping;
            hostless.lost << "count15/" + QString::fromLatin1(plain[i].standardFileName());
            drip.lost << "count15/thumbnails/" + QString::fromLatin1(plain[i].thumbnailFileName());
        }
        QTest::newRow("image addresses without a host, then a second keyword") << hostless;
        QTest::newRow("drip below the minimum on both slots") << drip;
        QTest::newRow("link farm on photo pages")
                << EngineRow{{keywords, {}, {FaultRule::pathPrefix("/photos/", K::LinkFarm)}}};
        // Max Images 60 asks for fewer than count100 has, and count15 has fewer than it asks.
        FaultRule farm = FaultRule::pathPrefix("/search/", K::LinkFarm);
        farm.bytes = 3000;
        QTest::newRow("results pages of 3,000 photos more") << EngineRow{
                {{"count100", "count15"}, {true, true, true}, {farm}}, {}, 0, 0, 2 + 75 * 6, 6000};
        const QByteArray firstPage = pathOf(PhotoCatalog().resultPageAddress("count15", false, 1));
        const FaultRule bomb = FaultRule::exactPath(firstPage, K::ContainerBomb);
        QTest::newRow("container bomb")
                << EngineRow{{{"count15"}, {true, true, true}, {bomb}}, {}, 0, 1, 1 + 15 * 6};
    }

    void engineEndsWhateverTheSiteServes()
    {
        QFETCH(EngineRow, row);
        HarvestFixture fixture;
        QVERIFY2(fixture.harvest(row.wanted, 60000), "the run did not end");

        QCOMPARE(fixture.startedKeywords, row.wanted.keywords);
        QVERIFY(fixture.givenUp >= row.givenUp);
        QCOMPARE(fixture.keywordsFailed, 0);
        const QList<RequestRecord> requests = fixture.site().requests();
        for (const FaultRule &fault : row.wanted.faults) {
            QVERIFY(fault.match != FaultRule::Match::ExactPath
                    || std::ranges::count(requests, fault.pattern, &RequestRecord::path)
                               >= row.attempts);
        }
        QCOMPARE(fixture.cutShort, 0);
        QVERIFY(fixture.transfersStarted <= row.transfers);

        // Exactly the files expected: nothing unfinished, nothing outside the keywords' folders.
        QMap<QString, QByteArray> expected = fixture.expectedFiles(row.wanted);
        for (const QString &file : row.lost)
            QCOMPARE(expected.remove(file), 1);
        QVERIFY(sameFiles(fixture.filesOnDisk(), expected));
        QCOMPARE(fixture.engine().queue()->refusedForRoom(), 0);
        QCOMPARE(fixture.engine().scraper()->refusedPhotos(), row.refused);
    }

    // The folder given and the one the images must land in, both below the test's folder.
    void cliSaysFailuresAndKeepsToItsFolder_data()
    {
        const auto row
                = columns<QStringList, int, QByteArray, QString, FaultRule, QString, QString>(
                        "keywords", "exitCode", "message", "failedKeyword", "fault", "folder",
                        "savedUnder");
        row("backslash folder", {"count5"}, 0, {}, {}, {}, "x/a\\..\\..\\b", "b");
        row("keyword with a line feed", {"moss\nrock", "count5"}, 3,
            "keyword \"moss\\nrock\" failed: holds a control character", "moss\nrock", {}, "out",
            "out");
        const QByteArray search = pathOf(PhotoCatalog().searchAddress("count6", false));
        row("search page always 503", {"count6", "count5"}, 3,
            "its search page could not be fetched", "count6",
            FaultRule::exactPath(search, FaultRule::Kind::Unavailable), "out", "out");
    }

    void cliSaysFailuresAndKeepsToItsFolder()
    {
        QFETCH(QStringList, keywords);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, message);
        QFETCH(QString, failedKeyword);
        QFETCH(FaultRule, fault);
        QFETCH(QString, folder);
        QFETCH(QString, savedUnder);
        PhotoSite site;
        QVERIFY(site.listen());
        site.addFault(fault); // a rule without a pattern matches nothing
        QTemporaryDir work;
        const QString resolve = QStringLiteral("*.example.com=127.0.0.1:%1").arg(site.serverPort());

        const CliRun run = Cli{.home = m_home.path(), .workingDirectory = work.path()}.run(
                QStringList{"--folder", work.filePath(folder), "--resolve", resolve,
                            "--summary-json", m_home.filePath("summary.json")}
                + keywords);
        QCOMPARE(run.exitCode, exitCode);

        const QString used = work.filePath(savedUnder);
        QVERIFY(run.out.startsWith("saving into " + used.toUtf8() + "/\n"));
        QCOMPARE(
                QDir(work.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                QStringList{savedUnder});
        QCOMPARE(QDir(used + QStringLiteral("/count5")).entryList(QDir::Files).size(), 5);
        for (const QByteArray &line : run.err.split('\n'))
            QVERIFY(line.isEmpty() || line.startsWith("mosscatch-cli: "));
        QVERIFY(message.isEmpty() || run.err.count(message) == 1);

        const QByteArray summary = filesUnder(m_home.path()).value("summary.json");
        const QJsonArray figures = QJsonDocument::fromJson(summary)["keywords"].toArray();
        QCOMPARE(figures.size(), keywords.size());
        for (const QJsonValue &keyword : figures)
            QCOMPARE(keyword["failed"].toBool(), keyword["keyword"].toString() == failedKeyword);
    }

private:
    QTemporaryDir m_home;
};

MOSSCATCH_TEST_GUILESS_MAIN(TestBoundedRun)
#include "tst_boundedrun.moc"
