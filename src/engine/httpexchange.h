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
    enum class Step { Next, Finished, Failed };

    static QByteArray request(const SlotRecord &record);
    static void startAttempt(SlotRecord &record);
    Step handleArrival(int index, SlotRecord &record);
    Step followRedirect(int index, SlotRecord &record);
    Step readContentLength(int index, SlotRecord &record);
    Step removeHeader(int index, SlotRecord &record);
    Step checkImageStatus(int index, const SlotRecord &record);
    static void countBody(SlotRecord &record);
    Step finishPage(int index, SlotRecord &record);
    Step saveImage(int index, SlotRecord &record);
    void completeImage(int index, SlotRecord &record);
    void giveUp(int index);
    static QString destination(const SlotRecord &record);

    ConnectionPool &m_pool;
    PageScraper &m_scraper;
    HarvestState &m_state;
    // Reused for every arrival, so reading a socket allocates nothing once warm.
    QByteArray m_chunk;
};

}
