#include "engine/transfer.h"

#include "common/text.h"
#include "engine/addressqueue.h"
#include "engine/retryafter.h"
#include "net/connection.h"

#include <QFileInfo>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <memory>
#include <optional>
#include <utility>

namespace mosscatch {

namespace {

const QByteArray pageEnd = QByteArrayLiteral("</html>");
const QByteArray jpegStart = QByteArrayLiteral("\xFF\xD8");
const QByteArray jpegEnd = QByteArrayLiteral("\xFF\xD9");

constexpr qint64 MinimumLength = 100;
constexpr int MaxRedirects = 10;
// Whatever a server sends, what is held for one transfer stays bounded.
constexpr qsizetype MaxHeader = 64 * 1024;
constexpr qsizetype MaxPage = 16 * 1024 * 1024;
constexpr qint64 MaxImage = 512 * 1024 * 1024;

bool isBlank(char c)
{
    return c == '\r' || c == '\n' || c == ' ' || c == '\t';
}

// Whether the bytes from start begin with "http" in any case: nullopt while
// too few have arrived to tell.
std::optional<bool> startsWithStatusLine(const QByteArray &data, qsizetype start)
{
    static const char http[] = "http";
    const qsizetype n = std::min<qsizetype>(4, data.size() - start);
    for (qsizetype i = 0; i < n; ++i) {
        if ((data[start + i] | 0x20) != http[i])
            return false;
    }
    return n == 4 ? std::optional<bool>(true) : std::nullopt;
}

bool isTransient(int status)
{
    return status == 408 || status == 429 || (status >= 500 && status < 600);
}

// The statuses by which a server says it wants fewer requests for a while.
bool asksForAWait(int status)
{
    return status == 429 || status == 503;
}

// "scheme://" opens an absolute address; anything else is relative to the one it came from.
bool hasScheme(const QByteArray &target)
{
    const qsizetype separator = target.indexOf("://");
    return separator > 0 && std::all_of(target.begin(), target.begin() + separator, [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-'
                      || c == '.';
           });
}

QByteArray withoutQuery(const QByteArray &path)
{
    const qsizetype query = path.indexOf('?');
    return query < 0 ? path : path.left(query);
}

bool hasToken(const QByteArray &list, const QByteArray &token)
{
    const QList<QByteArray> tokens = list.split(',');
    return std::any_of(tokens.begin(), tokens.end(),
                       [&](const QByteArray &entry) { return entry.trimmed() == token; });
}

}

// Field names are read in any case, their values without the blanks around them.
struct Transfer::Header
{
    int status = 0;
    std::optional<QByteArray> location;
    std::optional<qint64> length;
    bool conflictingLengths = false;
    bool unreadable = false; // a content or transfer coding we cannot undo
    bool chunked = false;
    QByteArray retryAfter;
    // Whether the server keeps the connection open after this response.
    bool keepsOpen = false;

    explicit Header(const QByteArray &text)
    {
        const QList<QByteArray> lines = text.split('\n');
        const QByteArray statusLine = lines.value(0).trimmed();
        const qsizetype space = statusLine.indexOf(' ');
        status = space < 0 ? 0 : int(leadingNumber(statusLine.mid(space + 1, 4)));
        keepsOpen = statusLine.left(space).toLower() == "http/1.1";
        for (qsizetype i = 1; i < lines.size(); ++i) {
            QByteArray line = lines.at(i);
            if (line.endsWith('\r'))
                line.chop(1);
            const qsizetype colon = line.indexOf(':');
            // A line folded onto the one before is no field of its own.
            if (colon < 0 || line.startsWith(' ') || line.startsWith('\t'))
                continue;
            readField(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
        }
    }

    // An interim answer (100 Continue, 103 Early Hints) comes before the real one.
    bool isInterim() const { return status >= 100 && status < 200 && status != 101; }

    void readField(const QByteArray &name, const QByteArray &value)
    {
        if (name == "location" && !location)
            location = value;
        else if (name == "content-length")
            readLength(value);
        else if (name == "content-encoding")
            unreadable = unreadable || value.compare("identity", Qt::CaseInsensitive) != 0;
        else if (name == "transfer-encoding" && value.compare("chunked", Qt::CaseInsensitive) == 0)
            chunked = true;
        else if (name == "transfer-encoding")
            unreadable = unreadable || value.compare("identity", Qt::CaseInsensitive) != 0;
        else if (name == "retry-after")
            retryAfter = value;
        else if (name == "connection")
            readConnection(value.toLower());
    }

    // Only decimal digits make a length; two different ones contradict each other.
    void readLength(const QByteArray &digits)
    {
        if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(), [](char c) {
                return c >= '0' && c <= '9';
            }))
            return;
        const qint64 number
                = digits.size() > 15 ? Q_INT64_C(1000000000000000000) : digits.toLongLong();
        conflictingLengths = conflictingLengths || (length && *length != number);
        length = number;
    }

