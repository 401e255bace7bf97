#include "engine/httpexchange.h"
#include "common/text.h"
#include "scriptedconnection.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace mosscatch;

namespace {

const QByteArray host = "www.photosite.example.com";

QByteArray body(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + 3) % 256);
    return bytes;
}

QByteArray header(const QByteArray &status, const QByteArray &fields = {})
{
    return "HTTP/1.0 " + status + "\r\nServer: test\r\n" + fields + "\r\n";
}

QByteArray lengthField(int length)
{
    return "Content-Length: " + QByteArray::number(length) + "\r\n";
}

struct Fixture
{
    Fixture()
    {
        QObject::connect(&pool, &ConnectionPool::connected, &exchange, &HttpExchange::onConnected);
        QObject::connect(&pool, &ConnectionPool::dataArrival, &exchange,
                         &HttpExchange::onDataArrival);
        QObject::connect(&pool, &ConnectionPool::peerClosed, &exchange,
                         &HttpExchange::onPeerClosed);
        options.setMaxImages(QStringLiteral("max"));
        state.resultPageCount = 1;
        pool.loadSocks();
    }

    ScriptedConnection *connection() const
    {
        return static_cast<ScriptedConnection *>(pool.connection(1));
    }

    SlotRecord &record() { return pool.record(1); }

    // Slot 1 fetching path, connected, with its request sent.
    void start(const QByteArray &path)
    {
        SlotRecord &slot = record();
        slot.host = host;
        slot.path = path;
        slot.url = host + path;
        slot.folder = folder.path() + QStringLiteral("/");
        slot.fileName = urlFileName(path);
        connection()->connectToHost(host, ConnectionPool::Port);
        connection()->acceptConnection();
    }

    // Delivers the chunks for as long as the attempt they belong to lasts.
    void deliver(const QByteArrayList &chunks)
    {
        for (const QByteArray &chunk : chunks) {
            if (!retried.isEmpty() || record().host.isEmpty())
                return;
            connection()->deliver(chunk);
        }
    }

    QStringList filesOnDisk() const
    {
        return QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);
    }

    QTemporaryDir folder;
    SiteConfiguration site;
    HarvestOptions options;
    HarvestState state;
    AddressQueue queue{site};
    DoneRegistry registry;
    ResultPageWalker walker{site, options, state, queue};
    PageScraper scraper{site, options, state, queue, registry, walker};
    ConnectionPool pool{[](QObject *parent) { return new ScriptedConnection(parent); }, options};
    HttpExchange exchange{pool, scraper, state};
    QSignalSpy saved{&exchange, &HttpExchange::imageSaved};
    QSignalSpy fetched{&exchange, &HttpExchange::pageFetched};
    QSignalSpy givenUp{&exchange, &HttpExchange::addressGivenUp};
    QSignalSpy retried{&pool, &ConnectionPool::transferRetried};
};

QString outcomeOf(Fixture &f)
{
    if (!f.saved.isEmpty())
        return QStringLiteral("saved");
    if (!f.givenUp.isEmpty())
        return QStringLiteral("given up");
    if (!f.retried.isEmpty())
        return QStringLiteral("retried");
    if (f.record().host.isEmpty())
        return QStringLiteral("ended");
    return QStringLiteral("pending");
}

}

class TestExchange : public QObject
{
    Q_OBJECT

private slots:
    void requestBytes_data();
    void requestBytes();
    void imageTransfer_data();
    void imageTransfer();
    void noFileUnderFinalNameBeforeCompletion();
    void redirect_data();
    void redirect();
    void redirectsAreCappedAcrossRetries();
    void page_data();
    void page();
    void everyChunkCountsTowardsTotal();
};

void TestExchange::requestBytes_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("sent");

    QTest::newRow("plain") << QByteArray("/photos/u/1/")
                           << QByteArray("GET /photos/u/1/ HTTP/1.0\n"
                                         "Host: www.photosite.example.com\n"
                                         "User-Agent: Mozilla/5.0\n\n");
    QTest::newRow("line feed in path") << QByteArray("/a\nX: y") << QByteArray();
}

void TestExchange::requestBytes()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, sent);

    Fixture f;
    f.start(path);
    QCOMPARE(f.connection()->sent(), sent.isEmpty() ? QByteArrayList{} : QByteArrayList{sent});
    QCOMPARE(f.givenUp.size(), sent.isEmpty() ? 1 : 0);
}

