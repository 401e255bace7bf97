// Harvest pace through a link that is far away: the photo site runs in its own
// process behind a proxy that adds a round trip, and one keyword is harvested
// at the product's intervals, over plain HTTP and over TLS, with Speed
// Multiple 1, 2 or 4 and with connections kept open or not. Prints transfers
// started a second and their share of the 20-a-second bound the dispatch tick
// allows, as a markdown table; asserts nothing. Options pick part of the table
// (--help).
#include "delayproxy.h"
#include "engine/harvestengine.h"
#include "net/tcpconnection.h"
#include "runtoend.h"
#include "siteprocess.h"
#include "testcertificates.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSslKey>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <memory>
#include <vector>

using namespace mosscatch;

namespace {

constexpr double DispatchBound = 1000.0 / 50.0;
// 46 transfers: enough for a steady pace, few enough that the slowest figure
// (TLS at 200 ms over two connections) takes 15 seconds and the whole table
// two minutes.
constexpr QLatin1StringView Keyword("count60");

enum class Transport { Plain, Tls };

struct Row
{
    int roundTripMs;
    int speedMultiple;
    bool keepAlive;
};

struct Selection
{
    QList<int> roundTrips;
    QList<int> speedMultiples;
    bool keepAliveOffOnly = false;
    QList<Transport> transports;
};

struct Pace
{
    int transfers = 0;
    int images = 0;
    // Connections that came up: what keep-alive saves shows here.
    int connections = 0;
    double perSecond = 0;
};

// The photo site in its own process, and what the harvester needs to reach it.
struct Site
{
    Transport transport = Transport::Plain;
    std::unique_ptr<SiteProcess> process;
    SiteConfiguration configuration;
    TlsPolicy tls;
};

const std::vector<Row> &table()
{
    static const std::vector<Row> rows{
            {0, 1, true},   {0, 2, true},   {0, 4, true},    {50, 1, true},  {50, 2, true},
            {100, 1, true}, {100, 2, true}, {100, 1, false}, {200, 1, true}, {200, 2, true}};
    return rows;
}

// The table's rows the selection names; a combination the table lacks is
// measured on its own.
std::vector<Row> chosenRows(const Selection &selection)
{
    const auto chosen = [&](const Row &row) {
        return (selection.roundTrips.isEmpty() || selection.roundTrips.contains(row.roundTripMs))
               && (selection.speedMultiples.isEmpty()
                   || selection.speedMultiples.contains(row.speedMultiple))
               && (!selection.keepAliveOffOnly || !row.keepAlive);
    };
    std::vector<Row> rows;
    std::ranges::copy_if(table(), std::back_inserter(rows), chosen);
    if (!rows.empty())
        return rows;
    for (const int roundTrip :
         selection.roundTrips.isEmpty() ? QList<int>{0, 50, 100, 200} : selection.roundTrips) {
        for (const int multiple :
             selection.speedMultiples.isEmpty() ? QList<int>{1} : selection.speedMultiples)
            rows.push_back({roundTrip, multiple, !selection.keepAliveOffOnly});
    }
    return rows;
}

// Appends the numbers; false when one is not a whole number from min to max.
bool readNumbers(const QStringList &texts, int min, int max, QList<int> &into)
{
    for (const QString &text : texts) {
        bool ok = false;
        const int number = text.toInt(&ok);
        if (!ok || number < min || number > max)
            return false;
        into.append(number);
    }
    return true;
}

// The selection, or an error message.
QString readSelection(const QCoreApplication &app, Selection &selection)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Harvest pace behind a delayed link; without options, the whole table."));
    parser.addHelpOption();
    parser.addOptions(
            {{QStringLiteral("rtt"),
              QStringLiteral("Only this round trip in milliseconds; repeatable."),
              QStringLiteral("MS")},
             {QStringLiteral("speed-multiple"),
              QStringLiteral("Only this Speed Multiple (1 to 4); repeatable."),
              QStringLiteral("K")},
             {QStringLiteral("no-keep-alive"), QStringLiteral("Only connections not kept open.")},
             {QStringLiteral("tls"), QStringLiteral("Only over TLS.")},
             {QStringLiteral("plain"), QStringLiteral("Only over plain HTTP.")}});
    parser.process(app);
    if (!readNumbers(parser.values(QStringLiteral("rtt")), 0, 10000, selection.roundTrips))
        return QStringLiteral("--rtt takes milliseconds from 0 to 10000");
    if (!readNumbers(parser.values(QStringLiteral("speed-multiple")), 1, 4,
                     selection.speedMultiples))
        return QStringLiteral("--speed-multiple takes 1, 2, 3 or 4");
    selection.keepAliveOffOnly = parser.isSet(QStringLiteral("no-keep-alive"));
    const bool tlsOnly = parser.isSet(QStringLiteral("tls"));
    const bool plainOnly = parser.isSet(QStringLiteral("plain"));
    if (!tlsOnly || plainOnly)
        selection.transports.append(Transport::Plain);
    if (tlsOnly || !plainOnly)
        selection.transports.append(Transport::Tls);
    return {};
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The site's process over TLS with a certificate of the throwaway CA, which
// the harvester trusts as --ca-file would have it; null when either fails.
std::unique_ptr<SiteProcess> startTlsSite(const TestCertificates &certificates,
                                          const QTemporaryDir &folder)
{
    const QSslConfiguration server = certificates.server(TestCertificates::Kind::Trusted);
    QByteArray chain;
    for (const QSslCertificate &certificate : server.localCertificateChain())
        chain += certificate.toPem();
    const QString certFile = folder.filePath(QStringLiteral("site.pem"));
    const QString keyFile = folder.filePath(QStringLiteral("site.key"));
    if (!certificates.isValid() || !writeFile(certFile, chain)
        || !writeFile(keyFile, server.privateKey().toPem()))
        return nullptr;
    auto process = std::make_unique<SiteProcess>(QStringList{QStringLiteral("--tls-cert"), certFile,
                                                             QStringLiteral("--tls-key"), keyFile});
    return process->port() == 0 ? nullptr : std::move(process);
}

Pace harvest(const Site &site, quint16 port, const Row &row)
{
    QTemporaryDir folder;
    // As --resolve does: the connection goes to the port, SNI and the
    // certificate check keep the site's own names.
    HostMap hostMap;
    hostMap.addLocalSite(port);
    Pace pace;
    const ConnectionFactory plain = TcpConnection::factory(hostMap, site.tls);
    HarvestEngine engine(site.configuration, [&](QObject *parent) {
        Connection *connection = plain(parent);
        QObject::connect(connection, &Connection::connected, [&] { ++pace.connections; });
        return connection;
    });
    engine.options().setSaveFolder(folder.path());
    engine.options().setSpeedMultiple(row.speedMultiple);
    engine.options().setKeepAlive(row.keepAlive);
    engine.addKeyword(Keyword);

    QObject::connect(&engine, &HarvestEngine::transferStarted, [&] { ++pace.transfers; });
    QObject::connect(&engine, &HarvestEngine::imageSaved, [&] { ++pace.images; });
    // From Start to the run's end, the wait for the last answers included:
    // what harvesting the keyword takes.
    const qint64 runMs = std::max<qint64>(1, runToEnd(engine));
    pace.perSecond = pace.transfers * 1000.0 / double(runMs);
    return pace;
}

QString cells(const Pace &pace)
{
    if (pace.images == 0)
        return QStringLiteral("failed | -");
    return QStringLiteral("%1 | %2 | %3")
            .arg(QString::number(pace.perSecond, 'f', 1),
                 QString::number(pace.perSecond / DispatchBound, 'f', 2),
                 QString::number(pace.connections));
}

QString name(Transport transport)
{
    return transport == Transport::Tls ? QStringLiteral("TLS") : QStringLiteral("plain");
}

void printHeader(QTextStream &out, const std::vector<Site> &sites)
{
    out << "| round trip | Speed Multiple | keep-alive |";
    for (const Site &site : sites)
        out << ' ' << name(site.transport) << " transfers/s | " << name(site.transport)
            << " share | " << name(site.transport) << " connections |";
    out << "\n|---:|---:|:---:|";
    for (std::size_t i = 0; i < sites.size(); ++i)
        out << "---:|---:|---:|";
    out << '\n';
    out.flush();
}

// Prints what the figures rest on.
void printFooter(QTextStream &out, const std::vector<Pace> &paces)
{
    const auto [fewest, most] = std::ranges::minmax(paces, {}, &Pace::transfers);
    const auto [fewestImages, mostImages] = std::ranges::minmax(paces, {}, &Pace::images);
    const auto range = [](int low, int high) {
        return low == high ? QString::number(low) : QStringLiteral("%1 to %2").arg(low).arg(high);
    };
    out << "\nEach figure: transfers started a second from Start to the run's end, one keyword ("
        << Keyword << ") at the product's intervals, resting on "
        << range(fewest.transfers, most.transfers) << " transfers and "
        << range(fewestImages.images, mostImages.images) << " images; share: of the "
        << DispatchBound << "/s that one dispatch per 50 ms allows. " << MOSSCATCH_BUILD_TYPE
        << " build.\n";
}

std::vector<Site> startSites(const QList<Transport> &transports,
                             const TestCertificates &certificates, const QTemporaryDir &folder)
{
    std::vector<Site> sites;
    for (const Transport transport : transports) {
        Site site;
        site.transport = transport;
        if (transport == Transport::Tls) {
            site.process = startTlsSite(certificates, folder);
            site.configuration.scheme = Scheme::Https;
            site.tls.addCaFile(certificates.caFile());
        } else {
            site.process = std::make_unique<SiteProcess>();
        }
        if (!site.process || site.process->port() == 0)
            return {};
        sites.push_back(std::move(site));
    }
    return sites;
}

}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    Selection selection;
    if (const QString problem = readSelection(app, selection); !problem.isEmpty()) {
        err << "bench_latency: " << problem << '\n';
        return 2;
    }
    const TestCertificates certificates;
    const QTemporaryDir folder;
    const std::vector<Site> sites = startSites(selection.transports, certificates, folder);
    if (sites.empty()) {
        err << "bench_latency: cannot start mosscatch-photosite beside this program, or make "
               "its certificate with the openssl command\n";
        return 1;
    }
    // Fills each site's image cache, so the runs below measure the link.
    for (const Site &site : sites)
        harvest(site, site.process->port(), {0, 1, true});

    printHeader(out, sites);
    std::vector<Pace> paces;
    for (const Row &row : chosenRows(selection)) {
        out << "| " << row.roundTripMs << " ms | " << row.speedMultiple << " | "
            << (row.keepAlive ? "on" : "off") << " |";
        for (const Site &site : sites) {
            const DelayProxy proxy(site.process->port(), row.roundTripMs);
            paces.push_back(harvest(site, proxy.port(), row));
            out << ' ' << cells(paces.back()) << " |";
        }
        out << '\n';
        out.flush();
    }
    printFooter(out, paces);
    return 0;
}
