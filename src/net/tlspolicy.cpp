#include "net/tlspolicy.h"

#include <QDir>
#include <QFile>
#include <QSslSocket>

namespace mosscatch {

namespace {

QList<QSslCertificate> certificatesIn(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QSslCertificate::fromDevice(&file, QSsl::Pem);
}

// SSL_CERT_DIR is a list of folders, separated as PATH is.
QList<QSslCertificate> certificatesInFolders(const QString &folders)
{
    QList<QSslCertificate> certificates;
    for (const QString &folder : folders.split(QDir::listSeparator(), Qt::SkipEmptyParts)) {
        const QDir dir(folder);
        for (const QString &name : dir.entryList(QDir::Files | QDir::Readable))
            certificates += certificatesIn(dir.filePath(name));
    }
    return certificates;
}

}

bool TlsPolicy::addCaFile(const QString &path)
{
    const QList<QSslCertificate> certificates = certificatesIn(path);
    if (certificates.isEmpty())
        return false;
    extraCas += certificates;
    return true;
}

QSslConfiguration TlsPolicy::configuration() const
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    if (insecure)
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    const QString file = qEnvironmentVariable("SSL_CERT_FILE");
    const QString folders = qEnvironmentVariable("SSL_CERT_DIR");
    const bool storeNamed = !file.isEmpty() || !folders.isEmpty();
    if (!storeNamed && extraCas.isEmpty())
        return configuration;
    // Setting any CA list ends Qt's loading of the system's roots on demand,
    // so the system's store goes into the list whole.
    QList<QSslCertificate> trusted = storeNamed
                                             ? certificatesIn(file) + certificatesInFolders(folders)
                                             : QSslConfiguration::systemCaCertificates();
    configuration.setCaCertificates(trusted + extraCas);
    return configuration;
}

}
