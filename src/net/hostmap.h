#pragma once

#include <QList>
#include <QString>


namespace mosscatch {

// Name resolution of our own: host names (or wildcards like *.example.com)
// mapped to an address and port. Hosts not in the map go to the system
// resolver on the port asked for.
class HostMap
{
public:
    struct Endpoint {
        QString address;
        quint16 port = 0;
    };

    void add(const QString &pattern, const QString &address, quint16 port);
    // "HOST=ADDR:PORT"; false (and nothing added) when malformed.
    bool addSpec(const QString &spec);
    Endpoint resolve(const QString &host, quint16 port) const;
    bool isEmpty() const { return m_entries.isEmpty(); }

private:
    struct Entry {
        QString pattern;
        Endpoint endpoint;
    };
    QList<Entry> m_entries;
};

}
