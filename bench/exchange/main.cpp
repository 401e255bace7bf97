#include "engine/harvestengine.h"
#include "scriptedconnection.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <vector>

#include <unistd.h>

using namespace mosscatch;

namespace {

constexpr qint64 megabyte = 1024 * 1024;

// Peak resident memory of this process so far, in KiB.
long peakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

struct Harness
{
    Harness()
    {
        engine.scraper()->setResultPageCount(1);
        pool.loadSocks();
    }

    ScriptedConnection *connection() const
    {
        return qobject_cast<ScriptedConnection *>(const_cast<Connection *>(pool.connection(1)));
    }

    void start(const QByteArray &path)
    {
        const TransferRoute route{{Scheme::Http, "www.photosite.example.com", 80},
                                  path,
                                  folder.path() + QStringLiteral("/"),
                                  path.mid(path.lastIndexOf('/') + 1)};
        pool.start(1, new Transfer(route.target.host + path, route, engine.transferContext()));
        connection()->acceptConnection();
    }

    // Feeds the response in chunks of chunkSize; returns the seconds taken.
    double feed(const QByteArray &header, qint64 bodySize, qsizetype chunkSize,
                const QByteArray &tail = {})
    {
        const QByteArray chunk(chunkSize, 'x');
        QElapsedTimer timer;
        timer.start();
        connection()->deliver(header);
        for (qint64 sent = 0; sent < bodySize; sent += chunkSize)
            connection()->deliver(chunk.left(qsizetype(qMin<qint64>(chunkSize, bodySize - sent))));
        if (!tail.isEmpty())
            connection()->deliver(tail);
        return double(timer.nsecsElapsed()) / 1e9;
    }

    QTemporaryDir folder;
    HarvestEngine engine{SiteConfiguration(), ScriptedConnection::factory()};
    ConnectionPool &pool = *engine.pool();
};

void benchImage(qint64 size, qsizetype chunkSize)
{
    Harness harness;
    bool saved = false;
    QObject::connect(&harness.engine, &HarvestEngine::imageSaved, [&] { saved = true; });
    harness.start("/photos/x/big_o.jpg");
    const long before = peakResidentKiB();
    const QByteArray header
            = "HTTP/1.0 200 OK\r\nContent-Length: " + QByteArray::number(size) + "\r\n\r\n";
    const double seconds = harness.feed(header, size, chunkSize);
    std::printf("image %4lld MiB in %6lld-byte chunks: %7.1f MiB/s, peak memory grew %ld KiB, %s\n",
                size / megabyte, qint64(chunkSize), double(size) / megabyte / seconds,
                peakResidentKiB() - before, saved ? "saved" : "NOT SAVED");
}

void benchPage(qint64 size, qsizetype chunkSize)
{
    Harness harness;
    bool fetched = false;
    QObject::connect(&harness.pool, &ConnectionPool::pageFetched, [&] { fetched = true; });
    harness.start("/search/?q=moss&page=2");
    const double seconds
            = harness.feed("HTTP/1.0 200 OK\r\n\r\n<html>", size, chunkSize, "</html>");
    std::printf("page  %4lld MiB in %6lld-byte chunks: %7.1f MiB/s, %s\n", size / megabyte,
                qint64(chunkSize), double(size) / megabyte / seconds,
                fetched ? "scraped" : "NOT SCRAPED");
}

// What a durable save costs: whole images of `size` bytes saved one after the
// other through the exchange (written, flushed to disk with fdatasync and
// renamed), against the fdatasync alone of a file of the same size.
void benchDurableSaves(int count, qint64 size)
{
    Harness harness;
    int saved = 0;
    QObject::connect(&harness.engine, &HarvestEngine::imageSaved, [&] { ++saved; });
    const QByteArray header
            = "HTTP/1.0 200 OK\r\nContent-Length: " + QByteArray::number(size) + "\r\n\r\n";
    double total = 0;
    for (int i = 0; i < count; ++i) {
        harness.start("/photos/x/" + QByteArray::number(i) + "_o.jpg");
        total += harness.feed(header, size, 16 * 1024);
    }
    std::vector<double> flushes;
    for (int i = 0; i < count; ++i) {
        QFile file(harness.folder.filePath(QStringLiteral("flush-%1").arg(i)));
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(size, 'x')) != size
            || !file.flush())
            return;
        QElapsedTimer timer;
        timer.start();
        ::fdatasync(file.handle());
        flushes.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(flushes.begin(), flushes.end());
    const double mean = std::accumulate(flushes.begin(), flushes.end(), 0.0) / count;
    std::printf("%d images of %lld KiB saved durably: %.2f ms per image; its fdatasync alone: "
                "mean %.2f ms, median %.2f ms, slowest %.2f ms (%d saved, in %s)\n",
                count, size / 1024, total * 1000 / count, mean, flushes[size_t(count / 2)],
                flushes.back(), saved, qPrintable(harness.folder.path()));
}

}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    benchImage(64 * megabyte, 1460);
    benchImage(64 * megabyte, 16 * 1024);
    benchImage(128 * megabyte, 64 * 1024);
    benchPage(8 * megabyte, 1460);
    benchPage(15 * megabyte, 16 * 1024);
    benchDurableSaves(200, 100 * 1024);
    benchDurableSaves(50, 4 * megabyte);
    return 0;
}
