#include "clirun.h"
#include "photosite/siteexport.h"
#include "rows.h"
#include "savedfiles.h"
#include "testcertificates.h"
#include "testmain.h"
#include "webserver.h"

#include <QDateTime>
#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <memory>

using namespace mosscatch;

Q_DECLARE_METATYPE(mosscatch::WebServer::Kind)

namespace {

// Every file under folder with its modification time.
QMap<QString, QDateTime> modificationTimes(const QString &folder)
{
    QMap<QString, QDateTime> times;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        times.insert(it.filePath(), it.fileInfo().lastModified());
    }
    return times;
}

// Each file missing, unexpected or different, one a line, so one run names them all.
QByteArray differences(const QMap<QString, QByteArray> &saved,
                       const QMap<QString, QByteArray> &expected)
{
    QStringList names = saved.keys() + expected.keys();
    names.removeDuplicates();
    QByteArray text;
    for (const QString &name : std::as_const(names)) {
        if (!saved.contains(name))
            text += "missing: " + name.toUtf8() + '\n';
        else if (!expected.contains(name))
            text += "unexpected: " + name.toUtf8() + '\n';
        else if (saved.value(name) != expected.value(name))
            text += "different: " + name.toUtf8() + '\n';
    }
    return text;
}

}

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
        for (const QByteArray keyword : {"count12", "count5", "möss"}) {
            const QMap<QString, QByteArray> addresses
                    = imageAddresses(keyword, catalog.photosOnPage(keyword, false, 1));
            for (auto it = addresses.begin(); it != addresses.end(); ++it)
                m_expected.insert(it.key(), catalog.imageBytes(it.value()));
        }
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
        m_server = tls ? std::make_unique<WebServer>(kind, m_exports[1].path(),
                                                     m_certificates.trustedCertificateFile(),
                                                     m_certificates.trustedKeyFile())
                       : std::make_unique<WebServer>(kind, m_exports[0].path());
        QVERIFY(m_server->start());

        // The test CA only through the system store's variable.
        const QTemporaryDir home;
        const Cli cli{.home = home.path(),
                      .environment = {{"SSL_CERT_FILE", m_certificates.caFile()}}};
        const QString folder = home.filePath(QStringLiteral("images"));
        QStringList arguments{"--resolve",
                              QStringLiteral("*.example.com=127.0.0.1:%1").arg(m_server->port()),
                              "--folder",
                              folder,
                              "--thumbnails",
                              "--standard",
                              "--largest",
                              "--summary-json",
                              home.filePath("summary.json")};
        if (tls)
            arguments += {"--site-scheme", "https"};
        arguments += {"count12", "count5", QStringLiteral("möss")};

        const CliRun first = cli.run(arguments);
        QVERIFY2(first.exitCode == 0, first.err.constData());
        const QMap<QString, QByteArray> saved = filesUnder(folder);
        QVERIFY(m_server->keptRequests() > 0);
        const QByteArray different = differences(saved, m_expected);
        QVERIFY2(different.isEmpty(), different.constData());

        const QMap<QString, QDateTime> times = modificationTimes(folder);
        const CliRun again = cli.run(arguments);
        QVERIFY2(again.exitCode == 0, again.err.constData());
        QCOMPARE(filesUnder(folder), saved);
        QCOMPARE(modificationTimes(folder), times);
        QFile summary(home.filePath("summary.json"));
        QVERIFY(summary.open(QIODevice::ReadOnly));
        const QJsonObject totals = QJsonDocument::fromJson(summary.readAll())["totals"].toObject();
        QCOMPARE(totals["images"].toObject(),
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
