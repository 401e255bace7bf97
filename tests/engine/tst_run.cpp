#include "common/bytesize.h"
#include "engine/harvestengine.h"
#include "engine/retryafter.h"
#include "harvesterrequest.h"
#include "rows.h"
#include "scriptedconnection.h"
#include "testmain.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimeZone>

#include <optional>
#include <sys/stat.h>

using namespace mosscatch;

namespace {

using S = SocketState;

// Until the guard goes, images are written under a temporary name first, as where the file
// system has no unnamed files, so a test can see them.
auto namedTemporaries(bool named = true)
{
    if (named)
        qputenv("MOSSCATCH_TEST_NAMED_TEMPORARIES", "1");
    return qScopeGuard([] { qunsetenv("MOSSCATCH_TEST_NAMED_TEMPORARIES"); });
}

// The engine on scripted connections, with the top keyword started when there is one (an
// empty list starts nothing).
struct Run
{
    explicit Run(const QStringList &entries = {}, bool commercial = false)
    {
        keywords.setStringList(entries);
        options.setSaveFolder(dir.path() + QStringLiteral("/save"));
        options.setCommercial(commercial);
        driver.nextMajorKeyword();
    }

    // The connection slot index shows: its transfer's, or the one its last transfer kept.
    ScriptedConnection *slot(int index) const
    {
        return qobject_cast<ScriptedConnection *>(const_cast<Connection *>(pool.connection(index)));
    }

    void ticks(int count)
    {
        for (int i = 0; i < count; ++i)
            dispatcher.tick();
    }

    // The keyword's search leaves the queue to these addresses.
    void queueInstead(const QByteArrayList &addresses)
    {
        queue.takeFirst();
        for (const QByteArray &address : addresses)
            queue.addUrl(address);
    }

    // A transfer of address on slot index, its connection asked for.
    const Transfer *begin(int index, const QByteArray &address)
    {
        const TransferRoute route = TransferRoute::of(address, driver.keywordFolder());
        pool.start(index, new Transfer(address, route, engine.transferContext()));
        return pool.transfer(index);
    }

    // The transfer of an image begun on slot index has its first bytes in; returns its
    // temporary file, which has a name where temporaries are named.
    QString beginImage(int index, const QByteArray &address)
    {
        const QDir folder(driver.keywordFolder());
        const auto temporaries
                = [&] { return folder.entryList({"*.part"}, QDir::Files | QDir::Hidden); };
        const QStringList before = temporaries();
        begin(index, address);
        slot(index)->acceptConnection();
        slot(index)->deliver("HTTP/1.0 200 OK\r\nContent-Length: 300\r\n\r\n1234567");
        for (const QString &name : temporaries()) {
            if (!before.contains(name))
                return folder.filePath(name);
        }
        return {};
    }

    // The transfer on slot index gets a whole page that leads nowhere, which ends it.
    void endTransfer(int index, const QByteArray &version = "HTTP/1.0")
    {
        slot(index)->acceptConnection();
        slot(index)->deliver(version + " 200 OK\r\nContent-Length: 113\r\n\r\n<html>"
                             + QByteArray(100, ' ') + "</html>");
    }

    QTemporaryDir dir;
    int opened = 0;
    HarvestEngine engine{SiteConfiguration(), [this](QObject *parent) {
                             ++opened;
                             return new ScriptedConnection(parent);
                         }};
    HarvestOptions &options = engine.options();
    QStringListModel &keywords = *engine.keywords();
    AddressQueue &queue = *engine.queue();
    ConnectionPool &pool = *engine.pool();
    RunDriver &driver = *engine.driver();
    PageScraper &scraper = *engine.scraper();
    Dispatcher &dispatcher = *engine.dispatcher();
    HarvestStatistics &statistics = *engine.statistics();
};

}

class TestRun : public QObject
{
    Q_OBJECT

private slots:
    // A transfer goes where a connection to its site waits idle, else to the lowest closed slot,
    // else to a slot idle to another site.
    void freeSlotChoice_data()
    {
        // What slots 1 and 2 hold: a site's idle connection, a busy one, or nothing.
        const auto row = columns<QByteArrayList, bool, int>("held", "keepAlive", "expected");
        row("idle to the same site", {"b.com", "a.com"}, true, 2);
        row("closed before idle elsewhere", {"b.com", ""}, true, 2);
        row("idle elsewhere when nothing is closed", {"b.com", "busy"}, true, 1);
        row("none free", {"busy", "busy"}, true, 0);
        row("keep-alive off", {"b.com", "a.com"}, false, 1);
    }

