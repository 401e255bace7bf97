// Harvest figures against the local photo site over loopback: wall time,
// transfers started a second, bytes a second, CPU time and peak memory of the
// harvester alone (the site runs as a process of its own beside it).
// Then the same harvest over TLS beside plain TCP, CPU time per transfer.
// Prints figures only; it asserts nothing.
#include "engine/harvestengine.h"
#include "net/tcpconnection.h"
#include "runtoend.h"
#include "siteprocess.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/resource.h>

using namespace mosscatch;

namespace {

struct Figures
{
    double seconds = 0;
    int transfers = 0;
    int images = 0;
    int pages = 0;
    double bytes = 0;
};

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

Figures harvest(quint16 sitePort, const QStringList &keywords,
                const HarvestEngine::Intervals &intervals, const TlsPolicy *tls = nullptr,
                const QString &saveFolder = {})
{
    QTemporaryDir temporary;
    const QString folder = saveFolder.isEmpty() ? temporary.path() : saveFolder;
    HostMap hostMap;
    hostMap.addLocalSite(sitePort);
    SiteConfiguration site;
    if (tls)
        site.scheme = Scheme::Https;
    HarvestEngine engine(site, TcpConnection::factory(hostMap, tls ? *tls : TlsPolicy()));
    engine.setIntervals(intervals);
    engine.options().setSaveFolder(folder);
    engine.options().setLargest(true);
    engine.options().setMaxImages(QStringLiteral("max"));
    engine.addKeywordsInOrder(keywords);

    Figures figures;
    QObject::connect(&engine, &HarvestEngine::transferStarted, [&] { ++figures.transfers; });
    QObject::connect(&engine, &HarvestEngine::imageSaved, [&] { ++figures.images; });
    QObject::connect(&engine, &HarvestEngine::pageFetched, [&] { ++figures.pages; });
    figures.seconds = double(runToEnd(engine)) / 1000.0;
    figures.bytes = double(engine.totalReceived());
    return figures;
}

void print(QTextStream &out, const QString &label, const Figures &f, double cpu)
{
    out << label << ": " << f.seconds << " s, " << f.transfers << " transfers ("
        << f.transfers / f.seconds << "/s), " << f.pages << " pages, " << f.images << " images, "
        << f.bytes / 1e6 / f.seconds << " MB/s, CPU " << cpu << " s\n";
    out.flush();
}

// A self-signed certificate for every host of the site, trusted as its own CA.
bool makeCertificate(const QTemporaryDir &dir)
{
    QProcess openssl;
    openssl.start(
            QStringLiteral("openssl"),
            {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
             "-keyout", dir.filePath("key.pem"), "-out", dir.filePath("cert.pem"), "-days", "1",
             "-subj", "/CN=www.photosite.example.com", "-addext",
             "subjectAltName=DNS:*.photosite.example.com,DNS:*.static.photosite.example.com"});
    return openssl.waitForFinished(30000) && openssl.exitCode() == 0;
}

// CPU time per transfer over plain TCP and over TLS, same keyword, 1 ms tick.
void compareTls(QTextStream &out, quint16 plainPort)
{
    QTemporaryDir dir;
    if (!makeCertificate(dir)) {
        out << "no TLS figures: the openssl command failed\n";
        return;
    }
    const SiteProcess tlsSite({QStringLiteral("--tls-cert"), dir.filePath("cert.pem"),
                               QStringLiteral("--tls-key"), dir.filePath("key.pem")});
    TlsPolicy tls;
    tls.addCaFile(dir.filePath("cert.pem"));
    const QStringList keyword{QStringLiteral("count120")};
    const HarvestEngine::Intervals fast{.next = 1, .stats = 250, .speed = 2000, .timeout = 20000};
    harvest(tlsSite.port(), keyword, fast, &tls);

    double cpu = cpuSeconds();
    const Figures plain = harvest(plainPort, keyword, fast);
    const double plainCpu = (cpuSeconds() - cpu) / plain.transfers;
    cpu = cpuSeconds();
    const Figures secure = harvest(tlsSite.port(), keyword, fast, &tls);
    const double tlsCpu = (cpuSeconds() - cpu) / secure.transfers;
    print(out, QStringLiteral("plain TCP, 1 ms tick"), plain, plainCpu * plain.transfers);
    print(out, QStringLiteral("TLS, 1 ms tick"), secure, tlsCpu * secure.transfers);
    out << "CPU per transfer: plain " << plainCpu * 1000 << " ms, TLS " << tlsCpu * 1000
        << " ms, ratio " << tlsCpu / plainCpu << "\n";
}

}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const SiteProcess site;
    const quint16 port = site.port();
    if (port == 0) {
        out << "cannot start mosscatch-photosite beside this program\n";
        return 1;
    }
    const QStringList keywords{QStringLiteral("count120"), QStringLiteral("count60")};

    // First run fills the site's image cache, so the runs below measure the harvester.
    harvest(port, keywords, {.next = 1, .stats = 250, .speed = 2000, .timeout = 20000});

    double cpu = cpuSeconds();
    const Figures fast
            = harvest(port, keywords, {.next = 1, .stats = 250, .speed = 2000, .timeout = 20000});
    print(out, QStringLiteral("1 ms dispatch tick"), fast, cpuSeconds() - cpu);

    cpu = cpuSeconds();
    const Figures real = harvest(port, {QStringLiteral("count60")}, {});
    print(out, QStringLiteral("product intervals (50 ms tick)"), real, cpuSeconds() - cpu);

    // A rerun finds every image on disk: only the pages are fetched, at most 20 a second.
    QTemporaryDir rerunFolder;
    const QStringList rerunKeyword{QStringLiteral("count150")};
    harvest(port, rerunKeyword, {.next = 1, .stats = 250, .speed = 2000, .timeout = 20000}, nullptr,
            rerunFolder.path());
    cpu = cpuSeconds();
    const Figures rerun = harvest(port, rerunKeyword, {}, nullptr, rerunFolder.path());
    print(out, QStringLiteral("rerun, every image on disk (50 ms tick)"), rerun,
          cpuSeconds() - cpu);
    out << "rerun time against its page fetches at 20/s: " << rerun.seconds / (rerun.pages / 20.0)
        << "x\n";

    compareTls(out, port);
    out << "peak resident memory of the harvester: " << peakKilobytes() / 1024 << " MiB\n";
    return 0;
}
