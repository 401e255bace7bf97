#include "engine/connectioncache.h"

#include <algorithm>

namespace mosscatch {

namespace {

bool isOpening(const Connection *connection)
{
    const SocketState state = connection->state();
    return state == SocketState::ResolvingHost || state == SocketState::Connecting;
}

bool isUsable(const Connection *connection)
{
    return connection->state() == SocketState::Connected || isOpening(connection);
}

}

ConnectionCache::ConnectionCache(ConnectionFactory factory, const HarvestOptions &options,
                                 QObject *parent)
    : QObject(parent), m_factory(std::move(factory)), m_options(options)
{
}

// Deleting a connection drops it at once, without events.
ConnectionCache::~ConnectionCache()
{
    for (const Entry &entry : m_entries)
        delete entry.connection;
}

Connection *ConnectionCache::acquire(const ConnectionTarget &target, bool mayReuse)
{
    const auto waiting = mayReuse && m_options.keepAlive() ? waitingFor(target) : m_entries.end();
    if (waiting == m_entries.end())
        return open(target, Use::Borrowed);
    waiting->use = Use::Borrowed;
    waiting->closeTimer->stop();
    return waiting->connection;
}

void ConnectionCache::giveBack(Connection *connection, bool reusable)
{
    const auto entry = find(connection);
    if (entry == m_entries.end())
        return;
    if (!reusable || !m_options.keepAlive() || connection->state() != SocketState::Connected) {
        drop(connection);
        return;
    }
    wait(*entry, Use::Idle);
    // Made room for by the oldest: it is the least likely to be asked for.
    if (waitingCount() > MaxWaiting)
        dropOldestWaiting();
}

void ConnectionCache::openAhead(const ConnectionTarget &target, int wanted)
{
    if (!m_options.keepAlive() || m_holds.isHeld(target.host) || m_hostsDown.isDown(target.host))
        return;
    AheadNote &note = noteFor(target);
    if (note.failed)
        return;
    // One that refuses us (a certificate we do not trust, a closed port) sees
    // no more attempts than a transfer would make. The rest open once it has
    // come up.
    if (!note.reached) {
        note.wanted = wanted;
        wanted = std::min(wanted, 1);
    }
    for (int open = connectionsTo(target); open < wanted && waitingCount() < MaxWaiting; ++open)
        this->open(target, Use::OpenedAhead);
}

int ConnectionCache::waitingCount() const
{
    return int(std::ranges::count_if(
            m_entries, [](const Entry &entry) { return entry.use != Use::Borrowed; }));
}

bool ConnectionCache::hasWaitingTo(const ConnectionTarget &target) const
{
    return std::ranges::any_of(m_entries, [&](const Entry &entry) {
        return entry.use != Use::Borrowed && entry.target == target && isUsable(entry.connection);
    });
}

const ConnectionTarget *ConnectionCache::idleTarget(const Connection *connection) const
{
    const auto entry = find(connection);
    if (entry == m_entries.end() || entry->use == Use::Borrowed
        || connection->state() != SocketState::Connected)
        return nullptr;
    return &entry->target;
}

bool ConnectionCache::isBorrowed(const Connection *connection) const
{
    const auto entry = find(connection);
    return entry != m_entries.end() && entry->use == Use::Borrowed;
}

void ConnectionCache::beginKeyword()
{
    closeWaiting();
    m_notes.clear();
    m_hostsDown.clear();
}

void ConnectionCache::closeWaiting()
{
    while (waitingCount() > 0)
        dropOldestWaiting();
}

Connection *ConnectionCache::open(const ConnectionTarget &target, Use use)
{
    Connection *const connection = m_factory(this);
    // Heard before the borrower hears them, so that a retry after a failed
    // open already finds the host down.
    connect(connection, &Connection::connected, this, [=, this] { onConnected(connection); });
    connect(connection, &Connection::openFailed, this,
            [=, this](const QString &reason) { onFailedOpen(connection, reason, false); });
    connect(connection, &Connection::untrusted, this,
            [=, this](const QString &reason) { onFailedOpen(connection, reason, true); });
    connect(connection, &Connection::dataArrival, this, [=, this] { onUnasked(connection); });
    connect(connection, &Connection::peerClosed, this, [=, this] { onUnasked(connection); });
    Entry &entry
            = m_entries.emplace_back(Entry{connection, target, use, std::make_unique<QTimer>()});
    entry.closeTimer->setSingleShot(true);
    entry.closeTimer->setInterval(IdleCloseMs);
    connect(entry.closeTimer.get(), &QTimer::timeout, this, [=, this] { drop(connection); });
    if (use != Use::Borrowed)
        entry.closeTimer->start();
    connection->connectTo(target);
    return connection;
}

void ConnectionCache::wait(Entry &entry, Use use)
{
    entry.use = use;
    entry.closeTimer->start();
}

std::vector<ConnectionCache::Entry>::iterator ConnectionCache::find(const Connection *connection)
{
    return std::ranges::find(m_entries, connection, &Entry::connection);
}

std::vector<ConnectionCache::Entry>::const_iterator
ConnectionCache::find(const Connection *connection) const
{
    return std::ranges::find(m_entries, connection, &Entry::connection);
}

// One already open before one still on its way up.
std::vector<ConnectionCache::Entry>::iterator
ConnectionCache::waitingFor(const ConnectionTarget &target)
{
    const auto waitsFor = [&](const Entry &entry, bool open) {
        return entry.use != Use::Borrowed && entry.target == target
               && (open ? entry.connection->state() == SocketState::Connected
                        : isOpening(entry.connection));
    };
    const auto open
            = std::ranges::find_if(m_entries, [&](const Entry &e) { return waitsFor(e, true); });
    return open != m_entries.end() ? open : std::ranges::find_if(m_entries, [&](const Entry &e) {
        return waitsFor(e, false);
    });
}

void ConnectionCache::drop(const Connection *connection)
{
    const auto entry = find(connection);
    if (entry == m_entries.end())
        return;
    entry->connection->close();
    entry->connection->deleteLater();
    m_entries.erase(entry);
}

void ConnectionCache::dropOldestWaiting()
{
    const auto oldest = std::ranges::find_if(
            m_entries, [](const Entry &entry) { return entry.use != Use::Borrowed; });
    if (oldest != m_entries.end())
        drop(oldest->connection);
}

int ConnectionCache::connectionsTo(const ConnectionTarget &target) const
{
    return int(std::ranges::count_if(m_entries, [&](const Entry &entry) {
        return entry.target == target && isUsable(entry.connection);
    }));
}

ConnectionCache::AheadNote &ConnectionCache::noteFor(const ConnectionTarget &target)
{
    const auto note = std::ranges::find(m_notes, target, &AheadNote::target);
    return note != m_notes.end() ? *note : m_notes.emplace_back(AheadNote{target});
}

void ConnectionCache::onConnected(const Connection *connection)
{
    const auto entry = find(connection);
    if (entry == m_entries.end())
        return;
    m_hostsDown.noteOpened(entry->target.host);
    AheadNote &note = noteFor(entry->target);
    if (note.reached)
        return;
    note.reached = true;
    openAhead(note.target, note.wanted);
}

// A connection opened ahead that failed is the last one opened ahead to its
// target in this keyword; the transfers there open their own.
void ConnectionCache::onFailedOpen(const Connection *connection, const QString &reason,
                                   bool untrusted)
{
    const auto entry = find(connection);
    if (entry == m_entries.end())
        return;
    const ConnectionTarget target = entry->target;
    if (entry->use == Use::OpenedAhead) {
        noteFor(target).failed = true;
        drop(connection);
    }
    const bool down = untrusted ? m_hostsDown.noteUntrusted(target.host, reason)
                                : m_hostsDown.noteFailedOpen(target.host, reason);
    if (down)
        emit hostDown(target.host, reason);
}

// What arrives on a connection no transfer has borrowed is a peer out of
// step, and its close ends it: either way it is closed, never read as a
// response.
void ConnectionCache::onUnasked(const Connection *connection)
{
    const auto entry = find(connection);
    if (entry != m_entries.end() && entry->use != Use::Borrowed)
        drop(connection);
}

}
