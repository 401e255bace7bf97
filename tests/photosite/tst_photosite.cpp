#include "loopbackclient.h"

#include "photosite/photosite.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <vector>

using namespace mosscatch;

Q_DECLARE_METATYPE(mosscatch::FaultRule)

class tst_PhotoSite : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void routes_data();
    void routes();
    void faults_data();
    void faults();
    void faultWithUsesServesNormallyAfterwards();
    void ruleMatching_data();
    void ruleMatching();
    void slowClientsDoNotHoldOthers();
    void toolServesAndStopsOnSigterm();

private:
    LoopbackClient::Answer getPhotoPage(int waitMs = 5000)
    {
        const QByteArray request = LoopbackClient::request(m_site.catalog().site().siteHost, m_photo.pagePath);
        return LoopbackClient::exchange(m_site.serverPort(), request, waitMs);
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

void tst_PhotoSite::routes_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("headHas");
    QTest::addColumn<QByteArray>("body");

    const PhotoCatalog &catalog = m_site.catalog();
    const Photo &photo = m_photo;
    const QByteArray site = catalog.site().siteHost;
    const QByteArray search = "/search/?q=count5&ct=0&mt=photos&adv=1&z=m";
    const QByteArray firstPage = catalog.resultsPage("count5", false, 0);
    const QByteArray html = "Content-Type: text/html";
    const QByteArray jpeg = "Content-Type: image/jpeg";
    const auto row = [](const char *name, const QByteArray &host, const QByteArray &path, const QByteArray &status,
                        const QByteArray &headHas, const QByteArray &body) {
        QTest::newRow(name) << LoopbackClient::request(host, path) << host << path << status << headHas << body;
    };
    const auto image = [&](const char *name, const QByteArray &address, const QByteArray &bytes) {
        const qsizetype slash = address.indexOf('/');
        row(name, address.left(slash), address.mid(slash), "200 OK", jpeg, bytes);
    };
    Photo queried, redirected;
    for (int index = 0; queried.id == 0 || redirected.id == 0; ++index) {
        const Photo candidate = catalog.photoAt("count200", false, index);
        if (candidate.standardImageAddress.contains('?') && !candidate.standardRedirects)
            queried = candidate;
        if (candidate.standardRedirects)
            redirected = candidate;
    }

    row("harvester, bare line feeds", site, search, "200 OK", html, firstPage);
    QTest::newRow("curl, CR LF")
        << QByteArray("GET " + search + " HTTP/1.0\r\nHost: " + site + "\r\nUser-Agent: curl/7.88.1\r\nAccept: */*\r\n\r\n")
        << site << search << QByteArray("200 OK") << html << firstPage;
    QTest::newRow("absolute form") << QByteArray("GET http://" + site + search + " HTTP/1.0\n\n") << site << search
                                   << QByteArray("200 OK") << html << firstPage;
    row("numbered results page", site, "/search/?q=count5&ct=0&mt=photos&adv=1&page=1", "200 OK", html,
        catalog.resultsPage("count5", false, 1));
    row("commercial results page", site, "/search/?q=count90&l=comm&ct=0&mt=photos&adv=1&page=1", "200 OK", html,
        catalog.resultsPage("count90", true, 1));
    row("photo page", site, photo.pagePath, "200 OK", html, catalog.photoPage(photo));
    row("sizes page", site, photo.sizesPagePath, "200 OK", html, catalog.sizesPage(photo, {}));
    row("largest size page", site, photo.largestSizePagePath, "200 OK", html,
        catalog.sizesPage(photo, QByteArray(1, photo.largestSize)));
    image("largest image", photo.largestImage, catalog.imageBytes(photo.largestImage));
    image("thumbnail", photo.thumbnailImage, catalog.imageBytes(photo.thumbnailImage));
    image("host with port", photo.imageHost + ":8080" + photo.thumbnailImage.mid(photo.imageHost.size()),
          catalog.imageBytes(photo.thumbnailImage));
    image("standard image with query", queried.standardImageAddress.mid(7), catalog.imageBytes(queried.standardImage));
    row("standard image moved", redirected.imageHost, redirected.standardImage.mid(redirected.imageHost.size()),
        "302 Found", "\r\nlocation: " + redirected.standardRedirectTarget + "\r\n", {});
    image("moved standard image", redirected.imageHost + redirected.standardRedirectTarget,
          catalog.imageBytes(redirected.standardImage));
    row("wrong owner", site, "/photos/nobody/" + QByteArray::number(photo.id) + "/", "404 Not Found", html, {});
    row("unknown path", site, "/nothing/here.html", "404 Not Found", html, {});
}

