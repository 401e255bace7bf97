#include "common/product.h"
#include "common/stopsignals.h"
#include "photosite/photosite.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    mosscatch::StopSignals::block();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("mosscatch-photosite"));
    // --version prints the version, then the licence on a line of its own.
    QCoreApplication::setApplicationVersion(QLatin1String(mosscatch::ProductVersion) + QLatin1Char('\n')
                                      + QLatin1String(mosscatch::ProductLicence));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Serves the local photo site on 127.0.0.1."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Port to listen on (0 picks a free one)."),
                                        QStringLiteral("N"), QStringLiteral("0"));
    parser.addOption(portOption);
    parser.process(app);

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        std::fprintf(stderr, "mosscatch-photosite: invalid port \"%s\"\n",
                     qPrintable(parser.value(portOption)));
        return 2;
    }

    mosscatch::PhotoSite site;
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
