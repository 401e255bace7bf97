#pragma once

#include "serverprocess.h"

#include <QByteArrayList>
#include <QString>
#include <QTemporaryDir>

namespace mosscatch {

// squid or microsocks in the foreground on 127.0.0.1, with its configuration
// and logs in a folder of its own, standing between a harvest and the photo
// site on sitePort. The site answers for every host name, so squid needs no
// name resolved: it forwards plain requests to the site as their origin server
// and points every tunnel at the site's port. microsocks connects where it is
// told. With a user, either asks for that user's password.
class ProxyServer
{
public:
    enum class Kind { Squid, Microsocks };

    ProxyServer(Kind kind, quint16 sitePort, const QString &user = {},
                const QString &password = {});

    // Starts it on a free port and waits until it accepts connections; false,
    // with why in problem(), when it cannot (not installed, say).
    bool start();
    QString problem() const { return m_problem; }
    quint16 port() const { return m_port; }
    // The URL a harvest is given: http:// for squid, socks5:// for microsocks,
    // with user and password percent-encoded.
    QString url(const QString &scheme = {}) const;
    // Requests squid forwarded, each "METHOD URL" as it logged them.
    QByteArrayList requests() const;
    // Tunnels opened: squid's CONNECTs, microsocks's connections.
    int tunnels() const;
    // Its logs and what it printed.
    QByteArray log() const;

private:
    bool writeSquidFiles() const;
    QString path(const QString &name) const { return m_dir.filePath(name); }

    const Kind m_kind;
    const quint16 m_sitePort;
    const QString m_user;
    const QString m_password;
    QTemporaryDir m_dir;
    ServerProcess m_process;
    quint16 m_port = 0;
    QString m_problem;
};

}
