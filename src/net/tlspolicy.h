#pragma once

#include <QList>
#include <QSslCertificate>
#include <QString>

namespace mosscatch {

// How TLS peers are trusted: the system's CA store, any further CAs the
// user names, or, only when asked for in so many words, nothing at all.
struct TlsPolicy
{
    QList<QSslCertificate> extraCas;
    bool insecure = false;

    // Adds the certificates of a PEM bundle; false (and nothing added) when
    // the file cannot be read or holds none.
    bool addCaFile(const QString &path);
};

}
