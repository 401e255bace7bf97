#include "loopbackclient.h"

#include "photosite/photosite.h"

#include <QEventLoop>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

using namespace mosscatch;

Q_DECLARE_METATYPE(mosscatch::FaultRule)

class tst_PhotoSite : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void requestFormsAndFraming_data();
    void requestFormsAndFraming();
    void routes_data();
    void routes();
    void standardImageRedirects();
    void faultShapesTheAnswer_data();
    void faultShapesTheAnswer();
    void pacedAnswersArriveInPieces_data();
    void pacedAnswersArriveInPieces();
    void stallAndEndlessKeepTheConnectionOpen_data();
    void stallAndEndlessKeepTheConnectionOpen();
    void faultWithUsesServesNormallyAfterwards();
    void ruleMatching_data();
    void ruleMatching();
    void stalledClientDoesNotHoldOthers();
    void toolServesAndStopsOnSigterm();

private:
    LoopbackClient::Answer get(const QByteArray &host, const QByteArray &path, int waitMs = 5000)
    {
        return LoopbackClient::exchange(m_site.serverPort(), LoopbackClient::request(host, path), waitMs);
    }

    PhotoSite m_site;
    Photo m_photo;
};

void tst_PhotoSite::initTestCase()
{
    QVERIFY(m_site.listen());
    m_photo = m_site.catalog().photoAt("count5", false, 0);
}

void tst_PhotoSite::init()
{
    m_site.clearFaults();
    m_site.clearRequests();
}

void tst_PhotoSite::requestFormsAndFraming_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("host");

    const QByteArray site = "www.photosite.example.com";
    QTest::newRow("harvester, bare line feeds")
            << QByteArray("GET /search/?q=count5&ct=0&mt=photos&adv=1&z=m HTTP/1.0\nHost: " + site
                          + "\nUser-Agent: Mozilla/5.0\n\n") << site;
    QTest::newRow("curl, CR LF")
            << QByteArray("GET /search/?q=count5&ct=0&mt=photos&adv=1&z=m HTTP/1.0\r\nHost: " + site
                          + "\r\nUser-Agent: curl/7.88.1\r\nAccept: */*\r\n\r\n") << site;
    QTest::newRow("absolute form")
            << QByteArray("GET http://" + site + "/search/?q=count5&ct=0&mt=photos&adv=1&z=m HTTP/1.0\n\n") << site;
}

void tst_PhotoSite::requestFormsAndFraming()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, host);

    const LoopbackClient::Answer answer = LoopbackClient::exchange(m_site.serverPort(), request);
    const QByteArray expected = m_site.catalog().resultsPage("count5", false, 0);
    QVERIFY(answer.closed);
    QVERIFY(answer.head().startsWith("HTTP/1.0 200 OK\r\n"));
    QVERIFY(answer.head().contains("\r\nContent-Length: " + QByteArray::number(expected.size()) + "\r\n"));
    QVERIFY(!answer.head().contains("\n\n"));
    QCOMPARE(answer.body(), expected);

    const QList<RequestRecord> log = m_site.requests();
    QCOMPARE(log.size(), 1);
    QCOMPARE(log.first().raw, request);
    QCOMPARE(log.first().method, "GET");
    QCOMPARE(log.first().host, host);
    QCOMPARE(log.first().path, "/search/?q=count5&ct=0&mt=photos&adv=1&z=m");
}

