#pragma once

#include <QByteArray>
#include <QList>

// Sends one raw request to 127.0.0.1 and collects the answer as it arrives,
// running the event loop so a server in the same thread can answer; each read
// of the socket is one chunk.
class LoopbackClient
{
public:
    struct Answer
    {
        QByteArray bytes;
        QList<QByteArray> chunks;
        bool closed = false;

        QByteArray head() const { return bytes.left(bytes.indexOf("\r\n\r\n") + 4); }
        QByteArray body() const { return bytes.mid(bytes.indexOf("\r\n\r\n") + 4); }
    };

    static Answer exchange(quint16 port, const QByteArray &request, int waitMs = 5000);
    // The harvester's request for an address written host + path.
    static QByteArray request(const QByteArray &hostAndPath);
};
