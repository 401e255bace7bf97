// Peak resident memory through a 70-page keyword (4200 photos, thumbnails and
// standard size), for the command-line harvester against the photo site in a
// process of its own, and for the engine with the site in-process as the
// window's demo runs them; and what a full address queue costs. The dispatch
// tick is 1 ms so the 12,500 transfers take minutes, not the ten a product
// run would. Prints figures only; it asserts nothing.
#include "engine/harvestengine.h"
#include "net/tcpconnection.h"
#include "photosite/photosite.h"
#include "siteprocess.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/resource.h>

using namespace mosscatch;

namespace {

const QString DefaultKeyword = QStringLiteral("count4200");

long statusKilobytes(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

long peakKilobytes(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_maxrss;
}

QString megabytes(double kilobytes)
{
    return QString::number(kilobytes / 1024.0, 'f', 1) + QStringLiteral(" MiB");
}

// Longest addresses the queue takes, all different, so nothing is shared.
void fullQueue(QTextStream &out)
{
    const long before = statusKilobytes("VmRSS");
    {
        HarvestEngine engine(SiteConfiguration(), TcpConnection::factory({}));
        AddressQueue &queue = *engine.queue();
        const QByteArray stem = "farm1.static.photosite.example.com/";
        for (int i = 0; i < AddressQueue::Capacity; ++i) {
            QByteArray address = stem + QByteArray::number(i) + '/';
            address.append(QByteArray(AddressQueue::MaxAddressLength - address.size(), 'x'));
            queue.addUrl(address);
        }
        queue.addUrl(stem);
        const long full = statusKilobytes("VmRSS");
        out << "full queue: " << queue.size() << " addresses of " << AddressQueue::MaxAddressLength
            << " bytes, " << megabytes(double(full - before)) << " resident ("
            << queue.refusedForRoom() << " more refused)\n";
    }
    out.flush();
}

void demo(QTextStream &out, const QString &keyword)
{
    PhotoSite site;
    site.listen();
    QTemporaryDir folder;
    HostMap hostMap;
    hostMap.addLocalSite(site.serverPort());
    HarvestEngine engine(SiteConfiguration(), TcpConnection::factory(hostMap));
    engine.setIntervals({.next = 1, .stats = 250, .speed = 2000, .timeout = 20000});
    engine.options().setSaveFolder(folder.path());
    engine.options().setMaxImages(QStringLiteral("max"));
    engine.addKeyword(keyword);
    int images = 0;
    QObject::connect(&engine, &HarvestEngine::imageSaved, [&images] { ++images; });
    QEventLoop loop;
    QObject::connect(&engine, &HarvestEngine::runOver, &loop, &QEventLoop::quit);
    engine.start();
    loop.exec();
    out << "demo, engine and photo site in one process: " << images << " images, peak "
        << megabytes(double(peakKilobytes(RUSAGE_SELF))) << " (goal 128 MiB)\n";
    out.flush();
}

void cli(QTextStream &out, const QString &keyword)
{
    const SiteProcess site;
    const quint16 port = site.port();
    if (port == 0) {
        out << "cannot start mosscatch-photosite beside this program\n";
        return;
    }
    QTemporaryDir folder;
    QProcess harvester;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MOSSCATCH_TEST_INTERVALS"),
                       QStringLiteral("1,250,2000,20000"));
    harvester.setProcessEnvironment(environment);
    harvester.start(QCoreApplication::applicationDirPath() + QStringLiteral("/mosscatch-cli"),
                    {QStringLiteral("--folder"), folder.path(), QStringLiteral("--max-images"),
                     QStringLiteral("max"), QStringLiteral("--resolve"),
                     QStringLiteral("*.example.com=127.0.0.1:%1").arg(port),
                     QStringLiteral("--quiet"), keyword});
    harvester.waitForFinished(-1);
    // Only the harvester has been waited for so far, so the children's peak is its own.
    out << "mosscatch-cli, photo site in its own process: exit " << harvester.exitCode()
        << ", peak " << megabytes(double(peakKilobytes(RUSAGE_CHILDREN))) << " (goal 64 MiB)\n";
    out.flush();
}

}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
            QStringLiteral("Peak resident memory of a harvest and of a full queue."));
    parser.addHelpOption();
    const QCommandLineOption demoOnly(
            QStringLiteral("demo-only"),
            QStringLiteral("Measure only the engine with the site in-process."));
    const QCommandLineOption keywordOption(
            QStringLiteral("keyword"),
            QStringLiteral("Harvest <keyword> instead of 70 result pages."),
            QStringLiteral("keyword"), DefaultKeyword);
    parser.addOptions({demoOnly, keywordOption});
    parser.process(app);
    const QString keyword = parser.value(keywordOption);
    QTextStream out(stdout);
    out << "keyword " << keyword << (keyword == DefaultKeyword ? ": 70 result pages" : QString())
        << ", thumbnails and standard size\n";
    if (!parser.isSet(demoOnly)) {
        fullQueue(out);
        cli(out, keyword);
    }
    demo(out, keyword);
    return 0;
}
