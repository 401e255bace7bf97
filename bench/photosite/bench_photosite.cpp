#include "photosite/photosite.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpSocket>

#include <cstdio>

using namespace mosscatch;

namespace {

void imageGeneration(const PhotoCatalog &catalog)
{
    const QList<Photo> photos = catalog.photos("count5", false);
    const QList<std::pair<const char *, QByteArray Photo::*>> sizes
            = {{"thumbnail", &Photo::thumbnailImage},
               {"standard", &Photo::standardImage},
               {"largest", &Photo::largestImage}};
    for (const auto &[name, member] : sizes) {
        QElapsedTimer timer;
        qint64 bytes = 0;
        timer.start();
        for (const Photo &photo : photos)
            bytes += catalog.imageBytes(photo.*member).size();
        const double coldMs = timer.nsecsElapsed() / 1e6 / photos.size();
        timer.restart();
        for (const Photo &photo : photos)
            catalog.imageBytes(photo.*member);
        const double cachedMs = timer.nsecsElapsed() / 1e6 / photos.size();
        std::printf("%-10s %8.1f KiB  generate %7.2f ms  cached %6.3f ms\n", name,
                    bytes / 1024.0 / photos.size(), coldMs, cachedMs);
    }
}

// Two connections at a time, as the harvester uses them.
void pageThroughput(PhotoSite &site, int requests)
{
    int started = 0, finished = 0;
    qint64 received = 0;
    QEventLoop loop;
    std::function<void()> startOne = [&] {
        if (started == requests)
            return;
        const QByteArray path
                = "/search/?q=bench" + QByteArray::number(started % 50)
                  + "&ct=0&mt=photos&adv=1&page=" + QByteArray::number(1 + started % 7);
        ++started;
        auto *socket = new QTcpSocket;
        QObject::connect(socket, &QTcpSocket::connected, socket, [socket, path] {
            socket->write(
                    "GET " + path
                    + " HTTP/1.0\nHost: www.photosite.example.com\nUser-Agent: Mozilla/5.0\n\n");
        });
        QObject::connect(socket, &QTcpSocket::readyRead, socket,
                         [&, socket] { received += socket->readAll().size(); });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [&, socket] {
            socket->deleteLater();
            if (++finished == requests)
                loop.quit();
            else
                startOne();
        });
        socket->connectToHost(QHostAddress::LocalHost, site.serverPort());
    };
    QElapsedTimer timer;
    timer.start();
    startOne();
    startOne();
    loop.exec();
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("results pages: %d in %.2f s, %.0f requests/s, %.1f MiB/s\n", requests, seconds,
                requests / seconds, received / 1048576.0 / seconds);
}

}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    PhotoSite site;
    if (!site.listen())
        return 1;
    imageGeneration(site.catalog());
    pageThroughput(site, 500);
    return 0;
}
