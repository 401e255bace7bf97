#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace mosscatch {

// A proxy as its URL names it: "http://[user:password@]host[:port]" for an
// HTTP proxy (CONNECT for TLS), "socks5h://…" for a SOCKS5 proxy that resolves
// host names itself, "socks5://…" for one given addresses resolved here. A URL
// without a scheme is an HTTP proxy, and the port is 1080 unless given, as
// curl reads them; user and password are percent-decoded.
class ProxyAddress
{
public:
    enum class Kind { Http, Socks5, Socks5h };

    // Nothing, with why in one line, for another scheme, no host, a bad port
    // or anything after the authority but "/".
    static std::optional<ProxyAddress> parse(const QString &url, QString *why = nullptr);

    Kind kind() const { return m_kind; }
    const QString &host() const { return m_host; }
    quint16 port() const { return m_port; }
    const QString &user() const { return m_user; }
    const QString &password() const { return m_password; }
    // The origin's host name goes to the proxy, not through our resolution.
    bool resolvesNames() const { return m_kind != Kind::Socks5; }

    // The URL with its password as "***": the only form of it anyone sees.
    QString display() const;
    // A Proxy-Authorization value ("Basic …"); empty without a user.
    QByteArray basicCredentials() const;

    friend bool operator==(const ProxyAddress &, const ProxyAddress &) = default;

private:
    Kind m_kind = Kind::Http;
    QString m_host;
    quint16 m_port = 1080;
    QString m_user;
    QString m_password;
};

}
