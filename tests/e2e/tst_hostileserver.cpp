#include "harvestfixture.h"
#include "rows.h"
#include "testmain.h"

#include <QDir>

#include <sys/stat.h>

using namespace mosscatch;

Q_DECLARE_METATYPE(mosscatch::FaultRule)
Q_DECLARE_METATYPE(mosscatch::FaultRule::Kind)

using K = FaultRule::Kind;

// Harvests over real sockets from a photo site that misbehaves like real and hostile
// servers do: whatever it sends, no file under an image's name differs from the site's
// bytes, every image that cannot be had is counted as given up, and the run goes on
// to the next keyword.
class TestHostileServer : public QObject
{
    Q_OBJECT

private slots:
    // The faults fall on one photo of the first keyword. A row named "TLS: ..." harvests
    // over TLS.
    void noWrongFile_data()
    {
        QTest::addColumn<FaultRule>("rule");
        QTest::addColumn<QString>("file"); // the one the fault falls on; none for the search page
        QTest::addColumn<bool>("lost"); // the image cannot be had
        const Photo photo = HarvestFixture::plainPhotos("count15", 1).constFirst();
        const QByteArray page = photo.pagePath, standard = photo.standardImage,
                         thumbnail = photo.thumbnailImage, largest = photo.largestImage;
        // The interval only matters to the paced kinds; 5 ms is quick enough that the
        // stall watch (a second here) sees no stall.
        const auto addRow = [&](const char *name, K kind, const QByteArray &address, bool lost,
                                int times = -1, qint64 bytes = 0, int intervalMs = 5) {
            FaultRule fault = FaultRule::exactPath(pathOf(address), kind, times);
            std::tie(fault.bytes, fault.intervalMs) = std::tuple(bytes, intervalMs);
            QTest::newRow(name)
                    << fault
                    << imageAddresses("count15", {photo}).key(address == page ? standard : address)
                    << lost;
        };
        addRow("stalled image given up", K::Stall, standard, true);
        addRow("photo page stalled once", K::Stall, page, false, 1);
        addRow("cut-off image given up", K::CloseEarly, thumbnail, true);
        addRow("cut-off once, then whole", K::CloseEarly, largest, false, 1);
        addRow("server error once", K::ServerError, standard, false, 1);
        addRow("503 results page once", K::Unavailable,
               PhotoCatalog().searchAddress("count15", false), false, 1);
        addRow("redirect loop", K::RedirectLoop, standard, true);
        addRow("redirect to another host, 600 characters, Location in capitals",
               K::RedirectCapitalLocation, standard, false);
        addRow("photo page without its end", K::MissingHtmlEnd, page, true);
        addRow("trickled", K::Trickle, thumbnail, false, -1, 0, 50);
        addRow("reset mid-image without a length", K::ResetNoLength, largest, true);
        addRow("reset once, then whole", K::ResetNoLength, largest, false, 1);
        addRow("close mid-image without a length", K::CloseEarlyNoLength, standard, true);
        addRow("kept connection closed as the request goes out", K::CloseWhenReused, thumbnail,
               false);
        addRow("Connection: close", K::ConnectionClose, standard, false);
        addRow("no length on a kept connection", K::NoLengthKept, largest, false);
        addRow("bytes after the image once", K::ExtraBytes, thumbnail, false, 1);
        addRow("kept connection stalls", K::StallWhenReused, standard, false);
        addRow("TLS: no length, closed with close_notify", K::NoContentLength, largest, false);
        // All of the image, yet a cut: nothing says the server meant to end there.
        addRow("TLS: no length, cut without close_notify", K::CutNoLength, largest, true, -1,
               1 << 30);
        addRow("TLS: redirect to plain HTTP", K::Redirect, standard, true);
        addRow("TLS: stalled image given up", K::Stall, thumbnail, true);
    }

    void noWrongFile()
    {
        QFETCH(FaultRule, rule);
        QFETCH(QString, file);
        QFETCH(bool, lost);
        const HarvestRequest wanted{{"count15", "count4"}, {true, true, true}};
        HarvestFixture fixture(QByteArray(QTest::currentDataTag()).startsWith("TLS: "));
        QVERIFY(fixture.isValid());
        const QByteArray standard
                = HarvestFixture::plainPhotos("count15", 1).constFirst().standardImage;
        // As image CDNs answer: another host, an address signed in a long query.
        const QByteArray cdn = "cdn7.static.photosite.example.com" + pathOf(standard);
        if (rule.kind == K::Redirect)
            rule.text = "http://" + standard;
        if (rule.kind == K::RedirectCapitalLocation) {
            rule.text = "http://" + cdn + "?sig=";
            rule.text += QByteArray(600 - rule.text.size(), 'a');
        }
        fixture.site().addFault(rule);

        // Made first, this also fills the site's image cache: the site shares the harvester's
        // event loop, and encoding a large image there on a loaded machine can hold it past a
        // one-second stall-watch tick, which would take a healthy trickle for a stall.
        QMap<QString, QByteArray> expected = fixture.expectedFiles(wanted);
        QVERIFY(fixture.harvest(wanted));
        QCOMPARE(fixture.startedKeywords, wanted.keywords);
        QVERIFY(file.isEmpty() || (lost ? expected.remove(file) == 1 : expected.contains(file)));
        // The site's image bytes differ from host to host.
        if (rule.kind == K::RedirectCapitalLocation)
            expected[file] = fixture.site().catalog().imageBytes(cdn);
        QVERIFY(sameFiles(fixture.filesOnDisk(), expected));
        QCOMPARE(fixture.givenUp, lost ? 1 : 0);
    }

