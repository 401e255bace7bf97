#pragma once

#include <QHash>
#include <QList>
#include <QString>

namespace mosscatch {

// Name resolution of our own: host names (or wildcards like *.example.com)
// mapped to an address and port. Hosts not in the map go to the system
// resolver on the port asked for.
//
// Host names compare case-insensitively. A wildcard "*.example.com" matches
// every host ending in ".example.com" but not "example.com" itself; give the
// bare domain its own entry when it is wanted. An exact entry wins over any
// wildcard, and of two matching wildcards the longer suffix wins. Adding a
// pattern again replaces its earlier entry.
class HostMap
{
public:
    struct Endpoint
    {
        QString address;
        quint16 port = 0;

        friend bool operator==(const Endpoint &, const Endpoint &) = default;
    };

    void add(const QString &pattern, const QString &address, quint16 port);
    // "HOST=ADDR:PORT" (ADDR may be a bracketed IPv6 address); false (and
    // nothing added) when malformed.
    bool addSpec(const QString &spec);
    // Every host of the reserved example domain, the built-in photo site's
    // among them, answered by a site listening on this machine.
    void addLocalSite(quint16 port);
    Endpoint resolve(const QString &host, quint16 port) const;
    bool isEmpty() const { return m_exact.isEmpty() && m_wildcards.isEmpty(); }

private:
    struct Wildcard
    {
        QString suffix;
        Endpoint endpoint;
    };

    QHash<QString, Endpoint> m_exact;
    QList<Wildcard> m_wildcards;
};

}
