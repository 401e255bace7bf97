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
    int status = 200;
    QByteArray reason = "OK";
    QList<QPair<QByteArray, QByteArray>> fields; // without Content-Length
    QByteArray body;

    // The status line and fields, with "Content-Length: " + contentLength
    // unless it is empty, closed by the blank line.
    QByteArray header(const QByteArray &contentLength) const;
    QByteArray header() const { return header(QByteArray::number(body.size())); }
    QByteArray bytes() const { return header() + body; }
};

}
