#pragma once

#include <QByteArray>
#include <QDateTime>

namespace mosscatch {

// One request as the site received it.
struct RequestRecord
{
    QByteArray raw; // the exact bytes up to and including the blank line
    QByteArray method;
    QByteArray target; // as sent: origin-form or absolute-form
    QByteArray path; // origin-form, query included
    QByteArray host; // the Host field (or the host of an absolute target)
    QByteArray version; // "HTTP/1.0", "HTTP/1.1"
    // HTTP/1.1 without "Connection: close", or HTTP/1.0 with "Connection: keep-alive".
    bool keepAlive = false;
    int onConnection = 0; // 1 for the first request on its connection, 2 for the next
    QDateTime received;
    bool faulted = false; // a fault rule shaped the answer
};

}
