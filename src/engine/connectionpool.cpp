#include "engine/connectionpool.h"

namespace mosscatch {

ConnectionPool::ConnectionPool(ConnectionFactory factory, const HarvestOptions &options,
                               QObject *parent)
    : QObject(parent), m_factory(std::move(factory)), m_options(options)
{
    m_connections.push_back(m_factory(this));
}

int ConnectionPool::count() const
{
    return int(m_connections.size());
}

SlotRecord &ConnectionPool::record(int index)
{
    return m_records.at(size_t(index));
}

const SlotRecord &ConnectionPool::record(int index) const
{
    return m_records.at(size_t(index));
}

Connection *ConnectionPool::connection(int index) const
{
    if (index < 0 || index >= count())
        return nullptr;
    return m_connections[size_t(index)];
}

void ConnectionPool::loadSocks()
{
    unloadSocks();
    for (int i = 1; i <= 2 * m_options.speedMultiple(); ++i)
        m_connections.push_back(createWorkingConnection(i));
    emit socksLoaded(count());
}

Connection *ConnectionPool::createWorkingConnection(int index)
{
    Connection *connection = m_factory(this);
    connect(connection, &Connection::connected, this, [this, index] { emit connected(index); });
    connect(connection, &Connection::dataArrival, this, [this, index] { emit dataArrival(index); });
    connect(connection, &Connection::peerClosed, this, [this, index] { emit peerClosed(index); });
    connect(connection, &Connection::untrusted, this,
            [this, index](const QString &reason) { rejectCertificate(index, reason); });
    return connection;
}

void ConnectionPool::unloadSocks()
{
    // Deleting a connection drops it at once, without events.
    while (m_connections.size() > 1) {
        delete m_connections.back();
        m_connections.pop_back();
    }
    for (int i = 1; i < RecordCount; ++i)
        m_records[size_t(i)].reset();
}

int ConnectionPool::nextEmptySock() const
{
    for (int i = 1; i < count(); ++i) {
        if (isFree(i))
            return i;
    }
    return 0;
}

bool ConnectionPool::allWorkingSlotsFree() const
{
    for (int i = 1; i < count(); ++i) {
        if (!isFree(i))
            return false;
    }
    return true;
}

// A held slot waits for its retry and is not to be handed another address.
bool ConnectionPool::isFree(int index) const
{
    const SocketState state = m_connections[size_t(index)]->state();
    return (state == SocketState::Closed || state == SocketState::Closing) && !record(index).held;
}

void ConnectionPool::resetSock(int index)
{
    record(index).reset();
    if (Connection *slotConnection = connection(index))
        slotConnection->close();
}

void ConnectionPool::retrySock(int index)
{
    SlotRecord &slot = record(index);
    ++slot.retries;
    if (slot.retries > MaxRetries) {
        const QByteArray url = slot.url;
        const Connection *slotConnection = connection(index);
        const QString failure = slotConnection ? slotConnection->failure() : QString();
        const QByteArray host = slot.target.host;
        resetSock(index);
        keepFailure(index, url, failure);
        if (!failure.isEmpty())
            emit connectionFailed(host, failure);
        emit addressGivenUp(url);
        return;
    }
    // Only the unfinished temporary file goes; the destination never was written.
    slot.image.reset();
    slot.data.clear();
    Connection *slotConnection = connection(index);
    if (slotConnection)
        slotConnection->close();
    slot.received = 0;
    reconnectUnlessHeld(index);
    emit transferRetried(index);
}

void ConnectionPool::rejectCertificate(int index, const QString &reason)
{
    const SlotRecord &slot = record(index);
    if (slot.target.host.isEmpty())
        return;
    const QByteArray host = slot.target.host;
    const QByteArray url = slot.url;
    resetSock(index);
    keepFailure(index, url, reason);
    emit certificateRejected(host, reason);
    emit addressGivenUp(url);
}

// The slot stays free (no host), yet its row still says what became of its address.
void ConnectionPool::keepFailure(int index, const QByteArray &url, const QString &failure)
{
    if (failure.isEmpty())
        return;
    record(index).url = url;
    record(index).failure = failure;
}

void ConnectionPool::reconnectUnlessHeld(int index)
{
    SlotRecord &slot = record(index);
    slot.held = m_holds.isHeld(slot.target.host);
    if (!slot.held)
        reconnect(index);
}

void ConnectionPool::resumeHeld()
{
    for (int i = 1; i < count(); ++i) {
        SlotRecord &slot = record(i);
        if (slot.held && !m_holds.isHeld(slot.target.host)) {
            slot.held = false;
            reconnect(i);
        }
    }
}

void ConnectionPool::reconnect(int index)
{
    record(index).watched = false;
    if (Connection *slotConnection = connection(index))
        slotConnection->connectTo(record(index).target);
}

void ConnectionPool::giveUpRunning()
{
    for (int i = 1; i < count(); ++i) {
        if (isFree(i) && record(i).target.host.isEmpty())
            continue;
        const QByteArray url = record(i).url;
        resetSock(i);
        emit addressGivenUp(url);
    }
}

void ConnectionPool::setStallWatchInterval(int milliseconds)
{
    m_minimumPerTick = MinimumBytesPerSecond * milliseconds / 1000.0;
}

// A failed connection attempt is watched whatever its record holds, or it
// would hold its slot forever.
bool ConnectionPool::isWatched(int index) const
{
    const SocketState state = m_connections[size_t(index)]->state();
    if (state == SocketState::Error)
        return true;
    return !record(index).target.host.isEmpty() && state != SocketState::Closing
           && !record(index).held;
}

void ConnectionPool::timeoutTick()
{
    if (m_options.paused())
        return;
    for (int i = 1; i < count(); ++i) {
        if (!isWatched(i))
            continue;
        SlotRecord &slot = m_records[size_t(i)];
        // An attempt begun since the previous tick is judged from the next one on.
        if (slot.watched && slot.arrived - slot.lastReceived < m_minimumPerTick)
            retrySock(i);
        // A restart made here begins at the tick: the next one judges it.
        slot.watched = !slot.held;
        slot.lastReceived = slot.arrived;
    }
}

}
