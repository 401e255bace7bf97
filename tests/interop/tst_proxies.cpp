#include "clirun.h"
#include "photosite/photosite.h"
#include "proxyserver.h"
#include "rows.h"
#include "savedfiles.h"
#include "testcertificates.h"
#include "testmain.h"

#include <QTemporaryDir>
#include <QUrl>

#include <memory>

using namespace mosscatch;

Q_DECLARE_METATYPE(mosscatch::ProxyServer::Kind)

namespace {

// With an "@" and a ":" that only percent-encoding keeps in a URL.
const QString Password = QStringLiteral("Moss@Pass:7");
const QString EncodedPassword = QString::fromLatin1(QUrl::toPercentEncoding(Password));

}

// Harvests through squid and microsocks, started here on loopback with their
// own configurations: the same files as straight from the site, every byte of
// them through the proxy, and a password seen nowhere.
class TestProxies : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_certificates.isValid());
        const PhotoCatalog catalog;
        m_expected = servedBytes(catalog,
                                 imageAddresses("count5", catalog.photosOnPage("count5", false, 1),
                                                QStringLiteral("ts")));
    }

    void cleanup()
    {
        if (QTest::currentTestFailed() && m_proxy)
            qWarning("the proxy's log:\n%s", m_proxy->log().constData());
        m_proxy.reset();
    }

    // Squid is given the site's names, which lead nowhere else here (--resolve sends them to
    // a closed port); microsocks, given addresses resolved here, must have carried every
    // connection the site accepted.
    void harvestsThroughProxy_data()
    {
        const auto row = columns<ProxyServer::Kind, bool, QString, QStringList>(
                "kind", "tls", "password", "options");
        using Kind = ProxyServer::Kind;
        row("squid, http in absolute form", Kind::Squid, false, "", {});
        row("squid, HTTP/1.0 with a password", Kind::Squid, false, Password, {"--no-keep-alive"});
        row("squid, https through CONNECT", Kind::Squid, true, "", {});
        row("squid, https with a password", Kind::Squid, true, Password, {});
        row("microsocks, http", Kind::Microsocks, false, "", {});
        row("microsocks, https with a password", Kind::Microsocks, true, Password, {});
    }

    void harvestsThroughProxy()
    {
        QFETCH(ProxyServer::Kind, kind);
        QFETCH(bool, tls);
        QFETCH(QString, password);
        QFETCH(QStringList, options);
        PhotoSite site;
        if (tls)
            site.serveTls(m_certificates.server(TestCertificates::Kind::Trusted));
        QVERIFY(site.listen());
        const QString user = password.isEmpty() ? QString() : QStringLiteral("moss");
        m_proxy = std::make_unique<ProxyServer>(kind, site.serverPort(), user, password);
        QVERIFY2(m_proxy->start(), qPrintable(m_proxy->problem()));
        const bool squid = kind == ProxyServer::Kind::Squid;

        const QTemporaryDir home;
        const CliRun run = cli(home).run(
                options
                + harvestArguments(home, m_proxy->url(), squid ? 1 : site.serverPort(), tls));
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QVERIFY(sameFiles(filesUnder(home.filePath("images")), m_expected));
        const QString shown = m_proxy->url().replace(EncodedPassword, "***");
        QVERIFY2(run.out.startsWith("saving into " + home.filePath("images").toUtf8()
                                    + "/ via proxy " + shown.toUtf8() + '\n'),
                 run.out.constData());
        QVERIFY(holdsNoPassword(run, home));

        if (squid && !tls) {
            // Each request is logged as it is answered, and the site had them all from squid.
            const QByteArrayList forwarded = m_proxy->requests();
            QCOMPARE(forwarded.size(), site.requests().size());
            for (const QByteArray &request : forwarded)
                QVERIFY2(request.startsWith("GET http://"), request.constData());
            for (const RequestRecord &request : site.requests())
                QVERIFY2(request.raw.contains("\r\nVia: "), request.raw.constData());
        } else {
            // A tunnel is logged once it closes.
            QVERIFY(site.connections() > 0);
            QTRY_VERIFY_WITH_TIMEOUT(m_proxy->tunnels() >= site.connections(), 20000);
        }
    }

    // A proxy that is not there, or refuses our password, ends the run at once with one line
    // for the host naming the proxy (and the run's last line), never with the password.
    void proxyRefuses_data()
    {
        const auto row = columns<ProxyServer::Kind, bool, bool, QByteArray>("kind", "listening",
                                                                            "tls", "reason");
        using Kind = ProxyServer::Kind;
        row("nothing listening", Kind::Squid, false, false, ": connection refused");
        row("squid, wrong password, http", Kind::Squid, true, false,
            " refused the request: 407 Proxy Authentication Required");
        row("squid, wrong password, https", Kind::Squid, true, true,
            " refused CONNECT: 407 Proxy Authentication Required");
        row("microsocks, wrong password", Kind::Microsocks, true, false,
            ": user name or password refused");
    }

    void proxyRefuses()
    {
        QFETCH(ProxyServer::Kind, kind);
        QFETCH(bool, listening);
        QFETCH(bool, tls);
        QFETCH(QByteArray, reason);
        PhotoSite site;
        QVERIFY(site.listen());
        // The proxy takes another password than the one the harvest is given.
        m_proxy = std::make_unique<ProxyServer>(kind, site.serverPort(), "moss", "another");
        if (listening)
            QVERIFY2(m_proxy->start(), qPrintable(m_proxy->problem()));
        const QString url = m_proxy->url().replace("another", EncodedPassword);
        const QTemporaryDir home;
        // The stall watch at its usual 20 s: only a failure seen at once ends the run in time.
        Cli runner = cli(home);
        runner.intervals = QStringLiteral("2,20,200,20000");
        const CliRun run = runner.run(harvestArguments(home, url, 1, tls));

        QCOMPARE(run.exitCode, 1);
        const QByteArray shown = "proxy " + QString(url).replace(EncodedPassword, "***").toUtf8();
        const QByteArrayList lines = run.err.trimmed().split('\n');
        for (const QByteArray &line : lines)
            QVERIFY2(!line.contains("photosite.example.com") || line.contains(shown),
                     line.constData());
        QVERIFY2(lines.last().endsWith(shown + reason), run.err.constData());
        QVERIFY(holdsNoPassword(run, home));
        QCOMPARE(site.requests().size(), 0);
    }

