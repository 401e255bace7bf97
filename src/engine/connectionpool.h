#pragma once

#include "engine/harvestoptions.h"
#include "engine/hostholds.h"
#include "engine/slotrecord.h"
#include "net/connection.h"

#include <QObject>
#include <QPointer>

#include <array>
#include <vector>

namespace mosscatch {

// The fixed set of connection slots. Slot 0 is the blank template and never
// carries a transfer; the working slots 1 and 2 are rebuilt at every keyword
// start. Slot i couples connection(i), record(i) and status row i.
class ConnectionPool : public QObject
{
    Q_OBJECT

public:
    static constexpr int RecordCount = 13;
    // Speed Multiple k runs 2k working slots, at most MaxWorkingSlots.
    static constexpr int MaxWorkingSlots = 8;
    static constexpr int MaxRetries = 3;
    // A transfer must bring at least 1 KiB, headers included, per 20-second
    // stall-watch tick (about 51 bytes a second) to keep its slot. The slowest
    // working link brings that in well under a second; a server that drips a
    // byte every few seconds to hold a connection open falls far short.
    static constexpr double MinimumBytesPerSecond = 1024.0 / 20.0;

    ConnectionPool(ConnectionFactory factory, const HarvestOptions &options,
                   QObject *parent = nullptr);

    // Existing connections, the template included: 1 before the first
    // keyword, 3 afterwards.
    int count() const;
    // index 0 to 12; anything else is a programming error (throws std::out_of_range).
    SlotRecord &record(int index);
    const SlotRecord &record(int index) const;
    Connection *connection(int index) const;

    void loadSocks();
    void unloadSocks();
    // The lowest working slot whose connection is Closed or Closing, else 0.
    int nextEmptySock() const;
    // True when every working slot is free by the rule of nextEmptySock.
    bool allWorkingSlotsFree() const;
    // Ends the transfer: blank record (an unfinished image file goes with it),
    // connection closed.
    void resetSock(int index);
    // Restarts the transfer afresh (once its host's hold has run out), or
    // gives the address up after MaxRetries.
    void retrySock(int index);
    // Restarts the held transfers whose host's hold has run out.
    void resumeHeld();
    // Connects the slot to its host now, or once the host's hold has run out.
    void reconnectUnlessHeld(int index);
    HostHolds &holds() { return m_holds; }
    const HostHolds &holds() const { return m_holds; }
    // Ends every transfer still running, each counting as given up.
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
    void connected(int index);
    void dataArrival(int index);
    void peerClosed(int index);
    void transferRetried(int index);
    void addressGivenUp(const QByteArray &url);
    // The address was given up at once: its host's certificate is not trusted.
    void certificateRejected(const QByteArray &host, const QString &reason);
    // An address was given up after its connection failed for reason.
    void connectionFailed(const QByteArray &host, const QString &reason);

private:
    void rejectCertificate(int index, const QString &reason);
    void keepFailure(int index, const QByteArray &url, const QString &failure);
    Connection *createWorkingConnection(int index);
    bool isFree(int index) const;
    bool isWatched(int index) const;
    void reconnect(int index);

    ConnectionFactory m_factory;
    const HarvestOptions &m_options;
    std::vector<Connection *> m_connections;
    std::array<SlotRecord, RecordCount> m_records;
    HostHolds m_holds;
    double m_minimumPerTick = MinimumBytesPerSecond * 20;
};

}