    void freeSlotChoice()
    {
        QFETCH(QByteArrayList, held);
        QFETCH(bool, keepAlive);
        Run r({QStringLiteral("kw")});
        r.options.setKeepAlive(keepAlive);
        for (int i = 1; i <= 2; ++i) {
            const QByteArray what = held.at(i - 1);
            if (what.isEmpty())
                continue;
            r.begin(i, (what == "busy" ? QByteArray("a.com") : what) + "/p/");
            if (what != "busy")
                r.endTransfer(i, "HTTP/1.1");
        }
        QTEST(r.pool.freeSlotFor(ConnectionTarget::fromAddress("a.com")), "expected");
    }

    // A slot wanted for another site parks its idle connection, which the next transfer to its
    // own site takes up again; a keyword's end closes every idle one.
    void parkedConnectionServesItsSiteAgain()
    {
        Run r({QStringLiteral("kw")});
        r.begin(2, "c.com/busy/");
        r.begin(1, "a.com/p/");
        r.endTransfer(1, "HTTP/1.1");
        auto *kept = r.slot(1);
        r.begin(1, "b.com/p/");
        r.endTransfer(1, "HTTP/1.1");
        QCOMPARE(r.pool.cache().waitingCount(), 2);
        r.begin(1, "a.com/q/");
        QCOMPARE(r.slot(1), kept);
        QCOMPARE(kept->connectCount(), 1);
        QCOMPARE(kept->sent().constLast(), harvesterRequest("a.com", "/q/", true));
        QCOMPARE(r.pool.cache().waitingCount(), 1);
        r.pool.giveUpRunning();
        QCOMPARE(r.pool.cache().waitingCount(), 0);

        // Near the top of the queue, an address that finds its connection idle goes first.
        r.begin(1, "b.com/p/");
        r.endTransfer(1, "HTTP/1.1");
        r.queueInstead({"a.com/1/", "b.com/2/"});
        r.ticks(1);
        QCOMPARE(r.queue.at(0), QByteArray("a.com/1/"));
    }

    // A keyword's site gets a connection for each slot once its first is up; the site of an
    // address waiting for a slot gets one, which its transfer takes while it is still coming
    // up; a site where one failed gets no more. Keep-alive off opens nothing ahead.
    void connectionsOpenAhead_data()
    {
        const auto row = columns<bool, int>("keepAlive", "ahead");
        row("keep-alive", true, 1);
        row("keep-alive off", false, 0);
    }

    void connectionsOpenAhead()
    {
        QFETCH(bool, keepAlive);
        QFETCH(int, ahead);
        Run r({QStringLiteral("kw")});
        r.options.setKeepAlive(keepAlive);
        const auto to = [&](const QByteArray &host) {
            QList<ScriptedConnection *> found = r.pool.cache().findChildren<ScriptedConnection *>();
            found.removeIf([&](const ScriptedConnection *c) { return c->host() != host; });
            return found;
        };
        r.ticks(1);
        QCOMPARE(to("www.photosite.example.com").size(), 1);
        r.slot(1)->acceptConnection();
        QCOMPARE(to("www.photosite.example.com").size(), 1 + ahead);

        r.begin(2, "c.com/busy/");
        r.queue.addUrl("a.com/1/");
        r.ticks(1);
        QCOMPARE(to("a.com").size(), ahead);
        r.endTransfer(2);
        r.ticks(1);
        const QByteArray request = harvesterRequest("a.com", "/1/", keepAlive);
        QVERIFY(r.slot(2)->host() == "a.com" && !r.slot(2)->sent().contains(request));
        r.slot(2)->acceptConnection();
        QCOMPARE(r.slot(2)->sent().constLast(), request);

        r.queue.addUrl("b.com/1/");
        r.ticks(1);
        for (ScriptedConnection *failed : to("b.com"))
            failed->refuseConnection(QStringLiteral("connection refused"));
        r.ticks(1);
        QCOMPARE(to("b.com").size(), ahead);
    }

    // With every slot busy, the top eight addresses get connections opened ahead, a site at
    // most one per working slot; none open past 24 waiting, idle ones included, and the oldest
    // idle one makes room for a newer one.
    void openAheadBounds_data()
    {
        const auto row = columns<int, QByteArrayList, QList<int>, int>("keptIdle", "queued",
                                                                       "ahead", "waiting");
        QByteArrayList tenSites, oneSite;
        for (int i = 1; i <= 10; ++i)
            tenSites << "s" + QByteArray::number(i) + ".com/p/";
        for (int i = 1; i <= 5; ++i)
            oneSite << "a.com/p/" + QByteArray::number(i) + "/";
        row("top eight addresses", 0, tenSites, {1, 1, 1, 1, 1, 1, 1, 1, 0, 0}, 8);
        row("one per working slot", 0, oneSite, {2}, 2);
        row("24 waiting", 30, {"new.com/p/"}, {0}, 24);
    }