void tst_PhotoSite::routes_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("body");

    const PhotoCatalog &catalog = m_site.catalog();
    const Photo photo = catalog.photoAt("count5", false, 0);
    const QByteArray site = catalog.site().siteHost;
    const auto split = [](const QByteArray &address) {
        const qsizetype slash = address.indexOf('/');
        return std::pair{address.left(slash), address.mid(slash)};
    };
    const auto [imageHost, largestPath] = split(photo.largestImage);
    const auto [thumbnailHost, thumbnailPath] = split(photo.thumbnailImage);

    QTest::newRow("numbered results page") << site << split(catalog.resultPageAddress("count5", false, 1)).second
                                           << QByteArray("200 OK") << catalog.resultsPage("count5", false, 1);
    QTest::newRow("commercial results page") << site << split(catalog.resultPageAddress("count90", true, 1)).second
                                             << QByteArray("200 OK") << catalog.resultsPage("count90", true, 1);
    QTest::newRow("photo page") << site << photo.pagePath << QByteArray("200 OK") << catalog.photoPage(photo);
    QTest::newRow("sizes page") << site << photo.sizesPagePath << QByteArray("200 OK") << catalog.sizesPage(photo, {});
    QTest::newRow("largest size page") << site << photo.largestSizePagePath << QByteArray("200 OK")
                                       << catalog.sizesPage(photo, QByteArray(1, photo.largestSize));
    QTest::newRow("largest image") << imageHost << largestPath << QByteArray("200 OK")
                                   << catalog.imageBytes(photo.largestImage);
    QTest::newRow("thumbnail") << thumbnailHost << thumbnailPath << QByteArray("200 OK")
                               << catalog.imageBytes(photo.thumbnailImage);
    QTest::newRow("host with port") << thumbnailHost + ":8080" << thumbnailPath << QByteArray("200 OK")
                                    << catalog.imageBytes(photo.thumbnailImage);
    Photo queried;
    for (int index = 0; index < 200 && !(queried.standardImageAddress.contains('?') && !queried.standardRedirects); ++index)
        queried = catalog.photoAt("count200", false, index);
    const QByteArray address = queried.standardImageAddress.mid(7);
    QTest::newRow("standard image with query") << queried.imageHost << address.mid(address.indexOf('/'))
                                               << QByteArray("200 OK") << catalog.imageBytes(queried.standardImage);
    QTest::newRow("wrong owner") << site << QByteArray("/photos/nobody/" + QByteArray::number(photo.id) + "/")
                                 << QByteArray("404 Not Found") << QByteArray();
    QTest::newRow("unknown path") << site << QByteArray("/nothing/here.html") << QByteArray("404 Not Found")
                                  << QByteArray();
}

void tst_PhotoSite::routes()
{
    QFETCH(QByteArray, host);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, body);

    const LoopbackClient::Answer answer = get(host, path);
    QVERIFY(answer.head().startsWith("HTTP/1.0 " + status + "\r\n"));
    QVERIFY(answer.head().contains("\r\nContent-Length: " + QByteArray::number(answer.body().size()) + "\r\n"));
    if (body.isEmpty())
        QVERIFY(answer.body().contains("</html>"));
    else
        QCOMPARE(answer.body(), body);
}

void tst_PhotoSite::standardImageRedirects()
{
    const PhotoCatalog &catalog = m_site.catalog();
    Photo photo;
    for (int index = 0; index < 200 && !photo.standardRedirects; ++index)
        photo = catalog.photoAt("count200", false, index);
    QVERIFY(photo.standardRedirects);

    const QByteArray path = photo.standardImage.mid(photo.imageHost.size());
    const LoopbackClient::Answer moved = get(photo.imageHost, path);
    QVERIFY(moved.head().startsWith("HTTP/1.0 302 Found\r\n"));
    QVERIFY(moved.head().contains("\r\nlocation: " + photo.standardRedirectTarget + "\r\n"));
    QCOMPARE(get(photo.imageHost, photo.standardRedirectTarget).body(), catalog.imageBytes(photo.standardImage));
}