private:
    Cli cli(const QTemporaryDir &home) const
    {
        // The test CA only through the system store's variable.
        return {.home = home.path(), .environment = {{"SSL_CERT_FILE", m_certificates.caFile()}}};
    }

    static QStringList harvestArguments(const QTemporaryDir &home, const QString &proxy,
                                        quint16 directPort, bool tls)
    {
        return {"--folder",       home.filePath("images"),
                "--summary-json", home.filePath("summary.json"),
                "--log",          home.filePath("found.log"),
                "--proxy",        proxy,
                "--resolve",      QStringLiteral("*.example.com=127.0.0.1:%1").arg(directPort),
                "--site-scheme",  tls ? "https" : "http",
                "--thumbnails",   "--standard",
                "--no-largest",   "count5"};
    }

    // Neither the output, the error output, the summary nor the log holds the password, in
    // any form.
    static bool holdsNoPassword(const CliRun &run, const QTemporaryDir &home)
    {
        const QMap<QString, QByteArray> files = filesUnder(home.path());
        for (const QByteArray &text :
             {run.out, run.err, files.value("summary.json"), files.value("found.log")}) {
            if (text.contains(Password.toUtf8()) || text.contains(EncodedPassword.toUtf8()))
                return false;
        }
        return files.value("summary.json").contains("\"proxy\": \"") && files.contains("found.log");
    }

    const TestCertificates m_certificates;
    QMap<QString, QByteArray> m_expected;
    std::unique_ptr<ProxyServer> m_proxy;
};

MOSSCATCH_TEST_GUILESS_MAIN(TestProxies)
#include "tst_proxies.moc"
