#pragma once

#include "net/connectiontarget.h"
#include "net/socketstate.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

namespace mosscatch {

// One TCP client connection, plain or under TLS, as the harvest engine uses it. Events arrive on
// the thread the object lives on; destroying it drops the connection without
// any event.
class Connection : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~Connection() override = default;

    // Takes effect at once: state() becomes Closed and no event follows.
    virtual void close() = 0;
    // Returns at once; connected() follows once the connection (and its TLS
    // handshake) is up, otherwise openFailed() or untrusted(), with state() at Error.
    virtual void connectTo(const ConnectionTarget &target) = 0;
    virtual void sendData(const QByteArray &bytes) = 0;
    // Replaces the contents of into with every byte received and not yet
    // fetched (each byte exactly once, in order), reusing its capacity.
    virtual void getData(QByteArray &into) = 0;
    virtual SocketState state() const = 0;
    // Why the last attempt failed or its connection was cut, in words; empty
    // while nothing went wrong.
    virtual QString failure() const { return {}; }
    // Where requests go to an HTTP proxy that forwards them: what the path
    // follows ("http://host[:port]", the absolute form) and the proxy's
    // credentials for a Proxy-Authorization field; both empty otherwise.
    virtual QByteArray requestPrefix() const { return {}; }
    virtual QByteArray proxyAuthorization() const { return {}; }

signals:
    void connected();
    void dataArrival();
    // The peer ended the connection; every byte it sent has been announced by
    // dataArrival before this. state() reads Closing until close().
    void peerClosed();
    // The peer's certificate is not trusted; the attempt has ended (state
    // Error), and trying again cannot help. The reason names the host.
    void untrusted(const QString &reason);
    // The connection could not be opened (refused, no such host, no route, a
    // TLS handshake that failed for another reason than trust); state() reads
    // Error and failure() says why.
    void openFailed(const QString &reason);
};

using ConnectionFactory = std::function<Connection *(QObject *parent)>;

}