void tst_PhotoSite::faultShapesTheAnswer_data()
{
    QTest::addColumn<FaultRule>("rule");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("headHas");
    QTest::addColumn<QByteArray>("headLacks");
    QTest::addColumn<qint64>("bodySize");
    QTest::addColumn<QByteArray>("bodyHas");
    QTest::addColumn<QByteArray>("bodyLacks");

    using Kind = FaultRule::Kind;
    const QByteArray path = m_photo.pagePath;
    const qint64 size = m_site.catalog().photoPage(m_photo).size();
    const QByteArray length = "Content-Length: " + QByteArray::number(size) + "\r\n";
    const QByteArray ok = "200 OK";
    const auto rule = [&](Kind kind, qint64 bytes = 0, const QByteArray &text = {}) {
        FaultRule r = FaultRule::exactPath(path, kind);
        r.bytes = bytes;
        r.text = text;
        return r;
    };

    QTest::newRow("close early") << rule(Kind::CloseEarly, 100) << ok << length << QByteArray() << qint64(100)
                                 << QByteArray() << QByteArray("</html>");
    QTest::newRow("no length") << rule(Kind::NoContentLength) << ok << QByteArray() << QByteArray("Content-Length")
                               << size << QByteArray("</html>") << QByteArray();
    QTest::newRow("length larger") << rule(Kind::ContentLengthLarger)
                                   << ok << "Content-Length: " + QByteArray::number(size + 1000) + "\r\n" << length
                                   << size << QByteArray() << QByteArray();
    QTest::newRow("length smaller") << rule(Kind::ContentLengthSmaller, 300)
                                    << ok << "Content-Length: " + QByteArray::number(size - 300) + "\r\n" << length
                                    << size << QByteArray() << QByteArray();
    QTest::newRow("length garbage") << rule(Kind::ContentLengthGarbage) << ok << QByteArray("Content-Length: banana\r\n")
                                    << length << size << QByteArray() << QByteArray();
    QTest::newRow("404") << rule(Kind::NotFound) << QByteArray("404 Not Found") << QByteArray() << QByteArray()
                         << qint64(-1) << QByteArray("</html>") << QByteArray("photo-div");
    QTest::newRow("500") << rule(Kind::ServerError) << QByteArray("500 Internal Server Error") << QByteArray()
                         << QByteArray() << qint64(-1) << QByteArray("</html>") << QByteArray("photo-div");
    QTest::newRow("redirect") << rule(Kind::Redirect, 0, "/elsewhere/") << QByteArray("302 Found")
                              << QByteArray("\r\nlocation: /elsewhere/\r\n") << QByteArray() << qint64(-1)
                              << QByteArray() << QByteArray();
    QTest::newRow("redirect loop") << rule(Kind::RedirectLoop) << QByteArray("302 Found")
                                   << "\r\nlocation: " + path + "\r\n" << QByteArray() << qint64(-1)
                                   << QByteArray() << QByteArray();
    QTest::newRow("capital Location") << rule(Kind::RedirectCapitalLocation, 0, "/elsewhere/") << QByteArray("302 Found")
                                      << QByteArray("\r\nLocation: /elsewhere/\r\n") << QByteArray("location: ")
                                      << qint64(-1) << QByteArray() << QByteArray();
    QTest::newRow("no page end") << rule(Kind::MissingHtmlEnd) << ok << QByteArray() << QByteArray() << size - 7
                                 << QByteArray("photo-div") << QByteArray("</html>");
    QTest::newRow("capital page end") << rule(Kind::UpperCaseHtmlEnd) << ok << QByteArray() << QByteArray() << size
                                      << QByteArray("</HTML>") << QByteArray("</html>");
    QTest::newRow("huge page") << rule(Kind::HugePage, 5 * 1024 * 1024) << ok << QByteArray("Content-Length: 5242880\r\n")
                               << QByteArray() << qint64(5 * 1024 * 1024) << QByteArray("photo-div") << QByteArray();
}

void tst_PhotoSite::faultShapesTheAnswer()
{
    QFETCH(FaultRule, rule);
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, headHas);
    QFETCH(QByteArray, headLacks);
    QFETCH(qint64, bodySize);
    QFETCH(QByteArray, bodyHas);
    QFETCH(QByteArray, bodyLacks);

    m_site.addFault(rule);
    const LoopbackClient::Answer answer = get(m_site.catalog().site().siteHost, m_photo.pagePath);
    QVERIFY(answer.closed);
    QVERIFY2(answer.head().startsWith("HTTP/1.0 " + status + "\r\n"), answer.head().constData());
    QVERIFY(answer.head().contains(headHas));
    if (!headLacks.isEmpty())
        QVERIFY(!answer.head().contains(headLacks));
    if (bodySize >= 0)
        QCOMPARE(answer.body().size(), bodySize);
    if (!bodyHas.isEmpty())
        QVERIFY(answer.body().contains(bodyHas));
    if (!bodyLacks.isEmpty())
        QVERIFY(!answer.body().contains(bodyLacks));
    QVERIFY(answer.body().endsWith("\r\n") || bodySize == 100);
    QVERIFY(m_site.requests().last().faulted);
}

