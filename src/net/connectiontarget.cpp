#include "net/connectiontarget.h"

#include <algorithm>

namespace mosscatch {

namespace {

const QByteArray schemeSeparator = QByteArrayLiteral("://");

bool parsePort(const QByteArray &text, quint16 *port)
{
    if (text.isEmpty() || text.size() > 5
        || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const int number = text.toInt();
    if (number < 1 || number > 65535)
        return false;
    *port = quint16(number);
    return true;
}

}

ConnectionTarget ConnectionTarget::fromAddress(const QByteArray &address, QByteArray *path)
{
    ConnectionTarget target;
    QByteArray rest = address;
    if (const qsizetype separator = rest.indexOf(schemeSeparator); separator >= 0) {
        const QByteArray scheme = rest.left(separator).toLower();
        if (scheme == "https")
            target.scheme = Scheme::Https;
        else if (scheme != "http")
            return target;
        rest.remove(0, separator + schemeSeparator.size());
    }
    target.port = defaultPort(target.scheme);
    const qsizetype slash = rest.indexOf('/');
    QByteArray authority = slash < 0 ? rest : rest.left(slash);
    if (path)
        *path = slash < 0 ? QByteArrayLiteral("/") : rest.mid(slash);
    // A bracketed IPv6 address keeps its colons apart from the port.
    const qsizetype colon = authority.lastIndexOf(':');
    if (colon >= 0 && colon > authority.lastIndexOf(']')) {
        if (!parsePort(authority.mid(colon + 1), &target.port))
            return target;
        authority.truncate(colon);
    }
    target.host = authority;
    return target;
}

QByteArray ConnectionTarget::authority() const
{
    return port == defaultPort(scheme) ? host : host + ':' + QByteArray::number(port);
}

QByteArray ConnectionTarget::origin() const
{
    return isEncrypted() ? "https://" + authority() : authority();
}

}
