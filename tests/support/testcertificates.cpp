#include "testcertificates.h"

#include <QFile>
#include <QProcess>
#include <QSslKey>

namespace mosscatch {

namespace {

const QStringList ecKey
        = {QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
           QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};

// Each kind's certificate and key are named after it, in the order of Kind.
const QString leafNames[] = {QStringLiteral("trusted"), QStringLiteral("wrongname"),
                             QStringLiteral("expired"), QStringLiteral("selfsigned")};

}

TestCertificates::TestCertificates()
{
    // A wildcard covers one label, so the image hosts (farm1.static...) need their own.
    const QStringList site{QStringLiteral("*.photosite.example.com"),
                           QStringLiteral("*.static.photosite.example.com")};
    m_valid = m_dir.isValid()
              && openssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ecKey
                         + QStringList{"-keyout", path("ca.key"), "-out", caFile(), "-days", "2",
                                       "-subj", "/CN=Mosscatch test CA"})
              && openssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ecKey
                         + QStringList{"-keyout", path("selfsigned.key"), "-out",
                                       path("selfsigned.pem"), "-days", "2", "-subj",
                                       "/CN=www.photosite.example.com", "-addext",
                                       "subjectAltName=DNS:" + site.join(QStringLiteral(",DNS:"))})
              && makeLeaf(QStringLiteral("trusted"), site, QStringLiteral("2"))
              && makeLeaf(QStringLiteral("wrongname"), {QStringLiteral("*.elsewhere.example.org")},
                          QStringLiteral("2"))
              && makeLeaf(QStringLiteral("expired"), site, QStringLiteral("-1"));
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

bool TestCertificates::makeLeaf(const QString &name, const QStringList &dnsNames,
                                const QString &days)
{
    QFile extensions(path(name + ".ext"));
    if (!extensions.open(QIODevice::WriteOnly)
        || extensions.write(
                   "subjectAltName=DNS:" + dnsNames.join(QStringLiteral(",DNS:")).toLatin1() + '\n')
                   < 0)
        return false;
    extensions.close();
    return openssl(QStringList{QStringLiteral("req")} + ecKey
                   + QStringList{"-keyout", path(name + ".key"), "-out", path(name + ".csr"),
                                 "-subj", "/CN=" + dnsNames.first()})
           && openssl({"x509", "-req", "-in", path(name + ".csr"), "-CA", caFile(), "-CAkey",
                       path("ca.key"), "-CAcreateserial", "-out", path(name + ".pem"), "-days",
                       days, "-extfile", extensions.fileName()});
}

QSslConfiguration TestCertificates::server(Kind kind) const
{
    const QString &name = leafNames[int(kind)];
    QFile key(path(name + ".key"));
    key.open(QIODevice::ReadOnly);
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(QSslCertificate::fromPath(path(name + ".pem")));
    configuration.setPrivateKey(QSslKey(&key, QSsl::Ec));
    return configuration;
}

}
