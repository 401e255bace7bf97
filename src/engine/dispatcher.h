#pragma once

#include "engine/addressqueue.h"
#include "engine/connectionpool.h"
#include "engine/harvestoptions.h"
#include "engine/resultpagewalker.h"
#include "engine/transfercontext.h"
#include "engine/transferroute.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>

#include <optional>

namespace mosscatch {

// The 50 ms tick: hands the top queued address to a free slot, or moves the
// run on to the next keyword once the current one has nothing left to fetch.
// Addresses that need no request (the image is on disk, or the keyword sent
// one for them already) are passed over within the same tick.
class Dispatcher : public QObject
{
    Q_OBJECT

public:
    // One photo costs at most six transfers (photo page, standard image, sizes
    // page, largest-size page, largest image, thumbnail); a keyword's result
    // pages and its search page come on top. Twice that leaves room for odd
    // pages and still stops a site that lists more than it counted.
    static constexpr int transferCapFor(int photos, int resultPages)
    {
        return 2 * (photos * 6 + resultPages + 1);
    }
    // The cap of a keyword whose result count was never read: 70 result pages
    // of 60 photos.
    static constexpr int MaxTransfersPerKeyword
            = 2
              * (ResultPageWalker::MaxPages * ResultPageWalker::ResultsPerPage * 6
                 + ResultPageWalker::MaxPages + 1);
    // Addresses passed over in one tick at most, so the window stays responsive.
    static constexpr int MaxSkipsPerTick = 1000;
    // How far down the queue an address that can reuse an idle connection is
    // looked for.
    static constexpr int ReuseLookAhead = 64;
    // How far down the queue connections are opened ahead: 400 ms of
    // dispatches, what a handshake takes on a link far away.
    static constexpr int OpenAheadReach = 8;
    // Once nothing is left to hand out, running transfers are waited for at
    // most this many stall-watch ticks (20 minutes), then given up. A stalled
    // or dripping transfer is given up by the stall watch within four ticks
    // anyway; this bounds the slow ones that keep above its minimum, yet
    // lets the largest image (about 1 MB) arrive at a modest 1 KiB/s.
    static constexpr int HandOverWaitTicks = 60;

    Dispatcher(const HarvestOptions &options, AddressQueue &queue, ConnectionPool &pool,
               TransferContext &context, QObject *parent = nullptr);

    // Only for tests: a smaller cap, so a link farm ends in seconds.
    void setTransferCap(int transfers) { m_transferCap = m_keywordCap = transfers; }

public slots:
    // A keyword's harvest begins: its transfers are counted afresh and its
    // images go under keywordFolder.
    void beginKeyword(const QString &keywordFolder);
    // The keyword's result count is known: its cap follows the photos listed
    // on the result pages it queues.
    void limitToResults(double resultCount);
    void tick();
    // Ends the keyword at hand without handing over: running transfers are
    // given up and what it left queued is dropped.
    void dropKeyword();
    // Puts an address that was requested back at the top, to be requested
    // again: its image could not be written.
    void fetchAgain(const QByteArray &address);
    // Counts the stall-watch ticks spent waiting for running transfers.
    void stallWatchTicked();

signals:
    // The keyword has nothing left to fetch: the next one is wanted.
    void nextKeywordWanted();
    // An address was handed to slot index, on a connection kept open or opened for it.
    void transferStarted(int index, const QByteArray &url);
    // An address that names no host, or an image no file can be named after,
    // was dropped at dispatch.
    void addressGivenUp(const QByteArray &url);
    // The image's name is one no file can have; addressGivenUp follows.
    void nameRefused(const QByteArray &url, const QString &reason);
    // The keyword reached its transfer cap; it hands over with what it has.
    void keywordCutShort();

private:
    enum class Dispatch { Started, PassedOver };

    bool nothingToHandOut() const;
    void handOver();
    std::optional<QByteArray> nextAddress();
    Dispatch dispatch(const QByteArray &address);
    void openConnectionsAhead();
    static bool isOnDisk(const TransferRoute &route);

    const HarvestOptions &m_options;
    AddressQueue &m_queue;
    ConnectionPool &m_pool;
    TransferContext &m_context;
    QString m_keywordFolder;
    int m_transferCap = MaxTransfersPerKeyword;
    int m_keywordCap = MaxTransfersPerKeyword;
    int m_transfers = 0;
    // Every address the keyword sent a request for: at most its cap.
    QSet<QByteArray> m_dispatched;
    int m_waitedTicks = 0;
};

}
