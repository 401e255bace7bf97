#include "net/proxyaddress.h"

#include <QUrl>

namespace mosscatch {

namespace {

std::optional<ProxyAddress::Kind> kindOf(const QString &scheme)
{
    if (scheme == QLatin1String("http"))
        return ProxyAddress::Kind::Http;
    if (scheme == QLatin1String("socks5"))
        return ProxyAddress::Kind::Socks5;
    if (scheme == QLatin1String("socks5h"))
        return ProxyAddress::Kind::Socks5h;
    return std::nullopt;
}

std::optional<ProxyAddress> refuse(QString *why, const QString &url, const QString &reason)
{
    if (why)
        *why = QStringLiteral("unusable proxy \"%1\": %2").arg(url, reason);
    return std::nullopt;
}

}

std::optional<ProxyAddress> ProxyAddress::parse(const QString &url, QString *why)
{
    const QString given = url.trimmed();
    const QString withScheme
            = given.contains(QLatin1String("://")) ? given : QStringLiteral("http://") + given;
    const QUrl parsed(withScheme, QUrl::StrictMode);
    // What is shown of a URL refused keeps its password out too.
    const QString shown = parsed.isValid()                   ? parsed.toString(QUrl::RemovePassword)
                          : given.contains(QLatin1Char('@')) ? QStringLiteral("…")
                                                             : given;
    if (!parsed.isValid())
        return refuse(why, shown, QStringLiteral("not a URL, or a port not from 1 to 65535"));
    const std::optional<Kind> kind = kindOf(parsed.scheme().toLower());
    if (!kind)
        return refuse(why, shown,
                      QStringLiteral("only http://, socks5:// and socks5h:// proxies are known"));
    if (parsed.host().isEmpty())
        return refuse(why, shown, QStringLiteral("no host"));
    if (parsed.port() == 0)
        return refuse(why, shown, QStringLiteral("port 0"));
    if (!(parsed.path().isEmpty() || parsed.path() == QLatin1String("/")) || parsed.hasQuery()
        || parsed.hasFragment())
        return refuse(why, shown, QStringLiteral("a proxy URL names no path"));

    ProxyAddress address;
    address.m_kind = *kind;
    address.m_host = parsed.host();
    address.m_port = quint16(parsed.port(1080));
    address.m_user = parsed.userName(QUrl::FullyDecoded);
    address.m_password = parsed.password(QUrl::FullyDecoded);
    return address;
}

QString ProxyAddress::display() const
{
    static const char *const schemes[] = {"http", "socks5", "socks5h"};
    QString credentials = m_user;
    if (!m_password.isEmpty())
        credentials += QStringLiteral(":***");
    if (!credentials.isEmpty())
        credentials += QLatin1Char('@');
    const QString host = m_host.contains(QLatin1Char(':')) ? u'[' + m_host + u']' : m_host;
    return QStringLiteral("%1://%2%3:%4")
            .arg(QLatin1String(schemes[int(m_kind)]), credentials, host)
            .arg(m_port);
}

QByteArray ProxyAddress::basicCredentials() const
{
    if (m_user.isEmpty())
        return {};
    return "Basic " + (m_user + QLatin1Char(':') + m_password).toUtf8().toBase64();
}

}
