#include "photosite/photosite.h"

#include "photosite/siteconnection.h"

#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>

namespace mosscatch {

PhotoSite::PhotoSite(QObject *parent)
    : QObject(parent), m_server(new QTcpServer(this)), m_router(m_catalog), m_shaper(m_router)
{
    m_server->setMaxPendingConnections(128);
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this, &PhotoSite::acceptConnections);
}

void PhotoSite::serveTls(const QSslConfiguration &configuration)
{
    auto *server = new QSslServer(this);
    server->setSslConfiguration(configuration);
    server->setMaxPendingConnections(128);
    connect(server, &QSslServer::startedEncryptionHandshake, this, [this] { ++m_handshakes; });
    connect(server, &QTcpServer::pendingConnectionAvailable, this, &PhotoSite::acceptConnections);
    delete m_server;
    m_server = server;
    m_catalog.setSecure(true);
}

bool PhotoSite::listen(const QHostAddress &address, quint16 port)
{
    return m_server->listen(address, port);
}

quint16 PhotoSite::serverPort() const
{
    return m_server->serverPort();
}

void PhotoSite::addFault(const FaultRule &rule)
{
    m_faults.append(rule);
}

void PhotoSite::clearFaults()
{
    m_faults.clear();
}

void PhotoSite::acceptConnections()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        ++m_connections;
        auto *connection = new SiteConnection(socket, this);
        connect(connection, &SiteConnection::requestArrived, this, &PhotoSite::answer);
    }
}

void PhotoSite::answer(SiteConnection *connection, RequestRecord record)
{
    const Delivery delivery = deliveryFor(record);
    log(record);
    connection->deliver(delivery);
}

void PhotoSite::log(const RequestRecord &record)
{
    if (m_requests.size() >= RequestLogLimit)
        m_requests.removeFirst();
    m_requests.append(record);
}

Delivery PhotoSite::deliveryFor(RequestRecord &record)
{
    if (record.method.isEmpty())
        return m_shaper.normal(m_router.error(400, "Bad Request", record.path));
    if (record.method != "GET" && record.method != "HEAD")
        return m_shaper.normal(m_router.error(501, "Not Implemented", record.path));
    // curl writes the port into Host; the content is the same on every port.
    QByteArray host = record.host.isEmpty() ? m_catalog.site().siteHost : record.host;
    if (const qsizetype colon = host.indexOf(':'); colon >= 0)
        host.truncate(colon);
    SiteResponse response = m_router.route(host, record.path);
    speakAsAsked(response, record);
    if (record.method == "HEAD")
        return {Delivery::Mode::Whole, response.header(), {}, 0, 0, response.keepsConnection()};
    for (FaultRule &rule : m_faults) {
        if (!rule.matches(host, record.path, record.onConnection > 1))
            continue;
        if (rule.times > 0)
            --rule.times;
        record.faulted = true;
        return m_shaper.faulted(response, rule, record.path);
    }
    return m_shaper.normal(response);
}

// HTTP/1.0 requests without keep-alive get the answer they always got.
void PhotoSite::speakAsAsked(SiteResponse &response, const RequestRecord &record)
{
    if (record.version != "HTTP/1.1" && !record.keepAlive)
        return;
    response.version = "HTTP/1.1";
    if (!record.keepAlive)
        response.setConnection("close");
    else
        response.setConnection(record.version == "HTTP/1.1" ? QByteArray() : "keep-alive");
}

}
