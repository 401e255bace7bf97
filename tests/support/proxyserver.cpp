#include "proxyserver.h"

#include <QCryptographicHash>
#include <QUrl>

namespace mosscatch {

ProxyServer::ProxyServer(Kind kind, quint16 sitePort, const QString &user, const QString &password)
    : m_kind(kind), m_sitePort(sitePort), m_user(user), m_password(password)
{
}

bool ProxyServer::start()
{
    if (m_kind == Kind::Microsocks) {
        QStringList arguments{"-i", "127.0.0.1", "-p", QString::number(port())};
        if (!m_user.isEmpty())
            arguments += {"-u", m_user, "-P", m_password};
        return launch(QStringLiteral("/usr/bin/microsocks"), arguments);
    }
    // squid's basic_ncsa_auth takes a password's bare MD5 digest among its forms.
    const QByteArray digest
            = QCryptographicHash::hash(m_password.toUtf8(), QCryptographicHash::Md5).toHex();
    const QMap<QString, QString> values{{"SITE", QString::number(m_sitePort)},
                                        {"AUTH", m_user.isEmpty() ? "false" : "true"}};
    return writeFile(QStringLiteral("passwords"), m_user.toUtf8() + ':' + digest + '\n')
           && writeConfiguration(QStringLiteral("squid.conf"), values)
           && writeConfiguration(QStringLiteral("tunnel-to-site"), values)
           && launch(QStringLiteral("/usr/sbin/squid"), {"-N", "-f", path("squid.conf")});
}

QString ProxyServer::url() const
{
    QString credentials;
    if (!m_user.isEmpty())
        credentials = QString::fromLatin1(QUrl::toPercentEncoding(m_user) + ':'
                                          + QUrl::toPercentEncoding(m_password) + '@');
    return (m_kind == Kind::Squid ? QStringLiteral("http://") : QStringLiteral("socks5://"))
           + credentials + QStringLiteral("127.0.0.1:") + QString::number(port());
}

// Lines of squid's access log: time, elapsed, client, code/status, bytes, method, URL, user, …
QByteArrayList ProxyServer::requests() const
{
    QByteArrayList requests;
    for (const QByteArray &line : lines(QStringLiteral("access.log"))) {
        const QByteArrayList fields = line.simplified().split(' ');
        if (fields.size() > 6 && fields[5] != "-")
            requests.append(fields[5] + ' ' + fields[6]);
    }
    return requests;
}

// squid logs a CONNECT, microsocks prints each connection it makes.
int ProxyServer::tunnels() const
{
    const bool squid = m_kind == Kind::Squid;
    const QByteArrayList all = squid ? requests() : lines(QStringLiteral("output.log"));
    return int(std::count_if(all.begin(), all.end(), [squid](const QByteArray &line) {
        return squid ? line.startsWith("CONNECT ") : line.contains(": connected to ");
    }));
}

}
