#include "engine/connectionpool.h"

#include <algorithm>

namespace mosscatch {

ConnectionPool::ConnectionPool(ConnectionFactory factory, const HarvestOptions &options,
                               QObject *parent)
    : QObject(parent), m_options(options), m_cache(std::move(factory), options)
{
    m_slots.emplace_back();
}

ConnectionPool::~ConnectionPool()
{
    unloadSocks();
}

const Connection *ConnectionPool::connection(int index) const
{
    if (index < 1 || index >= count())
        return nullptr;
    const Slot &slot = m_slots[size_t(index)];
    if (slot.transfer)
        return slot.transfer->connection();
    // One another slot's transfer has borrowed since is that slot's to show.
    return m_cache.isBorrowed(slot.lastConnection) ? nullptr : slot.lastConnection.get();
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
    return slot.transfer ? nullptr : m_cache.idleTarget(slot.lastConnection);
}

void ConnectionPool::loadSocks()
{
    unloadSocks();
    m_cache.beginKeyword();
    const int working = std::clamp(2 * m_options.speedMultiple(), 1, MaxWorkingSlots);
    m_slots.resize(size_t(working) + 1);
    emit socksLoaded(count());
}

void ConnectionPool::unloadSocks()
{
    for (size_t i = 1; i < m_slots.size(); ++i) {
        if (Transfer *const transfer = m_slots[i].transfer) {
            transfer->abandon();
            transfer->deleteLater();
        }
    }
    m_slots.resize(1);
    m_cache.closeWaiting();
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
    int keepsNone = 0;
    for (int i = 1; i < count(); ++i) {
        if (m_slots[size_t(i)].transfer)
            continue;
        const ConnectionTarget *kept = keptFor(i);
        if (kept && *kept == target)
            return i;
        if (!kept && keepsNone == 0)
            keepsNone = i;
    }
    return keepsNone != 0 ? keepsNone : nextEmptySock();
}

bool ConnectionPool::allWorkingSlotsFree() const
{
    return std::none_of(m_slots.begin() + 1, m_slots.end(),
                        [](const Slot &slot) { return slot.transfer; });
}

void ConnectionPool::start(int index, Transfer *transfer)
{
    Slot &slot = m_slots.at(size_t(index));
    slot.transfer = transfer;
    slot.shownUrl.clear();
    slot.shownFailure.clear();
    transfer->setParent(this);
    connect(transfer, &Transfer::pageFetched, this, &ConnectionPool::pageFetched);
    connect(transfer, &Transfer::retried, this,
            [this, transfer] { emit transferRetried(indexOf(transfer)); });
    connect(transfer, &Transfer::finished, this,
            [this, transfer](const TransferResult &result) { free(transfer, result); });
    transfer->start();
}

int ConnectionPool::indexOf(const Transfer *transfer) const
{
    for (int i = 1; i < count(); ++i) {
        if (m_slots[size_t(i)].transfer == transfer)
            return i;
    }
    return -1;
}

void ConnectionPool::free(Transfer *transfer, const TransferResult &result)
{
    const int index = indexOf(transfer);
    if (index < 0)
        return;
    Slot &slot = m_slots[size_t(index)];
    slot.transfer = nullptr;
    slot.lastConnection = transfer->lastConnection();
    if (!result.reason.isEmpty()) {
        slot.shownUrl = result.url;
        slot.shownFailure = result.reason;
    }
    transfer->deleteLater();
    if (result.outcome == Transfer::Outcome::GivenUp
        || result.outcome == Transfer::Outcome::CertificateRejected)
        m_cache.hostsDown().countGivenUp(result.host);
    emit transferFinished(result);
}

bool ConnectionPool::giveUpIfHostDown(const QByteArray &address, const QByteArray &host)
{
    const std::optional<HostsDown::Entry> down = m_cache.hostsDown().down(host);
    if (!down)
        return false;
    m_cache.hostsDown().countGivenUp(host);
    emit transferFinished(
            {down->untrusted ? Transfer::Outcome::CertificateRejected : Transfer::Outcome::GivenUp,
             address,
             address,
             host,
             down->reason,
             {},
             {}});
    return true;
}

void ConnectionPool::resumeHeld()
{
    for (int i = 1; i < count(); ++i) {
        if (Transfer *const transfer = m_slots[size_t(i)].transfer)
            transfer->resumeIfHoldOver();
    }
}

void ConnectionPool::giveUpRunning()
{
    m_cache.closeWaiting();
    for (int i = 1; i < count(); ++i) {
        Transfer *const transfer = m_slots[size_t(i)].transfer;
        if (!transfer)
            continue;
        m_slots[size_t(i)].transfer = nullptr;
        transfer->abandon();
        transfer->deleteLater();
        const TransferRecord &record = transfer->record();
        emit transferFinished({Transfer::Outcome::GivenUp,
                               record.url,
                               record.queuedAs,
                               record.target.host,
                               {},
                               {},
                               {}});
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
        if (Transfer *const transfer = m_slots[size_t(i)].transfer)
            transfer->stallWatchTick(m_minimumPerTick);
    }
}

}
