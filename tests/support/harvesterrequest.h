#pragma once

#include <QByteArray>

namespace mosscatch {

// The harvester's request for path on host, as the photo site must understand it.
inline QByteArray harvesterRequest(const QByteArray &host, const QByteArray &path)
{
    return "GET " + path + " HTTP/1.0\nHost: " + host + "\nUser-Agent: Mozilla/5.0\n\n";
}

}
