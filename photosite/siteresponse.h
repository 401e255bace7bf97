#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

namespace mosscatch {

// A response before it goes on the wire; the fault rules reshape it.
struct SiteResponse
{
    enum class Kind { Page, Image, Redirect, Error };

    Kind kind = Kind::Page;
    QByteArray version = "HTTP/1.0"; // of the status line
    int status = 200;
    QByteArray reason = "OK";
    QList<QPair<QByteArray, QByteArray>> fields; // without Content-Length
    QByteArray body;

    // The status line and fields, with "Content-Length: " + contentLength
    // unless it is empty, closed by the blank line.
    QByteArray header(const QByteArray &contentLength) const;
    QByteArray header() const { return header(QByteArray::number(body.size())); }
    QByteArray bytes() const { return header() + body; }

    // The Connection field's value; empty when there is no such field.
    QByteArray connection() const;
    // Sets the Connection field where it stands, or takes it out when value is empty.
    void setConnection(const QByteArray &value);
    // An HTTP/1.1 answer that does not say "Connection: close" lets the client
    // send its next request on the same connection.
    bool keepsConnection() const { return version == "HTTP/1.1" && connection() != "close"; }
};

}
