#include "net/hostmap.h"

#include <algorithm>
#include <optional>

namespace mosscatch {

namespace {

const QLatin1StringView wildcardPrefix("*.");

bool hasWhitespace(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace(); });
}

bool isValidPattern(const QString &pattern)
{
    if (hasWhitespace(pattern))
        return false;
    const QString name = pattern.startsWith(wildcardPrefix) ? pattern.mid(2) : pattern;
    return !name.isEmpty() && !name.startsWith(u'.') && !name.contains(u'*');
}

bool isValidAddress(const QString &address)
{
    return !address.isEmpty() && !hasWhitespace(address) && !address.contains(u'=');
}

// IPv6 addresses come bracketed so that their colons stay apart from the port.
QString unbracketed(const QString &address)
{
    if (address.startsWith(u'[') && address.endsWith(u']'))
        return address.mid(1, address.size() - 2);
    return address;
}

std::optional<quint16> parsePort(const QString &text)
{
    const bool digitsOnly
            = std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isDigit(); });
    bool ok = false;
    const uint port = text.toUInt(&ok);
    if (!digitsOnly || !ok || port == 0 || port > 65535)
        return std::nullopt;
    return quint16(port);
}

}

void HostMap::add(const QString &pattern, const QString &address, quint16 port)
{
    const QString key = pattern.toLower();
    const Endpoint endpoint{address, port};
    if (!key.startsWith(wildcardPrefix)) {
        m_exact.insert(key, endpoint);
        return;
    }
    const QString suffix = key.mid(1);
    const auto same = [&suffix](const Wildcard &w) { return w.suffix == suffix; };
    m_wildcards.removeIf(same);
    // Longest suffix first, so that the most specific wildcard is found first.
    const auto longer = [&suffix](const Wildcard &w) { return w.suffix.size() >= suffix.size(); };
    const auto at = std::find_if_not(m_wildcards.begin(), m_wildcards.end(), longer);
    m_wildcards.insert(at, {suffix, endpoint});
}

void HostMap::addLocalSite(quint16 port)
{
    add(QStringLiteral("*.example.com"), QStringLiteral("127.0.0.1"), port);
}

bool HostMap::addSpec(const QString &spec)
{
    const qsizetype equals = spec.indexOf(u'=');
    const qsizetype colon = spec.lastIndexOf(u':');
    if (equals <= 0 || colon < equals)
        return false;
    const QString pattern = spec.left(equals);
    const QString address = unbracketed(spec.mid(equals + 1, colon - equals - 1));
    const std::optional<quint16> port = parsePort(spec.mid(colon + 1));
    if (!isValidPattern(pattern) || !isValidAddress(address) || !port)
        return false;

    add(pattern, address, *port);
    return true;
}

HostMap::Endpoint HostMap::resolve(const QString &host, quint16 port) const
{
    const QString key = host.toLower();
    const auto exact = m_exact.constFind(key);
    if (exact != m_exact.cend())
        return *exact;
    for (const Wildcard &wildcard : m_wildcards) {
        if (key.endsWith(wildcard.suffix))
            return wildcard.endpoint;
    }
    return {host, port};
}

}
