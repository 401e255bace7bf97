#pragma once

#include <QSslConfiguration>
#include <QString>
#include <QTemporaryDir>

namespace mosscatch {

// A throwaway CA and server certificates, made with the openssl command when
// constructed and gone with the object.
class TestCertificates
{
public:
    enum class Kind { Trusted, WrongName, Expired, SelfSigned };

    TestCertificates();

    bool isValid() const { return m_valid; }
    QString caFile() const { return path(QStringLiteral("ca.pem")); }
    // The Trusted certificate and its key as PEM files, for servers of other makes.
    QString trustedCertificateFile() const { return path(QStringLiteral("trusted.pem")); }
    QString trustedKeyFile() const { return path(QStringLiteral("trusted.key")); }
    // The server's side for a certificate of this kind; Trusted names every
    // host of the photo site, the others are wrong in the way they say.
    QSslConfiguration server(Kind kind) const;

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    bool openssl(const QStringList &arguments) const;
    bool make(const QString &name, const QStringList &dnsNames, const QString &days,
              bool signedByCa = true) const;

    QTemporaryDir m_dir;
    bool m_valid = false;
};

}
