#pragma once

#include "serverprocess.h"

namespace mosscatch {

class TestCertificates;

// nginx or Apache httpd serving a folder that SiteExport wrote, over TLS with
// the trusted certificate when asked. A connection serves only a few requests
// and idles for a second, so a harvest meets servers closing kept connections.
class WebServer : public ServerProcess
{
public:
    enum class Kind { Nginx, Apache };

    WebServer(Kind kind, const QString &siteFolder, const TestCertificates &certificates, bool tls);

    // False, with why in problem(), when it cannot start.
    bool start();
    // Requests it answered on a connection that had carried one before.
    int keptRequests() const;

private:
    const Kind m_kind;
    const bool m_tls;
    const QString m_site;
    const QString m_certificate;
    const QString m_key;
};

}
