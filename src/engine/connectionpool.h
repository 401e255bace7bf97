#pragma once

#include "engine/connectioncache.h"
#include "engine/harvestoptions.h"
#include "engine/transfer.h"
#include "net/connection.h"

#include <QObject>
#include <QPointer>

#include <vector>

namespace mosscatch {

// The connection slots, each carrying at most one transfer, with the cache
// their transfers borrow connections from. Slot 0 is the blank template and
// never carries a transfer; the working slots 1 to 2k (Speed Multiple k) are
// rebuilt at every keyword start. Slot i couples the transfer it carries and
// status row i, which shows the transfer's connection, or between transfers
// the one its last transfer kept open.
class ConnectionPool : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxWorkingSlots = 8;
    // A transfer must bring at least 1 KiB, headers included, per 20-second
    // stall-watch tick (about 51 bytes a second) to keep its slot. The slowest
    // working link brings that in well under a second; a server that drips a
    // byte every few seconds to hold a connection open falls far short.
    static constexpr double MinimumBytesPerSecond = 1024.0 / 20.0;

    ConnectionPool(ConnectionFactory factory, const HarvestOptions &options,
                   QObject *parent = nullptr);
    ~ConnectionPool() override;

    ConnectionCache &cache() { return m_cache; }
    const ConnectionCache &cache() const { return m_cache; }

    // Slots, the template included: 1 before the first keyword, 2k + 1 afterwards.
    int count() const { return int(m_slots.size()); }
    int workingSlots() const { return count() - 1; }
    // The connection slot index shows: its transfer's, else the one its last
    // transfer used, while that exists; nullptr for neither.
    const Connection *connection(int index) const;
    // The transfer slot index carries; none on a free slot.
    const Transfer *transfer(int index) const;
    // What a free slot's row still says of the address it gave up, and why.
    QByteArray shownUrl(int index) const;
    QString shownFailure(int index) const;
    // Where a free slot's connection is kept open for until its next transfer;
    // nullptr when it is not.
    const ConnectionTarget *keptFor(int index) const;

    void loadSocks();
    void unloadSocks();
    // The lowest working slot without a transfer, else 0.
    int nextEmptySock() const;
    // The free slot for a transfer to target: one whose connection is kept
    // open for target, else the lowest that keeps none, else the lowest free;
    // 0 when every slot carries a transfer.
    int freeSlotFor(const ConnectionTarget &target) const;
    bool allWorkingSlotsFree() const;
    // Hands transfer (which the pool now owns) to free slot index and starts it.
    void start(int index, Transfer *transfer);
    // Restarts the held transfers whose host's hold has run out.
    void resumeHeld();
    // Gives address up without a request when its host is down in this
    // keyword, with the host's reason; false when the host is not down.
    bool giveUpIfHostDown(const QByteArray &address, const QByteArray &host);
    // Ends every transfer still running, each counting as given up, and
    // closes the idle connections.
    void giveUpRunning();
    // The stall watch's interval, which the minimum progress per tick follows.
    void setStallWatchInterval(int milliseconds);

public slots:
    // The stall watch: restarts transfers that brought less than the minimum
    // since the previous tick, and connection attempts that failed.
    void timeoutTick();

signals:
    // The working slots were rebuilt; count() slots exist now.
    void socksLoaded(int count);
    void transferRetried(int index);
    void pageFetched(const QByteArray &url);
    // A transfer ended for good, or an address was given up without one; a
    // slot may be free now.
    void transferFinished(const mosscatch::TransferResult &result);

private:
    struct Slot
    {
        QPointer<Transfer> transfer;
        QPointer<const Connection> lastConnection;
        QByteArray shownUrl;
        QString shownFailure;
    };

    int indexOf(const Transfer *transfer) const;
    void free(Transfer *transfer, const TransferResult &result);

    const HarvestOptions &m_options;
    ConnectionCache m_cache;
    std::vector<Slot> m_slots;
    double m_minimumPerTick = MinimumBytesPerSecond * 20;
};

}
