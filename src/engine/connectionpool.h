#pragma once

#include "engine/harvestoptions.h"
#include "engine/hostholds.h"
#include "engine/hostsdown.h"
#include "engine/transfer.h"
#include "net/connection.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <vector>

namespace mosscatch {

// The connection slots: hands each transfer a connection and takes it back.
// Slot 0 is the blank template and never carries a transfer; the working
// slots 1 to 2k (Speed Multiple k) are rebuilt at every keyword start. Slot i
// couples connection(i), the transfer it carries and status row i. A
// connection whose last response left it open waits idle for the next
// transfer to the same scheme, host and port, at most IdleCloseMs: in its
// slot, or parked beside the slots once its slot is wanted for another site,
// so that the pages' host and the image hosts each keep theirs. A connection
// opened ahead for transfers about to come waits parked as well.
class ConnectionPool : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxWorkingSlots = 8;
    static constexpr int IdleCloseMs = 15000;
    static constexpr int MaxParked = 16;
    // A transfer must bring at least 1 KiB, headers included, per 20-second
    // stall-watch tick (about 51 bytes a second) to keep its slot. The slowest
    // working link brings that in well under a second; a server that drips a
    // byte every few seconds to hold a connection open falls far short.
    static constexpr double MinimumBytesPerSecond = 1024.0 / 20.0;

    ConnectionPool(ConnectionFactory factory, const HarvestOptions &options,
                   QObject *parent = nullptr);
    ~ConnectionPool() override;

    // Existing connections, the template included: 1 before the first
    // keyword, 2k + 1 afterwards.
    int count() const;
    Connection *connection(int index) const;
    // The transfer slot index carries; none on a free slot.
    const Transfer *transfer(int index) const;
    // What a free slot's row still says of the address it gave up, and why.
    QByteArray shownUrl(int index) const;
    QString shownFailure(int index) const;
    // Where slot index's connection is kept open for between its transfers;
    // nullptr while it carries one or is not kept open.
    const ConnectionTarget *keptFor(int index) const;

    void loadSocks();
    void unloadSocks();
    // The lowest working slot without a transfer, else 0.
    int nextEmptySock() const;
    // The free slot for a transfer to target: one whose connection to target
    // is idle, else the lowest whose connection is closed, else one idle to
    // another target; 0 when every slot carries a transfer.
    int freeSlotFor(const ConnectionTarget &target) const;
    bool allWorkingSlotsFree() const;
    // Idle connections kept open, in slots or parked.
    int idleConnections() const;
    // A transfer to target would find a connection open and idle, or opening
    // for it.
    bool hasIdleConnectionTo(const ConnectionTarget &target) const;
    // Opens connections to target until wanted of them are open or opening
    // (those carrying transfers included), so that the transfers about to go
    // there pay no handshake; they wait parked. Sends no request. Nothing
    // opens without keep-alive, to a held host, past MaxParked, or after one
    // opened ahead to target failed in this keyword.
    void openAhead(const ConnectionTarget &target, int wanted);
    int workingSlots() const { return count() - 1; }
    // Hands transfer (which the pool now owns) to free slot index and starts
    // its first attempt.
    void start(int index, Transfer *transfer);
    // Restarts the held transfers whose host's hold has run out.
    void resumeHeld();
    HostHolds &holds() { return m_holds; }
    const HostHolds &holds() const { return m_holds; }
    const HostsDown &hostsDown() const { return m_hostsDown; }
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
    // The working slots were rebuilt; count() connections exist now.
    void socksLoaded(int count);
    void transferRetried(int index);
    // A transfer ended for good; its slot is free.
    void slotFreed();
    void imageSaved(const QString &path);
    // Another image took the name first: the one under path stays, ours was dropped.
    void imageAlreadyOnDisk(const QString &path);
    void pageFetched(const QByteArray &url);
    void addressGivenUp(const QByteArray &url);
    // The file system refuses the image's name; addressGivenUp follows.
    void nameRefused(const QByteArray &url, const QString &reason);
    // The address was given up at once: its host's certificate is not trusted.
    void certificateRejected(const QByteArray &host, const QString &reason);
    // An address was given up after its connection failed for reason.
    void connectionFailed(const QByteArray &host, const QString &reason);
    // From now on in this keyword the host's addresses are given up without a
    // request: it did not answer, or its certificate is not trusted.
    void hostDown(const QByteArray &host, const QString &reason);
    // The image queued as url could not be written, for a reason that holds for
    // every image (a full or read-only disk, a folder that cannot be made).
    void imageNotWritten(const QByteArray &url, const mosscatch::WriteError &error);

private:
    struct Slot
    {
        Connection *connection = nullptr;
        QPointer<Transfer> transfer;
        // Where the connection was last sent.
        ConnectionTarget target;
        bool idle = false;
        std::unique_ptr<QTimer> idleTimer;
        QByteArray shownUrl;
        QString shownFailure;
    };

    struct Parked
    {
        Connection *connection = nullptr;
        ConnectionTarget target;
        std::unique_ptr<QTimer> timer;
    };

    // What opening connections ahead learnt of a target in this keyword.
    struct AheadNote
    {
        ConnectionTarget target;
        // A connection to it came up.
        bool reached = false;
        // Connections wanted open once it has been reached.
        int wanted = 0;
        bool failed = false;
    };

    Slot makeSlot(int index);
    Connection *makeConnection();
    void dropIdle(Connection *connection);
    void dropParked(std::vector<Parked>::const_iterator parked);
    std::vector<Parked>::const_iterator parkedTo(const ConnectionTarget &target) const;
    void park(int index);
    void addParked(Connection *connection, const ConnectionTarget &target);
    int connectionsTo(const ConnectionTarget &target) const;
    bool failedAhead(const ConnectionTarget &target);
    AheadNote &noteFor(const ConnectionTarget &target);
    void onConnected(const Connection *connection);
    void onRefused(const Connection *connection, const QString &reason, bool untrusted);
    // Where the slot's or parked connection was sent; nullptr for neither.
    const ConnectionTarget *targetOf(const Connection *connection) const;
    bool takeParked(int index, const ConnectionTarget &target);
    void closeParked();
    int indexOf(const Connection *connection) const;
    bool isIdleTo(const Slot &slot, const ConnectionTarget &target) const;
    void attempt(int index, bool mayReuse);
    void onEnded(Transfer *transfer, Transfer::Outcome outcome);
    void finish(int index, Transfer *transfer, Transfer::Outcome outcome);
    // The slot's response left its connection ready for the next request.
    bool keepsOpen(int index) const;
    void release(int index, bool keepOpen);
    void closeConnection(int index);

    ConnectionFactory m_factory;
    const HarvestOptions &m_options;
    std::vector<Slot> m_slots;
    // Oldest first.
    std::vector<Parked> m_parked;
    std::vector<AheadNote> m_notes;
    HostHolds m_holds;
    HostsDown m_hostsDown;
    double m_minimumPerTick = MinimumBytesPerSecond * 20;
};

}
