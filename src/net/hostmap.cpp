#include "net/hostmap.h"

#include <algorithm>

namespace mosscatch {

namespace {

const QLatin1StringView wildcardPrefix("*.");

bool hasWhitespace(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace(); });
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
    const auto longer = [&suffix](const Wildcard &w) { return w.suffix.size() >= suffix.size(); };
    const auto at = std::find_if_not(m_wildcards.begin(), m_wildcards.end(), longer);
    m_wildcards.insert(at, {suffix, endpoint});
}

bool HostMap::addSpec(const QString &spec)
{
    const qsizetype equals = spec.indexOf(u'=');
    const qsizetype colon = spec.lastIndexOf(u':');
    if (equals <= 0 || colon < equals)
        return false;
    const QString pattern = spec.left(equals);
    QString address = spec.mid(equals + 1, colon - equals - 1);
    const QString portText = spec.mid(colon + 1);

    if (address.startsWith(u'[') && address.endsWith(u']'))
        address = address.mid(1, address.size() - 2);
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    const bool digitsOnly = std::all_of(portText.cbegin(), portText.cend(),
                                        [](QChar c) { return c.isDigit(); });
    if (!isValidPattern(pattern) || address.isEmpty() || hasWhitespace(address) || address.contains(u'=')
        || !ok || !digitsOnly || port == 0 || port > 65535)
        return false;

    add(pattern, address, quint16(port));
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

bool HostMap::isValidPattern(const QString &pattern)
{
    if (pattern.isEmpty() || hasWhitespace(pattern))
        return false;
    const QString name = pattern.startsWith(wildcardPrefix) ? pattern.mid(2) : pattern;
    return !name.isEmpty() && !name.contains(u'*') && !name.contains(u'=')
        && !name.startsWith(u'.');
}

}