void TestExchange::imageTransfer_data()
{
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<bool>("peerCloses");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QByteArray>("file");

    const QByteArray b = body(300);
    const QByteArray ok = "200 OK";
    QTest::newRow("announced length, one chunk")
        << QByteArrayList{header(ok, lengthField(300)) + b} << false << "saved" << b;
    QTest::newRow("chunked, complete exactly at the length")
        << QByteArrayList{header(ok, lengthField(300)), b.left(1), b.mid(1, 298), b.mid(299)}
        << false << "saved" << b;
    QTest::newRow("one byte short stays pending")
        << QByteArrayList{header(ok, lengthField(300)), b.left(299)} << false << "pending"
        << QByteArray();
    QTest::newRow("bytes past the length are not written")
        << QByteArrayList{header(ok, lengthField(300)) + b + "TRAILING"} << false << "saved" << b;
    QTest::newRow("header split across arrivals")
        << QByteArrayList{"HTTP/1.0 200 OK\r\nContent-Length: 300\r\n", "\r\n" + b.left(10),
                          b.mid(10)}
        << false << "saved" << b;
    QTest::newRow("length marker split: missed, done at close")
        << QByteArrayList{"HTTP/1.0 200 OK\r\nContent-Le", "ngth: 99\r\n\r\n" + b} << true
        << "saved" << b;
    QTest::newRow("length line split after marker: failure")
        << QByteArrayList{"HTTP/1.0 200 OK\r\nContent-Length: 30", "0\r\n\r\n" + b} << false
        << "retried" << QByteArray();
    QTest::newRow("no length, complete at close")
        << QByteArrayList{header(ok), b.left(100), b.mid(100)} << true << "saved" << b;
    QTest::newRow("close before the length")
        << QByteArrayList{header(ok, lengthField(300)), b.left(200)} << true << "retried"
        << QByteArray();
    QTest::newRow("close before any body")
        << QByteArrayList{header(ok)} << true << "retried" << QByteArray();
    QTest::newRow("length 99 rejected")
        << QByteArrayList{header(ok, lengthField(99)) + b.left(99)} << false << "ended"
        << QByteArray();
    QTest::newRow("length 100 accepted")
        << QByteArrayList{header(ok, lengthField(100)) + b.left(100)} << false << "saved"
        << b.left(100);
    QTest::newRow("404 given up")
        << QByteArrayList{header("404 Not Found", lengthField(300)) + b} << true << "given up"
        << QByteArray();
    QTest::newRow("500 retried")
        << QByteArrayList{header("500 Oops", lengthField(300)) + b} << false << "retried"
        << QByteArray();
    QTest::newRow("408 retried")
        << QByteArrayList{header("408 Timeout", lengthField(300)) + b} << false << "retried"
        << QByteArray();
    QTest::newRow("header not ended within 64 KiB")
        << QByteArrayList{"HTTP/1.0 200 OK\r\nX: " + QByteArray(40000, 'x'), QByteArray(30000, 'x')}
        << false << "retried" << QByteArray();
    QTest::newRow("announced above 512 MiB")
        << QByteArrayList{header(ok, lengthField(600 * 1024 * 1024)) + b} << false << "retried"
        << QByteArray();
    QTest::newRow("no status line: body from the first byte")
        << QByteArrayList{b.left(150), b.mid(150)} << true << "saved" << b;
    QTest::newRow("body bytes that look like a header field")
        << QByteArrayList{header(ok, lengthField(300)), "Content-Length: 5\r\n" + b.mid(19)}
        << false << "saved" << "Content-Length: 5\r\n" + b.mid(19);
}

void TestExchange::imageTransfer()
{
    QFETCH(QByteArrayList, chunks);
    QFETCH(bool, peerCloses);
    QFETCH(QString, outcome);
    QFETCH(QByteArray, file);

    Fixture f;
    f.start("/photos/x/pic_o.jpg");
    f.deliver(chunks);
    // The temporary file may have no name until asked for one; with a name its
    // removal shows on disk.
    if (f.record().image)
        QVERIFY(!f.record().image->temporaryPath().isEmpty());
    if (peerCloses)
        f.connection()->closeFromPeer();

    QCOMPARE(outcomeOf(f), outcome);
    const QString destination = f.folder.filePath(QStringLiteral("pic_o.jpg"));
    if (file.isNull()) {
        QVERIFY(!QFile::exists(destination));
        QCOMPARE(f.filesOnDisk().size(), outcome == QLatin1String("pending") ? 1 : 0);
        return;
    }
    QCOMPARE(f.saved.value(0).value(0).toString(), destination);
    QFile saved(destination);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), file);
    QCOMPARE(f.filesOnDisk(), QStringList{QStringLiteral("pic_o.jpg")});
}

void TestExchange::noFileUnderFinalNameBeforeCompletion()
{
    Fixture f;
    f.start("/photos/x/pic.jpg");
    const QString destination = f.folder.filePath(QStringLiteral("pic.jpg"));
    const QByteArray b = body(5000);
    f.deliver({header("200 OK", lengthField(5000))});
    for (int at = 0; at < 5000; at += 1000) {
        QVERIFY(!QFile::exists(destination));
        f.deliver({b.mid(at, 1000)});
    }
    QVERIFY(QFile::exists(destination));
    QCOMPARE(f.filesOnDisk().size(), 1);
}