    void openAheadBounds()
    {
        QFETCH(int, keptIdle);
        QFETCH(QByteArrayList, queued);
        Run r({QStringLiteral("kw")});
        for (int i = 0; i < keptIdle; ++i) {
            r.begin(1, "idle" + QByteArray::number(i) + ".com/p/");
            r.endTransfer(1, "HTTP/1.1");
        }
        r.begin(1, "c.com/busy/");
        r.begin(2, "d.com/busy/");
        r.queueInstead(queued);
        // Those let go are closed, and deleted only later.
        const auto connections = [&] {
            QList<ScriptedConnection *> open = r.pool.cache().findChildren<ScriptedConnection *>();
            open.removeIf([](const ScriptedConnection *c) { return c->state() == S::Closed; });
            return open;
        };
        for (int round = 0; round < 2; ++round) {
            r.ticks(1);
            for (ScriptedConnection *connection : connections())
                if (connection->state() == S::Connecting)
                    connection->acceptConnection();
        }
        QList<QByteArray> hosts;
        for (const QByteArray &address : queued)
            if (const QByteArray host = ConnectionTarget::fromAddress(address).host;
                !hosts.contains(host))
                hosts << host;
        QList<int> ahead;
        for (const QByteArray &host : hosts)
            ahead << int(std::ranges::count(connections(), host, &ScriptedConnection::host));
        QTEST(ahead, "ahead");
        QTEST(r.pool.cache().waitingCount(), "waiting");
        QCOMPARE(std::ranges::count(connections(), QByteArray("idle0.com"),
                                    &ScriptedConnection::host),
                 0);
    }

    // A connection that cannot be opened fails its attempt at once. Three failed opens in a row
    // take the host down for the keyword, an untrusted certificate at once: its addresses are
    // then given up without a request. events: r refused, u untrusted, a accepted (a page comes
    // whole); once they run out every open is refused.
    void hostsDown_data()
    {
        const auto row = columns<QByteArray, int, int, int, QString>("events", "addresses", "opens",
                                                                     "givenUp", "down");
        row("refused three times in a row", "", 5, 4, 5,
            "a.com is not answering (connection refused): 5 addresses given up");
        row("a success between clears the count", "rrarr", 2, 5, 1, "");
        row("untrusted", "u", 5, 1, 5,
            "certificate for a.com is made out to another name: 5 addresses given up");
    }

    void hostsDown()
    {
        QFETCH(QByteArray, events);
        QFETCH(int, addresses);
        Run r({QStringLiteral("kw")});
        r.options.setKeepAlive(false);
        QByteArrayList pages;
        for (int i = 0; i < addresses; ++i)
            pages.append("a.com/p/" + QByteArray::number(i) + "/");
        r.queueInstead(pages);
        QSignalSpy wentDown(&r.pool.cache(), &ConnectionCache::hostDown);
        QSignalSpy givenUp(&r.engine, &HarvestEngine::addressGivenUp);
        int opens = 0;
        for (int round = 0; round < 20; ++round) {
            r.ticks(1);
            for (int i = 1; i < r.pool.count(); ++i) {
                if (!r.slot(i) || r.slot(i)->state() != S::Connecting)
                    continue;
                const char event = opens < events.size() ? events.at(opens) : 'r';
                ++opens;
                if (event == 'a')
                    r.endTransfer(i);
                else
                    r.slot(i)->refuseConnection(event == 'u' ? "certificate for a.com is made "
                                                               "out to another name"
                                                             : "connection refused",
                                                event == 'u');
            }
        }
        QTEST(opens, "opens");
        QTEST(int(givenUp.size()), "givenUp");
        QFETCH(QString, down);
        QCOMPARE(wentDown.size(), down.isEmpty() ? 0 : 1);
        const QList<HostsDown::Entry> entries = r.pool.cache().hostsDown().entries();
        QCOMPARE(entries.isEmpty() ? QString() : entries.first().statement(), down);
        r.pool.loadSocks();
        QVERIFY(!r.pool.cache().hostsDown().isDown("A.com"));
    }

