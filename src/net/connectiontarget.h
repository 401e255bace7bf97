#pragma once

#include <QByteArray>

namespace mosscatch {

enum class Scheme { Http, Https };

// Where a transfer connects: the scheme says whether TLS runs over the TCP
// connection, the host is what the request names and the certificate must
// match, the port where the connection goes unless the host map says else.
struct ConnectionTarget
{
    Scheme scheme = Scheme::Http;
    QByteArray host;
    quint16 port = 80;

    // An address as queued, "[scheme://]host[:port][/path]", split into its
    // target and its path ("/" when it has none). A scheme other than http or
    // https, or a port that is not 1 to 65535, leaves the host empty.
    static ConnectionTarget fromAddress(const QByteArray &address, QByteArray *path = nullptr);
    static quint16 defaultPort(Scheme scheme) { return scheme == Scheme::Https ? 443 : 80; }

    bool isEncrypted() const { return scheme == Scheme::Https; }
    // What an address on this target starts with: plain HTTP without its
    // scheme, as the site writes its addresses, and a port only where it is
    // not the scheme's own.
    QByteArray origin() const;
    // "host", or "host:port" where the port is not the scheme's own: what an
    // HTTP/1.1 Host field says.
    QByteArray authority() const;

    friend bool operator==(const ConnectionTarget &, const ConnectionTarget &) = default;
};

}
