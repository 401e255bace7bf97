#include "harvestfixture.h"

#include "common/text.h"
#include "net/tcpconnection.h"

#include <QSignalSpy>

#include <algorithm>

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
    HarvestSettings settings = request.settings;
    settings.saveFolder = saveFolder();
    m_engine->options().apply(settings);
    m_engine->addKeywordsInOrder(request.keywords);

    const auto on
            = [this](auto signal, auto slot) { QObject::connect(m_engine.get(), signal, slot); };
    on(&HarvestEngine::keywordStarted, [this](const QString &k) { startedKeywords << k; });
    on(&HarvestEngine::keywordCutShort, [this] { ++cutShort; });
    on(&HarvestEngine::keywordFailed, [this] { ++keywordsFailed; });
    on(&HarvestEngine::transferRetried, [this] { ++retries; });
    on(&HarvestEngine::addressGivenUp, [this] { ++givenUp; });
    on(&HarvestEngine::nameRefused,
       [this](const QByteArray &url, const QString &reason) { namesRefused.insert(url, reason); });
    on(&HarvestEngine::transferStarted, [this] {
        if (transfersStarted++ > 0)
            closestStartsNs = std::min(closestStartsNs, m_sinceStart.nsecsElapsed());
        m_sinceStart.start();
    });
    QSignalSpy runOver(m_engine.get(), &HarvestEngine::runOver);
    return m_engine->start() && runOver.wait(timeoutMs);
}

QMap<QString, QByteArray> HarvestFixture::expectedFiles(const HarvestRequest &request)
{
    const HarvestSettings &wanted = request.settings;
    const QString ticked = QString(wanted.thumbnails ? "t" : "") + (wanted.standard ? "s" : "")
                           + (wanted.largest ? "l" : "");
    QMap<QString, QByteArray> files;
    for (const QString &text : request.keywords) {
        const QByteArray keyword = text.toUtf8();
        // The first photos listed, as many as Max Images asks, at most 70 pages of 60.
        int photos = std::min(m_site.catalog().resultCount(keyword, wanted.commercial), 70 * 60);
        if (!lowerTrim(wanted.maxImages).contains(QLatin1String("max")))
            photos = std::min(photos, int(leadingNumber(wanted.maxImages)));
        files.insert(imageAddresses(
                keyword, m_site.catalog().photos(keyword, wanted.commercial, photos), ticked));
    }
    return servedBytes(m_site.catalog(), files);
}

QList<Photo> HarvestFixture::plainPhotos(const QByteArray &keyword, int count)
{
    QList<Photo> photos = PhotoCatalog().photos(keyword, false);
    photos.removeIf(
            [](const Photo &photo) { return photo.portalThumbnail || photo.standardRedirects; });
    return photos.first(count);
}

}