    // HTTP/1.1 keeps a connection unless told "close"; HTTP/1.0 only when told "keep-alive".
    void readConnection(const QByteArray &tokens)
    {
        if (hasToken(tokens, "close"))
            keepsOpen = false;
        else if (hasToken(tokens, "keep-alive"))
            keepsOpen = true;
    }
};

Transfer::Transfer(const QByteArray &address, const TransferRoute &route, TransferContext &context,
                   QObject *parent)
    : QObject(parent), m_context(context)
{
    m_record.url = address;
    m_record.queuedAs = address;
    m_record.target = route.target;
    m_record.path = route.path;
    m_record.folder = route.folder;
    m_record.fileName = route.fileName;
}

void Transfer::start()
{
    nextAttempt(true);
}

void Transfer::resumeIfHoldOver()
{
    if (m_phase == Phase::Held && !m_context.connections.holds().isHeld(m_record.target.host))
        nextAttempt(false);
}

void Transfer::abandon()
{
    giveBackConnection(false);
    m_record.exchange.image.reset();
    m_phase = Phase::Finished;
}

// Each phase's entry actions; the transfer is in one phase at a time.
void Transfer::enter(Phase phase)
{
    m_phase = phase;
    switch (phase) {
    case Phase::Connecting:
    case Phase::Held:
        // Waits for the connection to come up, or for the hold to run out;
        // every attempt begins with no connection.
        break;
    case Phase::Exchanging:
        sendRequest();
        break;
    case Phase::Finished:
        m_record.exchange.image.reset();
        m_result.url = m_record.url;
        m_result.queuedAs = m_record.queuedAs;
        m_result.host = m_record.target.host;
        m_result.reason = m_record.failure;
        emit finished(m_result);
        break;
    }
}

// An attempt begins blank. Its host being down ends the transfer; a held
// host gets nothing until its hold runs out; an attempt after a failure
// always goes out on a fresh connection.
void Transfer::nextAttempt(bool mayReuse)
{
    ConnectionCache &connections = m_context.connections;
    const QByteArray &host = m_record.target.host;
    if (const std::optional<HostsDown::Entry> down = connections.hostsDown().down(host)) {
        m_record.failure = down->reason;
        finish(down->untrusted ? Outcome::CertificateRejected : Outcome::GivenUp);
        return;
    }
    m_record.exchange = {};
    m_record.watched = false;
    if (connections.holds().isHeld(host)) {
        enter(Phase::Held);
        return;
    }
    listenTo(connections.acquire(m_record.target, mayReuse));
    // One opened ahead may still be on its way up: the request waits for it.
    m_record.reused = m_connection->state() == SocketState::Connected;
    enter(m_record.reused ? Phase::Exchanging : Phase::Connecting);
}

void Transfer::listenTo(Connection *connection)
{
    m_connection = connection;
    m_lastConnection = connection;
    m_listening = {
            connect(connection, &Connection::connected, this, [this] { enter(Phase::Exchanging); }),
            connect(connection, &Connection::dataArrival, this, &Transfer::onDataArrival),
            connect(connection, &Connection::peerClosed, this, &Transfer::onPeerClosed),
            connect(connection, &Connection::untrusted, this, &Transfer::onUntrusted),
            connect(connection, &Connection::openFailed, this, &Transfer::failAttempt),
    };
}

// The one place that decides whether a connection carries another request:
// the attempt ended in good order, the response allowed it, its body reached
// its stated end, and the connection is still open.
bool Transfer::giveBackConnection(bool orderly)
{
    if (!m_connection)
        return false;
    for (const QMetaObject::Connection &listening : std::as_const(m_listening))
        disconnect(listening);
    m_listening.clear();
    const TransferRecord::Exchange &exchange = m_record.exchange;
    const bool reusable = orderly && exchange.keepConnection && exchange.bodyEnded
                          && m_connection->state() == SocketState::Connected;
    m_context.connections.giveBack(std::exchange(m_connection, nullptr), reusable);
    return reusable;
}