void tst_PhotoSite::pacedAnswersArriveInPieces_data()
{
    QTest::addColumn<FaultRule>("rule");
    QTest::addColumn<int>("firstChunk");
    QTest::addColumn<int>("minimumChunks");

    FaultRule trickle = FaultRule::pathPrefix("/photos/", FaultRule::Kind::Trickle);
    trickle.chunkBytes = 300;
    trickle.intervalMs = 20;
    FaultRule split = FaultRule::pathPrefix("/photos/", FaultRule::Kind::SplitHeader);
    split.bytes = 40;
    split.intervalMs = 150;
    QTest::newRow("trickle") << trickle << -1 << 4;
    QTest::newRow("header split at 40") << split << 40 << 2;
}

void tst_PhotoSite::pacedAnswersArriveInPieces()
{
    QFETCH(FaultRule, rule);
    QFETCH(int, firstChunk);
    QFETCH(int, minimumChunks);

    m_site.addFault(rule);
    const LoopbackClient::Answer answer = get(m_site.catalog().site().siteHost, m_photo.pagePath);
    QVERIFY(answer.closed);
    QVERIFY(answer.chunks.size() >= minimumChunks);
    if (firstChunk >= 0)
        QCOMPARE(answer.chunks.first().size(), firstChunk);
    QCOMPARE(answer.body(), m_site.catalog().photoPage(m_photo));
}

void tst_PhotoSite::stallAndEndlessKeepTheConnectionOpen_data()
{
    QTest::addColumn<FaultRule>("rule");
    QTest::addColumn<int>("minimumBytes");

    FaultRule endless = FaultRule::exactPath(m_photo.pagePath, FaultRule::Kind::EndlessBody);
    endless.chunkBytes = 1000;
    endless.intervalMs = 10;
    QTest::newRow("stall") << FaultRule::exactPath(m_photo.pagePath, FaultRule::Kind::Stall) << 0;
    QTest::newRow("endless body") << endless << 5000;
}

void tst_PhotoSite::stallAndEndlessKeepTheConnectionOpen()
{
    QFETCH(FaultRule, rule);
    QFETCH(int, minimumBytes);

    m_site.addFault(rule);
    const LoopbackClient::Answer answer = get(m_site.catalog().site().siteHost, m_photo.pagePath, 400);
    QVERIFY(!answer.closed);
    QVERIFY(answer.bytes.size() >= minimumBytes);
    QVERIFY(minimumBytes > 0 || answer.bytes.isEmpty());
    QVERIFY(!answer.bytes.contains("Content-Length"));
    QVERIFY(!answer.bytes.contains("</html>"));
    QCOMPARE(m_site.requests().size(), 1);
}

void tst_PhotoSite::faultWithUsesServesNormallyAfterwards()
{
    m_site.addFault(FaultRule::wildcard("*/photos/*", FaultRule::Kind::ServerError, 2));
    const QByteArray host = m_site.catalog().site().siteHost;
    QVERIFY(get(host, m_photo.pagePath).head().startsWith("HTTP/1.0 500 "));
    QVERIFY(get(host, m_photo.pagePath).head().startsWith("HTTP/1.0 500 "));
    QCOMPARE(get(host, m_photo.pagePath).body(), m_site.catalog().photoPage(m_photo));

    const QList<RequestRecord> log = m_site.requests();
    QCOMPARE(log.size(), 3);
    QCOMPARE(log.at(0).faulted, true);
    QCOMPARE(log.at(1).faulted, true);
    QCOMPARE(log.at(2).faulted, false);
}

