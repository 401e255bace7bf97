#pragma once

#include "engine/transfercontext.h"
#include "engine/transferrecord.h"
#include "engine/transferroute.h"
#include "engine/writeerror.h"

#include <QMetaObject>
#include <QObject>

#include <optional>

namespace mosscatch {

class Connection;

// One address, from the dispatch to its end: sends the request on the
// connection the pool gives it, waits for the whole response header, then
// follows a redirect or reads the body (by its announced length, by chunks or
// up to the close), writes an image to its file or hands a complete page to
// the scraper. Each attempt ends with one ended() signal saying what became
// of it; only the final outcomes end the transfer. Where the arrivals of a
// response are cut never changes what becomes of it.
class Transfer : public QObject
{
    Q_OBJECT

public:
    enum class Outcome {
        Saved, // the image is under its name: savedPath()
        PageTaken, // the page went to the scraper
        GivenUp, // record().failure says why, where a connection told
        CertificateRejected, // given up at once: record().failure says why
        AlreadyOnDisk, // another image took the name first; savedPath() names it
        NameRefused, // the file system refuses the image's name: record().failure says why
        NotWritten, // the image could not be written: writeError()
        Retry, // another attempt is wanted, counted
        Redirected, // another attempt is wanted, at the new address
        Resend, // a kept connection closed under the request: again, uncounted
    };
    static constexpr int MaxRetries = 3;

    Transfer(const QByteArray &address, const TransferRoute &route, TransferContext &context,
             QObject *parent = nullptr);

    const TransferRecord &record() const { return m_record; }
    QString savedPath() const { return m_savedPath; }
    WriteError writeError() const { return m_writeError; }
    // The final response left its connection ready for the next request.
    bool leavesConnectionOpen() const;
    static bool isFinal(Outcome outcome);

    // Starts an attempt on connection: the request goes out at once on a
    // connection kept from an earlier transfer, else once it is up.
    void attempt(Connection *connection, bool reused);
    // The next attempt waits for the host's hold to run out, with no connection.
    void waitForHold();
    // Ends the transfer at once with a final outcome (GivenUp or
    // CertificateRejected) and its reason, without a request: its host is down.
    void refuse(Outcome outcome, const QString &reason);
    // Ends the transfer without an outcome (the keyword ended): its
    // unfinished image file goes.
    void abandon();

public slots:
    // The stall watch: an attempt that brought less than minimumBytes since
    // the previous tick fails; one begun since then is judged from the next.
    void stallWatchTick(double minimumBytes);

signals:
    void pageFetched(const QByteArray &url);
    void ended(mosscatch::Transfer *transfer, mosscatch::Transfer::Outcome outcome);

private:
    enum class Step { Next, Finished, Failed };
    struct Header;

    void listenTo(Connection *connection);
    void detach();
    void end(Outcome outcome);
    void sendRequest();
    QByteArray request() const;
    void startAttempt();
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
    Connection *m_connection = nullptr;
    QList<QMetaObject::Connection> m_listening;
    QString m_savedPath;
    WriteError m_writeError;
    // The body reached its stated end: its length, or the last chunk.
    bool m_bodyEnded = false;
    // A redirect's target, while its body is still being read.
    std::optional<QByteArray> m_redirect;
};

}
