#include "photosite/siteconnection.h"

#include <QTcpSocket>

#include <sys/socket.h>

namespace mosscatch {

SiteConnection::SiteConnection(QTcpSocket *socket, QObject *parent)
    : QObject(parent), m_socket(socket)
{
    m_socket->setParent(this);
    m_idle.setSingleShot(true);
    m_idle.setInterval(IdleLimitMs);
    connect(&m_idle, &QTimer::timeout, this, &SiteConnection::close);
    connect(&m_pacer, &QTimer::timeout, this, &SiteConnection::writeNextPiece);
    connect(m_socket, &QTcpSocket::readyRead, this, &SiteConnection::readRequest);
    connect(m_socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this] {
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            deleteLater();
    });
    m_idle.start();
    QMetaObject::invokeMethod(this, &SiteConnection::readRequest, Qt::QueuedConnection);
}

void SiteConnection::deliver(const Delivery &delivery)
{
    m_delivery = delivery;
    m_sent = 0;
    switch (delivery.mode) {
    case Delivery::Mode::Stall:
        m_state = State::Stalled;
        return;
    case Delivery::Mode::Whole:
        m_socket->write(delivery.first);
        answerSent();
        return;
    case Delivery::Mode::Reset:
    case Delivery::Mode::Cut:
        m_state = State::Answering;
        m_socket->write(delivery.first);
        m_socket->flush();
        QTimer::singleShot(delivery.intervalMs, this,
                           delivery.mode == Delivery::Mode::Reset ? &SiteConnection::reset
                                                                  : &SiteConnection::cut);
        return;
    case Delivery::Mode::Paced:
    case Delivery::Mode::Endless:
    case Delivery::Mode::PacedFirst:
        // Small pieces go out one by one rather than gathered by the kernel.
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_state = State::Answering;
        if (delivery.mode != Delivery::Mode::PacedFirst)
            m_socket->write(delivery.first);
        m_socket->flush();
        m_pacer.start(delivery.intervalMs);
        return;
    }
}

RequestRecord SiteConnection::parse(const QByteArray &raw)
{
    RequestRecord record;
    record.raw = raw;
    record.received = QDateTime::currentDateTime();
    const QList<QByteArray> lines = raw.split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    if (requestLine.size() != 3 || !requestLine.at(2).startsWith("HTTP/"))
        return record;
    record.method = requestLine.at(0);
    record.target = requestLine.at(1);
    record.path = record.target;
    record.version = requestLine.at(2);
    QList<QByteArray> options;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const QByteArray lower = line.toLower();
        if (lower.startsWith("host:"))
            record.host = line.mid(5).trimmed();
        else if (lower.startsWith("connection:"))
            options += lower.mid(11).split(',');
    }
    for (QByteArray &option : options)
        option = option.trimmed();
    record.keepAlive = !options.contains("close")
                       && (record.version == "HTTP/1.1" || options.contains("keep-alive"));
    if (record.target.startsWith("http://")) {
        const QByteArray rest = record.target.mid(7);
        const qsizetype slash = rest.indexOf('/');
        record.host = slash < 0 ? rest : rest.left(slash);
        record.path = slash < 0 ? QByteArray("/") : rest.mid(slash);
    }
    return record;
}

qsizetype SiteConnection::requestEnd(const QByteArray &buffer)
{
    const qsizetype bare = buffer.indexOf("\n\n");
    const qsizetype crlf = buffer.indexOf("\n\r\n");
    if (bare >= 0 && (crlf < 0 || bare < crlf))
        return bare + 2;
    return crlf >= 0 ? crlf + 3 : -1;
}

void SiteConnection::readRequest()
{
    const QByteArray arrived = m_socket->readAll();
    if (m_state == State::Closing)
        return;
    m_buffer += arrived;
    if (m_state != State::ReadingRequest) {
        // Past the bound no request could be read from them; the answer goes on.
        m_buffer.truncate(MaximumRequest + 1);
        return;
    }
    const qsizetype end = requestEnd(m_buffer);
    if (end < 0) {
        if (m_buffer.size() > MaximumRequest)
            close();
        return;
    }
    m_idle.stop();
    m_state = State::Answering;
    // readAll() leaves a socket-sized block behind a short request; the site
    // keeps its log of requests, so it gets an exact copy of the head.
    const QByteArray head(m_buffer.constData(), end);
    m_buffer = m_buffer.mid(end);
    RequestRecord record = parse(head);
    record.onConnection = ++m_requests;
    emit requestArrived(this, record);
}

void SiteConnection::answerSent()
{
    if (!m_delivery.keepsOpen) {
        close();
        return;
    }
    m_state = State::ReadingRequest;
    m_idle.start(KeptIdleLimitMs);
    // The next request may have come while the answer was under way.
    QMetaObject::invokeMethod(this, &SiteConnection::readRequest, Qt::QueuedConnection);
}

void SiteConnection::writeNextPiece()
{
    if (m_delivery.mode == Delivery::Mode::Endless) {
        if (m_socket->bytesToWrite() < EndlessBacklog)
            m_socket->write(m_delivery.rest);
        return;
    }
    const bool pacedFirst = m_delivery.mode == Delivery::Mode::PacedFirst;
    const QByteArray &paced = pacedFirst ? m_delivery.first : m_delivery.rest;
    m_socket->write(paced.mid(m_sent, m_delivery.chunkBytes));
    m_socket->flush();
    m_sent += m_delivery.chunkBytes;
    if (m_sent >= paced.size()) {
        m_pacer.stop();
        if (pacedFirst)
            m_socket->write(m_delivery.rest);
        answerSent();
    }
}

// Ends the connection with a reset (RST) rather than an orderly close.
void SiteConnection::reset()
{
    const linger abortive{1, 0};
    ::setsockopt(int(m_socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive,
                 sizeof abortive);
    m_state = State::Closing;
    m_pacer.stop();
    m_idle.stop();
    m_socket->abort();
}

// Ends the TCP connection under any TLS session, so no close_notify is sent.
void SiteConnection::cut()
{
    m_state = State::Closing;
    m_pacer.stop();
    m_idle.stop();
    ::shutdown(int(m_socket->socketDescriptor()), SHUT_RDWR);
    m_socket->abort();
}

void SiteConnection::close()
{
    m_state = State::Closing;
    m_pacer.stop();
    m_idle.stop();
    m_socket->disconnectFromHost();
}

}
