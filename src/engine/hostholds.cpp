#include "engine/hostholds.h"

namespace mosscatch {

void HostHolds::hold(const QByteArray &host, std::chrono::milliseconds wait)
{
    forgetExpired();
    const QDeadlineTimer until(wait);
    const auto current = m_until.constFind(host);
    if (current == m_until.cend() || current->deadline() < until.deadline())
        m_until.insert(host, until);
}

bool HostHolds::isHeld(const QByteArray &host) const
{
    return remaining(host).count() > 0;
}

std::chrono::milliseconds HostHolds::remaining(const QByteArray &host) const
{
    const auto until = m_until.constFind(host);
    if (until == m_until.cend())
        return {};
    return std::chrono::milliseconds(until->remainingTime());
}

bool HostHolds::isEmpty() const
{
    for (const QDeadlineTimer &until : m_until) {
        if (!until.hasExpired())
            return false;
    }
    return true;
}

QString HostHolds::waitText(const QByteArray &host, std::chrono::milliseconds remaining)
{
    const qint64 seconds = (remaining.count() + 999) / 1000;
    return QStringLiteral("waiting for %1: %2 s").arg(QString::fromLatin1(host)).arg(seconds);
}

void HostHolds::forgetExpired()
{
    for (auto entry = m_until.begin(); entry != m_until.end();)
        entry = entry->hasExpired() ? m_until.erase(entry) : std::next(entry);
}

}