// Whoever hears the result may delete this transfer later: nothing of it is
// touched afterwards.
void Transfer::finish(Outcome outcome)
{
    if (m_phase == Phase::Finished)
        return;
    m_result.outcome = outcome;
    giveBackConnection(outcome == Outcome::Saved || outcome == Outcome::PageTaken
                       || outcome == Outcome::AlreadyOnDisk || outcome == Outcome::NameRefused);
    enter(Phase::Finished);
}

void Transfer::sendRequest()
{
    // A target that could add lines to a request is never sent.
    if (holdsControlCharacter(m_record.target.host) || holdsControlCharacter(m_record.path)) {
        giveUp();
        return;
    }
    m_connection->sendData(request());
}

QByteArray Transfer::request() const
{
    const TransferRecord &r = m_record;
    const QByteArray target = m_connection->requestPrefix() + r.path;
    const QByteArray credentials = m_connection->proxyAuthorization();
    const auto proxyField = [&credentials](const char *lineEnd) {
        return credentials.isEmpty() ? QByteArray()
                                     : "Proxy-Authorization: " + credentials + lineEnd;
    };
    if (!m_context.options.keepAlive())
        return "GET " + target + " HTTP/1.0\nHost: " + r.target.host + "\nUser-Agent: Mozilla/5.0\n"
               + proxyField("\n") + '\n';
    return "GET " + target + " HTTP/1.1\r\nHost: " + r.target.authority()
           + "\r\nUser-Agent: Mozilla/5.0\r\n" + proxyField("\r\n") + "\r\n";
}

void Transfer::onDataArrival()
{
    QByteArray &chunk = m_context.chunk;
    m_connection->getData(chunk);
    m_context.totalReceived += chunk.size();
    if (chunk.isEmpty())
        return;
    TransferRecord::Exchange &exchange = m_record.exchange;
    m_record.arrived += chunk.size();
    exchange.arrived += chunk.size();
    Step step = Step::Next;
    if (exchange.bodyStarted) {
        step = takeBody(chunk);
    } else {
        exchange.data.append(chunk);
        step = readHeader();
    }
    if (step == Step::Failed)
        failAttempt();
}

void Transfer::onPeerClosed()
{
    TransferRecord::Exchange &exchange = m_record.exchange;
    // The redirect was known before its body was all in.
    if (exchange.redirect) {
        exchange.keepConnection = false;
        if (followRedirect(*std::exchange(exchange.redirect, std::nullopt)) == Step::Failed)
            failAttempt();
        return;
    }
    // A kept connection the server closed as the request went out: the
    // request never had its chance, and goes again uncounted.
    if (m_record.reused && exchange.arrived == 0) {
        giveBackConnection(false);
        nextAttempt(false);
        return;
    }
    // Only an orderly close can end a body: a reset (the connection's state
    // reads Error) cuts it short wherever the platform tells the two apart.
    const bool orderly = m_connection->state() != SocketState::Error;
    bool whole = false;
    if (orderly && isImage() && exchange.bodyStarted && exchange.contentLength == 0) {
        // Without an announced length the close ends the image, and then only
        // an image whose format says it is whole: a JPEG ends with FF D9.
        if (exchange.chunked)
            whole = exchange.chunks.lastChunkSeen();
        else
            whole = exchange.received > 0
                    && (!exchange.firstBytes.startsWith(jpegStart)
                        || exchange.lastBytes.endsWith(jpegEnd));
    }
    if (!whole || completeImage() == Step::Failed)
        failAttempt();
}

void Transfer::onUntrusted(const QString &reason)
{
    m_record.failure = reason;
    finish(Outcome::CertificateRejected);
}

// Counts the attempt; past the last, the address is given up with what the
// connection said of its failure. Only the unfinished temporary file goes:
// the destination never was written.
void Transfer::failAttempt()
{
    ++m_record.retries;
    if (m_record.retries > MaxRetries) {
        giveUp(m_connection ? m_connection->failure() : QString());
        return;
    }
    giveBackConnection(false);
    m_record.exchange.image.reset();
    emit retried();
    nextAttempt(false);
}

void Transfer::giveUp(const QString &failure)
{
    m_record.failure = failure;
    finish(Outcome::GivenUp);
}

