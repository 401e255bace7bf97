#include "harvestfixture.h"

#include <QDir>
#include <QTest>

using namespace mosscatch;

Q_DECLARE_METATYPE(mosscatch::HarvestRequest)
Q_DECLARE_METATYPE(mosscatch::FaultRule::Kind)

namespace {

QByteArray pathOf(const QByteArray &hostAndPath)
{
    return hostAndPath.mid(hostAndPath.indexOf('/'));
}

HarvestRequest request(QByteArrayList keywords, bool thumbnails, bool standard, bool largest,
                       bool commercial = false, const QString &maxImages = QStringLiteral("60"))
{
    return {std::move(keywords), {thumbnails, standard, largest, commercial, maxImages}};
}

// Human-readable difference, so a failure says which file is wrong.
QString difference(const QMap<QString, QByteArray> &actual, const QMap<QString, QByteArray> &expected)
{
    QStringList lines;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (!actual.contains(it.key()))
            lines << "missing " + it.key();
        else if (actual.value(it.key()) != it.value())
            lines << "different bytes " + it.key();
    }
    for (auto it = actual.cbegin(); it != actual.cend(); ++it) {
        if (!expected.contains(it.key()))
            lines << "unexpected " + it.key();
    }
    return lines.join(QLatin1Char('\n'));
}

}

class TestHarvest : public QObject
{
    Q_OBJECT

private slots:
    void savesWhatTheSiteServes_data();
    void savesWhatTheSiteServes();
    void secondRunFetchesNoImageAgain();
    void faultsLeaveNoWrongFile_data();
    void faultsLeaveNoWrongFile();
};

void TestHarvest::savesWhatTheSiteServes_data()
{
    QTest::addColumn<HarvestRequest>("wanted");
    QTest::newRow("defaults") << request({"count37", "count12"}, true, true, false);
    QTest::newRow("every size, no limit, two pages") << request({"count75", "count7"}, true, true, true, false, "max");
    QTest::newRow("largest only, commercial") << request({"count90", "count20"}, false, false, true, true, "Max");
    QTest::newRow("thumbnails only, limit of 120") << request({"count130"}, true, false, false, false, "120");
    QTest::newRow("limit below one page") << request({"count37", "count5"}, true, true, true, false, "30");
    QTest::newRow("nothing ticked") << request({"count37", "count5"}, false, false, false);
    QTest::newRow("no results") << request({"count0", "count3"}, true, true, true);
}

void TestHarvest::savesWhatTheSiteServes()
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
    QVERIFY2(onDisk == expected, qPrintable(difference(onDisk, expected)));
    for (const QString &keyword : order) {
        QVERIFY(QDir(fixture.saveFolder() + keyword + "/thumbnails").exists());
        QVERIFY(QDir(fixture.saveFolder() + keyword + "/largest").exists());
    }
}

void TestHarvest::secondRunFetchesNoImageAgain()
{
    const HarvestRequest wanted = request({"count20"}, true, true, true);
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

void TestHarvest::faultsLeaveNoWrongFile_data()
{
    QTest::addColumn<FaultRule::Kind>("kind");
    QTest::addColumn<int>("times");
    QTest::addColumn<QString>("target");  // which address of the chosen photo is faulted
    QTest::addColumn<bool>("lost");       // the image cannot be had

    using K = FaultRule::Kind;
    QTest::newRow("stalled image given up") << K::Stall << -1 << "standard" << true;
    QTest::newRow("cut-off image given up") << K::CloseEarly << -1 << "thumbnail" << true;
    QTest::newRow("cut-off once, then whole") << K::CloseEarly << 1 << "largest" << false;
    QTest::newRow("larger length announced") << K::ContentLengthLarger << -1 << "standard" << true;
    QTest::newRow("not found") << K::NotFound << -1 << "largest" << true;
    QTest::newRow("server error once") << K::ServerError << 1 << "standard" << false;
    QTest::newRow("redirect loop") << K::RedirectLoop << -1 << "standard" << true;
    QTest::newRow("no length, closed at the end") << K::NoContentLength << -1 << "thumbnail" << false;
    QTest::newRow("trickled") << K::Trickle << -1 << "thumbnail" << false;
    QTest::newRow("header in two writes") << K::SplitHeader << -1 << "largest" << false;
    QTest::newRow("photo page without its end") << K::MissingHtmlEnd << -1 << "photo page" << true;
    QTest::newRow("photo page stalled once") << K::Stall << 1 << "photo page" << false;
}

void TestHarvest::faultsLeaveNoWrongFile()
{
    QFETCH(FaultRule::Kind, kind);
    QFETCH(int, times);
    QFETCH(QString, target);
    QFETCH(bool, lost);

    const HarvestRequest wanted = request({"count15", "count4"}, true, true, true);
    HarvestFixture fixture;
    // A photo of plain habits, so the fault is the only thing unusual about it.
    Photo photo;
    for (int index = 0; index < 15; ++index) {
        photo = fixture.site().catalog().photoAt("count15", false, index);
        if (!photo.portalThumbnail && !photo.standardRedirects)
            break;
    }
    QByteArray faulted;
    QString lostFile = QStringLiteral("count15/");
    if (target == "standard") {
        faulted = pathOf(photo.standardImage);
        lostFile += QString::fromLatin1(photo.standardFileName());
    } else if (target == "thumbnail") {
        faulted = pathOf(photo.thumbnailImage);
        lostFile += "thumbnails/" + QString::fromLatin1(photo.thumbnailFileName());
    } else if (target == "largest") {
        faulted = pathOf(photo.largestImage);
        lostFile += "largest/" + QString::fromLatin1(photo.largestFileName());
    } else {
        faulted = photo.pagePath;
        lostFile += QString::fromLatin1(photo.standardFileName());
    }
    QVERIFY(!photo.portalThumbnail && !photo.standardRedirects);
    fixture.site().addFault(FaultRule::exactPath(faulted, kind, times));

    QVERIFY(fixture.harvest(wanted));
    QCOMPARE(fixture.startedKeywords(), QStringList({"count15", "count4"}));
    QMap<QString, QByteArray> expected = fixture.expectedFiles(wanted);
    QVERIFY(expected.contains(lostFile));
    if (lost)
        expected.remove(lostFile);
    const QMap<QString, QByteArray> onDisk = fixture.filesOnDisk();
    QVERIFY2(onDisk == expected, qPrintable(difference(onDisk, expected)));
}

QTEST_GUILESS_MAIN(TestHarvest)
#include "tst_harvest.moc"
