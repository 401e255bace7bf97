#pragma once

#include "serverprocess.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace mosscatch {

// nginx or Apache httpd in the foreground on 127.0.0.1, serving a folder that
// SiteExport wrote, with its configuration, logs and run files in a folder of
// its own. A connection serves only a few requests and idles for a second, so
// a harvest meets servers closing kept connections.
class WebServer
{
public:
    enum class Kind { Nginx, Apache };

    // Without a certificate file it speaks plain HTTP.
    WebServer(Kind kind, const QString &siteFolder, const QString &certificateFile = {},
              const QString &keyFile = {});

    // Starts it on a free port and waits until it accepts connections.
    bool start();
    quint16 port() const { return m_port; }
    // The error log with what the server printed.
    QByteArray log() const;
    // Requests it answered on a connection that had carried one before.
    int keptRequests() const;

private:
    QString nginxConfiguration() const;
    QString apacheConfiguration() const;
    // The site's moves as "source target" pairs.
    QList<QStringList> redirects() const;
    bool accepts() const;

    const Kind m_kind;
    const QString m_site;
    const QString m_certificate;
    const QString m_key;
    QTemporaryDir m_dir;
    ServerProcess m_process;
    quint16 m_port = 0;
};

}
