#include "clirun.h"
#include "photosite/siteexport.h"
#include "rows.h"
#include "savedfiles.h"
#include "testcertificates.h"
#include "testmain.h"
#include "webserver.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <memory>

using namespace mosscatch;

Q_DECLARE_METATYPE(mosscatch::WebServer::Kind)

// The harvest a real web server gives from the site's exported files is the
// built-in site's, byte for byte, and a second run saves nothing.
class TestRealServers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_certificates.isValid());
        for (const bool secure : {false, true}) {
            PhotoCatalog catalog;
            catalog.setSecure(secure);
            const QString error = SiteExport(catalog).write(
                    m_exports[secure].path(), {"count12", "count5", QStringLiteral("möss")});
            QVERIFY2(error.isEmpty(), qPrintable(error));
        }
        const PhotoCatalog catalog;
        for (const QByteArray keyword : {"count12", "count5", "möss"})
            m_expected.insert(servedBytes(
                    catalog, imageAddresses(keyword, catalog.photosOnPage(keyword, false, 1))));
    }

    void cleanup()
    {
        if (QTest::currentTestFailed() && m_server)
            qWarning("the server's log:\n%s", m_server->log().constData());
        m_server.reset();
    }

    void harvestMatchesBuiltInSite_data()
    {
        const auto row = columns<WebServer::Kind, bool>("kind", "tls");
        row("nginx", WebServer::Kind::Nginx, false);
        row("nginx over TLS", WebServer::Kind::Nginx, true);
        row("Apache httpd", WebServer::Kind::Apache, false);
        row("Apache httpd over TLS", WebServer::Kind::Apache, true);
    }

    void harvestMatchesBuiltInSite()
    {
        QFETCH(WebServer::Kind, kind);
        QFETCH(bool, tls);
        m_server = std::make_unique<WebServer>(kind, m_exports[tls].path(), m_certificates, tls);
        QVERIFY2(m_server->start(), qPrintable(m_server->problem()));

        // The test CA only through the system store's variable.
        const QTemporaryDir home;
        const Cli cli{.home = home.path(),
                      .environment = {{"SSL_CERT_FILE", m_certificates.caFile()}}};
        const QString folder = home.filePath(QStringLiteral("images"));
        QStringList arguments{
                "--folder",     folder,       "--summary-json", home.filePath("summary.json"),
                "--thumbnails", "--standard", "--largest"};
        arguments += {"--resolve",
                      QStringLiteral("*.example.com=127.0.0.1:%1").arg(m_server->port())};
        arguments += {"--site-scheme", tls ? "https" : "http", "count12", "count5",
                      QStringLiteral("möss")};

        const CliRun first = cli.run(arguments);
        QVERIFY2(first.exitCode == 0, first.err.constData());
        const QMap<QString, QByteArray> saved = filesUnder(folder);
        QVERIFY(m_server->keptRequests() > 0);
        QVERIFY(sameFiles(saved, m_expected));

        const CliRun again = cli.run(arguments);
        QVERIFY2(again.exitCode == 0, again.err.constData());
        QCOMPARE(filesUnder(folder), saved);
        const QJsonDocument summary
                = QJsonDocument::fromJson(filesUnder(home.path())["summary.json"]);
        QCOMPARE(summary["totals"]["images"].toObject(),
                 (QJsonObject{{"thumbnails", 0}, {"standard", 0}, {"largest", 0}}));
    }

private:
    const TestCertificates m_certificates;
    QTemporaryDir m_exports[2]; // plain, then with "https://" image addresses
    QMap<QString, QByteArray> m_expected;
    std::unique_ptr<WebServer> m_server;
};

MOSSCATCH_TEST_GUILESS_MAIN(TestRealServers)
#include "tst_realservers.moc"
