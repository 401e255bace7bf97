#include "webserver.h"

#include "photosite/siteexport.h"
#include "testcertificates.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>

namespace mosscatch {

WebServer::WebServer(Kind kind, const QString &siteFolder, const TestCertificates &certificates,
                     bool tls)
    : m_kind(kind),
      m_tls(tls),
      m_site(siteFolder),
      m_certificate(certificates.trustedCertificateFile()),
      m_key(certificates.trustedKeyFile())
{
}

bool WebServer::start()
{
    const bool nginx = m_kind == Kind::Nginx;
    // The site's moves, "source target" a line, as the server's own directives.
    QFile redirects(m_site + QLatin1Char('/') + QLatin1String(SiteExport::RedirectsFile));
    QString moves = redirects.open(QIODevice::ReadOnly) ? QString::fromUtf8(redirects.readAll())
                                                        : QString();
    moves.replace(QRegularExpression(QStringLiteral("^(\\S+) (\\S+)$"),
                                     QRegularExpression::MultilineOption),
                  nginx ? QStringLiteral("location = \\1 { return 302 \\2; }")
                        : QStringLiteral("Redirect 302 \\1 \\2"));
    const QString configuration
            = nginx ? QStringLiteral("nginx.conf") : QStringLiteral("apache.conf");
    if (!writeConfiguration(configuration, {{"SITE", m_site},
                                            {"MOVES", moves},
                                            {"CERTIFICATE", m_certificate},
                                            {"KEY", m_key},
                                            {"TLS", m_tls ? "ssl" : ""}}))
        return false;
    // Workers may run as another user than the test (nobody, when it is root).
    QFile::setPermissions(m_site, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                          | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                          | QFileDevice::ExeOther);
    if (nginx)
        return launch(QStringLiteral("/usr/sbin/nginx"),
                      {"-p", path({}), "-e", path("error.log"), "-c", path(configuration), "-g",
                       "daemon off;"});
    QStringList arguments{"-f", path(configuration), "-DFOREGROUND"};
    if (m_tls)
        arguments += "-DTLS";
    return launch(QStringLiteral("/usr/sbin/apache2"), arguments);
}

// Each line of the access log counts the connection's requests: nginx from 1, Apache from 0.
int WebServer::keptRequests() const
{
    const QByteArrayList counts = lines(QStringLiteral("access.log"));
    const int first = m_kind == Kind::Nginx ? 1 : 0;
    return int(std::count_if(counts.begin(), counts.end(),
                             [first](const QByteArray &count) { return count.toInt() > first; }));
}

}