// Nothing is decided before enough bytes are in to decide it: whether there
// is a status line at all, and then where the header ends. Its fields are
// read only from the complete header, so body bytes are never taken for them.
// Interim answers are passed over, within the bound of one header in all.
Transfer::Step Transfer::readHeader()
{
    QByteArray &data = m_record.exchange.data;
    for (;;) {
        qsizetype start = 0;
        while (start < data.size() && isBlank(data[start]))
            ++start;
        const std::optional<bool> statusLine = startsWithStatusLine(data, start);
        if (!statusLine)
            return data.size() > MaxHeader ? Step::Failed : Step::Next;
        if (!*statusLine)
            return takeUnheaded();
        const qsizetype end = headerEnd(start);
        if (end > MaxHeader || (end < 0 && data.size() > MaxHeader))
            return Step::Failed;
        if (end < 0)
            return Step::Next;
        const Header header(data.mid(start, end - start));
        data.remove(0, end);
        m_record.exchange.scanned = 0;
        if (!header.isInterim())
            return startBody(header);
        m_record.exchange.interimBytes += end;
        if (m_record.exchange.interimBytes > MaxHeader)
            return Step::Failed;
    }
}

// Without a status line nothing says the bytes are an image; a page is read
// all the same, from the first byte.
Transfer::Step Transfer::takeUnheaded()
{
    if (isImage())
        return Step::Failed;
    m_record.exchange.bodyStarted = true;
    const QByteArray body = std::exchange(m_record.exchange.data, QByteArray());
    return takeBody(body);
}

// The header ends at the first empty line, whether lines end in CR LF or LF;
// -1 while it has not all arrived. scanned is where the search resumes: at a
// line feed whose next bytes are not all in yet, else at the end of the data.
qsizetype Transfer::headerEnd(qsizetype start)
{
    const QByteArray &data = m_record.exchange.data;
    qsizetype end = -1;
    qsizetype at = data.indexOf('\n', std::max(start, m_record.exchange.scanned));
    for (; at >= 0 && at + 1 < data.size(); at = data.indexOf('\n', at + 1)) {
        if (data[at + 1] == '\n') {
            end = at + 2;
        } else if (data[at + 1] == '\r') {
            if (at + 2 >= data.size())
                break;
            if (data[at + 2] == '\n')
                end = at + 3;
        }
        if (end >= 0)
            break;
    }
    m_record.exchange.scanned = at >= 0 ? at : data.size();
    return end;
}

Transfer::Step Transfer::startBody(const Header &header)
{
    // A redirect on a connection that stays open is followed once its body
    // is read to its end, so the connection can carry the next request.
    const bool drained = m_context.options.keepAlive() && header.keepsOpen && !header.chunked
                         && header.length && !header.conflictingLengths
                         && *header.length <= MaxHeader;
    const bool redirect = header.location && header.status >= 300 && header.status < 400;
    if (redirect && !drained)
        return followRedirect(*header.location);
    if (redirect) {
        m_record.exchange.redirect = *header.location;
        m_record.exchange.keepConnection = true;
        m_record.exchange.contentLength = *header.length;
        m_record.exchange.bodyStarted = true;
        return takeBody(std::exchange(m_record.exchange.data, QByteArray()));
    }
    // A server in trouble gets another try, for pages as for images.
    if (header.conflictingLengths || isTransient(header.status)) {
        if (asksForAWait(header.status))
            holdHost(header.retryAfter);
        return Step::Failed;
    }
    // A body we cannot read as it is meant (compressed, or framed in a way we
    // do not know) is never written or scraped.
    const bool image = isImage();
    if (header.unreadable || (image && header.status != 200)) {
        giveUp();
        return Step::Finished;
    }
    m_record.exchange.chunked = header.chunked;
    if (header.length && !header.chunked) {
        m_record.exchange.contentLength = *header.length;
        if (m_record.exchange.contentLength < MinimumLength) {
            giveUp();
            return Step::Finished;
        }
        if (image && m_record.exchange.contentLength > MaxImage)
            return Step::Failed;
    }
    m_record.exchange.keepConnection = m_context.options.keepAlive() && header.keepsOpen
                                       && (header.chunked || header.length);
    m_record.exchange.bodyStarted = true;
    m_record.exchange.scanned = 0;
    const QByteArray body = std::exchange(m_record.exchange.data, QByteArray());
    return takeBody(body);
}

