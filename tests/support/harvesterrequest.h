#pragma once

#include <QByteArray>

namespace mosscatch {

// The harvester's request for path on host, as the photo site must understand
// it: one request per connection, or on a connection kept open.
inline QByteArray harvesterRequest(const QByteArray &host, const QByteArray &path,
                                   bool keepAlive = false)
{
    if (keepAlive)
        return "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\nUser-Agent: Mozilla/5.0\r\n\r\n";
    return "GET " + path + " HTTP/1.0\nHost: " + host + "\nUser-Agent: Mozilla/5.0\n\n";
}

}
