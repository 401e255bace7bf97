// Harvest pace through a link that is far away: the photo site runs in its own
// process behind a proxy that adds a round trip, and one keyword is harvested
// at the product's intervals. Prints transfers started a second and their
// share of the 20-a-second bound the dispatch tick allows; asserts nothing.
#include "delayproxy.h"
#include "engine/harvestengine.h"
#include "net/tcpconnection.h"
#include "siteprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTextStream>

using namespace mosscatch;

namespace {

constexpr double DispatchBound = 1000.0 / 50.0;

double transfersPerSecond(quint16 port, const QString &keyword)
{
    QTemporaryDir folder;
    HostMap hostMap;
    hostMap.addLocalSite(port);
    HarvestEngine engine(SiteConfiguration(), TcpConnection::factory(hostMap));
    engine.options().setSaveFolder(folder.path());
    engine.addKeyword(keyword);

    int transfers = 0;
    QObject::connect(&engine, &HarvestEngine::transferStarted, [&] { ++transfers; });
    QEventLoop loop;
    QObject::connect(&engine, &HarvestEngine::runOver, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    engine.start();
    loop.exec();
    return transfers * 1000.0 / double(clock.elapsed());
}

}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const SiteProcess site;
    if (site.port() == 0) {
        out << "cannot start mosscatch-photosite beside this program\n";
        return 1;
    }
    const QString keyword = QStringLiteral("count60");
    // Fills the site's image cache, so the runs below measure the link.
    transfersPerSecond(site.port(), keyword);

    out << "round trip   transfers/s   share of the 20/s bound\n";
    for (const int roundTrip : {0, 50, 100, 200}) {
        DelayProxy proxy(site.port(), roundTrip);
        const double rate = transfersPerSecond(proxy.port(), keyword);
        out << qSetFieldWidth(7) << roundTrip << qSetFieldWidth(0) << " ms   " << qSetFieldWidth(11)
            << QString::number(rate, 'f', 1) << qSetFieldWidth(0) << "   "
            << QString::number(rate / DispatchBound, 'f', 2) << '\n';
        out.flush();
    }
    return 0;
}
