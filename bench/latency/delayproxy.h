#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

#include <deque>

class QTcpSocket;

namespace mosscatch {

// A TCP proxy on loopback that makes the site look far away: every chunk is
// delivered half a round trip after it arrived, and what the client sends in
// a connection's first round trip is held until it has passed, as a TCP
// handshake would hold it. This kernel
// has no netem, so the bench brings its own delay.
class DelayProxy : public QObject
{
    Q_OBJECT

public:
    DelayProxy(quint16 upstreamPort, int roundTripMs, QObject *parent = nullptr);
    ~DelayProxy() override;

    // 0 when no port could be had.
    quint16 port() const { return m_server.serverPort(); }

private:
    void accept();

    QTcpServer m_server;
    quint16 m_upstreamPort;
    int m_roundTripMs;
};

// One direction of a proxied connection: bytes read from one socket wait out
// their delay, in order, then go to the other.
class DelayedPipe : public QObject
{
    Q_OBJECT

public:
    DelayedPipe(QTcpSocket *from, QTcpSocket *to, int delayMs, int handshakeMs,
                QObject *parent = nullptr);

private:
    struct Piece
    {
        qint64 due;
        QByteArray bytes;
    };

    void read();
    void deliver();
    void schedule();

    QTcpSocket *m_from;
    QTcpSocket *m_to;
    int m_delayMs;
    // From the pipe's start.
    qint64 m_handshakeEndMs;
    bool m_closeAfterDelivery = false;
    QElapsedTimer m_clock;
    QTimer m_timer;
    std::deque<Piece> m_pieces;
};

}
