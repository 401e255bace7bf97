#pragma once

#include "photosite/requestrecord.h"
#include "photosite/responseshaper.h"

#include <QObject>
#include <QTimer>

class QTcpSocket;

namespace mosscatch {

// One accepted client: reads a request, asks the site for the answer and
// writes it out as the delivery says. Then it closes, as HTTP/1.0 does, unless
// the delivery keeps the connection for the next request; bytes that arrive
// while an answer is under way wait for it. A client gets two minutes for its
// first request; a kept connection closes after half a minute of quiet that
// follows an answer: longer than the harvester itself keeps an idle
// connection, short enough that connections nobody uses do not pile up.
class SiteConnection : public QObject
{
    Q_OBJECT

public:
    enum class State { ReadingRequest, Answering, Stalled, Closing };

    explicit SiteConnection(QTcpSocket *socket, QObject *parent = nullptr);

    void deliver(const Delivery &delivery);
    State state() const { return m_state; }

    // The request head in raw; the method stays empty when its request line
    // is not "METHOD target HTTP/x".
    static RequestRecord parse(const QByteArray &raw);
    static qsizetype requestEnd(const QByteArray &buffer);

signals:
    void requestArrived(mosscatch::SiteConnection *connection,
                        const mosscatch::RequestRecord &record);

private:
    void readRequest();
    void answerSent();
    void writeNextPiece();
    void close();
    void reset();
    void cut();

    static constexpr qsizetype MaximumRequest = 64 * 1024;
    static constexpr int IdleLimitMs = 120000;
    static constexpr int KeptIdleLimitMs = 30000;
    static constexpr qint64 EndlessBacklog = 256 * 1024;

    QTcpSocket *const m_socket;
    QByteArray m_buffer;
    State m_state = State::ReadingRequest;
    Delivery m_delivery;
    qsizetype m_sent = 0;
    int m_requests = 0;
    QTimer m_pacer;
    QTimer m_idle;
};

}
