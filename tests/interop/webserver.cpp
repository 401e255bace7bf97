#include "webserver.h"

#include "photosite/siteexport.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>

namespace mosscatch {

namespace {

bool writeText(const QString &name, const QString &text)
{
    QFile file(name);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0 && file.flush();
}

}

WebServer::WebServer(Kind kind, const QString &siteFolder, const QString &certificateFile,
                     const QString &keyFile)
    : m_kind(kind), m_site(siteFolder), m_certificate(certificateFile), m_key(keyFile)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("output.log")));
}

bool WebServer::start()
{
    m_port = ServerProcess::freePort();
    const QString configuration = m_dir.filePath(QStringLiteral("server.conf"));
    const bool nginx = m_kind == Kind::Nginx;
    if (m_port == 0
        || !writeText(configuration, nginx ? nginxConfiguration() : apacheConfiguration()))
        return false;
    // Workers may run as another user than the test (nobody, when it is root).
    QFile::setPermissions(m_site, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                          | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                          | QFileDevice::ExeOther);
    if (nginx)
        m_process.start(QStringLiteral("/usr/sbin/nginx"),
                        {"-p", m_dir.path(), "-e", m_dir.filePath("error.log"), "-c", configuration,
                         "-g", "daemon off;"});
    else
        m_process.start(QStringLiteral("/usr/sbin/apache2"), {"-f", configuration, "-DFOREGROUND"});
    return QTest::qWaitFor(
                   [this] { return accepts() || m_process.state() == QProcess::NotRunning; }, 20000)
           && accepts();
}

bool WebServer::accepts() const
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_port);
    return socket.waitForConnected(1000);
}

QByteArray WebServer::log() const
{
    QByteArray text;
    for (const QString name : {"error.log", "output.log"}) {
        QFile file(m_dir.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            text += file.readAll();
    }
    return text;
}

// Each line of the access log counts the connection's requests: nginx from 1, Apache from 0.
int WebServer::keptRequests() const
{
    QFile file(m_dir.filePath(QStringLiteral("access.log")));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const int first = m_kind == Kind::Nginx ? 1 : 0;
    const QList<QByteArray> lines = file.readAll().split('\n');
    return int(std::count_if(lines.begin(), lines.end(),
                             [first](const QByteArray &line) { return line.toInt() > first; }));
}

QList<QStringList> WebServer::redirects() const
{
    QFile file(m_site + QLatin1Char('/') + QLatin1String(SiteExport::RedirectsFile));
    QList<QStringList> pairs;
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (!line.isEmpty())
                pairs.append(QString::fromUtf8(line).split(QLatin1Char(' ')));
        }
    }
    return pairs;
}

// The host's folder is the root; a path ending in "/" maps to index.html or,
// with a query, to index@<query>.html.
QString WebServer::nginxConfiguration() const
{
    QString moves;
    for (const QStringList &move : redirects())
        moves += QStringLiteral("location = %1 { return 302 %2; }\n").arg(move[0], move[1]);
    const QString tls = QStringLiteral(" ssl;\nssl_certificate @CERT@;\nssl_certificate_key @KEY@");
    return QStringLiteral(R"(worker_processes 1;
pid nginx.pid;
error_log error.log info;
events { worker_connections 64; }
http {
log_format kept $connection_requests;
access_log access.log kept;
client_body_temp_path body;
proxy_temp_path proxy;
fastcgi_temp_path fastcgi;
uwsgi_temp_path uwsgi;
scgi_temp_path scgi;
types { text/html html; image/jpeg jpg; }
default_type application/octet-stream;
keepalive_requests 2;
keepalive_timeout 1s;
port_in_redirect off;
map $args $query { "" ""; default "@$args"; }
server {
listen 127.0.0.1:@PORT@@TLS@;
root @SITE@/$host;
@MOVES@location ~ /$ { try_files ${uri}index$query.html =404; }
location / { try_files $uri$query =404; }
}
}
)")
            .replace(QStringLiteral("@TLS@"), m_certificate.isEmpty() ? QString() : tls)
            .replace(QStringLiteral("@MOVES@"), moves)
            .replace(QStringLiteral("@PORT@"), QString::number(m_port))
            .replace(QStringLiteral("@SITE@"), m_site)
            .replace(QStringLiteral("@CERT@"), m_certificate)
            .replace(QStringLiteral("@KEY@"), m_key);
}

// The host's folder is the root (mod_vhost_alias); mod_rewrite maps paths
// ending in "/" as for nginx, and mod_alias answers the moves before either.
QString WebServer::apacheConfiguration() const
{
    QStringList modules{"mpm_event", "authz_core", "mime", "alias", "rewrite", "vhost_alias"};
    if (!m_certificate.isEmpty())
        modules += {"socache_shmcb", "ssl"};
    QString text;
    for (const QString &module : modules)
        text += QStringLiteral("LoadModule %1_module /usr/lib/apache2/modules/mod_%1.so\n")
                        .arg(module);
    for (const QStringList &move : redirects())
        text += QStringLiteral("Redirect 302 %1 %2\n").arg(move[0], move[1]);
    if (!m_certificate.isEmpty())
        text += QStringLiteral("SSLEngine on\nSSLCertificateFile %1\nSSLCertificateKeyFile %2\n"
                               "SSLSessionCache shmcb:%3/ssl_scache(512000)\n")
                        .arg(m_certificate, m_key, m_dir.path());
    return text
           + QStringLiteral(R"(ServerRoot @RUN@
ServerName www.photosite.example.com
Listen 127.0.0.1:@PORT@
PidFile @RUN@/apache.pid
DefaultRuntimeDir @RUN@
Mutex file:@RUN@ default
ErrorLog @RUN@/error.log
LogFormat "%k" kept
CustomLog @RUN@/access.log kept
User nobody
Group nogroup
TypesConfig /dev/null
AddType text/html .html
AddType image/jpeg .jpg
KeepAlive On
MaxKeepAliveRequests 3
KeepAliveTimeout 1
UseCanonicalName Off
VirtualDocumentRoot @SITE@/%0
<Directory @SITE@>
Require all granted
</Directory>
RewriteEngine On
RewriteCond %{QUERY_STRING} ^$
RewriteCond %{HTTP_HOST} ^([^:]+)
RewriteRule ^(.*/)$ @SITE@/%1$1index.html [L]
RewriteCond %{QUERY_STRING} ^(.+)$
RewriteCond %{HTTP_HOST}#%1 ^([^:#]+)(:[0-9]+)?#(.*)$
RewriteRule ^(.*/)$ @SITE@/%1$1index@%3.html [L]
)")
                     .replace(QStringLiteral("@RUN@"), m_dir.path())
                     .replace(QStringLiteral("@PORT@"), QString::number(m_port))
                     .replace(QStringLiteral("@SITE@"), m_site);
}

}
