#include "harvesterrequest.h"
#include "photosite/pagebuilder.h"
#include "photosite/photosite.h"
#include "photosite/siteexport.h"
#include "rows.h"
#include "savedfiles.h"
#include "testmain.h"

#include <QProcess>
#include <QSet>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>
#include <vector>

using namespace mosscatch;

namespace {

// What 127.0.0.1 answered to one raw request; each read of the socket is one chunk.
struct Answer
{
    QByteArray bytes;
    QList<QByteArray> chunks;
    bool closed = false;

    QByteArray head() const { return bytes.left(bytes.indexOf("\r\n\r\n") + 4); }
    QByteArray body() const { return bytes.mid(bytes.indexOf("\r\n\r\n") + 4); }
};

// Runs the event loop while it waits, so the site in this thread can answer.
// Each further request goes on the same socket once bytes answering the one
// before it have come.
Answer ask(quint16 port, QByteArrayList requests, int waitMs = 5000)
{
    Answer answer;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write(requests.takeFirst());
    const auto readArrived = [&] {
        if (socket.bytesAvailable() > 0) {
            answer.bytes += answer.chunks.emplace_back(socket.readAll());
            if (!requests.isEmpty())
                socket.write(requests.takeFirst());
        }
        return socket.state() == QAbstractSocket::UnconnectedState;
    };
    answer.closed = QTest::qWaitFor(readArrived, waitMs);
    readArrived();
    return answer;
}

// The harvester's request for an address written host + path.
QByteArray requestFor(const QByteArray &hostAndPath)
{
    const qsizetype slash = hostAndPath.indexOf('/');
    return harvesterRequest(hostAndPath.left(slash), hostAndPath.mid(slash));
}

// One request and what its answer must look like: by default the
// harvester's request for the photo page, under one fault rule.
struct Exchange
{
    FaultRule rule = {}; // no pattern: no rule
    QByteArray status = "200 OK";
    qint64 bodySize = -1;
    QByteArrayList has = {};
    QByteArray lacks = {};
    bool closed = true;
    int firstChunk = -1;
    bool faulted = true;
    QByteArray address = {}; // host + path
    QByteArray request = {}; // empty: the harvester's request for the address
};

}

Q_DECLARE_METATYPE(Exchange)
Q_DECLARE_METATYPE(FaultRule)

