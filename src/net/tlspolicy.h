#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>

namespace mosscatch {

// How TLS peers are trusted: the system's CA store, any further CAs the
// user names beside it, or, only when asked for in so many words, nothing at all.
struct TlsPolicy
{
    QList<QSslCertificate> extraCas;
    bool insecure = false;

    // Adds the certificates of a PEM bundle; false (and nothing added) when
    // the file cannot be read or holds none.
    bool addCaFile(const QString &path);

    // What every socket starts from. The system's store is Qt's own (its roots
    // loaded on demand), or, where SSL_CERT_FILE or SSL_CERT_DIR is set, what
    // they name, as OpenSSL and curl read them; extra CAs are trusted beside it.
    // Reads files: make it once, not per connection.
    QSslConfiguration configuration() const;
};

}
