#include "harvestfixture.h"
#include "rows.h"

#include <QTest>

using namespace mosscatch;

Q_DECLARE_METATYPE(mosscatch::FaultRule::Kind)

namespace {

using K = FaultRule::Kind;

// The interval only matters to the paced kinds; 5 ms is quick enough that the
// stall watch (a second here) sees no stall.
void addRow(const QByteArray &name, K kind, const char *target, bool lost, int times = -1,
            int bytes = 0, int intervalMs = 5)
{
    QTest::newRow(name.constData())
            << kind << times << bytes << intervalMs << QString::fromLatin1(target) << lost;
}

}

// Harvests over real sockets from a photo site that misbehaves like real and hostile
// servers do: whatever it sends, no file under an image's name differs from the site's
// bytes, every image that cannot be had is counted as given up, and the run goes on
// to the next keyword.
class TestHostileServer : public QObject
{
    Q_OBJECT

private slots:
    void noWrongFile_data()
    {
        QTest::addColumn<K>("kind");
        QTest::addColumn<int>("times");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("intervalMs");
        QTest::addColumn<QString>("target"); // which address of the chosen photo is faulted
        QTest::addColumn<bool>("lost"); // the image cannot be had
        addRow("stalled image given up", K::Stall, "standard", true);
        addRow("photo page stalled once", K::Stall, "photo page", false, 1);
        addRow("cut-off image given up", K::CloseEarly, "thumbnail", true);
        addRow("cut-off once, then whole", K::CloseEarly, "largest", false, 1);
        addRow("larger length announced", K::ContentLengthLarger, "standard", true);
        addRow("not found", K::NotFound, "largest", true);
        addRow("server error once", K::ServerError, "standard", false, 1);
        addRow("503 results page once", K::Unavailable, "search", false, 1);
        addRow("redirect loop", K::RedirectLoop, "standard", true);
        addRow("no length, closed at the end", K::NoContentLength, "thumbnail", false);
        addRow("trickled", K::Trickle, "thumbnail", false, -1, 0, 50);
        addRow("photo page without its end", K::MissingHtmlEnd, "photo page", true);
        addRow("header in two writes", K::SplitHeader, "largest", false, -1, 0, 50);
        addRow("header in two writes, split inside it", K::SplitHeader, "standard", false);
        for (int at = 1; at <= 4; ++at) {
            addRow("200, status line split after " + QByteArray::number(at), K::SplitHeader,
                   "largest", false, -1, at);
            addRow("404, status line split after " + QByteArray::number(at), K::NotFoundSplit,
                   "largest", true, -1, at);
        }
        addRow("header one byte per write", K::HeaderByteByByte, "thumbnail", false, -1, 0, 0);
        addRow("reset mid-image without a length", K::ResetNoLength, "largest", true);
        addRow("reset once, then whole", K::ResetNoLength, "largest", false, 1);
        addRow("close mid-image without a length", K::CloseEarlyNoLength, "standard", true);
        addRow("chunked image", K::Chunked, "largest", false);
        addRow("gzip image", K::GzipEncoded, "standard", true);
        addRow("206 partial image", K::PartialContent, "largest", true);
        addRow("duplicate lengths", K::DuplicateLength, "thumbnail", false);
        addRow("contradicting lengths", K::ContradictingLengths, "largest", true);
        addRow("length inside another field's name", K::LengthInOtherField, "standard", false);
    }