class tst_PhotoSite : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_site.listen()); }

    void init()
    {
        m_site.clearFaults();
        m_site.clearRequests();
    }

    // Routes the harvest does not take, then the photo page under fault rules no
    // harvest shows the effect of; rules that do not match leave it served as usual.
    void exchanges_data()
    {
        QTest::addColumn<Exchange>("exchange");

        const PhotoCatalog &catalog = m_site.catalog();
        const Photo &photo = m_photo;
        const QByteArray site = catalog.site().siteHost;
        const QByteArray search = "/search/?q=count5&ct=0&mt=photos&adv=1&z=m";
        const QByteArray ok = "200 OK";
        const auto row = [](const char *name, const QByteArray &address, const QByteArray &body,
                            const QByteArray &request = {}, const QByteArray &status = "200 OK",
                            const QByteArray &headHas = "Content-Type: image/jpeg") {
            QTest::newRow(name) << Exchange{.status = status,
                                            .bodySize = body.isEmpty() ? -1 : body.size(),
                                            .has = {headHas, body.isEmpty() ? "</html>" : body},
                                            .faulted = false,
                                            .address = address,
                                            .request = request};
        };
        const QList<Photo> photos = catalog.photos("count200", false);
        const Photo redirected = *std::ranges::find_if(photos, &Photo::standardRedirects);
        const Photo queried = *std::ranges::find_if(photos, [](const Photo &p) {
            return !p.standardRedirects && p.standardImageAddress.contains('?');
        });

        row("absolute form", site + search, catalog.resultsPage("count5", false, 0),
            "GET http://" + site + search + " HTTP/1.0\n\n", ok, "Content-Type: text/html");
        row("host with port",
            photo.imageHost + ":8080" + photo.thumbnailImage.mid(photo.imageHost.size()),
            catalog.imageBytes(photo.thumbnailImage));
        row("standard image with query", queried.standardImageAddress.mid(7),
            catalog.imageBytes(queried.standardImage));
        row("standard image moved", redirected.standardImage, {}, {}, "302 Found",
            "\r\nlocation: " + redirected.standardRedirectTarget + "\r\n");
        row("wrong owner", site + "/photos/nobody/" + QByteArray::number(photo.id) + "/", {}, {},
            "404 Not Found", "Content-Type: text/html");

        using Kind = FaultRule::Kind;
        const QByteArray path = photo.pagePath;
        const QByteArray page = catalog.photoPage(photo);
        const qint64 size = page.size();
        const auto length = [](qint64 bytes) {
            return "Content-Length: " + QByteArray::number(bytes) + "\r\n";
        };
        const auto rule = [&](Kind kind, qint64 bytes = 0, const QByteArray &text = {},
                              int intervalMs = 10) {
            FaultRule r = FaultRule::exactPath(path, kind);
            std::tie(r.bytes, r.text, r.chunkBytes, r.intervalMs)
                    = std::tuple(bytes, text, 1000, intervalMs);
            return r;
        };

        // The photo page under rule r, and what the answer holds and lacks.
        const auto fault
                = [](const char *name, const FaultRule &r, qint64 body, const QByteArrayList &has,
                     const QByteArray &lacks = {}, const QByteArray &status = "200 OK",
                     bool closed = true, int first = -1) {
                      QTest::newRow(name) << Exchange{r, status, body, has, lacks, closed, first};
                  };
        fault("no length", rule(Kind::NoContentLength), size, {page}, "Content-Length");
        fault("length larger", rule(Kind::ContentLengthLarger), size, {length(size + 1000), page},
              length(size));
        fault("length smaller", rule(Kind::ContentLengthSmaller, 300), size,
              {length(size - 300), page}, length(size));
        fault("length garbage", rule(Kind::ContentLengthGarbage), size,
              {"Content-Length: banana\r\n", page});
        fault("capital Location", rule(Kind::RedirectCapitalLocation, 0, "/elsewhere/"), -1,
              {"\r\nLocation: /elsewhere/\r\n"}, "location: ", "302 Found");
        fault("capital page end", rule(Kind::UpperCaseHtmlEnd), size, {"</HTML>"}, "</html>");
        fault("huge page", rule(Kind::HugePage, 5 << 20), 5 << 20, {length(5 << 20), "photo-div"});
        fault("header split at 40", rule(Kind::SplitHeader, 40, {}, 150), size, {page}, {}, ok,
              true, 40);
        fault("endless body", rule(Kind::EndlessBody), -1, {QByteArray(5000, 'x')},
              "Content-Length", ok, false);

        const auto error = [](const QByteArray &pattern) {
            return FaultRule::wildcard(pattern, Kind::ServerError);
        };
        fault("wildcard over host and path", error("*.photosite.example.co?/photos/*/"), -1,
              {"</html>"}, "photo-div", "500 Internal Server Error");
        const auto passes = [&](const char *name, const FaultRule &r) {
            QTest::newRow(name) << Exchange{.rule = r, .has = {page}, .faulted = false};
        };
        passes("wildcard, other ending", error("*.photosite.example.com/photos/*/sizes/"));
        passes("wildcard, other host", error("img.*/photos/*"));
        passes("exact is not prefix", FaultRule::exactPath("/photos/", Kind::ServerError));
    }

    void exchanges()
    {
        QFETCH(Exchange, exchange);

        if (!exchange.rule.pattern.isEmpty())
            m_site.addFault(exchange.rule);
        const QByteArray address = exchange.address.isEmpty()
                                           ? m_site.catalog().site().siteHost + m_photo.pagePath
                                           : exchange.address;
        const QByteArray request
                = exchange.request.isEmpty() ? requestFor(address) : exchange.request;
        const Answer answer = ask(m_site.serverPort(), {request}, exchange.closed ? 5000 : 400);
        QCOMPARE(answer.closed, exchange.closed);
        QVERIFY(answer.head().startsWith("HTTP/1.0 " + exchange.status + "\r\n"));
        QVERIFY(!answer.head().contains("\n\n"));
        for (const QByteArray &part : exchange.has)
            QVERIFY(answer.bytes.contains(part));
        QVERIFY(exchange.lacks.isEmpty() || !answer.bytes.contains(exchange.lacks));
        QVERIFY(exchange.closed || !answer.bytes.contains("</html>"));
        QVERIFY(exchange.bodySize < 0 || answer.body().size() == exchange.bodySize);
        QVERIFY(exchange.firstChunk < 0 || answer.chunks.first().size() == exchange.firstChunk);
        if (!exchange.faulted)
            QVERIFY(answer.head().contains(
                    "\r\nContent-Length: " + QByteArray::number(answer.body().size()) + "\r\n"));

        QCOMPARE(m_site.requests().size(), 1);
        const RequestRecord record = m_site.requests().first();
        QCOMPARE(record.faulted, exchange.faulted);
        QCOMPARE(record.raw, request);
        QCOMPARE(record.method + ' ' + record.host + record.path, "GET " + address);
    }

    // Requests that follow one another on one connection, all for the photo page;
    // a list item holding two requests sends them in one write. A rule without a
    // pattern is no rule; expected is every byte the connection carried.
    void keptConnections_data()
    {
        const auto row = columns<QByteArrayList, FaultRule, QByteArray, bool, QList<bool>>(
                "requests", "rule", "expected", "closed", "faulted");
        const QByteArray path = m_photo.pagePath;
        const QByteArray html = m_site.catalog().photoPage(m_photo);
        const auto request = [&](const QByteArray &version, const QByteArray &fields = {}) {
            return "GET " + path + ' ' + version + "\r\nHost: www.photosite.example.com\r\n"
                   + "User-Agent: Mozilla/5.0\r\n" + fields + "\r\n";
        };
        const QByteArray kept = request("HTTP/1.1"),
                         last = request("HTTP/1.1", "Connection: Close\r\n");
        const QByteArray oneShot = requestFor(m_site.catalog().site().siteHost + path);
        const auto answer = [](const QByteArray &head, const QByteArray &connection,
                               const QByteArray &body, bool length = true) {
            return head + "\r\nDate: Sat, 01 Mar 2008 12:00:00 GMT\r\nServer: Apache/2.0.52\r\n"
                   + (connection.isEmpty() ? QByteArray() : "Connection: " + connection + "\r\n")
                   + "Content-Type: text/html; charset=iso-8859-1\r\n"
                   + (length ? "Content-Length: " + QByteArray::number(body.size()) + "\r\n"
                             : QByteArray())
                   + "\r\n" + body;
        };
        const QByteArray ok = "HTTP/1.1 200 OK", page = answer(ok, {}, html),
                         closing = answer(ok, "close", html);
        using Kind = FaultRule::Kind;
        const auto rule = [&](Kind kind, int times = -1) {
            return FaultRule::exactPath(path, kind, times);
        };
        FaultRule trickle = rule(Kind::Trickle);
        std::tie(trickle.chunkBytes, trickle.intervalMs) = std::tuple(300, 20);
        row("kept, then asked to close", {kept, last}, {}, page + closing, true, {false, false});
        row("HTTP/1.0 keep-alive, two in one write",
            {request("HTTP/1.0", "connection: keep-alive\r\n") + oneShot}, {},
            answer(ok, "keep-alive", html) + answer("HTTP/1.0 200 OK", "close", html), true,
            {false, false});
        row("trickle, next request waits", {kept, last}, trickle, page + closing, true,
            {true, true});
        row("404, kept", {kept, last}, rule(Kind::NotFound, 1),
            answer("HTTP/1.1 404 Not Found", {},
                   PageBuilder(m_site.catalog().site()).errorPage(404, "Not Found", path))
                    + closing,
            true, {true, false});
        row("close when reused", {kept, kept}, rule(Kind::CloseWhenReused, 1), page, true,
            {false, true});
        row("stall when reused", {kept, kept}, rule(Kind::StallWhenReused, 1), page, false,
            {false, true});
        row("Connection: close", {kept}, rule(Kind::ConnectionClose), closing, true, {true});
        row("no length, kept", {kept}, rule(Kind::NoLengthKept), answer(ok, {}, html, false), true,
            {true});
        row("extra bytes", {kept, last}, rule(Kind::ExtraBytes, 1),
            page + "HTTP/1.1 200 OK\r\n\r\nextra" + closing, true, {true, false});
    }

    void keptConnections()
    {
        QFETCH(QByteArrayList, requests);
        QFETCH(FaultRule, rule);
        QFETCH(QByteArray, expected);
        QFETCH(bool, closed);
        QFETCH(QList<bool>, faulted);

        if (!rule.pattern.isEmpty())
            m_site.addFault(rule);
        const int accepted = m_site.connections();
        const Answer answer = ask(m_site.serverPort(), requests, closed ? 5000 : 400);
        QCOMPARE(answer.bytes, expected);
        QCOMPARE(answer.closed, closed);
        QCOMPARE(m_site.connections(), accepted + 1);
        QList<bool> faults;
        for (const RequestRecord &record : m_site.requests()) {
            faults << record.faulted;
            QCOMPARE(record.onConnection, faults.size());
        }
        QCOMPARE(faults, faulted);
    }

    // A stalled answer and a request that never ends must not keep the site from
    // serving others.
    void slowClientsDoNotHoldOthers()
    {
        m_site.addFault(FaultRule::exactPath("/stall", FaultRule::Kind::Stall));
        QTcpSocket stalled, silent;
        stalled.connectToHost(QHostAddress::LocalHost, m_site.serverPort());
        stalled.write("GET /stall HTTP/1.0\n\n");
        silent.connectToHost(QHostAddress::LocalHost, m_site.serverPort());
        silent.write("GET /half");
        for (const Photo &photo : m_site.catalog().photosOnPage("count12", false, 1).first(3)) {
            QCOMPARE(ask(m_site.serverPort(), {requestFor(photo.largestImage)}).body(),
                     m_site.catalog().imageBytes(photo.largestImage));
        }
        QVERIFY(stalled.state() == QAbstractSocket::ConnectedState && !stalled.bytesAvailable()
                && silent.state() == QAbstractSocket::ConnectedState);
        QCOMPARE(m_site.requests().size(), 4);
    }

    // A long run must not keep every request it sent, nor the socket-sized block
    // each short request was read into.
    void requestLogKeepsOnlyRecentRequests()
    {
        constexpr qsizetype Forgotten = 50;
        const qsizetype total = PhotoSite::RequestLogLimit + Forgotten;
        QSet<QByteArray> logged, expected;
        // Each batch is answered before the next is sent, so the first is the one forgotten.
        for (qsizetype first = 0; first < total; first += Forgotten) {
            std::vector<std::unique_ptr<QTcpSocket>> clients;
            for (qsizetype i = first; i < qMin(first + Forgotten, total); ++i) {
                const QByteArray path = "/nothing/" + QByteArray::number(i);
                clients.emplace_back(new QTcpSocket)
                        ->connectToHost(QHostAddress::LocalHost, m_site.serverPort());
                clients.back()->write("GET " + path + " HTTP/1.0\n\n");
                if (i >= Forgotten)
                    expected.insert(path);
            }
            QVERIFY(QTest::qWaitFor([&] {
                return std::ranges::all_of(clients, [](const auto &client) {
                    return client->state() == QAbstractSocket::UnconnectedState;
                });
            }));
        }

        for (const RequestRecord &record : m_site.requests()) {
            logged.insert(record.path);
            QVERIFY(record.raw.capacity() < 2 * record.raw.size());
        }
        QCOMPARE(m_site.requests().size(), PhotoSite::RequestLogLimit);
        QCOMPARE(logged, expected);
    }

    void toolServesAndStopsOnSigterm()
    {
        QProcess tool;
        tool.start(QStringLiteral(MOSSCATCH_PHOTOSITE_TOOL),
                   {QStringLiteral("--port"), QStringLiteral("0")});
        QTRY_VERIFY_WITH_TIMEOUT(tool.canReadLine(), 10000);
        const QByteArray line = tool.readLine();
        QVERIFY(line.startsWith("listening on 127.0.0.1:") && line.endsWith('\n'));
        // A port followed by anything but the line end reads as 0, where nothing answers.
        const quint16 port = line.mid(23).chopped(1).toUShort();
        QCOMPARE(ask(port, {requestFor(m_photo.thumbnailImage)}).body(),
                 m_site.catalog().imageBytes(m_photo.thumbnailImage));

        tool.terminate();
        QVERIFY(tool.waitForFinished(10000));
        QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tool.exitCode(), 0);
        QVERIFY(tool.readAllStandardOutput().isEmpty());
    }

    // Pages give https:// image addresses; a moved image is written only at its target, its
    // move listed.
    void toolExportsWhatTheSiteServes()
    {
        QTemporaryDir folder;
        QProcess tool;
        tool.start(QStringLiteral(MOSSCATCH_PHOTOSITE_TOOL),
                   {"--export", folder.path(), "--https", "count12"});
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 0);
        const QMap<QString, QByteArray> files = filesUnder(folder.path());
        const auto file = [&](const QByteArray &address) {
            const qsizetype slash = address.indexOf('/');
            return files.value(address.left(slash) + '/' + SiteExport::fileName(address.mid(slash)),
                               "(none)");
        };
        QVERIFY(file("www.photosite.example.com/search/?q=count12&ct=0&mt=photos&adv=1&page=1")
                        .contains("src=\"https://"));
        const QList<Photo> photos = m_site.catalog().photosOnPage("count12", false, 1);
        const auto moved = std::ranges::find_if(photos, &Photo::standardRedirects);
        QVERIFY(moved != photos.end());
        QCOMPARE(file(moved->standardImage), QByteArray("(none)"));
        QCOMPARE(file(moved->imageHost + moved->standardRedirectTarget),
                 m_site.catalog().imageBytes(moved->standardImage));
        const QByteArray source = moved->standardImage.mid(moved->imageHost.size());
        QVERIFY(files.value(SiteExport::RedirectsFile)
                        .contains(source + ' ' + moved->standardRedirectTarget + '\n'));
    }

private:
    PhotoSite m_site;
    const Photo m_photo = m_site.catalog().photoAt("count5", false, 0);
};

MOSSCATCH_TEST_GUILESS_MAIN(tst_PhotoSite)
#include "tst_photosite.moc"
