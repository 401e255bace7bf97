#include "engine/harveststatistics.h"

#include "common/bytesize.h"

#include <array>
#include <cmath>

namespace mosscatch {

namespace {

QString percentText(qint64 received, qint64 contentLength)
{
    return QString::number(qint64(std::round(double(received) / double(contentLength) * 100.0)))
           + QLatin1Char('%');
}

}

HarvestStatistics::HarvestStatistics(const ConnectionPool &pool, const AddressQueue &queue,
                                     const TransferContext &transfers, QObject *parent)
    : QObject(parent), m_pool(pool), m_queue(queue), m_transfers(transfers)
{
    m_speedClock.start();
}

QString HarvestStatistics::sockStateName(int code)
{
    static constexpr std::array names{
            "Closed",       "Open",       "Listening", "ConnectionPending", "ResolvingHost",
            "HostResolved", "Connecting", "Connected", "Closing",           "Error",
    };
    if (code < 0 || code >= int(names.size()))
        return {};
    return QLatin1String(names[size_t(code)]);
}

void HarvestStatistics::updateStats()
{
    const int count = m_pool.count();
    if (count == 1)
        return;
    m_rows.resize(count - 1);
    m_waitText.clear();
    for (int i = 1; i < count; ++i) {
        m_rows[i - 1] = rowFor(i);
        const Transfer *transfer = m_pool.transfer(i);
        if (transfer && transfer->isHeld() && m_waitText.isEmpty())
            m_waitText = m_rows[i - 1].url;
    }
    m_queueText = QString::number(m_queue.size());
    m_totalText = formatByteSize(m_transfers.totalReceived);
    emit updated();
}

HarvestStatistics::ConnectionRow HarvestStatistics::rowFor(int index) const
{
    ConnectionRow row;
    const Connection *connection = m_pool.connection(index);
    const Transfer *transfer = m_pool.transfer(index);
    if (const ConnectionTarget *kept = m_pool.keptFor(index)) {
        row.status = QStringLiteral("KEPT");
        row.url = QString::fromLatin1(kept->authority());
        row.kept = true;
        return row;
    }
    row.status
            = sockStateName(int(connection ? connection->state() : SocketState::Closed)).toUpper();
    const QString failure = !transfer    ? m_pool.shownFailure(index)
                            : connection ? connection->failure()
                                         : QString();
    if (!failure.isEmpty())
        row.status += QStringLiteral(": ") + failure;
    if (!transfer) {
        row.url = QString::fromLatin1(m_pool.shownUrl(index));
        row.size = formatByteSize(0);
        return row;
    }
    const TransferRecord &record = transfer->record();
    row.url = QString::fromLatin1(record.url);
    if (transfer->isHeld()) {
        row.status = QStringLiteral("WAITING");
        row.url = HostHolds::waitText(record.target.host,
                                      m_pool.cache().holds().remaining(record.target.host));
    }
    if (record.exchange.contentLength == 0) {
        row.size = formatByteSize(record.exchange.data.size());
    } else {
        row.size = formatByteSize(record.exchange.received);
        row.percent = percentText(record.exchange.received, record.exchange.contentLength);
    }
    return row;
}

void HarvestStatistics::startSpeedClock()
{
    m_speedClock.start();
}

void HarvestStatistics::speedTick()
{
    speedTick(m_speedClock.restart());
}

void HarvestStatistics::speedTick(qint64 elapsedMs)
{
    const qint64 total = m_transfers.totalReceived;
    const double perSecond = double(total - m_previousTotal) * 1000.0 / double(qMax(elapsedMs, 1));
    m_speedText = formatByteSize(qint64(std::llrint(perSecond))) + QStringLiteral("/sec");
    m_previousTotal = total;
    emit speedUpdated();
}

}
