#include "harvesterrequest.h"
#include "photosite/pagebuilder.h"
#include "photosite/photosite.h"
#include "photosite/siteexport.h"
#include "rows.h"
#include "savedfiles.h"
#include "testmain.h"

#include <QProcess>
#include <QSet>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>

using namespace mosscatch;

namespace {

// What 127.0.0.1 answered to one raw request; each read of the socket is one chunk.
struct Answer
{
    QByteArray bytes;
    QList<QByteArray> chunks;
    bool closed = false;

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

}

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

    // Requests on one connection and every byte it carried: routes a harvest does not take,
    // then the photo page under fault rules no harvest shows the effect of, and on kept
    // connections. A list item holding two requests sends them in one write; a rule without
    // a pattern is no rule.
    void answers_data()
    {
        const auto row = columns<QByteArrayList, FaultRule, QByteArray, bool, QList<bool>>(
                "requests", "rule", "expected", "closed", "faulted");
        const PhotoCatalog &catalog = m_site.catalog();
        const Photo &photo = m_photo;
        const QByteArray path = photo.pagePath, html = catalog.photoPage(photo);
        const qint64 size = html.size();
        const auto length = [](qint64 bytes) {
            return "Content-Length: " + QByteArray::number(bytes) + "\r\n";
        };
        const auto answer = [&](const QByteArray &head, const QByteArray &connection,
                                const QByteArray &body,
                                const QByteArray &type = "text/html; charset=iso-8859-1") {
            return head + "\r\nDate: Sat, 01 Mar 2008 12:00:00 GMT\r\nServer: Apache/2.0.52\r\n"
                   + (connection.isEmpty() ? QByteArray() : "Connection: " + connection + "\r\n")
                   + "Content-Type: " + type + "\r\n" + length(body.size()) + "\r\n" + body;
        };
        const auto error = [&](const QByteArray &version, int status, const QByteArray &reason,
                               const QByteArray &where) {
            return answer(version + ' ' + QByteArray::number(status) + ' ' + reason,
                          version == "HTTP/1.0" ? "close" : "",
                          PageBuilder(catalog.site()).errorPage(status, reason, where));
        };
        const auto image = [&](const QByteArray &address) {
            return answer("HTTP/1.0 200 OK", "close", catalog.imageBytes(address), "image/jpeg");
        };
        const QList<Photo> photos = catalog.photos("count200", false);
        const Photo queried = *std::ranges::find_if(photos, [](const Photo &p) {
            return !p.standardRedirects && p.standardImageAddress.contains('?');
        });
        const QByteArray stranger = "/photos/nobody/" + QByteArray::number(photo.id) + "/";
        row("absolute form", {"GET http://" + photo.thumbnailImage + " HTTP/1.0\n\n"}, {},
            image(photo.thumbnailImage), true, {false});
        row("host with port",
            {requestFor(photo.imageHost + ":8080"
                        + photo.thumbnailImage.mid(photo.imageHost.size()))},
            {}, image(photo.thumbnailImage), true, {false});
        row("standard image with query", {requestFor(queried.standardImageAddress.mid(7))}, {},
            image(queried.standardImage), true, {false});
        row("wrong owner", {requestFor(catalog.site().siteHost + stranger)}, {},
            error("HTTP/1.0", 404, "Not Found", stranger), true, {false});

        using Kind = FaultRule::Kind;
        const auto rule = [&](Kind kind, int times = -1, qint64 bytes = 0) {
            FaultRule r = FaultRule::exactPath(path, kind, times);
            std::tie(r.bytes, r.chunkBytes, r.intervalMs)
                    = std::tuple(bytes, 300, kind == Kind::SplitHeader ? 150 : 20);
            return r;
        };
        const QByteArray oneShot = requestFor(catalog.site().siteHost + path);
        const QByteArray plain = answer("HTTP/1.0 200 OK", "close", html);
        const auto changed = [&](const QByteArray &from, const QByteArray &to) {
            return QByteArray(plain).replace(from, to);
        };
        const auto fault
                = [&](const char *name, const FaultRule &r, const QByteArray &expected,
                      bool faulted = true) { row(name, {oneShot}, r, expected, true, {faulted}); };
        fault("no length", rule(Kind::NoContentLength), changed(length(size), {}));
        fault("length larger", rule(Kind::ContentLengthLarger),
              changed(length(size), length(size + 1000)));
        fault("length smaller", rule(Kind::ContentLengthSmaller, -1, 300),
              changed(length(size), length(size - 300)));
        fault("length garbage", rule(Kind::ContentLengthGarbage),
              changed(length(size), "Content-Length: banana\r\n"));
        fault("capital page end", rule(Kind::UpperCaseHtmlEnd), changed("</html>", "</HTML>"));
        fault("header split at 40", rule(Kind::SplitHeader, -1, 40), plain);
        const auto serverError = [](const QByteArray &pattern) {
            return FaultRule::wildcard(pattern, Kind::ServerError);
        };
        fault("wildcard over host and path", serverError("*.photosite.example.co?/photos/*/"),
              error("HTTP/1.0", 500, "Internal Server Error", path));
        fault("wildcard, other ending", serverError("*.photosite.example.com/photos/*/sizes/"),
              plain, false);
        fault("wildcard, other host", serverError("img.*/photos/*"), plain, false);
        fault("exact is not prefix", FaultRule::exactPath("/photos/", Kind::ServerError), plain,
              false);

        const auto request = [&](const QByteArray &version, const QByteArray &fields = {}) {
            return "GET " + path + ' ' + version + "\r\nHost: www.photosite.example.com\r\n"
                   + "User-Agent: Mozilla/5.0\r\n" + fields + "\r\n";
        };
        const QByteArray kept = request("HTTP/1.1"),
                         last = request("HTTP/1.1", "Connection: Close\r\n");
        const QByteArray ok = "HTTP/1.1 200 OK", page = answer(ok, {}, html),
                         closing = answer(ok, "close", html);
        row("kept, then asked to close", {kept, last}, {}, page + closing, true, {false, false});
        row("HTTP/1.0 keep-alive, two in one write",
            {request("HTTP/1.0", "connection: keep-alive\r\n") + oneShot}, {},
            answer(ok, "keep-alive", html) + plain, true, {false, false});
        row("trickle, next request waits", {kept, last}, rule(Kind::Trickle), page + closing, true,
            {true, true});
        row("404, kept", {kept, last}, rule(Kind::NotFound, 1),
            error("HTTP/1.1", 404, "Not Found", path) + closing, true, {true, false});
        row("close when reused", {kept, kept}, rule(Kind::CloseWhenReused, 1), page, true,
            {false, true});
        row("stall when reused", {kept, kept}, rule(Kind::StallWhenReused, 1), page, false,
            {false, true});
        row("Connection: close", {kept}, rule(Kind::ConnectionClose), closing, true, {true});
        row("no length, kept", {kept}, rule(Kind::NoLengthKept),
            QByteArray(page).replace(length(size), {}), true, {true});
        row("extra bytes", {kept, last}, rule(Kind::ExtraBytes, 1),
            page + "HTTP/1.1 200 OK\r\n\r\nextra" + closing, true, {true, false});
    }

