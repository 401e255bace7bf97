#pragma once

#include "net/connectiontarget.h"

#include <QByteArray>
#include <QString>

namespace mosscatch {

// Where one queued address is fetched from and where its image goes.
struct TransferRoute
{
    ConnectionTarget target;
    QByteArray path;
    QString folder;
    QByteArray fileName;

    static TransferRoute of(const QByteArray &address, const QString &keywordFolder);
    // An image address whose last segment is empty, "." or "..", which no
    // file can be named: known before any request.
    bool namesNoFile() const;
};

}
