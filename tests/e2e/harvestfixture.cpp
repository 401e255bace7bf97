#include "harvestfixture.h"

#include "common/text.h"
#include "net/tcpconnection.h"

#include <QDirIterator>
#include <QFile>
#include <QSet>
#include <QSignalSpy>

#include <algorithm>
#include <cmath>

namespace mosscatch {

HarvestFixture::HarvestFixture()
{
    m_site.listen(QHostAddress::LocalHost, 0);
}

bool HarvestFixture::harvest(const HarvestRequest &request, int timeoutMs)
{
    HostMap hostMap;
    hostMap.addLocalSite(m_site.serverPort());
    m_engine
            = std::make_unique<HarvestEngine>(SiteConfiguration(), TcpConnection::factory(hostMap));
    // A stall-watch tick of a second bounds the hand-over wait at a minute: room for the
    // slow trickles on a loaded machine, while a stall still costs only seconds.
    m_engine->setIntervals({.next = 1, .stats = 20, .speed = 200, .timeout = 1000});
    for (const FaultRule &fault : request.faults)
        m_site.addFault(fault);
    m_engine->setLimits(request.limits);
    HarvestSettings settings = request.settings;
    settings.saveFolder = saveFolder();
    m_engine->options().apply(settings);
    QStringList keywords;
    for (const QByteArray &keyword : request.keywords)
        keywords << QString::fromUtf8(keyword);
    m_engine->addKeywordsInOrder(keywords);

    m_started.clear();
    m_givenUp = m_cutShort = m_transfers = m_retries = 0;
    m_failed.clear();
    QObject::connect(m_engine.get(), &HarvestEngine::keywordCutShort, [this] { ++m_cutShort; });
    QObject::connect(m_engine.get(), &HarvestEngine::transferStarted, [this] { ++m_transfers; });
    QObject::connect(m_engine.get(), &HarvestEngine::transferRetried, [this] { ++m_retries; });
    QObject::connect(m_engine.get(), &HarvestEngine::keywordFailed,
                     [this](const QString &keyword) { m_failed.append(keyword); });
    QObject::connect(m_engine.get(), &HarvestEngine::keywordStarted,
                     [this](const QString &k) { m_started.append(k); });
    QObject::connect(m_engine.get(), &HarvestEngine::addressGivenUp, [this] { ++m_givenUp; });
    QSignalSpy runOver(m_engine.get(), &HarvestEngine::runOver);
    if (!m_engine->start())
        return false;
    return runOver.wait(timeoutMs);
}

int HarvestFixture::pagesQueued(const QByteArray &keyword, const HarvestRequest &request)
{
    const int count = m_site.catalog().resultCount(keyword, request.settings.commercial);
    double last = std::min(count / 60 + 1, 70);
    if (!lowerTrim(request.settings.maxImages).contains(QLatin1String("max")))
        last = std::min(last, leadingNumber(request.settings.maxImages) / 60.0);
    return int(std::floor(last));
}

QMap<QString, QByteArray> HarvestFixture::expectedFiles(const HarvestRequest &request)
{
    PhotoCatalog &catalog = m_site.catalog();
    QMap<QString, QByteArray> files;
    for (const QByteArray &keyword : request.keywords) {
        const QString folder = QString::fromUtf8(keyword) + QLatin1Char('/');
        for (int page = 1; page <= pagesQueued(keyword, request); ++page) {
            for (const Photo &photo :
                 catalog.photosOnPage(keyword, request.settings.commercial, page)) {
                if (request.settings.thumbnails && !photo.portalThumbnail)
                    files.insert(folder + "thumbnails/"
                                         + QString::fromLatin1(photo.thumbnailFileName()),
                                 catalog.imageBytes(photo.thumbnailImage));
                if (request.settings.standard)
                    files.insert(folder + QString::fromLatin1(photo.standardFileName()),
                                 catalog.imageBytes(photo.standardImage));
                if (request.settings.largest)
                    files.insert(folder + "largest/" + QString::fromLatin1(photo.largestFileName()),
                                 catalog.imageBytes(photo.largestImage));
            }
        }
    }
    return files;
}

QMap<QString, QByteArray> HarvestFixture::filesOnDisk() const
{
    QMap<QString, QByteArray> files;
    QDirIterator it(m_folder.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly))
            files.insert(QDir(m_folder.path()).relativeFilePath(file.fileName()), file.readAll());
    }
    return files;
}

QByteArrayList HarvestFixture::repeatedRequests() const
{
    QSet<QByteArray> seen;
    QByteArrayList repeated;
    for (const RequestRecord &request : m_site.requests()) {
        const QByteArray address = request.host + request.path;
        if (seen.contains(address))
            repeated << address;
        seen.insert(address);
    }
    return repeated;
}

int HarvestFixture::imageRequests() const
{
    const QList<RequestRecord> requests = m_site.requests();
    return int(std::count_if(requests.begin(), requests.end(),
                             [](const RequestRecord &r) { return r.path.contains(".jpg"); }));
}

}
