#pragma once

#include "engine/siteconfiguration.h"

#include <QAbstractListModel>
#include <QByteArray>

#include <deque>
#include <functional>
#include <optional>

namespace mosscatch {

// First-in, first-out queue of addresses (host directly followed by path, no
// scheme). Producers append with addUrl, which refuses a few kinds of address;
// the dispatcher takes from the top. Duplicates are allowed. As a list model
// it is what the window's queue view shows.
class AddressQueue : public QAbstractListModel
{
    Q_OBJECT

public:
    // A 70-page keyword with every size queues about 12,800 addresses at most
    // (its result pages are all scraped before the photos they list), so
    // 20,000 leaves room. With addresses of at most 1 KiB, a full queue holds
    // about 22 MB (entry, heap block and text) whatever a site serves.
    static constexpr qsizetype Capacity = 20000;
    static constexpr qsizetype MaxAddressLength = 1024;

    explicit AddressQueue(const SiteConfiguration &site, QObject *parent = nullptr);

    // Appends url unless it holds ".png", "http://", the queue domain marker,
    // or a control character (which could add lines to a request), is longer
    // than MaxAddressLength, or the queue is full (counted in refusedForRoom).
    void addUrl(const QByteArray &url);
    // True when addUrl would take url now.
    bool accepts(const QByteArray &url) const;
    QByteArray takeFirst();
    // Returns a taken address to the top, to be handed out first again.
    void putBack(const QByteArray &url);
    // Takes the first of the top lookAhead addresses that wanted accepts.
    std::optional<QByteArray> takeFirstWhere(const std::function<bool(const QByteArray &)> &wanted,
                                             qsizetype lookAhead);
    void clear();
    qint64 refusedForRoom() const { return m_refusedForRoom; }
    // Only for tests: a smaller bound, so filling it takes moments.
    void setCapacity(qsizetype capacity) { m_capacity = capacity; }

    bool isEmpty() const { return m_entries.empty(); }
    qsizetype size() const { return qsizetype(m_entries.size()); }
    const QByteArray &at(qsizetype index) const { return m_entries.at(size_t(index)); }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    bool refuses(const QByteArray &url) const;

    const SiteConfiguration &m_site;
    std::deque<QByteArray> m_entries;
    qsizetype m_capacity = Capacity;
    qint64 m_refusedForRoom = 0;
};

}