    void noWrongFile()
    {
        QFETCH(K, kind);
        QFETCH(int, times);
        QFETCH(QString, target);
        QFETCH(bool, lost);
        const HarvestRequest wanted{{"count15", "count4"}, {true, true, true}};
        HarvestFixture fixture;
        // A photo of plain habits, so the fault is the only thing unusual about it.
        Photo photo;
        for (int index = 0; index < 15; ++index) {
            photo = fixture.site().catalog().photoAt("count15", false, index);
            if (!photo.portalThumbnail && !photo.standardRedirects)
                break;
        }
        QVERIFY(!photo.portalThumbnail && !photo.standardRedirects);
        const auto pathOf
                = [](const QByteArray &address) { return address.mid(address.indexOf('/')); };
        const QString standard = QString::fromLatin1(photo.standardFileName());
        const QMap<QString, QPair<QByteArray, QString>> targets{
                {"standard", {pathOf(photo.standardImage), standard}},
                {"photo page", {photo.pagePath, standard}},
                {"thumbnail",
                 {pathOf(photo.thumbnailImage),
                  "thumbnails/" + QString::fromLatin1(photo.thumbnailFileName())}},
                {"largest",
                 {pathOf(photo.largestImage),
                  "largest/" + QString::fromLatin1(photo.largestFileName())}}};
        FaultRule rule = target == "search"
                                 ? FaultRule::pathPrefix("/search/", kind, times)
                                 : FaultRule::exactPath(targets.value(target).first, kind, times);
        QFETCH(int, bytes);
        QFETCH(int, intervalMs);
        rule.bytes = bytes;
        rule.intervalMs = intervalMs;
        fixture.site().addFault(rule);

        QVERIFY(fixture.harvest(wanted));
        QCOMPARE(fixture.startedKeywords(), QStringList({"count15", "count4"}));
        QMap<QString, QByteArray> expected = fixture.expectedFiles(wanted);
        const QString faultedFile = "count15/" + targets.value(target).second;
        QVERIFY(target == "search" || expected.contains(faultedFile));
        if (lost)
            expected.remove(faultedFile);
        const QMap<QString, QByteArray> onDisk = fixture.filesOnDisk();
        QCOMPARE(onDisk.keys(), expected.keys());
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QVERIFY2(onDisk.value(it.key()) == it.value(),
                     qPrintable("different bytes " + it.key()));
        QCOMPARE(fixture.givenUp(), lost ? 1 : 0);
    }

    // A host that asks for a wait gets none of our requests until then; the image comes in the
    // end.
    void waitsAsTheHostAsks_data()
    {
        const auto row = columns<K, QByteArray, QList<qint64>>("kind", "retryAfter", "gapsMs");
        row("429, Retry-After: 2", K::TooManyRequests, "2", {2000, 2000});
        row("503 without Retry-After: 1 s, then 2 s", K::Unavailable, "", {1000, 2000});
    }

    void waitsAsTheHostAsks()
    {
        QFETCH(K, kind);
        QFETCH(QByteArray, retryAfter);
        QFETCH(QList<qint64>, gapsMs);
        const HarvestRequest wanted{{"count15"}, {true, true, true}};
        HarvestFixture fixture;
        const Photo photo = fixture.site().catalog().photoAt("count15", false, 1);
        const QByteArray host = photo.largestImage.left(photo.largestImage.indexOf('/'));
        const QByteArray path = photo.largestImage.mid(host.size());
        FaultRule rule = FaultRule::exactPath(path, kind, int(gapsMs.size()));
        rule.text = retryAfter;
        fixture.site().addFault(rule);

        QVERIFY(fixture.harvest(wanted));
        QCOMPARE(fixture.filesOnDisk(), fixture.expectedFiles(wanted));
        QList<QDateTime> attempts;
        for (const RequestRecord &request : fixture.site().requests()) {
            if (request.path == path)
                attempts << request.received;
        }
        QCOMPARE(attempts.size(), gapsMs.size() + 1);
        for (qsizetype i = 0; i < gapsMs.size(); ++i)
            QVERIFY(attempts[i].msecsTo(attempts[i + 1]) >= gapsMs[i]);
        // Allowing for a request already under way when the answer came.
        for (const RequestRecord &request : fixture.site().requests())
            QVERIFY2(request.host != host || request.path == path
                             || request.received < attempts.first().addMSecs(500)
                             || request.received > attempts.last().addMSecs(-500),
                     qPrintable(request.path + ' '
                                + QByteArray::number(attempts.first().msecsTo(request.received))));
    }
};

QTEST_GUILESS_MAIN(TestHostileServer)
#include "tst_hostileserver.moc"
