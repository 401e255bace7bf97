#pragma once

#include "engine/harvestengine.h"
#include "net/tlspolicy.h"
#include "photosite/photosite.h"
#include "savedfiles.h"
#include "testcertificates.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QMap>
#include <QStringList>
#include <QTemporaryDir>

#include <limits>
#include <memory>

namespace mosscatch {

// The path of an address written "host/path".
inline QByteArray pathOf(const QByteArray &address)
{
    return address.mid(address.indexOf('/'));
}

// What a harvest is asked for.
struct HarvestRequest
{
    QStringList keywords; // in the order they are to be harvested
    HarvestSettings settings = {}; // saved into the fixture's folder whatever it says
    QList<FaultRule> faults = {}; // added to the site before the harvest
};

// A real harvest over loopback sockets against the local photo site, with
// short timer intervals so that a stalled transfer costs a second, not minutes.
class HarvestFixture
{
public:
    // Over TLS the site shows a trusted certificate of throwaway ones made here, the harvest
    // trusts their CA and the site's own addresses take "https://".
    explicit HarvestFixture(bool tls = false);

    bool isValid() const { return !m_certificates || m_certificates->isValid(); }
    PhotoSite &site() { return m_site; }
    QString saveFolder() const { return m_folder.path() + QStringLiteral("/"); }

    // A fresh engine (as a new program start would make) harvests the request, once per
    // fixture. Returns false when the run did not end in time.
    bool harvest(const HarvestRequest &request, int timeoutMs = 120000);
    HarvestEngine &engine() { return *m_engine; }

    // The files the harvest must leave, relative to the save folder, with their bytes.
    QMap<QString, QByteArray> expectedFiles(const HarvestRequest &request);
    // Every file under the save folder, hidden ones included.
    QMap<QString, QByteArray> filesOnDisk() const { return filesUnder(m_folder.path()); }
    // The first photos of keyword with no habit of their own (portal thumbnail, redirected
    // image), so a fault is the only thing unusual about them.
    static QList<Photo> plainPhotos(const QByteArray &keyword, int count);

    // What the run did, as its signals told.
    QStringList startedKeywords;
    // The addresses whose image names were refused, with the reason told.
    QMap<QByteArray, QString> namesRefused;
    int givenUp = 0, cutShort = 0, keywordsFailed = 0, transfersStarted = 0, retries = 0;
    // The least time between two transfers started: the site's pacing.
    qint64 closestStartsNs = std::numeric_limits<qint64>::max();

private:
    std::unique_ptr<TestCertificates> m_certificates;
    PhotoSite m_site;
    SiteConfiguration m_siteConfiguration;
    TlsPolicy m_tls;
    QTemporaryDir m_folder;
    std::unique_ptr<HarvestEngine> m_engine;
    QElapsedTimer m_sinceStart;
};

}
