#include "testcertificates.h"

#include <QFile>
#include <QProcess>
#include <QSslKey>

namespace mosscatch {

namespace {

// Each kind's certificate and key are named after it, in the order of Kind.
const char *const leafNames[] = {"trusted", "wrongname", "expired", "selfsigned"};

}

TestCertificates::TestCertificates()
{
    // A wildcard covers one label, so the image hosts (farm1.static...) need their own.
    const QStringList site{"*.photosite.example.com", "*.static.photosite.example.com"};
    m_valid = m_dir.isValid() && make("ca", {}, "2", false) && make("selfsigned", site, "2", false)
              && make("trusted", site, "2") && make("wrongname", {"*.elsewhere.example.org"}, "2")
              && make("expired", site, "-1");
}

bool TestCertificates::openssl(const QStringList &arguments) const
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("openssl"), arguments);
    const bool made = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit
                      && process.exitCode() == 0;
    if (!made)
        qWarning("openssl %s: %s", qPrintable(arguments.join(u' ')), process.readAll().constData());
    return made;
}

// No names make the CA; the others name the hosts they are made out to.
bool TestCertificates::make(const QString &name, const QStringList &dnsNames, const QString &days,
                            bool signedByCa) const
{
    const QString subject = dnsNames.isEmpty() ? "Mosscatch test CA" : dnsNames.first();
    QStringList request{"req", "-subj", "/CN=" + subject, "-keyout", path(name + ".key"), "-nodes"};
    request += {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1"};
    if (!dnsNames.isEmpty())
        request += {"-addext", "subjectAltName=DNS:" + dnsNames.join(QStringLiteral(",DNS:"))};
    const QString pem = path(name + ".pem");
    if (!signedByCa)
        return openssl(request + QStringList{"-x509", "-out", pem, "-days", days});
    return openssl(request + QStringList{"-out", path(name + ".csr")})
           && openssl({"x509", "-req", "-in", path(name + ".csr"), "-CA", caFile(), "-CAkey",
                       path("ca.key"), "-CAcreateserial", "-copy_extensions", "copyall", "-out",
                       pem, "-days", days});
}

QSslConfiguration TestCertificates::server(Kind kind) const
{
    const QString name = QString::fromLatin1(leafNames[int(kind)]);
    QFile key(path(name + ".key"));
    key.open(QIODevice::ReadOnly);
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(QSslCertificate::fromPath(path(name + ".pem")));
    configuration.setPrivateKey(QSslKey(&key, QSsl::Ec));
    return configuration;
}

}
