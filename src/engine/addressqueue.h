#pragma once

#include "engine/siteconfiguration.h"

#include <QAbstractListModel>
#include <QByteArray>

#include <deque>

namespace mosscatch {

// First-in, first-out queue of addresses (host directly followed by path, no
// scheme). Producers append with addUrl, which refuses a few kinds of address;
// the dispatcher takes from the top. Duplicates are allowed. As a list model
// it is what the window's queue view shows.
class AddressQueue : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit AddressQueue(const SiteConfiguration &site, QObject *parent = nullptr);

    // Appends url unless it holds ".png", "http://", the queue domain marker,
    // or a control character (which could add lines to a request).
    void addUrl(const QByteArray &url);
    QByteArray takeFirst();

    bool isEmpty() const { return m_entries.empty(); }
    qsizetype size() const { return qsizetype(m_entries.size()); }
    const QByteArray &at(qsizetype index) const { return m_entries.at(size_t(index)); }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    static bool holdsControlCharacter(const QByteArray &text);

private:
    bool refuses(const QByteArray &url) const;

    const SiteConfiguration &m_site;
    std::deque<QByteArray> m_entries;
};

}
