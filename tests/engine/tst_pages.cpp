#include "common/text.h"
#include "engine/connectionpool.h"
#include "engine/pagescraper.h"
#include "harvesterrequest.h"
#include "rows.h"
#include "scriptedconnection.h"
#include "testmain.h"

#include <QDir>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

using namespace mosscatch;

namespace {

const QByteArray host = "www.photosite.example.com";
const QByteArray image = "/photos/x/pic_o.jpg";
const QByteArray ok = "HTTP/1.0 200 OK\r\n\r\n";
const QByteArray pageKeptOpen
        = "HTTP/1.1 200 OK\r\nContent-Length: 113\r\n\r\n<html>" + QByteArray(100, ' ') + "</html>";

const QByteArray resultsPage
        = "<html><a href=\"/p0\">"
          "photo_container\"><a href=\"/photos/u/1/\"><img "
          "src=\"http://farm1.photosite.example.com/1_t.jpg\">"
          "photo_container\"><a href=\"/photos/u/2/\"><img "
          "src=\"http://portalcache.photosite.example.com/2.jpg\">"
          "photo_container\"><a href=\"/photos/u/3/\"><img src=\"http://img.example.org/3_t.jpg\">";
const QByteArray photoPage = "<div class=\"photo-div\">\r\n<img "
                             "src=\"HTTP://farm1.photosite.example.com/1.jpg?zz=1\">";
const QByteArray sizesPlain
        = "<table id=\"allsizes-sizes\"><tr><td><a href=\"/photos/u/1/sizes/s/\">Small</a></td>"
          "<td>Original</td></tr></table>"
          "<div id=\"allsizes-photo\"><img "
          "src=\"http://farm1.photosite.example.com/1_o.jpg\"></div>";

QByteArray body(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + 3) % 256);
    return bytes;
}

QByteArray header(const QByteArray &status, int length = -1)
{
    const QByteArray field
            = length < 0 ? "" : "Content-Length: " + QByteArray::number(length) + "\r\n";
    return "HTTP/1.0 " + status + "\r\nServer: test\r\n" + field + "\r\n";
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(no file)");
}

QByteArray heading(const QByteArray &count, const QByteArray &marker = "Results")
{
    return "<h2>Search</h2><div class=\"" + marker + "\">Photos (" + count + " results)</div>";
}

// One transfer at a time on scripted connections, with the real scraper as the sink its pages go
// to and no engine around it; the keyword's first results page was read already. ticked names
// the size options: t, s and l; n turns keep-alive off.
struct Pages
{
    explicit Pages(const QString &ticked = QStringLiteral("ts"),
                   ConnectionFactory factory = ScriptedConnection::factory())
        : cache(std::move(factory), options)
    {
        options.setThumbnails(ticked.contains(QLatin1Char('t')));
        options.setStandard(ticked.contains(QLatin1Char('s')));
        options.setLargest(ticked.contains(QLatin1Char('l')));
        options.setKeepAlive(!ticked.contains(QLatin1Char('n')));
        scraper.setResultPageCount(1);
    }

    // The connection of the current attempt, else the one the transfer used last.
    ScriptedConnection *connection() const
    {
        const Connection *current
                = transfer->connection() ? transfer->connection() : transfer->lastConnection();
        return qobject_cast<ScriptedConnection *>(const_cast<Connection *>(current));
    }
    const TransferRecord &record() const { return transfer->record(); }
    bool running() const { return transfer && !finished; }

    // A transfer of path, connected, with its request sent.
    void start(const QByteArray &path, const ConnectionTarget &target = {Scheme::Http, host, 80})
    {
        const TransferRoute route{target, path, folder.path() + QStringLiteral("/"),
                                  urlFileName(path)};
        destination = folder.filePath(QString::fromLatin1(route.fileName));
        finished = false;
        transfer = std::make_unique<Transfer>(target.origin() + path, route, context);
        QObject::connect(transfer.get(), &Transfer::pageFetched, [this] { ++fetched; });
        QObject::connect(transfer.get(), &Transfer::retried, [this] { ++retried; });
        QObject::connect(transfer.get(), &Transfer::finished, [this](const TransferResult &result) {
            finished = true;
            results.append(result);
        });
        transfer->start();
        firstConnection = connection();
        if (ScriptedConnection *scripted = connection();
            scripted && scripted->state() == SocketState::Connecting)
            scripted->acceptConnection();
    }

