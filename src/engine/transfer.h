#pragma once

#include "engine/transfercontext.h"
#include "engine/transferrecord.h"
#include "engine/transferresult.h"
#include "engine/transferroute.h"

#include <QObject>
#include <QPointer>

namespace mosscatch {

class Connection;

// One address, from its dispatch to its end, with every attempt it takes:
// borrows a connection from the cache (or waits out its host's hold first),
// sends the request, waits for the whole response header, then follows a
// redirect or reads the body (by its announced length, by chunks or up to the
// close), writes an image to its file or hands a complete page to the sink,
// and gives the connection back. A failed attempt is tried again on a fresh
// connection, at most MaxRetries times; a redirect goes on at its new
// address. finished() says once what became of the address. Where the
// arrivals of a response are cut never changes what becomes of it.
class Transfer : public QObject
{
    Q_OBJECT

public:
    using Outcome = TransferResult::Outcome;
    static constexpr int MaxRetries = 3;

    Transfer(const QByteArray &address, const TransferRoute &route, TransferContext &context,
             QObject *parent = nullptr);

    const TransferRecord &record() const { return m_record; }
    // The connection of the current attempt; nullptr while there is none.
    const Connection *connection() const { return m_connection; }
    // The connection the transfer used last, while it exists.
    const Connection *lastConnection() const { return m_lastConnection; }
    // The next attempt waits for the host's hold to run out, with no connection.
    bool isHeld() const { return m_phase == Phase::Held; }

    void start();
    // Starts the next attempt once the host's hold has run out.
    void resumeIfHoldOver();
    // Ends the transfer without an outcome (the keyword ended): its
    // unfinished image file goes.
    void abandon();

public slots:
    // The stall watch: an attempt that brought less than minimumBytes since
    // the previous tick fails; one begun since then is judged from the next.
    void stallWatchTick(double minimumBytes);

signals:
    void pageFetched(const QByteArray &url);
    // An attempt failed and another follows.
    void retried();
    void finished(const mosscatch::TransferResult &result);

private:
    enum class Phase { Connecting, Exchanging, Held, Finished };
    enum class Step { Next, Finished, Failed };
    struct Header;

    void enter(Phase phase);
    void nextAttempt(bool mayReuse);
    void listenTo(Connection *connection);
    // Whether the connection was kept for another request.
    bool giveBackConnection(bool orderly);
    void finish(Outcome outcome);
    void sendRequest();
    QByteArray request() const;
    void onDataArrival();
    void onPeerClosed();
    void onUntrusted(const QString &reason);
    void failAttempt();
    void giveUp(const QString &failure = {});

    Step readHeader();
    Step takeUnheaded();
    qsizetype headerEnd(qsizetype start);
    Step startBody(const Header &header);
    Step followRedirect(const QByteArray &target);
    ConnectionTarget redirectTarget(const QByteArray &target, QByteArray *path) const;
    Step drainRedirect(QByteArrayView bytes);
    Step takeBody(QByteArrayView raw);
    Step takePage(QByteArrayView bytes);
    Step takeImage(QByteArrayView bytes, bool ended);
    Step completeImage();
    Step stopWriting();
    void holdHost(const QByteArray &retryAfter);
    bool isImage() const;
    QString destination() const;

    TransferContext &m_context;
    TransferRecord m_record;
    TransferResult m_result;
    Phase m_phase = Phase::Connecting;
    Connection *m_connection = nullptr;
    QPointer<const Connection> m_lastConnection;
    QList<QMetaObject::Connection> m_listening;
};

}
