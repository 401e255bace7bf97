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

FaultRule rule(const QByteArray &path, FaultRule::Kind kind, const QByteArray &text = {})
{
    FaultRule fault = FaultRule::exactPath(path, kind);
    fault.text = text;
    return fault;
}

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
Q_DECLARE_METATYPE(QList<mosscatch::FaultRule>)

class TestBoundedRun : public QObject
{
    Q_OBJECT

private slots:
    void engineEndsWhateverTheSiteServes_data()
    {
        using K = FaultRule::Kind;
        QTest::addColumn<EngineRow>("row");
        const QList<Photo> plain = HarvestFixture::plainPhotos("count15", 2);
        const QByteArray keyword = "count15";

        EngineRow hostless{{{keyword, "count4"}}, {}, 2, 1};
        hostless.wanted.faults
                = {rule(plain[0].pagePath, K::PhotoImageAddress, "//farm1.example.com/1/x.jpg"),
                   rule(plain[1].pagePath, K::PhotoImageAddress, "")};
        for (const Photo &photo : plain)
            hostless.lost << "count15/" + QString::fromLatin1(photo.standardFileName());
        QTest::newRow("image addresses without a host, then a second keyword") << hostless;

        EngineRow drip{{{keyword, "count4"}}, {}, 2, Transfer::MaxRetries + 1};
        for (const Photo &photo : plain) {
            FaultRule fault = rule(pathOf(photo.thumbnailImage), K::Trickle);
            fault.chunkBytes = 1;
            fault.intervalMs = 150;
            drip.wanted.faults << fault;
            drip.lost << "count15/thumbnails/" + QString::fromLatin1(photo.thumbnailFileName());
        }
        QTest::newRow("drip below the minimum on both slots") << drip;

        QTest::newRow("link farm on photo pages") << EngineRow{
                {{keyword, "count4"}, {}, {}, {FaultRule::pathPrefix("/photos/", K::LinkFarm)}}};
        // Max Images 60 asks for fewer than count100 has, and count15 has fewer than it asks.
        FaultRule farm = FaultRule::pathPrefix("/search/", K::LinkFarm);
        farm.bytes = 3000;
        EngineRow listing{{{"count100", keyword}, {true, true, true}, {}, {farm}}};
        listing.refused = 6000;
        listing.transfers = 2 + (60 + 15) * 6;
        QTest::newRow("results pages of 3,000 photos more") << listing;

        const QByteArray firstPage = pathOf(PhotoCatalog().resultPageAddress(keyword, false, 1));
        EngineRow bomb{
                {{keyword}, {true, true, true}, {}, {rule(firstPage, K::ContainerBomb)}}, {}, 0, 1};
        bomb.transfers = 1 + 15 * 6;
        QTest::newRow("container bomb") << bomb;
    }

    void engineEndsWhateverTheSiteServes()
    {
        QFETCH(EngineRow, row);
        HarvestFixture fixture;
        QVERIFY2(fixture.harvest(row.wanted, 60000), "the run did not end");

        const QByteArrayList &order = row.wanted.keywords;
        QCOMPARE(fixture.startedKeywords, order);
        QVERIFY(fixture.givenUp >= row.givenUp);
        QVERIFY(fixture.failedKeywords.isEmpty());
        const QList<RequestRecord> requests = fixture.site().requests();
        for (const FaultRule &fault : row.wanted.faults) {
            const auto attempts = std::ranges::count(requests, fault.pattern, &RequestRecord::path);
            QVERIFY2(fault.match != FaultRule::Match::ExactPath || attempts >= row.attempts,
                     fault.pattern.constData());
        }
        QCOMPARE(fixture.cutShort, 0);
        QVERIFY2(fixture.transfersStarted <= row.transfers,
                 qPrintable(QString::number(fixture.transfersStarted)));

        const QMap<QString, QByteArray> onDisk = fixture.filesOnDisk();
        QMap<QString, QByteArray> expected = fixture.expectedFiles(row.wanted);
        for (const QString &file : row.lost)
            QVERIFY2(expected.remove(file) == 1, qPrintable(file));
        QVERIFY(sameFiles(onDisk, expected));
        for (const QString &file : onDisk.keys()) {
            QVERIFY2(!file.endsWith(QLatin1String(".part")), qPrintable(file));
            QVERIFY2(order.contains(file.section(u'/', 0, 0).toUtf8()), qPrintable(file));
        }
        QCOMPARE(fixture.engine().queue()->refusedForRoom(), 0);
        QCOMPARE(fixture.engine().scraper()->refusedPhotos(), row.refused);
    }

    // The folder given and the one the images must land in, both below the test's folder.
    void cliSaysFailuresAndKeepsToItsFolder_data()
    {
        const auto row = columns<QStringList, int, QByteArray, QString, QList<FaultRule>, QString,
                                 QString>("keywords", "exitCode", "message", "failedKeyword",
                                          "faults", "folder", "savedUnder");
        row("backslash folder", {"count5"}, 0, {}, {}, {}, "x/a\\..\\..\\b", "b");
        row("keyword with a line feed", {"moss\nrock", "count5"}, 3,
            "keyword \"moss\\nrock\" failed: holds a control character", "moss\nrock", {}, "out",
            "out");
        const QByteArray search = pathOf(PhotoCatalog().searchAddress("count6", false));
        row("search page always 503", {"count6", "count5"}, 3,
            "its search page could not be fetched", "count6",
            {rule(search, FaultRule::Kind::Unavailable)}, "out", "out");
    }

    void cliSaysFailuresAndKeepsToItsFolder()
    {
        QFETCH(QStringList, keywords);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, message);
        QFETCH(QString, failedKeyword);
        QFETCH(QList<FaultRule>, faults);
        QFETCH(QString, folder);
        QFETCH(QString, savedUnder);
        PhotoSite site;
        QVERIFY(site.listen());
        for (const FaultRule &fault : faults)
            site.addFault(fault);
        QTemporaryDir work;
        const QString summaryPath = m_home.filePath(QStringLiteral("summary.json"));
        const QString resolve = QStringLiteral("*.example.com=127.0.0.1:%1").arg(site.serverPort());

        const CliRun run = Cli{.home = m_home.path(), .workingDirectory = work.path()}.run(
                QStringList{"--folder", work.filePath(folder), "--resolve", resolve,
                            "--summary-json", summaryPath}
                + keywords);
        QVERIFY2(run.exitCode == exitCode, run.err.constData());

        const QString used = work.filePath(savedUnder);
        QVERIFY2(run.out.startsWith("saving into " + used.toUtf8() + "/\n"), run.out.constData());
        QCOMPARE(
                QDir(work.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                QStringList{savedUnder});
        QCOMPARE(QDir(used + QStringLiteral("/count5")).entryList(QDir::Files).size(), 5);
        for (const QByteArray &line : run.err.split('\n'))
            QVERIFY2(line.isEmpty() || line.startsWith("mosscatch-cli: "), line.constData());
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