    // As start, on the connection an earlier page left open.
    void startKept(const QByteArray &path)
    {
        start("/about/");
        connection()->deliver(pageKeptOpen);
        start(path);
    }

    // Delivers the chunks for as long as the attempt they belong to lasts: a
    // retry, a redirect or the end of the transfer drops the rest.
    void deliver(const QByteArrayList &chunks)
    {
        ScriptedConnection *const first = connection();
        const int connects = first->connectCount();
        for (const QByteArray &chunk : chunks) {
            if (connection() != first || first->connectCount() != connects || !running())
                return;
            first->deliver(chunk);
            delivered += chunk.size();
            fileTooEarly = fileTooEarly || (QFileInfo(destination).isFile() && saved() == 0);
        }
    }

    qsizetype ended(std::initializer_list<TransferResult::Outcome> outcomes) const
    {
        return std::ranges::count_if(results, [&](const TransferResult &result) {
            return std::ranges::find(outcomes, result.outcome) != outcomes.end();
        });
    }
    qsizetype saved() const { return ended({TransferResult::Outcome::Saved}); }
    std::optional<TransferResult> last(TransferResult::Outcome outcome) const
    {
        const auto found = std::ranges::find(results, outcome, &TransferResult::outcome);
        return found == results.end() ? std::nullopt : std::optional(*found);
    }

    // How the transfer ended, and whether it left its connection open for the next.
    QString outcome() const
    {
        using enum TransferResult::Outcome;
        const ScriptedConnection *scripted = connection();
        const bool connected = scripted ? scripted->state() == SocketState::Connected
                                        : transfer->lastConnection()
                                                  && transfer->lastConnection()->state()
                                                             == SocketState::Connected;
        const QString raw = QString::fromLatin1(saved() > 0 ? "saved"
                                                : ended({GivenUp, CertificateRejected, NameRefused})
                                                        ? "given up"
                                                : ended({NotWritten}) ? "not written"
                                                : retried > 0         ? "retried"
                                                : !running()          ? "ended"
                                                                      : "pending");
        if (raw == QLatin1String("pending") && connected && record().reused)
            return QStringLiteral("pending on its connection");
        return QString::fromLatin1(!running() && connected ? " and kept" : "").prepend(raw);
    }

    QByteArrayList queued() const
    {
        QByteArrayList list;
        for (qsizetype i = 0; i < queue.size(); ++i)
            list.append(queue.at(i));
        return list;
    }

    void stallWatchTick() { transfer->stallWatchTick(ConnectionPool::MinimumBytesPerSecond * 20); }

    // In memory where the system has it: the many saves of the invariance test then
    // cost no disk flush each.
    QTemporaryDir folder{QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                 ? QStringLiteral("/dev/shm/tst_pages-XXXXXX")
                                 : QDir::tempPath() + "/tst_pages-XXXXXX"};
    QString destination;
    qsizetype delivered = 0;
    bool fileTooEarly = false;
    const SiteConfiguration site;
    HarvestOptions options;
    AddressQueue queue{site};
    PageScraper scraper{site, options, queue};
    ConnectionCache cache;
    TransferContext context{scraper, cache, options, 0, {}, {}};
    qint64 &totalReceived = context.totalReceived;
    std::unique_ptr<Transfer> transfer;
    // The connection the transfer's first attempt went out on.
    QPointer<ScriptedConnection> firstConnection;
    bool finished = false;
    int fetched = 0;
    int retried = 0;
    QList<TransferResult> results;
};

QByteArrayList randomPieces(const QByteArray &response, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArrayList pieces;
    for (qsizetype at = 0; at < response.size(); at += pieces.constLast().size())
        pieces.append(response.mid(at, random.bounded(1, 40)));
    return pieces;
}