    // Three ticks of the stall watch: a transfer that brought the minimum (1 KiB a 20-second
    // tick, headers included) since the previous tick is left alone, and one begun since the
    // previous tick is first judged at the next.
    void stallWatch_data()
    {
        const auto row = columns<S, bool, int, int>("state", "paused", "arrived", "retries");
        row("paused", S::Connected, true, 0, 0);
        row("quiet", S::Error, false, 0, 2);
        row("moving, then quiet", S::Connected, false, 1024, 1);
        row("dripping", S::Connected, false, 1023, 2);
    }

    void stallWatch()
    {
        QFETCH(SocketState, state);
        QFETCH(bool, paused);
        QFETCH(int, arrived);
        Run r({QStringLiteral("kw")});
        const Transfer *transfer = r.begin(2, "a.com/p/");
        r.slot(2)->setState(state);
        r.options.setPaused(paused);
        r.pool.timeoutTick();
        if (arrived > 0)
            r.slot(2)->deliver("HTTP/1.0 200 OK\r\nX: " + QByteArray(arrived - 20, 'x'));
        r.pool.timeoutTick();
        r.pool.timeoutTick();
        QTEST(int(transfer->record().retries), "retries");
    }

    // Two transfers of one image: the one that is cut short loses only its own temporary file,
    // and one that finds the name taken leaves the file there and is not counted as saved. A
    // keyword's start removes the temporary images a killed earlier run left in its folders, and
    // no other file: not one merely named alike, nor a link, nor any in the save folder itself.
    void onlyTheirOwnTemporaryImagesGo()
    {
        const auto named = namedTemporaries();
        Run r({QStringLiteral("kw"), QStringLiteral("<>"), QStringLiteral("kw")});
        QSignalSpy saved(&r.engine, &HarvestEngine::imageSaved);
        QSignalSpy found(&r.engine, &HarvestEngine::imageAlreadyOnDisk);
        const QString earlier = r.driver.keywordFolder() + QStringLiteral("/x.jpg");
        QVERIFY(QFile(earlier).open(QIODevice::WriteOnly));
        const QStringList temporary{r.beginImage(1, "a.com/x.jpg"), r.beginImage(2, "b.com/x.jpg")};
        r.slot(1)->closeFromPeer();
        QVERIFY(!QFile::exists(temporary[0]) && QFile::exists(temporary[1]));
        QCOMPARE(r.pool.transfer(1)->record().exchange.received, qint64(0));

        r.slot(2)->deliver(QByteArray(293, 'x'));
        QVERIFY(!r.pool.transfer(2));
        QVERIFY(saved.isEmpty());
        QCOMPARE(found.size(), 1);
        QCOMPARE(QFileInfo(earlier).size(), 0);
        QCOMPARE(QDir(r.driver.keywordFolder())
                         .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 (QStringList{"largest", "thumbnails", "x.jpg"}));

        const QString largest = r.driver.keywordFolder() + QStringLiteral("/largest/");
        const QString ours = QStringLiteral(".a.jpg.0123456789ab.part");
        const QString save = r.options.saveFolder();
        for (const QString &path :
             {largest + ours, largest + ".b.jpg.cdef01234567.part", largest + "c.jpg",
              largest + ".d.part", largest + ".notes.backup.part",
              largest + ".e.jpg.0123456789AB.part", save + ours}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            // The second file is being written by a transfer of this run.
            const int hours = path.contains(".b.") ? 1 : -1;
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(hours * 3600),
                                     QFileDevice::FileModificationTime));
        }
        QVERIFY(QFile::link(largest + "c.jpg", largest + ".f.jpg.0123456789ab.part"));
        r.driver.nextMajorKeyword();
        QCOMPARE(r.driver.keywordFolder(), save);
        r.driver.nextMajorKeyword();
        QCOMPARE(QDir(largest).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 (QStringList{".b.jpg.cdef01234567.part", ".d.part", ".e.jpg.0123456789AB.part",
                              ".f.jpg.0123456789ab.part", ".notes.backup.part", "c.jpg"}));
        QVERIFY(QFile::exists(save + ours));
    }

    // A new image is made as the umask allows, with or without a temporary name.
    void imagesAreMadeAsTheUmaskAllows_data()
    {
        const auto row = columns<bool, int, int>("named", "umask", "mode");
        row("umask 077", false, 077, 0600);
        row("umask 022", false, 022, 0644);
        row("umask 077, temporary name", true, 077, 0600);
    }

    void imagesAreMadeAsTheUmaskAllows()
    {
        QFETCH(bool, named);
        QFETCH(int, umask);
        const auto temporaryNames = namedTemporaries(named);
        Run r({QStringLiteral("kw")});
        const mode_t before = ::umask(mode_t(umask));
        r.beginImage(1, "a.com/x.jpg");
        r.slot(1)->deliver(QByteArray(293, 'x'));
        ::umask(before);
        const QByteArray image
                = QFile::encodeName(r.driver.keywordFolder() + QStringLiteral("/x.jpg"));
        struct stat status = {};
        QCOMPARE(::stat(image.constData(), &status), 0);
        QTEST(int(status.st_mode & 0777), "mode");
    }

    // A keyword that cannot be harvested makes no folder and fetches nothing, and says why; one
    // whose search is given up is said to have failed too.
    void keywordAndFolderLayout_data()
    {
        const auto row = columns<QString, bool, QString, QString, QByteArray>(
                "entry", "commercial", "keyword", "folderName", "query");
        row("commercial", "Red Fox", true, "red+fox", "red+fox", "q=red+fox&l=comm");
        row("forbidden characters", "a/b:c*d?", false, "abcd", "abcd", "q=abcd");
        row("dot", ".", false, ".", "_", "q=.");
        row("dot dot", " .. ", false, "..", "__", "q=..");
        row("dots left by removed characters", "./.", false, "..", "__", "q=..");
        row("empty", "<>", false, "", "", "q=");
        row("query characters encoded", "Red Fox&l=comm#%=", false,
            "red+fox&l=comm#%=", "red+fox&l=comm#%=", "q=red+fox%26l%3Dcomm%23%25%3D");
        row("folder name too long", QString(256, QLatin1Char('k')), false, {}, {}, {});
        row("folder name too long in bytes", QString(86, QChar(0x263A)), false, {}, {}, {});
    }

    void keywordAndFolderLayout()
    {
        QFETCH(QString, entry);
        QFETCH(bool, commercial);
        QFETCH(QString, folderName);
        QFETCH(QByteArray, query);
        Run r({}, commercial);
        QSignalSpy failed(&r.driver, &RunDriver::keywordFailed);
        r.keywords.setStringList({entry});
        r.driver.nextMajorKeyword();
        const QString save = r.dir.path() + QStringLiteral("/save/");
        QCOMPARE(r.options.saveFolder(), save);
        if (r.queue.isEmpty()) {
            QVERIFY(!QFileInfo::exists(save));
        } else {
            QTEST(r.driver.currentKeyword(), "keyword");
            QCOMPARE(r.driver.keywordFolder(), save + folderName);
            QCOMPARE(r.queue.at(0),
                     "www.photosite.example.com/search/?" + query + "&ct=0&mt=photos&adv=1&z=m");
            r.driver.noteGivenUp("a.com/1/");
            QVERIFY(failed.isEmpty());
            r.driver.noteGivenUp(r.queue.at(0));
        }
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.value(0).value(0).toString(), r.driver.currentKeyword());
        QCOMPARE(failed.value(0).value(1).toString(),
                 r.queue.isEmpty() ? QStringLiteral("is too long")
                                   : QStringLiteral("its search page could not be fetched"));
    }

    void saveFolderNormalisation()
    {
        QCOMPARE(RunDriver::normalisedSaveFolder("\\\\host\\share"), "/host/share/");
        QCOMPARE(RunDriver::normalisedSaveFolder("/a///b"), "/a//b/");
    }

    // The route must not depend on whether the keyword's folder ends in "/", as an empty
    // keyword's folder (the save folder itself) does.
    void routing_data()
    {
        const auto row = columns<QByteArray, QString>("address", "route");
        row("_m. to _t.", "a.com/x_m.jpg", "a.com /x_t.jpg /k/thumbnails/ x_t.jpg");
        row("large", "a.com/1/x_b.jpg", "a.com /1/x_b.jpg /k/largest/ x_b.jpg");
        row("original", "a.com/x_o.jpg", "a.com /x_o.jpg /k/largest/ x_o.jpg");
        row("star means largest", "a.com/x.jpg*", "a.com /x.jpg /k/largest/ x.jpg");
        row("search page", "w.p.com/search/?q=c", "w.p.com /search/?q=c /k/ ?q=c");
        row("no .com/", "host.org/a/b", "host.org /a/b /k/ b");
        row("bare host", "a.com", "a.com / /k/ ");
        row("http in capitals, port", "HTTP://a.com:81/x.jpg", "a.com:81 /x.jpg /k/ x.jpg");
        row("no host", "//a.com/x.jpg", " //a.com/x.jpg /k/ x.jpg");
        row("unknown scheme", "ftp://a.com/x.jpg", "  /k/ ");
        row("port out of range", "a.com:65536/x.jpg", " /x.jpg /k/ x.jpg");
    }

    void routing()
    {
        QFETCH(QByteArray, address);
        for (const QString keywordFolder : {"/k", "/k/"}) {
            const TransferRoute route = TransferRoute::of(address, keywordFolder);
            QTEST(QString::fromLatin1(route.target.origin() + ' ' + route.path + ' ') + route.folder
                          + ' ' + QString::fromLatin1(route.fileName),
                  "route");
        }
    }

    // Addresses that need no request (image on disk, requested already in this keyword) are
    // passed over within the tick, up to a bound; a tick starts one request at most. One that
    // could not be written is requested again once writing goes on.
    void passedOverAddressesCostNoTick_data()
    {
        const auto row = columns<QByteArrayList, int, QByteArrayList>("queued", "ticks", "started");
        const QByteArray page1 = "b.com/1/", page2 = "c.com/2/";
        row("on disk between pages", {"a.com/1/old_b.jpg", page1, "a.com/1/old_b.jpg", page2}, 2,
            {page1, page2});
        row("requested already", {page1, page1, page1, page2}, 2, {page1, page2});
        QByteArrayList many(1000, "a.com/1/old_b.jpg");
        row("a tick's worth on disk", many + QByteArrayList{page1}, 2, {page1});
    }

    void passedOverAddressesCostNoTick()
    {
        QFETCH(QByteArrayList, queued);
        QFETCH(QByteArrayList, started);
        Run r({QStringLiteral("kw")});
        QSignalSpy transfers(&r.dispatcher, &Dispatcher::transferStarted);
        QVERIFY(QFile(r.driver.keywordFolder() + QStringLiteral("/largest/old_b.jpg"))
                        .open(QIODevice::WriteOnly));
        r.queueInstead(queued);
        int ticks = 0;
        while (transfers.size() < started.size() && ticks < 10) {
            r.ticks(1);
            ++ticks;
            QVERIFY(transfers.size() <= ticks);
        }
        QTEST(ticks, "ticks");
        QByteArrayList urls;
        for (const QList<QVariant> &transfer : transfers)
            urls << transfer.value(1).toByteArray();
        QCOMPARE(urls, started);
        r.endTransfer(transfers.constLast().value(0).toInt());
        r.dispatcher.fetchAgain(started.constLast());
        r.ticks(1);
        QCOMPARE(transfers.size(), started.size() + 1);
        QCOMPARE(transfers.constLast().value(1).toByteArray(), started.constLast());
    }

    // A host that asked for a wait gets no new transfer and its retry waits, in a slot that
    // stays taken and unwatched, until the wait has passed.
    void heldHostWaits()
    {
        Run r({QStringLiteral("kw")});
        r.queueInstead({"a.com/1/", "b.com/2/", "a.com/3/"});
        const Transfer *held = r.begin(2, "a.com/9/");
        r.slot(2)->acceptConnection();
        r.slot(2)->deliver("HTTP/1.0 429 Slow down\r\nRetry-After: 1\r\n\r\n");
        QVERIFY(held->isHeld());
        r.ticks(2);
        QCOMPARE(r.slot(1)->host(), QByteArray("b.com"));
        QCOMPARE(r.queue.size(), 2);
        r.pool.timeoutTick();
        r.pool.timeoutTick();
        r.statistics.updateStats();
        QCOMPARE(r.statistics.rows().value(1).url, QStringLiteral("waiting for a.com: 1 s"));
        QCOMPARE(r.statistics.waitText(), r.statistics.rows().value(1).url);
        QCOMPARE(held->record().retries, qint16(1));
        QVERIFY(!r.slot(2));

        QTRY_VERIFY(!r.pool.cache().holds().isHeld("a.com"));
        r.ticks(1);
        QCOMPARE(r.slot(2)->state(), S::Connecting);
        QVERIFY(!held->isHeld());
    }

    void retryAfter_data()
    {
        const auto row = columns<QByteArray, int>("value", "seconds");
        row("capped", "301", 300);
        row("too many digits for a number", "99999999999999999999999", 300);
        row("date", "Wed, 01 May 2024 12:00:30 GMT", 30);
        row("obsolete date form", "Wednesday, 01-May-24 12:01:00 GMT", 60);
        row("asctime date", "Wed May  1 12:00:10 2024", 10);
        row("date past", "Tue, 30 Apr 2024 12:00:00 GMT", 0);
        row("date far ahead", "Thu, 02 May 2024 12:00:00 GMT", 300);
        row("fraction", "2.5", -1);
        row("words", "soon", -1);
    }

    void retryAfter()
    {
        QFETCH(QByteArray, value);
        const QDateTime now(QDate(2024, 5, 1), QTime(12, 0), QTimeZone::utc());
        const std::optional<std::chrono::seconds> wait = RetryAfter::parse(value, now);
        QTEST(wait ? int(wait->count()) : -1, "seconds");
    }

    // Hand-over waits for an empty queue and free slots, pause holds it, and a keyword
    // added once the run is over starts with the next tick.
    void keywordsHandOver()
    {
        Run r({QStringLiteral("empty search"), QStringLiteral("next")});
        QSignalSpy over(&r.driver, &RunDriver::runOver);
        r.options.setPaused(true);
        r.ticks(3);
        QVERIFY(!r.slot(1));
        r.options.setPaused(false);
        r.ticks(1);
        r.slot(1)->acceptConnection();
        r.scraper.setResultPageCount(7);
        r.ticks(3);
        // The search found nothing: the transfer ends, nothing queued.
        r.endTransfer(1);
        r.options.setPaused(true);
        r.ticks(1);
        QCOMPARE(r.driver.currentKeyword(), QStringLiteral("empty+search"));
        r.options.setPaused(false);
        r.ticks(1);
        QCOMPARE(r.driver.currentKeyword(), QStringLiteral("next"));
        QCOMPARE(r.scraper.resultPageCount(), 0.0);
        r.queue.takeFirst();
        r.ticks(5);
        QCOMPARE(over.size(), 1);
        r.keywords.setStringList({QStringLiteral("late")});
        r.ticks(1);
        QCOMPARE(r.driver.currentKeyword(), QStringLiteral("late"));
        r.ticks(1);
        r.endTransfer(1);
        r.ticks(1);
        QCOMPARE(over.size(), 2);
    }

    // A connection's row: a running transfer's state and share of its length; one kept open
    // between transfers says so, with its host, until its next transfer; one closed after its
    // response reads as before. state -1 leaves the connection's own.
    void connectionRow_data()
    {
        const auto row
                = columns<QByteArray, int, bool, QString>("response", "state", "next", "row");
        const QByteArray page
                = " 200 OK\r\nContent-Length: 113\r\n\r\n<html>" + QByteArray(100, ' ') + "</html>";
        const QByteArray length = "HTTP/1.0 200 OK\r\nContent-Length: ";
        const QByteArray body = "\r\n\r\n" + QByteArray(100, 'x');
        row("third", length + "300" + body, int(S::Connected), false,
            "CONNECTED a.com:8080/p/1/ 100 bytes 33%");
        row("eighth rounds up", length + "800" + body, int(S::Closing), false,
            "CLOSING a.com:8080/p/1/ 100 bytes 13%");
        row("no length shows data", "HTTP/1.0 200 OK" + body, int(S::Closed), false,
            "CLOSED a.com:8080/p/1/ 100 bytes ");
        row("beyond 32 bits", length + "4000000000" + body, int(S::Connected), false,
            "CONNECTED a.com:8080/p/1/ 100 bytes 0%");
        row("kept open", "HTTP/1.1" + page, -1, false, "KEPT a.com:8080  kept");
        row("closed after HTTP/1.0", "HTTP/1.0" + page, -1, false, "CLOSED  0 bytes ");
        row("until the next transfer", "HTTP/1.1" + page, -1, true,
            "CONNECTED a.com:8080/p/2/ 0 bytes ");
    }

    // Besides the row, the texts below the rows: the queue counts its entries once the slots
    // are loaded; the speed is the growth of the total over the time since the previous tick.
    void connectionRow()
    {
        QFETCH(QByteArray, response);
        QFETCH(int, state);
        Run r;
        r.queue.addUrl("a.com/1/");
        r.statistics.updateStats();
        QCOMPARE(r.statistics.queueText(), QStringLiteral("0"));
        r.keywords.setStringList({QStringLiteral("kw")});
        r.driver.nextMajorKeyword();
        r.begin(1, "a.com:8080/p/1/");
        r.slot(1)->acceptConnection();
        r.slot(1)->deliver(response);
        if (state >= 0)
            r.slot(1)->setState(S(state));
        QFETCH(bool, next);
        if (next)
            r.begin(1, "a.com:8080/p/2/");
        qint64 &total = r.engine.transferContext().totalReceived;
        total = 5000;
        r.statistics.speedTick(2000);
        QCOMPARE(r.statistics.speedText(), formatByteSize(2500) + "/sec");
        total = 5005;
        r.statistics.speedTick(2000);
        QCOMPARE(r.statistics.speedText(), formatByteSize(2) + "/sec");
        total = Q_INT64_C(5000000000);
        r.statistics.updateStats();
        const HarvestStatistics::ConnectionRow row = r.statistics.rows().value(0);
        QTEST(QStringList({row.status, row.url, row.size, row.percent + (row.kept ? "kept" : "")})
                      .join(' '),
              "row");
        QCOMPARE(r.statistics.totalText(), formatByteSize(total));
        QCOMPARE(r.statistics.queueText(), QStringLiteral("2"));
    }

    // Start! during a run drops the keyword at hand: its running transfer counts as given up
    // and its unfinished image goes, and nothing it queued is fetched for the next keyword.
    void startDuringARunDropsTheKeywordAtHand()
    {
        const auto named = namedTemporaries();
        Run r;
        r.engine.addKeyword(QStringLiteral("a"));
        r.engine.addKeyword(QStringLiteral("b"));
        QSignalSpy started(&r.engine, &HarvestEngine::keywordStarted);
        QSignalSpy givenUp(&r.engine, &HarvestEngine::addressGivenUp);
        QVERIFY(r.engine.start());
        r.queue.addUrl("a.com/b/1.jpg");
        const QString temporary = r.beginImage(1, "a.com/b/0.jpg");
        QVERIFY(QFile::exists(temporary));
        QVERIFY(r.engine.start());
        QVERIFY(!QFile::exists(temporary) && !r.pool.transfer(1));
        QCOMPARE(givenUp.value(0).value(0).toByteArray(), QByteArray("a.com/b/0.jpg"));
        QVERIFY(!r.engine.start());
        QCOMPARE(started.value(0).value(0).toString(), QStringLiteral("b"));
        QCOMPARE(started.value(1).value(0).toString(), QStringLiteral("a"));
        QCOMPARE(r.queue.size(), 1);
        QVERIFY(r.queue.at(0).contains("q=a&"));
    }

    // Whatever is queued, a keyword hands out at most its cap, gives up what names no host,
    // waits for running transfers a bounded number of stall-watch ticks, then hands over.
    void dispatcherBoundsAKeyword()
    {
        Run r({QStringLiteral("kw"), QStringLiteral("next")});
        QSignalSpy givenUp(&r.dispatcher, &Dispatcher::addressGivenUp);
        QSignalSpy cutShort(&r.dispatcher, &Dispatcher::keywordCutShort);
        QSignalSpy allGivenUp(&r.engine, &HarvestEngine::addressGivenUp);
        r.dispatcher.setTransferCap(3);
        r.queue.setCapacity(6);
        r.queueInstead({"", "//farm1.example.com/1/x.jpg", "a.com/1/", "a.com/2/", "a.com/3/",
                        "a.com/4/", "a.com/5/"});
        QCOMPARE(r.queue.refusedForRoom(), qint64(1));
        r.ticks(4);
        QCOMPARE(givenUp.size(), 2);
        QCOMPARE(r.slot(1)->host(), QByteArray("a.com"));
        r.endTransfer(1);
        r.ticks(3);
        QVERIFY(r.pool.transfer(1) && r.slot(1)->sent().isEmpty());
        QCOMPARE(r.queue.size(), 1);
        for (int i = 0; i < Dispatcher::HandOverWaitTicks; ++i) {
            QCOMPARE(r.driver.currentKeyword(), QStringLiteral("kw"));
            r.dispatcher.stallWatchTicked();
            r.dispatcher.tick();
        }
        QCOMPARE(r.driver.currentKeyword(), QStringLiteral("next"));
        QCOMPARE(cutShort.size(), 1);
        QCOMPARE(allGivenUp.size() - givenUp.size(), 2);
        QCOMPARE(r.queue.size(), 1);
    }

    // Nothing runs before Start; then the timers dispatch, tick the speed and watch the
    // transfer, which never answers: three restarts, given up at the fourth stall.
    void engineTimersDriveTheHarvestOnceStarted()
    {
        Run r;
        r.engine.addKeyword(QStringLiteral("moss"));
        QSignalSpy retried(&r.engine, &HarvestEngine::transferRetried);
        QSignalSpy givenUp(&r.engine, &HarvestEngine::addressGivenUp);
        QSignalSpy speed(&r.statistics, &HarvestStatistics::speedUpdated);
        r.engine.setIntervals({5, 5, 10, 100});
        QTest::qWait(20);
        QCOMPARE(r.pool.count(), 1);
        QVERIFY(r.engine.start());
        QTRY_COMPARE(givenUp.size(), 1);
        QCOMPARE(retried.size(), 3);
        QCOMPARE(r.opened, 4);
        QVERIFY(!speed.isEmpty());
    }
};

MOSSCATCH_TEST_GUILESS_MAIN(TestRun)
#include "tst_run.moc"