void TestExchange::redirect_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QByteArray>("newPath");

    const QByteArray found = "HTTP/1.0 302 Found";
    const QByteArray target186 = "/" + QByteArray(179, 'a') + "/p.jpg";
    QTest::newRow("lower-case field")
        << found + "\r\nlocation: /a/b/pic.jpg \r\n\r\n" << "pending" << QByteArray("/a/b/pic.jpg");
    QTest::newRow("capital field is no redirect")
        << found + "\r\nLocation: /a/b/pic.jpg\r\n\r\n" << "pending" << QByteArray("/photos/u/1/");
    QTest::newRow("absolute target, same host")
        << found + "\r\nlocation: http://other.example.com/x.jpg\r\n\r\n" << "pending"
        << QByteArray("http://other.example.com/x.jpg");
    QTest::newRow("186-character target followed")
        << found + "\r\nlocation: " + target186 + "\r\n\r\n" << "pending" << target186;
    QTest::newRow("187-character target fails")
        << found + "\r\nlocation: /" + target186 + "\r\n\r\n" << "retried"
        << QByteArray("/photos/u/1/");
    QTest::newRow("control character gives up")
        << found + "\r\nlocation: /a\n/b.jpg\r\n\r\n" << "given up" << QByteArray();
}

void TestExchange::redirect()
{
    QFETCH(QByteArray, response);
    QFETCH(QString, outcome);
    QFETCH(QByteArray, newPath);

    Fixture f;
    f.start("/photos/u/1/");
    f.connection()->deliver(response);
    QCOMPARE(outcomeOf(f), outcome);
    QCOMPARE(f.record().path, newPath);
    if (newPath == "/photos/u/1/" || newPath.isEmpty())
        return;
    QCOMPARE(f.record().url, host + newPath);
    QCOMPARE(f.record().fileName, urlFileName(newPath));
    QCOMPARE(f.connection()->host(), host);
    f.connection()->acceptConnection();
    QCOMPARE(f.connection()->sent().constLast(),
             "GET " + newPath + " HTTP/1.0\nHost: " + host + "\nUser-Agent: Mozilla/5.0\n\n");
}

void TestExchange::redirectsAreCappedAcrossRetries()
{
    Fixture f;
    f.start("/photos/u/0/");
    for (int i = 1; i <= 10; ++i) {
        if (i == 5) {
            f.connection()->closeFromPeer();
            f.connection()->acceptConnection();
        }
        f.connection()->deliver("HTTP/1.0 302\r\nlocation: /photos/u/" + QByteArray::number(i)
                                + "/\r\n\r\n");
        f.connection()->acceptConnection();
    }
    QCOMPARE(f.record().path, QByteArray("/photos/u/10/"));
    QCOMPARE(f.retried.size(), 1);
    f.connection()->deliver("HTTP/1.0 302\r\nlocation: /photos/u/11/\r\n\r\n");
    QCOMPARE(outcomeOf(f), QStringLiteral("given up"));
    QCOMPARE(f.givenUp.value(0).value(0).toByteArray(), host + "/photos/u/10/");
}

void TestExchange::page_data()
{
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<bool>("peerCloses");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<int>("queued");
    QTest::addColumn<bool>("scraped");

    const QByteArray page =
        "<html><div class=\"photo-div\"><img src=\"http://a.example.com/1.jpg\">";
    const QByteArray head = header("200 OK");
    QTest::newRow("scraped at </html>")
        << QByteArrayList{head + page + "</html>"} << false << "ended" << 1 << true;
    QTest::newRow("marker split across arrivals")
        << QByteArrayList{head, page + "</ht", "ml>"} << false << "ended" << 1 << true;
    QTest::newRow("any status is scraped")
        << QByteArrayList{header("404 Not Found") + page + "</html>"} << false << "ended" << 1
        << true;
    QTest::newRow("capital </HTML> never scraped")
        << QByteArrayList{head + page + "</HTML>"} << false << "pending" << 0 << false;
    QTest::newRow("close before </html>")
        << QByteArrayList{head + page} << true << "retried" << 0 << false;
    QTest::newRow("above 16 MiB without </html>")
        << QByteArrayList{head + page + QByteArray(16 * 1024 * 1024, 'x')} << false << "retried"
        << 0 << false;
    QTest::newRow("unexpected shape retried")
        << QByteArrayList{head + "<div class=\"photo-div\"><img src=\"x.jpg</html>"} << false
        << "retried" << 0 << true;
}

void TestExchange::page()
{
    QFETCH(QByteArrayList, chunks);
    QFETCH(bool, peerCloses);
    QFETCH(QString, outcome);
    QFETCH(int, queued);
    QFETCH(bool, scraped);

    Fixture f;
    f.start("/photos/u/1/");
    f.deliver(chunks);
    if (peerCloses)
        f.connection()->closeFromPeer();
    QCOMPARE(outcomeOf(f), outcome);
    QCOMPARE(f.queue.size(), queued);
    QCOMPARE(f.fetched.size(), scraped ? 1 : 0);
}

void TestExchange::everyChunkCountsTowardsTotal()
{
    Fixture f;
    f.state.totalReceived = 10;
    f.start("/photos/x/pic.jpg");
    const QByteArray head = header("200 OK", lengthField(200));
    f.deliver({head, body(150), body(50)});
    QCOMPARE(f.state.totalReceived, 10.0 + head.size() + 200);
    QCOMPARE(f.saved.size(), 1);
}

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