// left: the addresses a transfer leaves queued.
void row(const char *name, const QByteArray &path, const QByteArrayList &chunks, bool peerCloses,
         const char *outcome, const QByteArrayList &left = {}, const char *ticked = "ts")
{
    QTest::newRow(name) << path << QString::fromLatin1(ticked) << chunks << peerCloses
                        << QString::fromLatin1(outcome) << left;
}

// A whole page in one arrival; a page of unexpected shape gets another try.
void scrapeRow(const char *name, const QByteArray &path, const QByteArray &page, const char *ticked,
               const QByteArrayList &queued, bool unexpectedShape = false)
{
    row(name, path, {ok + page + "</html>"}, false, unexpectedShape ? "retried" : "ended", queued,
        ticked);
}

}

class TestPages : public QObject
{
    Q_OBJECT

private slots:
    void transfer_data()
    {
        columns<QByteArray, QString, QByteArrayList, bool, QString, QByteArrayList>(
                "path", "ticked", "chunks", "peerCloses", "outcome", "left");
        const QByteArray b = body(300);
        const QByteArray head = header("200 OK", 300);
        const QByteArray split = "HTTP/1.0 200 OK\r\nContent-Le";
        row("line feed in the path: nothing sent", "/a\nX: y", {}, false, "given up");
        row("one byte short stays pending", image, {head, b.left(299)}, false, "pending");
        row("close before the length", image, {head, b.left(200)}, true, "retried");
        row("close before any body", image, {header("200 OK")}, true, "retried");
        row("bytes past the length in its arrival", image, {header("200 OK", 100) + b.left(101)},
            false, "retried");
        row("header over 64 KiB", image, {split + QByteArray(40000, 'x'), QByteArray(30000, 'x')},
            false, "retried");
        row("announced above 512 MiB", image, {header("200 OK", 600 << 20) + b}, false, "retried");

        const QByteArray page = "/photos/u/1/";
        const QByteArrayList photo{"farm1.photosite.example.com/1.jpg"};
        row("any other status is scraped", page, {header("404 No") + photoPage + "</html>"}, false,
            "ended", photo);
        row("capital </HTML> never scraped", page, {ok + photoPage + "</HTML>"}, false, "pending");
        row("close before </html>", page, {ok + photoPage}, true, "retried");
        const QByteArray unended = photoPage + QByteArray(100, ' ');
        row("at its length without </html>", page,
            {header("200 OK", int(unended.size())) + unended}, false, "retried");
        row("above 16 MiB without </html>", page, {ok + photoPage + QByteArray(16 << 20, 'x')},
            false, "retried");
        row("keep-alive off: HTTP/1.0 request, nothing kept", "/people/", {pageKeptOpen}, false,
            "ended", {}, "tsn");
        row("chunked on a kept connection, bytes after its end in its arrival", image,
            {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n64\r\n" + b.left(100)
             + "\r\n0\r\n\r\nHTTP/1.1"},
            false, "retried");

        const QByteArray h = host;
        const QByteArray sizes = "/photos/u/1/sizes/";
        scrapeRow("results: piece 0 too, both passes, portal and foreign thumbnails skipped",
                  "/search/?q=a&page=2", resultsPage, "tsl",
                  {h + "/p0", h + "/p0sizes/", h + "/photos/u/1/", h + sizes, h + "/photos/u/2/",
                   h + "/photos/u/2/sizes/", h + "/photos/u/3/", h + "/photos/u/3/sizes/",
                   "farm1.photosite.example.com/1_t.jpg"});
        scrapeRow("results, all options off", "/search/", resultsPage, "", {});
        scrapeRow("photos listed on a sizes page are not the keyword's", sizes, resultsPage, "t",
                  {});
        scrapeRow("thumbnail without closing quote", "/search/",
                  "photo_container<img "
                  "src=\"http://a.photosite.example.com/1_t.jpg\">photo_container<img src=\"x",
                  "t", {"a.photosite.example.com/1_t.jpg"}, true);
        scrapeRow("photo page: capital scheme and query cut", page, photoPage, "s", photo);
        scrapeRow("photo page, standard off", page, photoPage, "tl", {});
        scrapeRow("path without /photos/", "/people/u/", photoPage, "s", {});
        scrapeRow("photo without closing quote", page, "class=\"photo-div\"><img src=\"x", "s", {},
                  true);
        scrapeRow("sizes, largest shown", sizes, sizesPlain, "",
                  {"farm1.photosite.example.com/1_o.jpg"});
        scrapeRow("sizes page without sizes list", sizes, "<html>", "sl", {});
        scrapeRow("sizes row without </tr>", sizes, QByteArray(sizesPlain).replace("</tr>", ""), "",
                  {}, true);
        scrapeRow("sizes link without closing quote", sizes, "allsizes-sizes<td><a href=\"/o</tr>",
                  "", {}, true);
    }