    void answers()
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
        QVERIFY(rule.kind != FaultRule::Kind::SplitHeader
                || answer.chunks.first().size() == rule.bytes);
        QList<bool> faults;
        QByteArray raw;
        for (const RequestRecord &record : m_site.requests()) {
            faults << record.faulted;
            raw += record.raw;
            QCOMPARE(record.onConnection, faults.size());
        }
        QCOMPARE(faults, faulted);
        QCOMPARE(raw, requests.join());
    }

    // Answers made by the router or without end: how they begin, what they hold and lack.
    void partialAnswers_data()
    {
        const auto row = columns<QByteArray, FaultRule, QByteArrayList, QByteArrayList>(
                "address", "rule", "has", "lacks");
        const QByteArray page = m_site.catalog().site().siteHost + m_photo.pagePath;
        const auto rule = [&](FaultRule::Kind kind, qint64 bytes = 0) {
            FaultRule r = FaultRule::exactPath(m_photo.pagePath, kind);
            std::tie(r.bytes, r.text, r.chunkBytes, r.intervalMs)
                    = std::tuple(bytes, "/elsewhere/", 1000, 10);
            return r;
        };
        const QList<Photo> photos = m_site.catalog().photos("count200", false);
        const Photo moved = *std::ranges::find_if(photos, &Photo::standardRedirects);
        row("standard image moved", moved.standardImage, {},
            {"HTTP/1.0 302 Found\r\n", "\r\nlocation: " + moved.standardRedirectTarget + "\r\n"},
            {});
        row("capital Location", page, rule(FaultRule::Kind::RedirectCapitalLocation),
            {"HTTP/1.0 302 Found\r\n", "\r\nLocation: /elsewhere/\r\n"}, {"location: "});
        row("huge page", page, rule(FaultRule::Kind::HugePage, 5 << 20),
            {"HTTP/1.0 200 OK\r\n", "Content-Length: 5242880\r\n", "photo-div"}, {});
        row("endless body", page, rule(FaultRule::Kind::EndlessBody),
            {"HTTP/1.0 200 OK\r\n", QByteArray(5000, 'x')}, {"Content-Length", "</html>"});
    }

    void partialAnswers()
    {
        QFETCH(QByteArray, address);
        QFETCH(FaultRule, rule);
        QFETCH(QByteArrayList, has);
        QFETCH(QByteArrayList, lacks);

        if (!rule.pattern.isEmpty())
            m_site.addFault(rule);
        const bool endless = rule.kind == FaultRule::Kind::EndlessBody;
        const Answer answer = ask(m_site.serverPort(), {requestFor(address)}, endless ? 400 : 5000);
        QCOMPARE(answer.closed, !endless);
        QVERIFY(answer.bytes.startsWith(has.first()));
        for (const QByteArray &part : has)
            QVERIFY(answer.bytes.contains(part));
        for (const QByteArray &part : lacks)
            QVERIFY(!answer.bytes.contains(part));
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
        QSet<QByteArray> logged, expected;
        QTcpSocket socket;
        QSignalSpy answered(&socket, &QTcpSocket::readyRead);
        socket.connectToHost(QHostAddress::LocalHost, m_site.serverPort());
        // One at a time on one kept connection, so the site reads each on its own.
        for (qsizetype i = 0; i < PhotoSite::RequestLogLimit + Forgotten; ++i) {
            const QByteArray path = "/nothing/" + QByteArray::number(i);
            socket.write("GET " + path + " HTTP/1.1\r\n\r\n");
            QVERIFY(answered.wait(5000));
            if (i >= Forgotten)
                expected.insert(path);
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
