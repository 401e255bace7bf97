#include "proxyserver.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUrl>

namespace mosscatch {

namespace {

bool writeText(const QString &name, const QString &text,
               QFileDevice::Permissions permissions
               = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther)
{
    QFile file(name);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0 && file.flush()
           && file.setPermissions(permissions);
}

bool accepts(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(1000);
}

QByteArrayList logLines(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QByteArrayList();
}

}

ProxyServer::ProxyServer(Kind kind, quint16 sitePort, const QString &user, const QString &password)
    : m_kind(kind), m_sitePort(sitePort), m_user(user), m_password(password)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(path(QStringLiteral("output.log")));
    // Run as root, squid works as its own user, which must reach its folder.
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                                | QFileDevice::WriteOther | QFileDevice::ExeOther);
}

bool ProxyServer::start()
{
    const bool squid = m_kind == Kind::Squid;
    const QString program
            = squid ? QStringLiteral("/usr/sbin/squid") : QStringLiteral("/usr/bin/microsocks");
    if (!QFile::exists(program)) {
        m_problem = program + QStringLiteral(" is missing: scripts/install-deps installs it");
        return false;
    }
    m_port = ServerProcess::freePort();
    if (m_port == 0 || (squid && !writeSquidFiles())) {
        m_problem = QStringLiteral("no free port or no configuration written");
        return false;
    }
    QStringList arguments;
    if (squid)
        arguments = {"-N", "-f", path("squid.conf")};
    else
        arguments = {"-i", "127.0.0.1", "-p", QString::number(m_port)};
    if (!squid && !m_user.isEmpty())
        arguments += {"-u", m_user, "-P", m_password};
    m_process.start(program, arguments);
    const bool up = QTest::qWaitFor(
                            [this] {
                                return accepts(m_port) || m_process.state() == QProcess::NotRunning;
                            },
                            20000)
                    && accepts(m_port);
    if (!up)
        m_problem = QStringLiteral("%1 did not start:\n%2").arg(program, QString::fromUtf8(log()));
    return up;
}

QString ProxyServer::url(const QString &scheme) const
{
    QString credentials;
    if (!m_user.isEmpty())
        credentials = QString::fromLatin1(QUrl::toPercentEncoding(m_user) + ':'
                                          + QUrl::toPercentEncoding(m_password) + '@');
    const QString own = m_kind == Kind::Squid ? QStringLiteral("http") : QStringLiteral("socks5");
    return (scheme.isEmpty() ? own : scheme) + QStringLiteral("://") + credentials
           + QStringLiteral("127.0.0.1:") + QString::number(m_port);
}

// Lines of squid's access log: time, elapsed, client, code/status, bytes, method, URL, user, …
QByteArrayList ProxyServer::requests() const
{
    QByteArrayList requests;
    for (const QByteArray &line : logLines(path(QStringLiteral("access.log")))) {
        const QByteArrayList fields = line.simplified().split(' ');
        if (fields.size() > 6 && fields[5] != "-")
            requests.append(fields[5] + ' ' + fields[6]);
    }
    return requests;
}

int ProxyServer::tunnels() const
{
    if (m_kind == Kind::Squid) {
        const QByteArrayList all = requests();
        return int(std::count_if(all.begin(), all.end(), [](const QByteArray &request) {
            return request.startsWith("CONNECT ");
        }));
    }
    const QByteArrayList lines = logLines(path(QStringLiteral("output.log")));
    return int(std::count_if(lines.begin(), lines.end(), [](const QByteArray &line) {
        return line.contains(": connected to ");
    }));
}

QByteArray ProxyServer::log() const
{
    QByteArray text;
    for (const QString name : {"cache.log", "output.log", "access.log"}) {
        QFile file(path(name));
        if (file.open(QIODevice::ReadOnly))
            text += name.toUtf8() + ":\n" + file.readAll();
    }
    return text;
}

// Every tunnel is turned to the site's port by a rewriter that answers each
// CONNECT alike; plain requests go to the site as a peer that is their origin.
bool ProxyServer::writeSquidFiles() const
{
    QString access = QStringLiteral("http_access allow localhost\n");
    if (!m_user.isEmpty()) {
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"), {"passwd", "-apr1", m_password});
        if (!openssl.waitForFinished(20000) || openssl.exitCode() != 0
            || !writeText(path("passwords"),
                          m_user + QLatin1Char(':') + QString::fromLatin1(openssl.readAll())))
            return false;
        access = QStringLiteral("auth_param basic program /usr/lib/squid/basic_ncsa_auth "
                                "@DIR@/passwords\n"
                                "acl known proxy_auth REQUIRED\n"
                                "http_access deny !known\n")
                 + access;
    }
    const QString tunnel = QStringLiteral("#!/bin/sh\n"
                                          "while read -r request; do\n"
                                          "    echo \"OK rewrite-url=127.0.0.1:@SITE@\"\n"
                                          "done\n");
    const QString configuration = QStringLiteral(R"(http_port 127.0.0.1:@PORT@
pid_filename @DIR@/squid.pid
cache_log @DIR@/cache.log
access_log stdio:@DIR@/access.log
cache_store_log none
coredump_dir @DIR@
cache deny all
pinger_enable off
hosts_file none
dns_nameservers 127.0.0.1
strip_query_terms off
shutdown_lifetime 0 seconds
acl CONNECT method CONNECT
acl site_ports port 80 443 @SITE@
cache_peer 127.0.0.1 parent @SITE@ 0 no-query no-digest originserver name=site
never_direct allow !CONNECT
url_rewrite_program @DIR@/tunnel-to-site
url_rewrite_children 1 startup=1 idle=1 concurrency=0
url_rewrite_access allow CONNECT
url_rewrite_access deny all
http_access deny !site_ports
@ACCESS@http_access deny all
)");
    const auto filled = [this](QString text) {
        return text.replace(QStringLiteral("@PORT@"), QString::number(m_port))
                .replace(QStringLiteral("@SITE@"), QString::number(m_sitePort))
                .replace(QStringLiteral("@DIR@"), m_dir.path());
    };
    return writeText(path("squid.conf"),
                     filled(QString(configuration).replace(QStringLiteral("@ACCESS@"), access)))
           && writeText(path("tunnel-to-site"), filled(tunnel),
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                | QFileDevice::ReadOther | QFileDevice::ExeOther);
}

}
