#include "net/hostmap.h"

namespace mosscatch {

void HostMap::add(const QString &pattern, const QString &address, quint16 port)
{
    m_entries.append({pattern, {address, port}});
}

bool HostMap::addSpec(const QString &)
{
    return false;
}

HostMap::Endpoint HostMap::resolve(const QString &host, quint16 port) const
{
    return {host, port};
}

}
