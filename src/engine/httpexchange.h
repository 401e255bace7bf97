#pragma once

#include "engine/connectionpool.h"
#include "engine/harveststate.h"
#include "engine/pagescraper.h"

#include <QObject>

namespace mosscatch {

// The HTTP/1.0 conversation on each working slot: sends the request when the
// connection is up, follows redirects, reads the announced length, strips the
// header, writes image bodies and hands complete pages to the scraper.
class HttpExchange : public QObject
{
    Q_OBJECT

public:
    HttpExchange(ConnectionPool &pool, PageScraper &scraper, HarvestState &state,
                 QObject *parent = nullptr);

public slots:
    void onConnected(int index);
    void onDataArrival(int index);
    void onPeerClosed(int index);

signals:
    void imageSaved(const QString &path);
    void pageFetched(const QByteArray &url);
    void addressGivenUp(const QByteArray &url);

private:
    ConnectionPool &m_pool;
    PageScraper &m_scraper;
    HarvestState &m_state;
};

}
