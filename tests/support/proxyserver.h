#pragma once

#include "serverprocess.h"

namespace mosscatch {

// squid or microsocks standing between a harvest and the photo site on
// sitePort. The site answers for every host name, so squid needs no name
// resolved: it forwards plain requests to the site as their origin server and
// points every tunnel at the site's port. microsocks connects where it is
// told. With a user, either asks for that user's password.
class ProxyServer : public ServerProcess
{
public:
    enum class Kind { Squid, Microsocks };

    ProxyServer(Kind kind, quint16 sitePort, const QString &user = {},
                const QString &password = {});

    // False, with why in problem(), when it cannot start.
    bool start();
    // The URL a harvest is given: http:// for squid, socks5:// for microsocks,
    // with user and password percent-encoded.
    QString url() const;
    // Requests squid forwarded, each "METHOD URL" as it logged them.
    QByteArrayList requests() const;
    // Tunnels opened: squid's CONNECTs, microsocks's connections.
    int tunnels() const;

private:
    const Kind m_kind;
    const quint16 m_sitePort;
    const QString m_user;
    const QString m_password;
};

}