    void transfer()
    {
        QFETCH(QByteArray, path);
        QFETCH(QString, ticked);
        QFETCH(QByteArrayList, chunks);
        QFETCH(bool, peerCloses);
        Pages f(ticked);
        f.totalReceived = 10;
        f.start(path);
        f.deliver(chunks);
        if (peerCloses)
            f.connection()->closeFromPeer();

        QTEST(f.outcome(), "outcome");
        QCOMPARE(f.firstConnection->sent().value(0),
                 path.contains('\n') ? QByteArray()
                                     : harvesterRequest(host, path, !ticked.contains('n')));
        QCOMPARE(f.totalReceived, 10 + f.delivered);
        QCOMPARE(f.fetched, int(chunks.join().contains("</html>")));
        QVERIFY(!f.fileTooEarly);
        QTEST(f.queued(), "left");
        // No image here arrives whole, and an unfinished one has no name yet.
        QCOMPARE(QDir(f.folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // Whatever the cut of a response into arrivals, its outcome is that of the whole delivery:
    // the same file bytes or none, the same end, the same requests sent and addresses queued.
    void chunkingInvariance_data()
    {
        // end: what the server does after the last byte: "", "close", "reset".
        const auto row = columns<QByteArray, QByteArray, QString, QString, QByteArray>(
                "path", "response", "end", "outcome", "file");
        const QByteArray b = body(300);
        const QByteArray jpeg = "\xFF\xD8" + body(296) + "\xFF\xD9";
        const QByteArray head = header("200 OK", 300);
        const QByteArray bare = header("200 OK");
        const QByteArray length = "Content-Length: 300\r\n";
        const QByteArray chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n64;x=y\r\n"
                                   + b.left(100) + "\r\nC8\r\n" + b.mid(100) + "\r\n";
        const QByteArray crlfInside = b.left(100) + "\r\n\r\n" + b.mid(104);
        const QByteArray fields = "Content-Length: 5\r\n\r\nlocation: /x.jpg\r\n";
        const QByteArray fake = fields + b.mid(fields.size());
        const QByteArray html = QByteArray(b).replace(150, 7, "</html>");
        const QByteArray pageText = photoPage + "</html>";
        const auto ok10 = [&b](const QByteArray &fields) {
            return "HTTP/1.0 200 OK\r\n" + fields + "\r\n" + b;
        };
        const auto add = [&row](const char *name, const QByteArray &response, const char *end,
                                const char *outcome, const QByteArray &file = {},
                                const QByteArray &path = image) {
            row(name, path, response, end, outcome, file);
        };
        add("image without a length, whole at the close", bare + jpeg, "close", "saved", jpeg);
        add("JPEG without its end marker at the close", bare + jpeg.chopped(2), "close", "retried");
        add("reset is no end", bare + jpeg, "reset", "retried");
        add("chunked", chunked + "0\r\nX-Trailer: 1\r\n\r\n", "", "saved and kept", b);
        add("chunked, closed before its last chunk", chunked, "close", "retried");
        add("redirect: body fields not read",
            "HTTP/1.0 302 Found\r\nlocation: /a/p.jpg\r\n\r\n" + fake, "", "pending");
        add("LOCATION in capitals, a tab after the colon: followed",
            "HTTP/1.0 302 Found\r\nLOCATION:\t/a/p.jpg\r\n\r\n" + b, "close", "pending");
        add("404", header("404 Not Found", 300) + b, "close", "given up");
        add("206", header("206 Partial Content", 300) + b, "close", "given up");
        add("gzip", ok10("Content-Encoding: gzip\r\n" + length), "", "given up");
        add("LF-only header", "HTTP/1.0 200 OK\nServer: x\nContent-Length: 300\n\n" + crlfInside,
            "", "saved", crlfInside);
        add("leading blanks before the status line", "\r\n \t\n" + head + b, "", "saved", b);
        add("two equal lengths", ok10(length + length), "", "saved", b);
        add("two different lengths", ok10(length + "Content-Length: 200\r\n"), "", "retried");
        add("length inside another field's name",
            ok10("X-Original-Content-Length: 12\r\n" + length), "", "saved", b);
        add("length that is no number: none", ok10("Content-Length: 3e2\r\n"), "close", "saved", b);
        add("length 99 given up", header("200 OK", 99) + b.left(99), "close", "given up");
        add("body bytes that look like header fields", head + fake, "", "saved", fake);
        add("image holding </html> given up", head + html, "", "given up");
        add("no status line, begins like one", "HTTq" + b, "close", "retried");
        add("junk before the status line", QByteArray("\0\xffjunk", 6) + head + b, "close",
            "retried");
        add("chunked page",
            "HTTP/1.1 200 OK\r\ntransfer-encoding: Chunked\r\n\r\n"
                    + QByteArray::number(pageText.size() - 3, 16) + "\r\n" + pageText.chopped(3)
                    + "\r\n3\r\nml>\r\n0\r\n\r\n",
            "close", "ended", {}, "/photos/u/1/");
        add("503 page", header("503 Busy") + pageText, "close", "retried", {}, "/photos/u/1/");
        const QByteArray ok11 = "HTTP/1.1 200 OK\r\n";
        add("redirect read to its end, followed on its connection",
            "HTTP/1.1 302 Found\r\nlocation: /a/p.jpg\r\nContent-Length: 5\r\n\r\nmoved", "",
            "pending on its connection");
        add("redirect closed before its body's end, followed",
            "HTTP/1.1 302 Found\r\nlocation: /a/p.jpg\r\nContent-Length: 9\r\n\r\nmoved", "close",
            "pending");
        add("HTTP/1.0 keep-alive", ok10("Connection: Keep-Alive\r\n" + length), "",
            "saved and kept", b);
        // On a connection kept open from an earlier page; "extra" bytes come once it is idle,
        // "stall" is two ticks of the stall watch without a byte.
        add("kept: image with a length", ok11 + length + "\r\n" + b, "", "saved and kept", b);
        add("kept: Connection: close", ok11 + "Connection: close\r\n" + length + "\r\n" + b, "",
            "saved", b);
        add("kept: no length, whole at the close", ok11 + "\r\n" + jpeg, "close", "saved", jpeg);
        add("kept: bytes after the body, once idle", ok11 + length + "\r\n" + b, "extra", "saved",
            b);
        add("kept: content-length in lower case", ok11 + "content-length: 300\r\n\r\n" + b, "",
            "saved and kept", b);
        add("kept: interim answers passed over",
            "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </s.css>\r\n\r\n" + ok11
                    + length + "\r\n" + b,
            "", "saved and kept", b);
        add("kept: closed as the request goes out: sent again", "", "close", "pending");
        add("kept: stalls", "", "stall", "retried");
    }

    void chunkingInvariance()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, response);
        QFETCH(QString, end);
        const bool kept = QByteArray(QTest::currentDataTag()).startsWith("kept:");
        const auto outcome = [&](const QByteArrayList &pieces) {
            Pages f;
            kept ? f.startKept(path) : f.start(path);
            f.deliver(pieces);
            if (end == QLatin1String("stall")) {
                for (int tick = 0; tick < 2; ++tick)
                    f.stallWatchTick();
            } else if (end == QLatin1String("extra")) {
                f.connection()->deliver("HTTP/1.1 200 OK\r\n");
            } else if (f.connection()->state() == SocketState::Connected && !end.isEmpty()) {
                end == QLatin1String("close") ? f.connection()->closeFromPeer()
                                              : f.connection()->resetFromPeer();
            }
            if (f.connection()->state() == SocketState::Connecting)
                f.connection()->acceptConnection();
            return QByteArrayList{f.outcome().toLatin1(), contents(f.destination),
                                  f.connection()->sent().join('~'), f.queued().join(' ')};
        };
        const QByteArrayList whole = outcome({response});
        QTEST(QString::fromLatin1(whole[0]), "outcome");
        QFETCH(QByteArray, file);
        QCOMPARE(whole[1], file.isEmpty() ? QByteArray("(no file)") : file);

        const auto check = [&](const QByteArrayList &pieces, const QString &how) {
            const QByteArrayList got = outcome(pieces);
            QVERIFY2(got == whole,
                     qPrintable(how + QStringLiteral(": ") + QString::fromLatin1(got[0])));
        };
        for (qsizetype at = 1; at < response.size(); ++at)
            check({response.left(at), response.mid(at)}, QStringLiteral("split at %1").arg(at));
        QByteArrayList bytes;
        for (qsizetype i = 0; i < response.size(); ++i)
            bytes.append(response.mid(i, 1));
        check(bytes, QStringLiteral("one byte per arrival"));
        for (quint32 seed = 1; seed <= 10; ++seed)
            check(randomPieces(response, seed), QStringLiteral("random pieces, seed %1").arg(seed));
    }

    // A write that fails ends the transfer at once and leaves no file; only a name the file
    // system refuses gives the address up.
    void writeFailures_data()
    {
        const auto row = columns<QByteArray, QString, QString>("path", "outcome", "reason");
        row("file size limit after a redirect", image, "not written", "File too large");
        row("folder replaced by a file", image, "not written", "Not a directory");
        row("name too long in a removed folder", "/photos/x/" + QByteArray(300, 'n') + ".jpg",
            "given up", "");
    }

    void writeFailures()
    {
        const QByteArray mishap = QTest::currentDataTag();
        QFETCH(QByteArray, path);
        Pages f;
        f.start(path);
        const QString folder = f.folder.path();
        const bool sizeLimit = mishap.startsWith("file size limit");
        if (!sizeLimit)
            QVERIFY(QDir(folder).removeRecursively());
        if (mishap.startsWith("folder"))
            QVERIFY(QFile(folder).open(QIODevice::WriteOnly));
        rlimit unlimited{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &unlimited), 0);
        if (sizeLimit) {
            f.deliver({"HTTP/1.0 302 Found\r\nlocation: /elsewhere/y.jpg\r\n\r\n"});
            f.connection()->acceptConnection();
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit small{100, unlimited.rlim_max};
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        }
        f.deliver({header("200 OK", 300) + body(200), body(300).mid(200)});
        ::setrlimit(RLIMIT_FSIZE, &unlimited);

        QTEST(f.outcome(), "outcome");
        const std::optional<TransferResult> stop = f.last(TransferResult::Outcome::NotWritten);
        QTEST(stop ? stop->writeError.reason() : QString(), "reason");
        // Fetched again later, the image must go where it was meant to.
        QCOMPARE(stop ? stop->queuedAs : QByteArray(), stop ? host + path : QByteArray());
        QVERIFY(!f.running() && f.delivered < header("200 OK", 300).size() + 300);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());
        QFile::remove(folder);
    }

    // A 429 or 503 holds its host: as long as Retry-After asks, else 1, 2, 4 s as the address's
    // failed attempts add up; a shorter hold never cuts a longer one.
    void holds_data()
    {
        const auto row = columns<int, QByteArray, int>("failuresBefore", "retryAfter", "seconds");
        row("first attempt", 0, "", 1);
        row("after one failure", 1, "", 2);
        row("after two failures", 2, "", 4);
        row("Retry-After wins", 2, "Retry-After: 10\r\n", 10);
    }

    void holds()
    {
        QFETCH(int, failuresBefore);
        QFETCH(QByteArray, retryAfter);
        Pages f;
        f.start("/photos/u/1/");
        for (int i = 0; i < failuresBefore; ++i) {
            f.connection()->closeFromPeer();
            f.connection()->acceptConnection();
        }
        f.connection()->deliver("HTTP/1.1 503 Busy\r\n" + retryAfter + "\r\n");
        QVERIFY(f.transfer->isHeld());
        HostHolds &holds = f.cache.holds();
        const auto seconds = [&] { return int((holds.remaining(host).count() + 999) / 1000); };
        QTEST(seconds(), "seconds");
        holds.hold(host, std::chrono::milliseconds(100));
        QTEST(seconds(), "seconds");
    }

    void redirect_data()
    {
        // from: the origin of the transfer
        const auto row = columns<QByteArray, QString, QByteArray, QByteArray, QByteArray>(
                "location", "outcome", "newPath", "from", "newOrigin");
        const QByteArray p600 = "/" + QByteArray(593, 'a') + "/p.jpg";
        const QByteArray same = "/photos/u/1/";
        const QByteArray tls = "https://" + host;
        const QByteArray cdn = "cdn7.photosite.example.com";
        row("trailing space dropped", "/a/p.jpg ", "pending", "/a/p.jpg", host, host);
        row("600-character target followed", p600, "pending", p600, host, host);
        row("target over 1 KiB given up", "/" + QByteArray(1024, 'a'), "given up", same, host,
            host);
        row("control character gives up", "/a\x01/b", "given up", same, host, host);
        row("upgrade to TLS on the same host", tls + "/a/p.jpg", "pending", "/a/p.jpg", host, tls);
        row("TLS stays on its port", tls + ":8443/a/p.jpg", "pending", "/a/p.jpg", tls,
            tls + ":8443");
        row("downgrade from TLS given up", "http://" + host + "/a/p.jpg", "given up", same, tls,
            host);
        row("another host followed there", "http://" + cdn + "/moved/x.jpg?sig=1#top", "pending",
            "/moved/x.jpg?sig=1", host, cdn);
        row("protocol-relative under the current scheme", "//" + cdn + "/x.jpg", "pending",
            "/x.jpg", tls, "https://" + cdn);
        row("relative beside the current path", "p.jpg", "pending", same + "p.jpg", host, host);
    }

    void redirect()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, location);
        QFETCH(QByteArray, newPath);
        QFETCH(QByteArray, newOrigin);
        Pages f;
        f.start("/photos/u/1/", ConnectionTarget::fromAddress(from));
        f.connection()->deliver("HTTP/1.0 302 Found\r\nLocation: " + location + "\r\n\r\n");
        QTEST(f.outcome(), "outcome");
        if (f.outcome() == QLatin1String("given up"))
            return;
        QCOMPARE(f.record().path, newPath);
        QCOMPARE(f.record().fileName, urlFileName(newPath.split('?').constFirst()));
        QCOMPARE(f.connection()->target().origin(), newOrigin);
        f.connection()->acceptConnection();
        // An HTTP/1.1 Host field names a port that is not the scheme's own.
        const QByteArray authority = newOrigin.mid(newOrigin.indexOf("//") + 2);
        QCOMPARE(f.connection()->sent().constLast(),
                 harvesterRequest(newOrigin.contains("//") ? authority : newOrigin, newPath, true));
    }

    void redirectsAreCappedAcrossRetries()
    {
        Pages f;
        f.start("/photos/u/0/");
        for (int i = 1; i <= 11; ++i) {
            if (i == 5)
                f.connection()->closeFromPeer();
            f.connection()->acceptConnection();
            f.connection()->deliver("HTTP/1.0 302\r\nlocation: /p/" + QByteArray::number(i)
                                    + "/\r\n\r\n");
        }
        QCOMPARE(f.retried, 1);
        QCOMPARE(f.outcome(), QStringLiteral("given up"));
        QCOMPARE(f.last(TransferResult::Outcome::GivenUp)->url, host + "/p/10/");
    }

    void registryKeepsEachPhotosPagesOnce()
    {
        Pages f(QStringLiteral("sl"));
        f.scraper.setResultPageCount(0);
        const QByteArray again = QByteArray(resultsPage).replace("/p0", "/P0 ");
        for (const QByteArray &page : {heading("130") + resultsPage, resultsPage, again}) {
            f.start("/search/?q=a");
            f.deliver({ok + page + "</html>"});
        }
        // The first page only counts the result pages and queues the one Max Images allows; the
        // third page's photo and sizes pages are known already, whatever their case and spaces.
        QCOMPARE(f.scraper.resultPageCount(), 3.0);
        QCOMPARE(f.queued().size(), 9);
    }

    // Max Images 100 takes the first hundred photos listed, though page 2 comes in first.
    void photoBudgetKeepsTheFirstListed()
    {
        Pages f(QStringLiteral("s"));
        f.options.setMaxImages(QStringLiteral("100"));
        f.scraper.setResultPageCount(0);
        f.start("/search/?q=a&z=m");
        f.deliver({ok + heading("130") + "photo_container</html>"});
        f.queue.clear();
        for (const int page : {2, 1}) {
            QByteArray listing;
            for (int i = (page - 1) * 60; i < page * 60; ++i)
                listing += "photo_container\"><a href=\"/photos/u/" + QByteArray::number(i)
                           + "/\">";
            f.start("/search/?q=a&page=" + QByteArray::number(page));
            f.deliver({ok + listing + "</html>"});
        }
        QByteArrayList queued = f.queued();
        queued.removeIf([](const QByteArray &address) { return !address.contains("/photos/u/"); });
        QCOMPARE(queued.size(), 100);
        QVERIFY(queued.contains(host + "/photos/u/0/") && queued.contains(host + "/photos/u/99/")
                && !queued.contains(host + "/photos/u/100/"));
    }

    void resultPages_data()
    {
        const auto row = columns<QByteArray, QString, bool, double, int>(
                "page", "maxImages", "commercial", "returned", "queued");
        const QByteArray count = heading("1,234");
        row("commas, max in a word", count, "Maximum", false, 21.0, 21);
        row("limit of 70", heading("100,000"), "MAX", false, 1667.0, 70);
        row("600 images", count, "600", false, 21.0, 10);
        row("100 images: two pages, 100 photos", count, "100", false, 21.0, 2);
        row("30 images: one page, 30 photos", count, "30", false, 21.0, 1);
        row("not a number", count, "abc", false, 21.0, 0);
        row("count 0, commercial", heading("0"), "max", true, 1.0, 1);
        row("exact multiple", heading("120"), "max", false, 3.0, 3);
        row("wrong-case marker", heading("1,234", "results"), "max", false, 0.0, 0);
    }

    void resultPages()
    {
        QFETCH(QByteArray, page);
        QFETCH(QString, maxImages);
        QFETCH(bool, commercial);
        QFETCH(int, queued);
        Pages f;
        f.options.setMaxImages(maxImages);
        f.options.setCommercial(commercial);
        f.scraper.beginKeyword(QString::fromUtf8("blue++sky\xC3\xA9"));
        f.scraper.setResultPageCount(0);
        f.start("/search/?q=blue");
        f.deliver({ok + page + "photo_container</html>"});
        QTEST(f.scraper.resultPageCount(), "returned");
        QCOMPARE(f.queue.size(), queued);
        const QByteArray search
                = host + "/search/?q=blue++sky%C3%A9" + (commercial ? "&l=comm" : "");
        for (int i = 0; i < queued; ++i)
            QCOMPARE(f.queue.at(i),
                     search + "&ct=0&mt=photos&adv=1&page=" + QByteArray::number(i + 1));
    }

    // The queue refuses ".png" (in that case only), a scheme in the address, the site's domain
    // marker, a control character and anything over 1 KiB; it takes the rest, even twice.
    void queueRefusals()
    {
        const QByteArray longest = "a.com/" + QByteArray(1024 - 6, 'x');
        const QByteArrayList taken{"a.com/1/x.jpg", "a.com/x.PNG", longest};
        const QByteArrayList refused{"a.png",      "a/?u=http://b/", "x.photosite.example.come/",
                                     "a\nHost: b", "a\x7f",          longest + 'x'};
        Pages f;
        for (const QByteArray &url : taken + refused + taken)
            f.queue.addUrl(url);
        QCOMPARE(f.queued(), taken + taken);
    }
};

MOSSCATCH_TEST_GUILESS_MAIN(TestPages)
#include "tst_pages.moc"
