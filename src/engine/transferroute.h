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
};

}
