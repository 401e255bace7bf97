#include "net/proxyroute.h"

#include <algorithm>
#include <utility>

namespace mosscatch {

namespace {

QString firstSet(const QProcessEnvironment &environment, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        const QString value = environment.value(QLatin1String(name)).trimmed();
        if (!value.isEmpty())
            return value;
    }
    return {};
}

// "Host", ".host", "host:port" and "[v6]:port" all stand for the host and its subdomains.
QString directHost(QString entry)
{
    entry = entry.trimmed().toLower();
    if (entry.startsWith(u'[')) {
        entry = entry.mid(1, entry.indexOf(u']') - 1);
    } else if (entry.count(u':') == 1) {
        entry.truncate(entry.indexOf(u':'));
    }
    while (entry.startsWith(u'.'))
        entry.remove(0, 1);
    return entry;
}

}

ProxyRoute::Choice ProxyRoute::choose(const std::optional<QString> &configured,
                                      const QProcessEnvironment &environment)
{
    const auto fromEnvironment = [&environment](std::initializer_list<const char *> names) {
        const QString own = firstSet(environment, names);
        return own.isEmpty() ? firstSet(environment, {"all_proxy", "ALL_PROXY"}) : own;
    };
    const QString forHttp = configured ? *configured : fromEnvironment({"http_proxy"});
    const QString forHttps
            = configured ? *configured : fromEnvironment({"https_proxy", "HTTPS_PROXY"});
    ProxyRoute route;
    for (const auto &[url, proxy] :
         {std::pair{forHttp, &route.m_http}, std::pair{forHttps, &route.m_https}}) {
        if (url.trimmed().isEmpty())
            continue;
        QString why;
        *proxy = ProxyAddress::parse(url, &why);
        if (!*proxy)
            return {std::nullopt, why};
    }
    for (const QString &entry :
         firstSet(environment, {"no_proxy", "NO_PROXY"}).split(u',', Qt::SkipEmptyParts)) {
        if (const QString host = directHost(entry); !host.isEmpty())
            route.m_directHosts.append(host);
    }
    return {route, {}};
}

std::optional<ProxyAddress> ProxyRoute::proxyFor(const ConnectionTarget &target) const
{
    const std::optional<ProxyAddress> &proxy = target.isEncrypted() ? m_https : m_http;
    if (!proxy || goesDirect(target.host))
        return std::nullopt;
    return proxy;
}

bool ProxyRoute::goesDirect(const QByteArray &host) const
{
    QString name = QString::fromLatin1(host).toLower();
    if (name.startsWith(u'[') && name.endsWith(u']'))
        name = name.mid(1, name.size() - 2);
    return std::any_of(m_directHosts.cbegin(), m_directHosts.cend(), [&name](const QString &entry) {
        return entry == u'*' || name == entry
               || (name.endsWith(entry) && name.at(name.size() - entry.size() - 1) == u'.');
    });
}

QString ProxyRoute::description() const
{
    if (m_http == m_https)
        return m_http ? m_http->display() : QString();
    QStringList parts;
    if (m_http)
        parts.append(m_http->display() + QStringLiteral(" for http"));
    if (m_https)
        parts.append(m_https->display() + QStringLiteral(" for https"));
    return parts.join(QStringLiteral(", "));
}

}