    // Image names no file can have are given up before any request, and one the file system
    // refuses (a folder or a pipe is under it) once fetched: each costs only its own address,
    // with its reason, and every other image is saved.
    void refusedNamesCostOnlyTheirImage()
    {
        const HarvestRequest wanted{{"count15", "count4"}, {true, true, true}};
        HarvestFixture fixture;
        const QList<Photo> photos = HarvestFixture::plainPhotos("count15", 5);
        QMap<QString, QByteArray> expected = fixture.expectedFiles(wanted);
        for (const Photo &photo : photos)
            QCOMPARE(expected.remove("count15/" + QString::fromLatin1(photo.standardFileName())),
                     1);
        const QString keywordFolder = fixture.saveFolder() + QStringLiteral("count15/");
        const QString pipe = keywordFolder + QString::fromLatin1(photos[4].standardFileName());
        QVERIFY(QDir().mkpath(keywordFolder));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        QMap<QByteArray, QString> reasons{{photos[4].standardImage, "cannot save " + pipe}};
        const QList<std::pair<QByteArray, QString>> names{
                {"..", "no file can be named \"..\""},
                {".", "no file can be named \".\""},
                {"", "no file can be named \"\""},
                {"largest", "cannot save " + keywordFolder + "largest"}};
        for (qsizetype i = 0; i < names.size(); ++i) {
            const QByteArray address = photos[i].standardImage + '/' + names[i].first;
            fixture.site().addFault(
                    {.pattern = photos[i].pagePath, .kind = K::PhotoImageAddress, .text = address});
            fixture.site().addFault({.pattern = pathOf(address),
                                     .kind = K::OtherImage,
                                     .text = photos[i].standardImage});
            reasons.insert(address, names[i].second);
        }

        QVERIFY(fixture.harvest(wanted));
        QCOMPARE(fixture.startedKeywords, wanted.keywords);
        QVERIFY(!fixture.engine().options().paused());
        QVERIFY(sameFiles(fixture.filesOnDisk(), expected));
        QCOMPARE(fixture.givenUp, 5);
        QCOMPARE(fixture.namesRefused.keys(), reasons.keys());
        for (auto reason = reasons.cbegin(); reason != reasons.cend(); ++reason)
            QVERIFY(fixture.namesRefused.value(reason.key()).startsWith(reason.value()));
        // Those no file can be named were never asked for.
        for (const RequestRecord &request : fixture.site().requests())
            QVERIFY(!request.path.endsWith('.') && !request.path.endsWith(".jpg/"));
        QVERIFY(QFileInfo(pipe).exists() && !QFileInfo(pipe).isFile());
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
        const QByteArray path = pathOf(photo.largestImage);
        const QByteArray host = photo.largestImage.chopped(path.size());
        const FaultRule rule{
                .pattern = path, .kind = kind, .times = int(gapsMs.size()), .text = retryAfter};
        fixture.site().addFault(rule);

        QVERIFY(fixture.harvest(wanted));
        QCOMPARE(fixture.filesOnDisk(), fixture.expectedFiles(wanted));
        QList<QDateTime> attempts;
        for (const RequestRecord &request : fixture.site().requests())
            if (request.path == path)
                attempts << request.received;
        QCOMPARE(attempts.size(), gapsMs.size() + 1);
        for (qsizetype i = 0; i < gapsMs.size(); ++i)
            QVERIFY(attempts[i].msecsTo(attempts[i + 1]) >= gapsMs[i]);
        // While the host is held, between one attempt and the next, nothing else goes to it;
        // half a second at either end allows for a request already under way when the answer
        // came and for one sent in the tick the wait ended.
        for (const RequestRecord &request : fixture.site().requests()) {
            for (qsizetype i = 0; i < gapsMs.size(); ++i)
                QVERIFY(request.host != host || request.path == path
                        || request.received < attempts[i].addMSecs(500)
                        || request.received > attempts[i + 1].addMSecs(-500));
        }
    }
};

MOSSCATCH_TEST_GUILESS_MAIN(TestHostileServer)
#include "tst_hostileserver.moc"
