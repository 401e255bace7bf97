#include "harvestfixture.h"

#include <QTest>

using namespace mosscatch;

Q_DECLARE_METATYPE(mosscatch::FaultRule::Kind)

// Harvests over real sockets from a photo site that misbehaves like real and hostile
// servers do: whatever it sends, no file under an image's name differs from the site's
// bytes, and every image that cannot be had is counted as given up.
class TestHostileServer : public QObject
{
    Q_OBJECT

private slots:
    void noWrongFile_data()
    {
        QTest::addColumn<FaultRule::Kind>("kind");
        QTest::addColumn<int>("times");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("lost");
        using K = FaultRule::Kind;
        const auto add = [](const char *name, K kind, int times, int bytes, const char *target, bool lost) {
            QTest::newRow(name) << kind << times << bytes << QString::fromLatin1(target) << lost;
        };
        for (int at = 1; at <= 4; ++at) {
            add(qPrintable(QStringLiteral("200, status line split after %1").arg(at)), K::SplitHeader, -1, at, "largest", false);
            add(qPrintable(QStringLiteral("404, status line split after %1").arg(at)), K::NotFoundSplit, -1, at, "largest", true);
        }
        add("header in two writes, split inside it", K::SplitHeader, -1, 0, "standard", false);
        add("header one byte per write", K::HeaderByteByByte, -1, 0, "thumbnail", false);
        add("reset mid-image without a length", K::ResetNoLength, -1, 0, "largest", true);
        add("reset once, then whole", K::ResetNoLength, 1, 0, "largest", false);
        add("close mid-image without a length", K::CloseEarlyNoLength, -1, 0, "standard", true);
        add("chunked image", K::Chunked, -1, 0, "largest", false);
        add("gzip image", K::GzipEncoded, -1, 0, "standard", true);
        add("206 partial image", K::PartialContent, -1, 0, "largest", true);
        add("duplicate lengths", K::DuplicateLength, -1, 0, "thumbnail", false);
        add("contradicting lengths", K::ContradictingLengths, -1, 0, "largest", true);
        add("length inside another field's name", K::LengthInOtherField, -1, 0, "standard", false);
        add("503 results page once", K::Unavailable, 1, 0, "search", false);
    }

    void noWrongFile()
    {
        QFETCH(FaultRule::Kind, kind);
        QFETCH(int, times);
        QFETCH(int, bytes);
        QFETCH(QString, target);
        QFETCH(bool, lost);
        const HarvestRequest wanted{{"count15"}, {true, true, true}};
        HarvestFixture fixture;
        Photo photo;
        for (int index = 0; index < 15; ++index) {
            photo = fixture.site().catalog().photoAt("count15", false, index);
            if (!photo.portalThumbnail && !photo.standardRedirects)
                break;
        }
        QVERIFY(!photo.portalThumbnail && !photo.standardRedirects);
        const auto pathOf = [](const QByteArray &address) { return address.mid(address.indexOf('/')); };
        const QMap<QString, QPair<QByteArray, QString>> targets{
            {"standard", {pathOf(photo.standardImage), QString::fromLatin1(photo.standardFileName())}},
            {"thumbnail", {pathOf(photo.thumbnailImage), "thumbnails/" + QString::fromLatin1(photo.thumbnailFileName())}},
            {"largest", {pathOf(photo.largestImage), "largest/" + QString::fromLatin1(photo.largestFileName())}}};
        FaultRule rule = target == "search" ? FaultRule::pathPrefix("/search/", kind, times)
                                            : FaultRule::exactPath(targets.value(target).first, kind, times);
        rule.bytes = bytes;
        // Quick enough that the stall watch (a second here) sees no stall.
        rule.intervalMs = kind == FaultRule::Kind::HeaderByteByByte ? 0 : 5;
        fixture.site().addFault(rule);

        QVERIFY(fixture.harvest(wanted));
        QMap<QString, QByteArray> expected = fixture.expectedFiles(wanted);
        if (lost)
            QVERIFY(expected.remove("count15/" + targets.value(target).second) == 1);
        const QMap<QString, QByteArray> onDisk = fixture.filesOnDisk();
        QCOMPARE(onDisk.keys(), expected.keys());
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QVERIFY2(onDisk.value(it.key()) == it.value(), qPrintable("different bytes " + it.key()));
        QCOMPARE(fixture.givenUp(), lost ? 1 : 0);
    }
};

QTEST_GUILESS_MAIN(TestHostileServer)
#include "tst_hostileserver.moc"
