#include "common/product.h"
#include "common/stopsignals.h"
#include "photosite/photosite.h"
#include "photosite/siteexport.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSslConfiguration>
#include <QSslKey>

#include <cstdio>
#include <optional>

namespace {

// The certificate chain and key for TLS; nullopt when either cannot be read.
std::optional<QSslConfiguration> tlsConfiguration(const QString &certFile, const QString &keyFile)
{
    QFile keyDevice(keyFile);
    if (!keyDevice.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray keyPem = keyDevice.readAll();
    QSslKey key(keyPem, QSsl::Rsa);
    if (key.isNull())
        key = QSslKey(keyPem, QSsl::Ec);
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(certFile);
    if (key.isNull() || chain.isEmpty())
        return std::nullopt;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    return configuration;
}

int exportSite(const QString &folder, bool secure, const QStringList &keywords)
{
    if (keywords.isEmpty()) {
        std::fputs("mosscatch-photosite: --export needs at least one keyword\n", stderr);
        return 2;
    }
    mosscatch::PhotoCatalog catalog;
    catalog.setSecure(secure);
    const QString error = mosscatch::SiteExport(catalog).write(folder, keywords);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "mosscatch-photosite: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}

}

int main(int argc, char *argv[])
{
    mosscatch::StopSignals::block();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("mosscatch-photosite"));
    // --version prints the version, then the licence on a line of its own.
    QCoreApplication::setApplicationVersion(QLatin1String(mosscatch::ProductVersion)
                                            + QLatin1Char('\n')
                                            + QLatin1String(mosscatch::ProductLicence));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Serves the local photo site on 127.0.0.1."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Port to listen on (0 picks a free one)."),
                                        QStringLiteral("N"), QStringLiteral("0"));
    parser.addOption(portOption);
    const QCommandLineOption certOption(
            QStringLiteral("tls-cert"),
            QStringLiteral("Speak TLS with this PEM certificate (chain); needs --tls-key."),
            QStringLiteral("FILE"));
    const QCommandLineOption keyOption(QStringLiteral("tls-key"),
                                       QStringLiteral("The PEM private key of --tls-cert."),
                                       QStringLiteral("FILE"));
    parser.addOption(certOption);
    parser.addOption(keyOption);
    const QCommandLineOption exportOption(
            QStringLiteral("export"),
            QStringLiteral(
                    "Write what a harvest of the keywords fetches as static files under "
                    "DIR/<host>/, and the site's redirects to DIR/redirects.txt, then exit."),
            QStringLiteral("DIR"));
    const QCommandLineOption httpsOption(
            QStringLiteral("https"),
            QStringLiteral("With --export: pages give image addresses with \"https://\"."));
    parser.addOption(exportOption);
    parser.addOption(httpsOption);
    parser.addPositionalArgument(QStringLiteral("KEYWORD"),
                                 QStringLiteral("With --export: the keywords to export."),
                                 QStringLiteral("[KEYWORD...]"));
    parser.process(app);
    if (parser.isSet(exportOption))
        return exportSite(parser.value(exportOption), parser.isSet(httpsOption),
                          parser.positionalArguments());

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        std::fprintf(stderr, "mosscatch-photosite: invalid port \"%s\"\n",
                     qPrintable(parser.value(portOption)));
        return 2;
    }

    mosscatch::PhotoSite site;
    if (parser.isSet(certOption) || parser.isSet(keyOption)) {
        const std::optional<QSslConfiguration> tls
                = tlsConfiguration(parser.value(certOption), parser.value(keyOption));
        if (!tls) {
            std::fputs("mosscatch-photosite: --tls-cert and --tls-key must name a readable PEM "
                       "certificate and its key\n",
                       stderr);
            return 2;
        }
        site.serveTls(*tls);
    }
    // On its own the site can afford to keep every image of a long harvest.
    site.catalog().setImageCacheBytes(256 * 1024 * 1024);
    if (!site.listen(QHostAddress::LocalHost, quint16(port))) {
        std::fprintf(stderr, "mosscatch-photosite: cannot listen on 127.0.0.1:%u\n", port);
        return 1;
    }
    mosscatch::StopSignals stop;
    QObject::connect(&stop, &mosscatch::StopSignals::stopRequested, &app, &QCoreApplication::quit);

    std::printf("listening on 127.0.0.1:%u\n", unsigned(site.serverPort()));
    std::fflush(stdout);
    return app.exec();
}
