#include "harvestfixture.h"

#include "common/text.h"
#include "net/tcpconnection.h"

#include <QSignalSpy>

#include <algorithm>
#include <limits>

namespace mosscatch {

HarvestFixture::HarvestFixture(bool tls)
{
    if (tls) {
        m_certificates = std::make_unique<TestCertificates>();
        m_site.serveTls(m_certificates->server(TestCertificates::Kind::Trusted));
        m_tls.addCaFile(m_certificates->caFile());
        m_siteConfiguration.scheme = Scheme::Https;
    }
    m_site.listen(QHostAddress::LocalHost, 0);
}

bool HarvestFixture::harvest(const HarvestRequest &request, int timeoutMs)
{
    HostMap hostMap;
    hostMap.addLocalSite(m_site.serverPort());
    m_engine = std::make_unique<HarvestEngine>(m_siteConfiguration,
                                               TcpConnection::factory(hostMap, m_tls));
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

    startedKeywords.clear();
    failedKeywords.clear();
    namesRefused.clear();
    givenUp = cutShort = transfersStarted = retries = 0;
    QObject::connect(m_engine.get(), &HarvestEngine::keywordCutShort, [this] { ++cutShort; });
    closestStartsNs = std::numeric_limits<qint64>::max();
    QObject::connect(m_engine.get(), &HarvestEngine::transferStarted, [this] {
        if (transfersStarted++ > 0)
            closestStartsNs = std::min(closestStartsNs, m_sinceStart.nsecsElapsed());
        m_sinceStart.start();
    });
    QObject::connect(m_engine.get(), &HarvestEngine::transferRetried, [this] { ++retries; });
    QObject::connect(m_engine.get(), &HarvestEngine::keywordFailed,
                     [this](const QString &keyword) { failedKeywords.append(keyword); });
    QObject::connect(m_engine.get(), &HarvestEngine::keywordStarted,
                     [this](const QString &k) { startedKeywords.append(k.toUtf8()); });
    QObject::connect(m_engine.get(), &HarvestEngine::addressGivenUp, [this] { ++givenUp; });
    QObject::connect(m_engine.get(), &HarvestEngine::nameRefused,
                     [this](const QByteArray &url, const QString &reason) {
                         namesRefused.insert(url, reason);
                     });
    QSignalSpy runOver(m_engine.get(), &HarvestEngine::runOver);
    if (!m_engine->start())
        return false;
    return runOver.wait(timeoutMs);
}

QMap<QString, QByteArray> HarvestFixture::expectedFiles(const HarvestRequest &request)
{
    const HarvestSettings &wanted = request.settings;
    const QString ticked = QString(wanted.thumbnails ? "t" : "") + (wanted.standard ? "s" : "")
                           + (wanted.largest ? "l" : "");
    QMap<QString, QByteArray> files;
    for (const QByteArray &keyword : request.keywords) {
        // The first photos listed, as many as Max Images asks, at most 70 pages of 60.
        int photos = std::min(m_site.catalog().resultCount(keyword, wanted.commercial), 70 * 60);
        if (!lowerTrim(wanted.maxImages).contains(QLatin1String("max")))
            photos = std::min(photos, int(leadingNumber(wanted.maxImages)));
        files.insert(imageAddresses(
                keyword, m_site.catalog().photos(keyword, wanted.commercial, photos), ticked));
    }
    for (QByteArray &bytes : files)
        bytes = m_site.catalog().imageBytes(bytes);
    return files;
}

QList<Photo> HarvestFixture::plainPhotos(const QByteArray &keyword, int count)
{
    const PhotoCatalog catalog;
    QList<Photo> photos;
    for (int index = 0; photos.size() < count; ++index) {
        const Photo photo = catalog.photoAt(keyword, false, index);
        if (!photo.portalThumbnail && !photo.standardRedirects)
            photos.append(photo);
    }
    return photos;
}

}