Transfer::Step Transfer::followRedirect(const QByteArray &target)
{
    // Redirect loops end; a target too long to queue, or one that could add
    // lines to a request, is never sent.
    if (++m_record.redirects > MaxRedirects || target.isEmpty()
        || target.size() > AddressQueue::MaxAddressLength || holdsControlCharacter(target)) {
        giveUp();
        return Step::Finished;
    }
    QByteArray path;
    // A fragment is the client's own business, never sent.
    const qsizetype fragment = target.indexOf('#');
    const ConnectionTarget to
            = redirectTarget(fragment < 0 ? target : target.left(fragment), &path);
    // Upgrading to TLS is followed; leaving it never is.
    if (to.host.isEmpty() || (m_record.target.isEncrypted() && !to.isEncrypted())) {
        giveUp();
        return Step::Finished;
    }
    m_record.target = to;
    m_record.path = path;
    m_record.fileName = urlFileName(withoutQuery(path));
    m_record.exchange.data.clear();
    m_record.url = m_record.target.origin() + m_record.path;
    // A redirect whose body was read to its end leaves its connection to the
    // next request.
    nextAttempt(giveBackConnection(true));
    return Step::Finished;
}

// Where a redirect's target leads from the current address: an absolute
// address anywhere, "//host/path" under the current scheme, "/path" on the
// same site, "?query" on the current path, anything else beside it.
ConnectionTarget Transfer::redirectTarget(const QByteArray &target, QByteArray *path) const
{
    if (hasScheme(target))
        return ConnectionTarget::fromAddress(target, path);
    if (target.startsWith("//")) {
        const QByteArray scheme = m_record.target.isEncrypted() ? "https:" : "http:";
        return ConnectionTarget::fromAddress(scheme + target, path);
    }
    const QByteArray current = withoutQuery(m_record.path);
    if (target.startsWith('/'))
        *path = target;
    else if (target.startsWith('?'))
        *path = current + target;
    else
        *path = current.left(current.lastIndexOf('/') + 1) + target;
    return m_record.target;
}

Transfer::Step Transfer::takeBody(QByteArrayView raw)
{
    if (m_record.exchange.redirect)
        return drainRedirect(raw);
    QByteArrayView bytes = raw;
    bool ended = false;
    if (m_record.exchange.chunked) {
        QByteArray &decoded = m_context.decoded;
        decoded.resize(0);
        const ChunkedDecoder::Result result = m_record.exchange.chunks.feed(raw, decoded);
        if (result == ChunkedDecoder::Result::Malformed)
            return Step::Failed;
        ended = result == ChunkedDecoder::Result::Done;
        // On a kept connection a byte past the last chunk is a peer out of step.
        if (m_record.exchange.keepConnection && m_record.exchange.chunks.bytesAfterEnd() > 0)
            return Step::Failed;
        bytes = decoded;
    } else if (m_record.exchange.contentLength > 0) {
        // More body than announced is a response we cannot trust.
        if (m_record.exchange.received + bytes.size() > m_record.exchange.contentLength)
            return Step::Failed;
        ended = m_record.exchange.received + bytes.size() == m_record.exchange.contentLength;
    }
    m_record.exchange.bodyEnded = ended;
    return isImage() ? takeImage(bytes, ended) : takePage(bytes);
}

Transfer::Step Transfer::drainRedirect(QByteArrayView bytes)
{
    m_record.exchange.received += bytes.size();
    if (m_record.exchange.received > m_record.exchange.contentLength)
        return Step::Failed;
    if (m_record.exchange.received < m_record.exchange.contentLength)
        return Step::Next;
    m_record.exchange.bodyEnded = true;
    return followRedirect(*std::exchange(m_record.exchange.redirect, std::nullopt));
}

Transfer::Step Transfer::takePage(QByteArrayView bytes)
{
    m_record.exchange.data.append(bytes);
    m_record.exchange.received = m_record.exchange.data.size();
    const qsizetype from = std::max<qsizetype>(0, m_record.exchange.scanned - (pageEnd.size() - 1));
    m_record.exchange.scanned = m_record.exchange.data.size();
    // A body at its stated end without "</html>" is a page cut short, as a
    // close before it would be; on a kept connection no close comes to say so.
    if (m_record.exchange.data.indexOf(pageEnd, from) < 0)
        return m_record.exchange.data.size() > MaxPage || m_record.exchange.bodyEnded ? Step::Failed
                                                                                      : Step::Next;
    emit pageFetched(m_record.url);
    if (m_context.pages.process(m_record) == PageSink::Outcome::UnexpectedShape)
        return Step::Failed;
    finish(Outcome::PageTaken);
    return Step::Finished;
}

