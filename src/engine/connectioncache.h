#pragma once

#include "engine/harvestoptions.h"
#include "engine/hostholds.h"
#include "engine/hostsdown.h"
#include "net/connection.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

namespace mosscatch {

// Every connection of the harvest, and what the keyword has learnt of their
// hosts. A transfer borrows a connection for each attempt and gives it back
// saying whether its response left it ready for another request; such a
// connection waits idle, at most IdleCloseMs, for the next transfer to the
// same scheme, host and port, so that the pages' host and each image host keep
// theirs. Connections opened ahead for the transfers about to come wait the
// same way until one takes them.
class ConnectionCache : public QObject
{
    Q_OBJECT

public:
    static constexpr int IdleCloseMs = 15000;
    // Idle connections and those opened ahead, at most: one for each working
    // slot and sixteen more.
    static constexpr int MaxWaiting = 24;

    ConnectionCache(ConnectionFactory factory, const HarvestOptions &options,
                    QObject *parent = nullptr);
    ~ConnectionCache() override;

    // A connection to target for one attempt: where mayReuse, one waiting for
    // target (kept idle, or opened ahead and perhaps still on its way up),
    // else a new one, opening. It stays the borrower's until giveBack().
    Connection *acquire(const ConnectionTarget &target, bool mayReuse);
    // Takes a borrowed connection back: it waits idle when reusable and
    // keep-alive is on, else it is closed.
    void giveBack(Connection *connection, bool reusable);
    // Opens connections to target until wanted of them are open or opening
    // (those borrowed included). Sends no request. Nothing opens without
    // keep-alive, to a held host or one that is down, past MaxWaiting, or after
    // one opened ahead to target failed in this keyword; a target not yet
    // reached in the keyword gets one at a time.
    void openAhead(const ConnectionTarget &target, int wanted);

    // Connections waiting, idle or opened ahead.
    int waitingCount() const;
    bool hasWaitingTo(const ConnectionTarget &target) const;
    // Where connection waits idle for, open; nullptr when it is borrowed,
    // opening, closed or gone.
    const ConnectionTarget *idleTarget(const Connection *connection) const;
    bool isBorrowed(const Connection *connection) const;

    // A keyword begins: what was learnt of hosts is forgotten, and the
    // connections waiting are closed.
    void beginKeyword();
    void closeWaiting();

    HostHolds &holds() { return m_holds; }
    const HostHolds &holds() const { return m_holds; }
    HostsDown &hostsDown() { return m_hostsDown; }
    const HostsDown &hostsDown() const { return m_hostsDown; }

signals:
    // From now on in this keyword the host's addresses are given up without a
    // request: it did not answer, or its certificate is not trusted.
    void hostDown(const QByteArray &host, const QString &reason);

private:
    enum class Use { Borrowed, Idle, OpenedAhead };

    struct Entry
    {
        Connection *connection = nullptr;
        ConnectionTarget target;
        Use use = Use::Borrowed;
        std::unique_ptr<QTimer> closeTimer;
    };

    // What opening connections ahead learnt of a target in this keyword.
    struct AheadNote
    {
        ConnectionTarget target;
        bool reached = false;
        // Connections wanted open once it has been reached.
        int wanted = 0;
        bool failed = false;
    };

    Connection *open(const ConnectionTarget &target, Use use);
    void wait(Entry &entry, Use use);
    std::vector<Entry>::iterator find(const Connection *connection);
    std::vector<Entry>::const_iterator find(const Connection *connection) const;
    std::vector<Entry>::iterator waitingFor(const ConnectionTarget &target);
    void drop(const Connection *connection);
    void dropOldestWaiting();
    int connectionsTo(const ConnectionTarget &target) const;
    AheadNote &noteFor(const ConnectionTarget &target);
    void onConnected(const Connection *connection);
    void onFailedOpen(const Connection *connection, const QString &reason, bool untrusted);
    void onUnasked(const Connection *connection);

    const ConnectionFactory m_factory;
    const HarvestOptions &m_options;
    // Oldest first.
    std::vector<Entry> m_entries;
    std::vector<AheadNote> m_notes;
    HostHolds m_holds;
    HostsDown m_hostsDown;
};

}
