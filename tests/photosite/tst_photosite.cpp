#include "loopbackclient.h"

#include "photosite/photosite.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <vector>

using namespace mosscatch;

namespace {

// What the photo page's answer looks like under one fault rule.
struct Fault
{
    FaultRule rule;
    QByteArray status = "200 OK"; // empty: no answer at all
    qint64 bodySize = -1;
    QByteArrayList has = {};
    QByteArray lacks = {};
    bool closed = true;
    int minimumChunks = 0;
    int firstChunk = -1;
    QList<bool> faulted = {true}; // one request each, the answer to the last one checked
};

}

Q_DECLARE_METATYPE(Fault)

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
    const QByteArray ok = "200 OK";
    const QByteArray html = "Content-Type: text/html";
    const auto row = [](const char *name, const QByteArray &host, const QByteArray &path, const QByteArray &body,
                        const QByteArray &status = "200 OK", const QByteArray &headHas = "Content-Type: text/html",
                        const QByteArray &request = {}) {
        QTest::newRow(name) << (request.isEmpty() ? LoopbackClient::request(host, path) : request) << host << path
                            << status << headHas << body;
    };
    const auto image = [&](const char *name, const QByteArray &address, const QByteArray &bytes) {
        const qsizetype slash = address.indexOf('/');
        row(name, address.left(slash), address.mid(slash), bytes, ok, "Content-Type: image/jpeg");
    };
    Photo queried, redirected;
    for (int index = 0; queried.id == 0 || redirected.id == 0; ++index) {
        const Photo candidate = catalog.photoAt("count200", false, index);
        if (candidate.standardRedirects)
            redirected = candidate;
        else if (candidate.standardImageAddress.contains('?'))
            queried = candidate;
    }

    row("harvester, bare line feeds", site, search, firstPage);
    row("curl, CR LF", site, search, firstPage, ok, html,
        "GET " + search + " HTTP/1.0\r\nHost: " + site + "\r\nUser-Agent: curl/7.88.1\r\nAccept: */*\r\n\r\n");
    row("absolute form", site, search, firstPage, ok, html, "GET http://" + site + search + " HTTP/1.0\n\n");
    row("numbered results page", site, "/search/?q=count5&ct=0&mt=photos&adv=1&page=1", catalog.resultsPage("count5", false, 1));
    row("commercial results page", site, "/search/?q=count90&l=comm&ct=0&mt=photos&adv=1&page=1",
        catalog.resultsPage("count90", true, 1));
    row("photo page", site, photo.pagePath, catalog.photoPage(photo));
    row("sizes page", site, photo.sizesPagePath, catalog.sizesPage(photo, {}));
    row("largest size page", site, photo.largestSizePagePath, catalog.sizesPage(photo, QByteArray(1, photo.largestSize)));
    image("largest image", photo.largestImage, catalog.imageBytes(photo.largestImage));
    image("thumbnail", photo.thumbnailImage, catalog.imageBytes(photo.thumbnailImage));
    image("host with port", photo.imageHost + ":8080" + photo.thumbnailImage.mid(photo.imageHost.size()),
          catalog.imageBytes(photo.thumbnailImage));
    image("standard image with query", queried.standardImageAddress.mid(7), catalog.imageBytes(queried.standardImage));
    row("standard image moved", redirected.imageHost, redirected.standardImage.mid(redirected.imageHost.size()), {},
        "302 Found", "\r\nlocation: " + redirected.standardRedirectTarget + "\r\n");
    image("moved standard image", redirected.imageHost + redirected.standardRedirectTarget,
          catalog.imageBytes(redirected.standardImage));
    row("wrong owner", site, "/photos/nobody/" + QByteArray::number(photo.id) + "/", {}, "404 Not Found");
    row("unknown path", site, "/nothing/here.html", {}, "404 Not Found");
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
    QCOMPARE(log.first().method + ' ' + log.first().host + ' ' + log.first().path, "GET " + host + ' ' + path);
    QVERIFY(!log.first().faulted);
}