Transfer::Step Transfer::takeImage(QByteArrayView bytes, bool ended)
{
    TransferRecord &r = m_record;
    // Whatever holds "</html>" is a page to the scraper, which takes nothing
    // from an image: the address ends without an image.
    const qsizetype edge = std::min<qsizetype>(bytes.size(), pageEnd.size() - 1);
    const QByteArray seam = r.exchange.lastBytes + bytes.first(edge).toByteArray();
    if (seam.contains(pageEnd) || bytes.indexOf(pageEnd) >= 0) {
        giveUp();
        return Step::Finished;
    }
    if (r.exchange.firstBytes.size() < 2)
        r.exchange.firstBytes
                += bytes.first(std::min(bytes.size(), 2 - r.exchange.firstBytes.size()))
                           .toByteArray();
    r.exchange.lastBytes = (r.exchange.lastBytes
                            + bytes.last(std::min<qsizetype>(bytes.size(), 6)).toByteArray())
                                   .right(6);
    r.exchange.received += bytes.size();
    if (r.exchange.received > MaxImage)
        return Step::Failed;
    if (!bytes.isEmpty()) {
        if (!r.exchange.image)
            r.exchange.image = std::make_unique<PartialImage>(destination());
        if (!r.exchange.image->append(bytes))
            return stopWriting();
    }
    return ended ? completeImage() : Step::Next;
}

Transfer::Step Transfer::completeImage()
{
    const std::unique_ptr<PartialImage> &image = m_record.exchange.image;
    const bool whole = image && image->written() == m_record.exchange.received;
    const PartialImage::Commit commit = whole ? image->commit() : PartialImage::Commit::Failed;
    if (commit != PartialImage::Commit::Failed) {
        m_result.savedPath = image->destination();
        finish(commit == PartialImage::Commit::Saved ? Outcome::Saved : Outcome::AlreadyOnDisk);
        return Step::Finished;
    }
    // The folder vanished under the transfer and took its bytes with it: the
    // next attempt makes it again.
    if (image && image->error() == ENOENT)
        return Step::Failed;
    if (image && image->error() != 0)
        return stopWriting();
    giveUp();
    return Step::Finished;
}

// The transfer ends at once and its unfinished file goes with it. The image is
// not given up: nothing was wrong with it, and it is fetched again once
// writing is possible; only a name the file system refuses ends the address.
Transfer::Step Transfer::stopWriting()
{
    const QString destination = m_record.exchange.image->destination();
    m_result.writeError = {QFileInfo(destination).path(), m_record.exchange.image->error()};
    if (!m_result.writeError.concernsTheName()) {
        finish(Outcome::NotWritten);
        return Step::Finished;
    }
    m_record.failure
            = QStringLiteral("cannot save %1: %2").arg(destination, m_result.writeError.reason());
    finish(Outcome::NameRefused);
    return Step::Finished;
}

// Leaves the host alone for as long as it asks, or else for a while that
// doubles with each failed attempt; the retry waits until then.
void Transfer::holdHost(const QByteArray &retryAfter)
{
    const std::chrono::seconds wait = RetryAfter::parse(retryAfter, QDateTime::currentDateTimeUtc())
                                              .value_or(RetryAfter::doubling(m_record.retries + 1));
    m_context.connections.holds().hold(m_record.target.host, wait);
}

void Transfer::stallWatchTick(double minimumBytes)
{
    if (isHeld())
        return;
    const bool stalled
            = m_record.watched && m_record.arrived - m_record.lastReceived < minimumBytes;
    if (stalled)
        failAttempt();
    // A restart made here begins at the tick: the next one judges it.
    m_record.watched = !isHeld();
    m_record.lastReceived = m_record.arrived;
}

bool Transfer::isImage() const
{
    return m_record.path.contains(".jpg");
}

QString Transfer::destination() const
{
    QString path = m_record.folder + QLatin1Char('/') + fileNameText(m_record.fileName);
    path.replace(QLatin1String("//"), QLatin1String("/"));
    path.replace(QLatin1String("//"), QLatin1String("/"));
    return path;
}

}