void tst_PhotoSite::routes()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, host);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, headHas);
    QFETCH(QByteArray, body);

    const LoopbackClient::Answer answer = LoopbackClient::exchange(m_site.serverPort(), request);
    QVERIFY(answer.closed);
    QVERIFY2(answer.head().startsWith("HTTP/1.0 " + status + "\r\n"), answer.head().constData());
    QVERIFY(answer.head().contains(headHas));
    QVERIFY(answer.head().contains("\r\nContent-Length: " + QByteArray::number(answer.body().size()) + "\r\n"));
    QVERIFY(!answer.head().contains("\n\n"));
    if (body.isEmpty())
        QVERIFY(answer.body().contains("</html>"));
    else
        QCOMPARE(answer.body(), body);

    const QList<RequestRecord> log = m_site.requests();
    QCOMPARE(log.size(), 1);
    QCOMPARE(log.first().raw, request);
    QCOMPARE(log.first().method, "GET");
    QCOMPARE(log.first().host, host);
    QCOMPARE(log.first().path, path);
    QVERIFY(!log.first().faulted);
}

void tst_PhotoSite::faults_data()
{
    QTest::addColumn<FaultRule>("rule");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<qint64>("bodySize");
    QTest::addColumn<QByteArrayList>("has");
    QTest::addColumn<QByteArray>("lacks");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<int>("minimumChunks");
    QTest::addColumn<int>("firstChunk");

    using Kind = FaultRule::Kind;
    const QByteArray path = m_photo.pagePath;
    const QByteArray page = m_site.catalog().photoPage(m_photo);
    const qint64 size = page.size();
    const auto length = [](qint64 bytes) { return "Content-Length: " + QByteArray::number(bytes) + "\r\n"; };
    const auto rule = [&](Kind kind, qint64 bytes = 0, const QByteArray &text = {}, int chunkBytes = 1000, int intervalMs = 10) {
        FaultRule r = FaultRule::exactPath(path, kind);
        r.bytes = bytes;
        r.text = text;
        r.chunkBytes = chunkBytes;
        r.intervalMs = intervalMs;
        return r;
    };
    const auto row = [](const char *name, const FaultRule &rule, const QByteArray &status, qint64 bodySize,
                        const QByteArrayList &has, const QByteArray &lacks, bool closed = true, int minimumChunks = 0,
                        int firstChunk = -1) {
        QTest::newRow(name) << rule << status << bodySize << has << lacks << closed << minimumChunks << firstChunk;
    };
    const QByteArray ok = "200 OK";
    const QByteArray found = "302 Found";

    row("close early", rule(Kind::CloseEarly, 100), ok, 100, {length(size)}, "</html>");
    row("no length", rule(Kind::NoContentLength), ok, size, {"</html>"}, "Content-Length");
    row("length larger", rule(Kind::ContentLengthLarger), ok, size, {length(size + 1000)}, length(size));
    row("length smaller", rule(Kind::ContentLengthSmaller, 300), ok, size, {length(size - 300)}, length(size));
    row("length garbage", rule(Kind::ContentLengthGarbage), ok, size, {"Content-Length: banana\r\n"}, length(size));
    row("404", rule(Kind::NotFound), "404 Not Found", -1, {"</html>"}, "photo-div");
    row("500", rule(Kind::ServerError), "500 Internal Server Error", -1, {"</html>"}, "photo-div");
    row("redirect", rule(Kind::Redirect, 0, "/elsewhere/"), found, -1, {"\r\nlocation: /elsewhere/\r\n"}, "photo-div");
    row("redirect loop", rule(Kind::RedirectLoop), found, -1, {"\r\nlocation: " + path + "\r\n"}, "photo-div");
    row("capital Location", rule(Kind::RedirectCapitalLocation, 0, "/elsewhere/"), found, -1,
        {"\r\nLocation: /elsewhere/\r\n"}, "location: ");
    row("no page end", rule(Kind::MissingHtmlEnd), ok, size - 7, {"photo-div"}, "</html>");
    row("capital page end", rule(Kind::UpperCaseHtmlEnd), ok, size, {"</HTML>"}, "</html>");
    row("huge page", rule(Kind::HugePage, 5 * 1024 * 1024), ok, 5 * 1024 * 1024, {length(5 * 1024 * 1024), "photo-div"}, {});
    row("trickle", rule(Kind::Trickle, 0, {}, 300, 20), ok, size, {length(size), page}, {}, true, 4);
    row("header split at 40", rule(Kind::SplitHeader, 40, {}, 0, 150), ok, size, {length(size), page}, {}, true, 2, 40);
    row("stall", rule(Kind::Stall), {}, 0, {}, {}, false);
    row("endless body", rule(Kind::EndlessBody), ok, -1, {QByteArray(5000, 'x')}, "Content-Length", false);
}

