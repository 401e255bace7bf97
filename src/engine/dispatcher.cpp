#include "engine/dispatcher.h"

#include "common/files.h"
#include "common/text.h"

#include <QFile>

#include <algorithm>
#include <cmath>

namespace mosscatch {

Dispatcher::Dispatcher(const HarvestOptions &options, AddressQueue &queue, ConnectionPool &pool,
                       TransferContext &context, QObject *parent)
    : QObject(parent), m_options(options), m_queue(queue), m_pool(pool), m_context(context)
{
}

void Dispatcher::beginKeyword(const QString &keywordFolder)
{
    m_keywordFolder = keywordFolder;
    m_transfers = 0;
    m_waitedTicks = 0;
    m_keywordCap = m_transferCap;
    m_dispatched = {};
}

void Dispatcher::limitToResults(double resultCount)
{
    const double pages = std::max(
            0.0, std::floor(ResultPageWalker::lastPage(resultCount, m_options.maxImages())));
    const double photos = ResultPageWalker::photoBudget(resultCount, m_options.maxImages());
    m_keywordCap = std::min(m_transferCap, transferCapFor(int(photos), int(pages)));
}

void Dispatcher::tick()
{
    if (m_options.paused())
        return;
    m_pool.resumeHeld();
    // Waiting for the running transfers keeps their files and lets a keyword
    // whose search found little hand over all the same; the wait is bounded.
    if (nothingToHandOut()) {
        if (m_pool.allWorkingSlotsFree() || m_waitedTicks >= HandOverWaitTicks)
            handOver();
        return;
    }
    for (int passed = 0;
         passed < MaxSkipsPerTick && !nothingToHandOut() && m_pool.nextEmptySock() != 0; ++passed) {
        const std::optional<QByteArray> address = nextAddress();
        if (!address || dispatch(*address) == Dispatch::Started)
            break;
    }
    openConnectionsAhead();
}

// The addresses next in line get their connections opened while they wait,
// one each where their site has too few (never more than the working slots),
// so their transfers pay no handshake. Those about to be passed over get none.
void Dispatcher::openConnectionsAhead()
{
    if (!m_options.keepAlive())
        return;
    std::vector<std::pair<ConnectionTarget, int>> wanted;
    const qsizetype reach = std::min<qsizetype>(m_queue.size(), OpenAheadReach);
    for (qsizetype i = 0; i < reach; ++i) {
        const QByteArray &address = m_queue.at(i);
        const TransferRoute route = TransferRoute::of(address, m_keywordFolder);
        if (route.target.host.isEmpty() || route.namesNoFile() || m_dispatched.contains(address)
            || isOnDisk(route))
            continue;
        const auto same
                = std::ranges::find(wanted, route.target, &std::pair<ConnectionTarget, int>::first);
        if (same == wanted.end())
            wanted.emplace_back(route.target, 1);
        else
            ++same->second;
    }
    for (const auto &[target, count] : wanted)
        m_pool.cache().openAhead(target, std::min(count, m_pool.workingSlots()));
}

bool Dispatcher::isOnDisk(const TransferRoute &route)
{
    return fileExists(route.folder + fileNameText(route.fileName));
}

bool Dispatcher::nothingToHandOut() const
{
    return m_queue.isEmpty() || m_transfers >= m_keywordCap;
}

// The top address, or while hosts are held the first near the top whose host
// is not; none when every address in reach waits for a held host. An address
// that can reuse an idle connection may go before them.
std::optional<QByteArray> Dispatcher::nextAddress()
{
    const ConnectionCache &connections = m_pool.cache();
    const HostHolds &holds = connections.holds();
    // An address near the top whose site has a connection waiting idle costs
    // no handshake: it goes first.
    if (m_options.keepAlive() && connections.waitingCount() > 0) {
        std::optional<QByteArray> reusing = m_queue.takeFirstWhere(
                [&](const QByteArray &address) {
                    const ConnectionTarget target = ConnectionTarget::fromAddress(address);
                    return !holds.isHeld(target.host) && connections.hasWaitingTo(target);
                },
                ReuseLookAhead);
        if (reusing)
            return reusing;
    }
    if (holds.isEmpty())
        return m_queue.takeFirst();
    return m_queue.takeFirstWhere(
            [&](const QByteArray &address) {
                return !holds.isHeld(ConnectionTarget::fromAddress(address).host);
            },
            MaxSkipsPerTick);
}

void Dispatcher::stallWatchTicked()
{
    if (m_options.paused())
        return;
    m_waitedTicks = nothingToHandOut() ? m_waitedTicks + 1 : 0;
}

void Dispatcher::handOver()
{
    m_pool.giveUpRunning();
    // What a keyword cut short left queued is not the next keyword's to fetch.
    if (!m_queue.isEmpty()) {
        emit keywordCutShort();
        m_queue.clear();
    }
    emit nextKeywordWanted();
}

void Dispatcher::dropKeyword()
{
    m_pool.giveUpRunning();
    m_queue.clear();
}

void Dispatcher::fetchAgain(const QByteArray &address)
{
    m_dispatched.remove(address);
    m_queue.putBack(address);
}

Dispatcher::Dispatch Dispatcher::dispatch(const QByteArray &address)
{
    if (m_dispatched.contains(address))
        return Dispatch::PassedOver;
    const TransferRoute route = TransferRoute::of(address, m_keywordFolder);
    if (route.target.host.isEmpty()) {
        emit addressGivenUp(address);
        return Dispatch::PassedOver;
    }
    if (route.namesNoFile()) {
        emit nameRefused(
                address,
                QStringLiteral("no file can be named \"%1\"").arg(fileNameText(route.fileName)));
        emit addressGivenUp(address);
        return Dispatch::PassedOver;
    }
    if (isOnDisk(route))
        return Dispatch::PassedOver;
    m_dispatched.insert(address);
    if (m_pool.giveUpIfHostDown(address, route.target.host))
        return Dispatch::PassedOver;
    ++m_transfers;
    const int index = m_pool.freeSlotFor(route.target);
    m_pool.start(index, new Transfer(address, route, m_context));
    // A keyword's search page goes first, and its next pages come from the
    // same site on every slot.
    if (m_transfers == 1)
        m_pool.cache().openAhead(route.target, m_pool.workingSlots());
    emit transferStarted(index, address);
    return Dispatch::Started;
}

}
