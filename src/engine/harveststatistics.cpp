#include "engine/harveststatistics.h"

#include "common/bytesize.h"

#include <array>
#include <cmath>

namespace mosscatch {

namespace {

// Counts stay 64-bit all the way to the formatter, so sizes above 2 GiB show
// correctly instead of overflowing.
qint64 roundedCount(double count)
{
    return qint64(std::llrint(count));
}

QString percentText(double received, double contentLength)
{
    return QString::number(qint64(std::round(received / contentLength * 100.0)))
           + QLatin1Char('%');
}

}

HarvestStatistics::HarvestStatistics(const ConnectionPool &pool, const AddressQueue &queue,
                                     HarvestState &state, QObject *parent)
    : QObject(parent), m_pool(pool), m_queue(queue), m_state(state)
{
}

QString HarvestStatistics::sockStateName(int code)
{
    static constexpr std::array names{
        "Closed",     "Open",      "Listening", "ConnectionPending", "ResolvingHost",
        "HostResolved", "Connecting", "Connected", "Closing",         "Error",
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
    for (int i = 1; i < count; ++i)
        m_rows[i - 1] = rowFor(i);
    m_queueText = QString::number(m_queue.size());
    m_totalText = formatByteSize(roundedCount(m_state.totalReceived));
    if (m_queue.size() > 3)
        m_state.queueFilled = true;
    emit updated();
}

HarvestStatistics::ConnectionRow HarvestStatistics::rowFor(int index) const
{
    const SlotRecord &record = m_pool.record(index);
    ConnectionRow row;
    row.status = sockStateName(int(m_pool.connection(index)->state())).toUpper();
    row.url = QString::fromLatin1(record.url);
    if (record.contentLength == 0) {
        row.size = formatByteSize(record.data.size());
    } else {
        row.size = formatByteSize(roundedCount(record.received));
        row.percent = percentText(record.received, record.contentLength);
    }
    return row;
}

void HarvestStatistics::speedTick()
{
    const double perSecond = (m_state.totalReceived - m_previousTotal) / SpeedTickSeconds;
    m_speedText = formatByteSize(roundedCount(perSecond)) + QStringLiteral("/sec");
    m_previousTotal = m_state.totalReceived;
    emit speedUpdated();
}

}