void tst_PhotoSite::faults()
{
    QFETCH(FaultRule, rule);
    QFETCH(QByteArray, status);
    QFETCH(qint64, bodySize);
    QFETCH(QByteArrayList, has);
    QFETCH(QByteArray, lacks);
    QFETCH(bool, closed);
    QFETCH(int, minimumChunks);
    QFETCH(int, firstChunk);

    m_site.addFault(rule);
    const LoopbackClient::Answer answer = getPhotoPage(closed ? 5000 : 400);
    QCOMPARE(answer.closed, closed);
    QVERIFY2(status.isEmpty() ? answer.bytes.isEmpty() : answer.head().startsWith("HTTP/1.0 " + status + "\r\n"),
             answer.head().constData());
    for (const QByteArray &part : has)
        QVERIFY2(answer.bytes.contains(part), part.constData());
    QVERIFY(lacks.isEmpty() || !answer.bytes.contains(lacks));
    QVERIFY(closed || !answer.bytes.contains("</html>"));
    QVERIFY(bodySize < 0 || answer.body().size() == bodySize);
    QVERIFY(answer.chunks.size() >= minimumChunks);
    QVERIFY(firstChunk < 0 || answer.chunks.first().size() == firstChunk);
    QCOMPARE(m_site.requests().size(), 1);
    QVERIFY(m_site.requests().first().faulted);
}

void tst_PhotoSite::faultWithUsesServesNormallyAfterwards()
{
    m_site.addFault(FaultRule::wildcard("*/photos/*", FaultRule::Kind::ServerError, 2));
    QVERIFY(getPhotoPage().head().startsWith("HTTP/1.0 500 "));
    QVERIFY(getPhotoPage().head().startsWith("HTTP/1.0 500 "));
    QCOMPARE(getPhotoPage().body(), m_site.catalog().photoPage(m_photo));
    const QList<RequestRecord> log = m_site.requests();
    QCOMPARE(log.size(), 3);
    QCOMPARE((QList<bool>{log.at(0).faulted, log.at(1).faulted, log.at(2).faulted}), (QList<bool>{true, true, false}));
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

// A stalled answer and a request that never ends must not keep the site from
// serving a dozen clients at once.
void tst_PhotoSite::slowClientsDoNotHoldOthers()
{
    m_site.addFault(FaultRule::exactPath("/stall", FaultRule::Kind::Stall));
    QTcpSocket stalled, silent;
    stalled.connectToHost(QHostAddress::LocalHost, m_site.serverPort());
    stalled.write("GET /stall HTTP/1.0\n\n");
    silent.connectToHost(QHostAddress::LocalHost, m_site.serverPort());
    silent.write("GET /half");

    const QList<Photo> photos = m_site.catalog().photosOnPage("count12", false, 1);
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (const Photo &photo : photos) {
        clients.push_back(std::make_unique<QTcpSocket>());
        clients.back()->connectToHost(QHostAddress::LocalHost, m_site.serverPort());
        clients.back()->write(LoopbackClient::request(photo.largestImage));
    }
    for (qsizetype i = 0; i < photos.size(); ++i) {
        QTRY_COMPARE_WITH_TIMEOUT(clients[i]->state(), QAbstractSocket::UnconnectedState, 10000);
        QVERIFY(clients[i]->readAll().endsWith(m_site.catalog().imageBytes(photos.at(i).largestImage)));
    }
    QCOMPARE(stalled.state(), QAbstractSocket::ConnectedState);
    QCOMPARE(m_site.requests().size(), photos.size() + 1);
}

void tst_PhotoSite::toolServesAndStopsOnSigterm()
{
    QProcess tool;
    tool.start(QStringLiteral(MOSSCATCH_PHOTOSITE_TOOL), {QStringLiteral("--port"), QStringLiteral("0")});
    QVERIFY(tool.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(tool.canReadLine(), 10000);
    const QByteArray line = tool.readLine();
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)\\n$")).match(QString::fromLatin1(line));
    QVERIFY2(match.hasMatch(), line.constData());

    const QByteArray address = m_photo.thumbnailImage;
    const LoopbackClient::Answer answer =
        LoopbackClient::exchange(quint16(match.captured(1).toUInt()), LoopbackClient::request(address));
    QCOMPARE(answer.body(), m_site.catalog().imageBytes(address));

    tool.terminate();
    QVERIFY(tool.waitForFinished(10000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), 0);
    QVERIFY(tool.readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(tst_PhotoSite)
#include "tst_photosite.moc"