void tst_PhotoSite::ruleMatching_data()
{
    QTest::addColumn<FaultRule>("rule");
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("matches");

    using Kind = FaultRule::Kind;
    const QByteArray farm = "farm3.static.photosite.example.com";
    const FaultRule largest = FaultRule::wildcard("farm*.static.photosite.example.com/*_o.jpg", Kind::Stall);
    QTest::newRow("wildcard hit") << largest << farm << QByteArray("/1234/1234567890_ab_o.jpg") << true;
    QTest::newRow("wildcard other size") << largest << farm << QByteArray("/1234/1234567890_ab_b.jpg") << false;
    QTest::newRow("wildcard other host") << largest << QByteArray("img.portalcache.photosite.example.com")
                                         << QByteArray("/1/2_o.jpg") << false;
    QTest::newRow("question mark") << FaultRule::wildcard("www.?.com/", Kind::Stall) << QByteArray("www.a.com")
                                   << QByteArray("/") << true;
    QTest::newRow("exact with query") << FaultRule::exactPath("/search/?q=a&page=2", Kind::Stall) << farm
                                      << QByteArray("/search/?q=a&page=2") << true;
    QTest::newRow("exact is not prefix") << FaultRule::exactPath("/search/?q=a", Kind::Stall) << farm
                                         << QByteArray("/search/?q=a&page=2") << false;
    QTest::newRow("prefix") << FaultRule::pathPrefix("/photos/", Kind::Stall) << farm
                            << QByteArray("/photos/x/1/sizes/") << true;
    QTest::newRow("used up") << FaultRule::pathPrefix("/", Kind::Stall, 0) << farm << QByteArray("/") << false;
}

void tst_PhotoSite::ruleMatching()
{
    QFETCH(FaultRule, rule);
    QFETCH(QByteArray, host);
    QFETCH(QByteArray, path);
    QFETCH(bool, matches);

    QCOMPARE(rule.matches(host, path), matches);
}

void tst_PhotoSite::stalledClientDoesNotHoldOthers()
{
    m_site.addFault(FaultRule::exactPath("/stall", FaultRule::Kind::Stall));
    QTcpSocket stalled;
    stalled.connectToHost(QHostAddress::LocalHost, m_site.serverPort());
    QVERIFY(stalled.waitForConnected());
    stalled.write("GET /stall HTTP/1.0\n\n");
    QTcpSocket silent;
    silent.connectToHost(QHostAddress::LocalHost, m_site.serverPort());
    QVERIFY(silent.waitForConnected());
    silent.write("GET /half");

    const QList<Photo> photos = m_site.catalog().photosOnPage("count12", false, 1);
    QList<QTcpSocket *> sockets;
    QList<QByteArray> answers(photos.size());
    QEventLoop loop;
    int open = int(photos.size());
    for (qsizetype i = 0; i < photos.size(); ++i) {
        auto *socket = new QTcpSocket(this);
        connect(socket, &QTcpSocket::readyRead, this, [&, socket, i] { answers[i] += socket->readAll(); });
        connect(socket, &QTcpSocket::disconnected, this, [&] {
            if (--open == 0)
                loop.quit();
        });
        socket->connectToHost(QHostAddress::LocalHost, m_site.serverPort());
        socket->write(LoopbackClient::request(photos.at(i).imageHost, photos.at(i).standardImage.mid(photos.at(i).imageHost.size())));
        sockets.append(socket);
    }
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    QCOMPARE(open, 0);
    for (qsizetype i = 0; i < photos.size(); ++i) {
        if (!photos.at(i).standardRedirects)
            QVERIFY(answers.at(i).endsWith(m_site.catalog().imageBytes(photos.at(i).standardImage)));
    }
    qDeleteAll(sockets);
    QCOMPARE(stalled.state(), QAbstractSocket::ConnectedState);
}

void tst_PhotoSite::toolServesAndStopsOnSigterm()
{
    QProcess tool;
    tool.start(QStringLiteral(MOSSCATCH_PHOTOSITE_TOOL), {QStringLiteral("--port"), QStringLiteral("0")});
    QVERIFY(tool.waitForStarted());
    QVERIFY(tool.waitForReadyRead(10000));
    QTRY_VERIFY(tool.canReadLine());
    const QByteArray line = tool.readLine();
    const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)\\n$")).match(QString::fromLatin1(line));
    QVERIFY2(match.hasMatch(), line.constData());

    const QByteArray address = m_photo.thumbnailImage;
    const qsizetype slash = address.indexOf('/');
    const LoopbackClient::Answer answer = LoopbackClient::exchange(
            quint16(match.captured(1).toUInt()), LoopbackClient::request(address.left(slash), address.mid(slash)));
    QCOMPARE(answer.body(), m_site.catalog().imageBytes(address));

    tool.terminate();
    QVERIFY(tool.waitForFinished(10000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), 0);
    QVERIFY(tool.readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(tst_PhotoSite)
#include "tst_photosite.moc"