// Rules that do not match the photo page leave it served as usual.
void tst_PhotoSite::faults_data()
{
    QTest::addColumn<Fault>("fault");

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
    const auto error = [](const QByteArray &pattern) { return FaultRule::wildcard(pattern, Kind::ServerError); };
    const QByteArray ok = "200 OK";
    const QByteArray found = "302 Found";
    const QByteArray failed = "500 Internal Server Error";

    QTest::newRow("close early") << Fault{rule(Kind::CloseEarly, 100), ok, 100, {length(size)}, "</html>"};
    QTest::newRow("no length") << Fault{rule(Kind::NoContentLength), ok, size, {page}, "Content-Length"};
    QTest::newRow("length larger") << Fault{rule(Kind::ContentLengthLarger), ok, size, {length(size + 1000), page}, length(size)};
    QTest::newRow("length smaller") << Fault{rule(Kind::ContentLengthSmaller, 300), ok, size, {length(size - 300), page}, length(size)};
    QTest::newRow("length garbage") << Fault{rule(Kind::ContentLengthGarbage), ok, size, {"Content-Length: banana\r\n", page}};
    QTest::newRow("404") << Fault{rule(Kind::NotFound), "404 Not Found", -1, {"</html>"}, "photo-div"};
    QTest::newRow("500") << Fault{rule(Kind::ServerError), failed, -1, {"</html>"}, "photo-div"};
    QTest::newRow("redirect") << Fault{rule(Kind::Redirect, 0, "/elsewhere/"), found, -1, {"\r\nlocation: /elsewhere/\r\n"}, "photo-div"};
    QTest::newRow("redirect loop") << Fault{rule(Kind::RedirectLoop), found, -1, {"\r\nlocation: " + path + "\r\n"}, "photo-div"};
    QTest::newRow("capital Location")
        << Fault{rule(Kind::RedirectCapitalLocation, 0, "/elsewhere/"), found, -1, {"\r\nLocation: /elsewhere/\r\n"}, "location: "};
    QTest::newRow("no page end") << Fault{rule(Kind::MissingHtmlEnd), ok, size - 7, {"photo-div"}, "</html>"};
    QTest::newRow("capital page end") << Fault{rule(Kind::UpperCaseHtmlEnd), ok, size, {"</HTML>"}, "</html>"};
    QTest::newRow("huge page") << Fault{rule(Kind::HugePage, 5 << 20), ok, 5 << 20, {length(5 << 20), "photo-div"}};
    QTest::newRow("trickle") << Fault{rule(Kind::Trickle, 0, {}, 300, 20), ok, size, {length(size), page}, {}, true, 4};
    QTest::newRow("header split at 40") << Fault{rule(Kind::SplitHeader, 40, {}, 0, 150), ok, size, {page}, {}, true, 2, 40};
    QTest::newRow("stall") << Fault{rule(Kind::Stall), {}, 0, {}, {}, false};
    QTest::newRow("endless body") << Fault{rule(Kind::EndlessBody), ok, -1, {QByteArray(5000, 'x')}, "Content-Length", false};

    QTest::newRow("wildcard over host and path") << Fault{error("*.photosite.example.com/photos/*/"), failed};
    QTest::newRow("wildcard, other ending") << Fault{.rule = error("*.photosite.example.com/photos/*/sizes/"), .has = {page}, .faulted = {false}};
    QTest::newRow("wildcard, other host") << Fault{.rule = error("img.*/photos/*"), .has = {page}, .faulted = {false}};
    QTest::newRow("question mark") << Fault{error("www.photosite.example.co?/photos/*"), failed};
    QTest::newRow("exact is not prefix")
        << Fault{.rule = FaultRule::exactPath("/photos/", Kind::ServerError), .has = {page}, .faulted = {false}};
    QTest::newRow("prefix") << Fault{FaultRule::pathPrefix("/photos/", Kind::ServerError), failed};
    QTest::newRow("two uses") << Fault{.rule = FaultRule::wildcard("*/photos/*", Kind::ServerError, 2), .has = {page},
                                       .faulted = {true, true, false}};
    QTest::newRow("used up") << Fault{.rule = FaultRule::pathPrefix("/", Kind::ServerError, 0), .has = {page}, .faulted = {false}};
}

void tst_PhotoSite::faults()
{
    QFETCH(Fault, fault);

    m_site.addFault(fault.rule);
    LoopbackClient::Answer answer;
    for (qsizetype i = 0; i < fault.faulted.size(); ++i)
        answer = getPhotoPage(fault.closed ? 5000 : 400);
    QCOMPARE(answer.closed, fault.closed);
    const QByteArray statusLine = "HTTP/1.0 " + fault.status + "\r\n";
    QVERIFY2(fault.status.isEmpty() ? answer.bytes.isEmpty() : answer.head().startsWith(statusLine), answer.head().constData());
    for (const QByteArray &part : fault.has)
        QVERIFY2(answer.bytes.contains(part), part.left(80).constData());
    QVERIFY(fault.lacks.isEmpty() || !answer.bytes.contains(fault.lacks));
    QVERIFY(fault.closed || !answer.bytes.contains("</html>"));
    QVERIFY(fault.bodySize < 0 || answer.body().size() == fault.bodySize);
    QVERIFY(answer.chunks.size() >= fault.minimumChunks);
    QVERIFY(fault.firstChunk < 0 || answer.chunks.first().size() == fault.firstChunk);
    QList<bool> faulted;
    for (const RequestRecord &record : m_site.requests())
        faulted << record.faulted;
    QCOMPARE(faulted, fault.faulted);
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
