#include "engine/addressqueue.h"

#include "common/text.h"

namespace mosscatch {

AddressQueue::AddressQueue(const SiteConfiguration &site, QObject *parent)
    : QAbstractListModel(parent), m_site(site)
{
}

bool AddressQueue::refuses(const QByteArray &url) const
{
    return url.contains(".png") || url.contains("http://") || url.contains(m_site.queueDomainMarker)
           || holdsControlCharacter(url) || url.size() > MaxAddressLength;
}

bool AddressQueue::accepts(const QByteArray &url) const
{
    return size() < m_capacity && !refuses(url);
}

void AddressQueue::addUrl(const QByteArray &url)
{
    if (refuses(url))
        return;
    if (size() >= m_capacity) {
        ++m_refusedForRoom;
        return;
    }
    const int row = int(m_entries.size());
    beginInsertRows({}, row, row);
    // A copy of its own size, so spare capacity of the caller's text is not kept.
    m_entries.emplace_back(url.constData(), url.size());
    endInsertRows();
}

QByteArray AddressQueue::takeFirst()
{
    if (m_entries.empty())
        return {};
    beginRemoveRows({}, 0, 0);
    QByteArray first = std::move(m_entries.front());
    m_entries.pop_front();
    endRemoveRows();
    return first;
}

void AddressQueue::putBack(const QByteArray &url)
{
    beginInsertRows({}, 0, 0);
    m_entries.push_front(url);
    endInsertRows();
}

std::optional<QByteArray>
AddressQueue::takeFirstWhere(const std::function<bool(const QByteArray &)> &wanted,
                             qsizetype lookAhead)
{
    const qsizetype reach = std::min(lookAhead, size());
    for (qsizetype row = 0; row < reach; ++row) {
        const auto entry = m_entries.begin() + row;
        if (!wanted(*entry))
            continue;
        beginRemoveRows({}, int(row), int(row));
        QByteArray taken = std::move(*entry);
        m_entries.erase(entry);
        endRemoveRows();
        return taken;
    }
    return std::nullopt;
}

void AddressQueue::clear()
{
    beginResetModel();
    m_entries.clear();
    endResetModel();
}

int AddressQueue::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

QVariant AddressQueue::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || size_t(index.row()) >= m_entries.size())
        return {};
    return QString::fromLatin1(m_entries[size_t(index.row())]);
}

}
