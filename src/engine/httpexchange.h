#pragma once

#include "engine/connectionpool.h"
#include "engine/pagescraper.h"
#include "engine/writeerror.h"

#include <QObject>

namespace mosscatch {

// The HTTP/1.0 conversation on each working slot: sends the request when the
// connection is up, waits for the whole response header, then follows a
// redirect or reads the body (by its announced length, by chunks or up to the
// close), writes image bodies and hands complete pages to the scraper. Where
// the arrivals of a response are cut never changes what becomes of it.
class HttpExchange : public QObject
{
    Q_OBJECT

public:
    HttpExchange(ConnectionPool &pool, PageScraper &scraper, QObject *parent = nullptr);

    // Bytes received by all connections since start-up, headers included.
    qint64 totalReceived() const { return m_totalReceived; }
    // Only for tests: a total beyond what a test delivers.
    void setTotalReceived(qint64 bytes) { m_totalReceived = bytes; }

public slots:
    void onConnected(int index);
    void onDataArrival(int index);
    void onPeerClosed(int index);

signals:
    void imageSaved(const QString &path);
    void pageFetched(const QByteArray &url);
    void addressGivenUp(const QByteArray &url);
    // The image queued as url could not be written, for a reason that holds for
    // every image (a full or read-only disk, a folder that cannot be made).
    void imageNotWritten(const QByteArray &url, const mosscatch::WriteError &error);

private:
    enum class Step { Next, Finished, Failed };
    // What the complete header says, read only once all of it is in.
    struct Header;

    static QByteArray request(const SlotRecord &record);
    static void startAttempt(SlotRecord &record);
    Step handleArrival(int index, SlotRecord &record);
    Step readHeader(int index, SlotRecord &record);
    Step startBody(int index, SlotRecord &record, const Header &header);
    Step followRedirect(int index, SlotRecord &record, const QByteArray &target);
    Step takeBody(int index, SlotRecord &record, QByteArrayView raw);
    Step takePage(int index, SlotRecord &record, QByteArrayView bytes);
    Step takeImage(int index, SlotRecord &record, QByteArrayView bytes, bool ended);
    void completeImage(int index, SlotRecord &record);
    void holdHost(const SlotRecord &record, const QByteArray &retryAfter);
    void giveUp(int index);
    void stopWriting(int index, SlotRecord &record);
    static QString destination(const SlotRecord &record);

    ConnectionPool &m_pool;
    PageScraper &m_scraper;
    qint64 m_totalReceived = 0;
    // Reused for every arrival, so reading a socket allocates nothing once warm.
    QByteArray m_chunk;
    QByteArray m_decoded;
};

}
