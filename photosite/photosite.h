#pragma once

#include "photosite/faultrule.h"
#include "photosite/photocatalog.h"
#include "photosite/requestrecord.h"
#include "photosite/responseshaper.h"
#include "photosite/siterouter.h"

#include <QHostAddress>
#include <QList>
#include <QObject>

class QSslConfiguration;
class QTcpServer;

namespace mosscatch {

class SiteConnection;

// The photo site as an HTTP/1.1 server that answers HTTP/1.0 requests as an
// HTTP/1.0 server would, one per connection. One server stands for every host
// name; the Host field (or an absolute target) only matters to the image
// bytes and to wildcard fault rules.
class PhotoSite : public QObject
{
    Q_OBJECT

public:
    explicit PhotoSite(QObject *parent = nullptr);

    // From now on the site speaks TLS with this certificate and key, and its
    // pages give image addresses with "https://"; before listen().
    void serveTls(const QSslConfiguration &configuration);
    bool listen(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 0);
    // TLS handshakes begun since start-up.
    int handshakes() const { return m_handshakes; }
    // Connections accepted since start-up (after their handshake, with TLS).
    int connections() const { return m_connections; }
    quint16 serverPort() const;

    PhotoCatalog &catalog() { return m_catalog; }

    void addFault(const FaultRule &rule);
    void clearFaults();

    // The most recent requests, oldest first; a long run forgets the rest.
    QList<RequestRecord> requests() const { return m_requests; }
    void clearRequests() { m_requests.clear(); }

    // More than any test run sends; a few megabytes at most.
    static constexpr qsizetype RequestLogLimit = 4096;

private:
    void acceptConnections();
    void answer(SiteConnection *connection, RequestRecord record);
    Delivery deliveryFor(RequestRecord &record);
    void log(const RequestRecord &record);
    static void speakAsAsked(SiteResponse &response, const RequestRecord &record);

    QTcpServer *m_server;
    int m_handshakes = 0;
    int m_connections = 0;
    PhotoCatalog m_catalog;
    const SiteRouter m_router;
    const ResponseShaper m_shaper;
    QList<FaultRule> m_faults;
    QList<RequestRecord> m_requests;
};

}
