#include "engine/connectionpool.h"

#include <algorithm>

namespace mosscatch {

namespace {

// Open, or on its way up (a connection opened ahead).
bool isUsable(const Connection *connection)
{
    const SocketState state = connection->state();
    return state >= SocketState::ConnectionPending && state <= SocketState::Connected;
}

}

ConnectionPool::ConnectionPool(ConnectionFactory factory, const HarvestOptions &options,
                               QObject *parent)
    : QObject(parent), m_factory(std::move(factory)), m_options(options)
{
    m_slots.push_back(makeSlot(0));
}

ConnectionPool::~ConnectionPool()
{
    unloadSocks();
}

int ConnectionPool::count() const
{
    return int(m_slots.size());
}

Connection *ConnectionPool::connection(int index) const
{
    if (index < 0 || index >= count())
        return nullptr;
    return m_slots[size_t(index)].connection;
}

const Transfer *ConnectionPool::transfer(int index) const
{
    if (index < 0 || index >= count())
        return nullptr;
    return m_slots[size_t(index)].transfer;
}

QByteArray ConnectionPool::shownUrl(int index) const
{
    return m_slots.at(size_t(index)).shownUrl;
}

QString ConnectionPool::shownFailure(int index) const
{
    return m_slots.at(size_t(index)).shownFailure;
}

const ConnectionTarget *ConnectionPool::keptFor(int index) const
{
    const Slot &slot = m_slots.at(size_t(index));
    if (slot.transfer || !slot.idle || slot.connection->state() != SocketState::Connected)
        return nullptr;
    return &slot.target;
}

void ConnectionPool::loadSocks()
{
    unloadSocks();
    m_hostsDown.clear();
    const int working = std::clamp(2 * m_options.speedMultiple(), 1, MaxWorkingSlots);
    for (int i = 1; i <= working; ++i)
        m_slots.push_back(makeSlot(i));
    emit socksLoaded(count());
}

ConnectionPool::Slot ConnectionPool::makeSlot(int index)
{
    Slot slot;
    slot.connection = makeConnection();
    slot.idleTimer = std::make_unique<QTimer>();
    slot.idleTimer->setSingleShot(true);
    slot.idleTimer->setInterval(IdleCloseMs);
    connect(slot.idleTimer.get(), &QTimer::timeout, this, [this, index] {
        if (index < count() && !m_slots[size_t(index)].transfer)
            closeConnection(index);
    });
    return slot;
}

Connection *ConnectionPool::makeConnection()
{
    Connection *const connection = m_factory(this);
    connect(connection, &Connection::dataArrival, this,
            [this, connection] { dropIdle(connection); });
    connect(connection, &Connection::peerClosed, this,
            [this, connection] { dropIdle(connection); });
    connect(connection, &Connection::connected, this,
            [this, connection] { onConnected(connection); });
    // Heard before the transfer on the connection hears it, so that its
    // retry already finds the host down.
    connect(connection, &Connection::openFailed, this,
            [this, connection](const QString &reason) { onRefused(connection, reason, false); });
    connect(connection, &Connection::untrusted, this,
            [this, connection](const QString &reason) { onRefused(connection, reason, true); });
    return connection;
}

// What arrives on a connection that carries no transfer (an idle one) is a
// peer out of step, and its close ends it: either way it is closed, never
// read as a response.
void ConnectionPool::dropIdle(Connection *connection)
{
    if (const int index = indexOf(connection); index > 0) {
        if (!m_slots[size_t(index)].transfer)
            closeConnection(index);
        return;
    }
    const auto parked = std::ranges::find(m_parked, connection, &Parked::connection);
    if (parked != m_parked.end())
        dropParked(parked);
}

void ConnectionPool::dropParked(std::vector<Parked>::const_iterator parked)
{
    parked->connection->close();
    parked->connection->deleteLater();
    m_parked.erase(parked);
}

std::vector<ConnectionPool::Parked>::const_iterator
ConnectionPool::parkedTo(const ConnectionTarget &target) const
{
    return std::find_if(m_parked.begin(), m_parked.end(), [&](const Parked &parked) {
        return parked.target == target && isUsable(parked.connection);
    });
}

// The slot's idle connection steps aside for a transfer to another site,
// and the slot gets a fresh one.
void ConnectionPool::park(int index)
{
    Slot &slot = m_slots[size_t(index)];
    slot.idleTimer->stop();
    slot.idle = false;
    if (m_parked.size() >= size_t(MaxParked))
        dropParked(m_parked.begin());
    addParked(slot.connection, slot.target);
    slot.connection = makeConnection();
}

void ConnectionPool::addParked(Connection *connection, const ConnectionTarget &target)
{
    Parked parked{connection, target, std::make_unique<QTimer>()};
    parked.timer->setSingleShot(true);
    connect(parked.timer.get(), &QTimer::timeout, this,
            [this, connection] { dropIdle(connection); });
    parked.timer->start(IdleCloseMs);
    m_parked.push_back(std::move(parked));
}

void ConnectionPool::openAhead(const ConnectionTarget &target, int wanted)
{
    if (!m_options.keepAlive() || m_holds.isHeld(target.host) || m_hostsDown.isDown(target.host)
        || failedAhead(target))
        return;
    AheadNote &note = noteFor(target);
    // A site not yet reached gets one connection at a time: one that refuses
    // us (a certificate we do not trust, a closed port) sees no more attempts
    // than a transfer would make. The rest open once it has come up.
    if (!note.reached) {
        note.wanted = wanted;
        wanted = std::min(wanted, 1);
    }
    for (int open = connectionsTo(target); open < wanted && m_parked.size() < size_t(MaxParked);
         ++open) {
        Connection *const connection = makeConnection();
        connection->connectTo(target);
        addParked(connection, target);
    }
}

// A connection opened ahead that failed is the last one opened ahead to its
// target in this keyword; the transfers there open their own.
bool ConnectionPool::failedAhead(const ConnectionTarget &target)
{
    const auto failed = std::find_if(m_parked.begin(), m_parked.end(), [&](const Parked &p) {
        return p.target == target && p.connection->state() == SocketState::Error;
    });
    AheadNote &note = noteFor(target);
    if (failed != m_parked.end()) {
        note.failed = true;
        dropParked(failed);
    }
    return note.failed;
}

ConnectionPool::AheadNote &ConnectionPool::noteFor(const ConnectionTarget &target)
{
    const auto note = std::ranges::find(m_notes, target, &AheadNote::target);
    return note != m_notes.end() ? *note : m_notes.emplace_back(AheadNote{target});
}

const ConnectionTarget *ConnectionPool::targetOf(const Connection *connection) const
{
    if (const int index = indexOf(connection); index > 0)
        return &m_slots[size_t(index)].target;
    const auto parked = std::ranges::find(m_parked, connection, &Parked::connection);
    return parked == m_parked.end() ? nullptr : &parked->target;
}

void ConnectionPool::onRefused(const Connection *connection, const QString &reason, bool untrusted)
{
    const ConnectionTarget *target = targetOf(connection);
    if (!target)
        return;
    const QByteArray host = target->host;
    const bool down = untrusted ? m_hostsDown.noteUntrusted(host, reason)
                                : m_hostsDown.noteFailedOpen(host, reason);
    if (down)
        emit hostDown(host, reason);
}

bool ConnectionPool::giveUpIfHostDown(const QByteArray &address, const QByteArray &host)
{
    const std::optional<HostsDown::Entry> down = m_hostsDown.down(host);
    if (!down)
        return false;
    m_hostsDown.countGivenUp(host);
    if (down->untrusted)
        emit certificateRejected(host, down->reason);
    else
        emit connectionFailed(host, down->reason);
    emit addressGivenUp(address);
    return true;
}

void ConnectionPool::onConnected(const Connection *connection)
{
    const ConnectionTarget *target = targetOf(connection);
    if (!target)
        return;
    m_hostsDown.noteOpened(target->host);
    AheadNote &note = noteFor(*target);
    if (note.reached)
        return;
    note.reached = true;
    openAhead(note.target, note.wanted);
}

int ConnectionPool::connectionsTo(const ConnectionTarget &target) const
{
    const auto inSlots = std::count_if(m_slots.begin() + 1, m_slots.end(), [&](const Slot &slot) {
        return slot.target == target && isUsable(slot.connection);
    });
    const auto parked = std::count_if(m_parked.begin(), m_parked.end(), [&](const Parked &p) {
        return p.target == target && isUsable(p.connection);
    });
    return int(inSlots + parked);
}

// Puts the parked connection to target, if any, into the slot, whose own
// connection is parked in turn where idle, else dropped.
bool ConnectionPool::takeParked(int index, const ConnectionTarget &target)
{
    const auto parked = parkedTo(target);
    if (!m_options.keepAlive() || parked == m_parked.end())
        return false;
    Connection *const connection = parked->connection;
    m_parked.erase(parked);
    Slot &slot = m_slots[size_t(index)];
    if (slot.idle)
        park(index);
    slot.connection->close();
    slot.connection->deleteLater();
    slot.connection = connection;
    slot.target = target;
    return true;
}

void ConnectionPool::closeParked()
{
    while (!m_parked.empty())
        dropParked(m_parked.begin());
}

void ConnectionPool::unloadSocks()
{
    closeParked();
    m_notes.clear();
    // Deleting a connection drops it at once, without events.
    while (m_slots.size() > 1) {
        Slot &slot = m_slots.back();
        if (slot.transfer) {
            slot.transfer->abandon();
            slot.transfer->deleteLater();
        }
        delete slot.connection;
        m_slots.pop_back();
    }
}

int ConnectionPool::indexOf(const Connection *connection) const
{
    for (int i = 1; i < count(); ++i) {
        if (m_slots[size_t(i)].connection == connection)
            return i;
    }
    return -1;
}

int ConnectionPool::nextEmptySock() const
{
    for (int i = 1; i < count(); ++i) {
        if (!m_slots[size_t(i)].transfer)
            return i;
    }
    return 0;
}

int ConnectionPool::freeSlotFor(const ConnectionTarget &target) const
{
    int closed = 0;
    for (int i = 1; i < count(); ++i) {
        const Slot &slot = m_slots[size_t(i)];
        if (slot.transfer)
            continue;
        if (isIdleTo(slot, target))
            return i;
        if (!slot.idle && closed == 0)
            closed = i;
    }
    return closed != 0 ? closed : nextEmptySock();
}

bool ConnectionPool::allWorkingSlotsFree() const
{
    for (int i = 1; i < count(); ++i) {
        if (m_slots[size_t(i)].transfer)
            return false;
    }
    return true;
}

int ConnectionPool::idleConnections() const
{
    const auto idle = std::count_if(m_slots.begin(), m_slots.end(),
                                    [](const Slot &slot) { return slot.idle; });
    return int(idle + qsizetype(m_parked.size()));
}

bool ConnectionPool::hasIdleConnectionTo(const ConnectionTarget &target) const
{
    const bool inSlot = std::any_of(m_slots.begin() + 1, m_slots.end(), [&](const Slot &slot) {
        return !slot.transfer && isIdleTo(slot, target);
    });
    return inSlot || parkedTo(target) != m_parked.end();
}

bool ConnectionPool::isIdleTo(const Slot &slot, const ConnectionTarget &target) const
{
    return slot.idle && slot.target == target && m_options.keepAlive()
           && slot.connection->state() == SocketState::Connected;
}

void ConnectionPool::start(int index, Transfer *transfer)
{
    Slot &slot = m_slots.at(size_t(index));
    slot.transfer = transfer;
    slot.shownUrl.clear();
    slot.shownFailure.clear();
    transfer->setParent(this);
    connect(transfer, &Transfer::ended, this, &ConnectionPool::onEnded);
    connect(transfer, &Transfer::pageFetched, this, &ConnectionPool::pageFetched);
    attempt(index, true);
}

// A held host gets nothing until its hold runs out; an attempt after a
// failure always goes out on a fresh connection.
void ConnectionPool::attempt(int index, bool mayReuse)
{
    Slot &slot = m_slots[size_t(index)];
    Transfer *const transfer = slot.transfer;
    const ConnectionTarget target = transfer->record().target;
    if (const std::optional<HostsDown::Entry> down = m_hostsDown.down(target.host)) {
        closeConnection(index);
        transfer->refuse(down->untrusted ? Transfer::Outcome::CertificateRejected
                                         : Transfer::Outcome::GivenUp,
                         down->reason);
        return;
    }
    if (m_holds.isHeld(target.host)) {
        closeConnection(index);
        transfer->waitForHold();
        return;
    }
    if (mayReuse && (isIdleTo(slot, target) || takeParked(index, target))) {
        slot.idle = false;
        slot.idleTimer->stop();
        // One opened ahead may still be on its way up: the request waits for it.
        transfer->attempt(slot.connection, slot.connection->state() == SocketState::Connected);
        return;
    }
    if (mayReuse && slot.idle && m_options.keepAlive())
        park(index);
    closeConnection(index);
    slot.target = target;
    transfer->attempt(slot.connection, false);
    slot.connection->connectTo(target);
}

void ConnectionPool::onEnded(Transfer *transfer, Transfer::Outcome outcome)
{
    int index = -1;
    for (int i = 1; i < count() && index < 0; ++i) {
        if (m_slots[size_t(i)].transfer == transfer)
            index = i;
    }
    if (index < 0)
        return;
    if (Transfer::isFinal(outcome)) {
        finish(index, transfer, outcome);
        return;
    }
    // A redirect whose body was read to its end leaves its connection to the
    // next request; any other attempt goes out on a fresh connection.
    const bool keepOpen = outcome == Transfer::Outcome::Redirected && keepsOpen(index);
    release(index, keepOpen);
    if (outcome == Transfer::Outcome::Retry)
        emit transferRetried(index);
    attempt(index, keepOpen);
}

void ConnectionPool::finish(int index, Transfer *transfer, Transfer::Outcome outcome)
{
    using Outcome = Transfer::Outcome;
    Slot &slot = m_slots[size_t(index)];
    const bool keepOpen = (outcome == Outcome::Saved || outcome == Outcome::PageTaken
                           || outcome == Outcome::AlreadyOnDisk || outcome == Outcome::NameRefused)
                          && keepsOpen(index);
    release(index, keepOpen);
    slot.transfer = nullptr;
    transfer->deleteLater();
    const TransferRecord &record = transfer->record();
    if (!record.failure.isEmpty()) {
        slot.shownUrl = record.url;
        slot.shownFailure = record.failure;
    }
    emit slotFreed();
    switch (outcome) {
    case Outcome::Saved:
        emit imageSaved(transfer->savedPath());
        break;
    case Outcome::AlreadyOnDisk:
        emit imageAlreadyOnDisk(transfer->savedPath());
        break;
    case Outcome::NameRefused:
        emit nameRefused(record.url, record.failure);
        emit addressGivenUp(record.url);
        break;
    case Outcome::NotWritten:
        emit imageNotWritten(record.queuedAs, transfer->writeError());
        break;
    case Outcome::CertificateRejected:
        m_hostsDown.countGivenUp(record.target.host);
        emit certificateRejected(record.target.host, record.failure);
        emit addressGivenUp(record.url);
        break;
    case Outcome::GivenUp:
        m_hostsDown.countGivenUp(record.target.host);
        if (!record.failure.isEmpty())
            emit connectionFailed(record.target.host, record.failure);
        emit addressGivenUp(record.url);
        break;
    default:
        break;
    }
}

bool ConnectionPool::keepsOpen(int index) const
{
    const Slot &slot = m_slots[size_t(index)];
    return slot.transfer->leavesConnectionOpen()
           && slot.connection->state() == SocketState::Connected;
}

void ConnectionPool::release(int index, bool keepOpen)
{
    Slot &slot = m_slots[size_t(index)];
    if (!keepOpen) {
        closeConnection(index);
        return;
    }
    slot.idle = true;
    slot.idleTimer->start();
}

void ConnectionPool::closeConnection(int index)
{
    Slot &slot = m_slots[size_t(index)];
    slot.idle = false;
    slot.idleTimer->stop();
    slot.connection->close();
}

void ConnectionPool::resumeHeld()
{
    for (int i = 1; i < count(); ++i) {
        const Transfer *transfer = m_slots[size_t(i)].transfer;
        if (transfer && transfer->record().held && !m_holds.isHeld(transfer->record().target.host))
            attempt(i, false);
    }
}

void ConnectionPool::giveUpRunning()
{
    closeParked();
    for (int i = 1; i < count(); ++i) {
        Slot &slot = m_slots[size_t(i)];
        closeConnection(i);
        Transfer *const transfer = slot.transfer;
        if (!transfer)
            continue;
        slot.transfer = nullptr;
        transfer->abandon();
        transfer->deleteLater();
        emit addressGivenUp(transfer->record().url);
    }
}

void ConnectionPool::setStallWatchInterval(int milliseconds)
{
    m_minimumPerTick = MinimumBytesPerSecond * milliseconds / 1000.0;
}

void ConnectionPool::timeoutTick()
{
    if (m_options.paused())
        return;
    for (int i = 1; i < count(); ++i) {
        if (Transfer *transfer = m_slots[size_t(i)].transfer)
            transfer->stallWatchTick(m_minimumPerTick);
    }
}

}
