#include "net/tlspolicy.h"

#include <QFile>

namespace mosscatch {

bool TlsPolicy::addCaFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QList<QSslCertificate> certificates = QSslCertificate::fromDevice(&file, QSsl::Pem);
    if (certificates.isEmpty())
        return false;
    extraCas += certificates;
    return true;
}

}
