#include "engine/httpexchange.h"

#include "common/text.h"
#include "engine/retryafter.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <utility>

namespace mosscatch {

namespace {

const QByteArray redirectField = QByteArrayLiteral("location: ");
const QByteArray lengthField = QByteArrayLiteral("Content-Length: ");
const QByteArray pageEnd = QByteArrayLiteral("</html>");
const QByteArray jpegStart = QByteArrayLiteral("\xFF\xD8");
const QByteArray jpegEnd = QByteArrayLiteral("\xFF\xD9");

// The redirect is read from a window of 199 characters from the CR LF before "location: ":
// that leaves 187 characters after the colon for the target and its blanks.
constexpr qsizetype RedirectValueLimit = 187;
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

bool isImageTransfer(const SlotRecord &record)
{
    return record.path.contains(".jpg");
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

QByteArray lowerValue(const QByteArray &line)
{
    return line.mid(line.indexOf(':') + 1).trimmed().toLower();
}

}

struct HttpExchange::Header
{
    int status = 0;
    std::optional<QByteArray> location; // the text after "location:", blanks included
    std::optional<qint64> length;
    bool conflictingLengths = false;
    bool unreadable = false; // a content or transfer coding we cannot undo
    bool chunked = false;
    QByteArray retryAfter;

    explicit Header(const QByteArray &text)
    {
        const QList<QByteArray> lines = text.split('\n');
        const QByteArray statusLine = lines.value(0).trimmed();
        const qsizetype space = statusLine.indexOf(' ');
        status = space < 0 ? 0 : int(leadingNumber(statusLine.mid(space + 1, 4)));
        for (qsizetype i = 1; i < lines.size(); ++i) {
            QByteArray line = lines.at(i);
            if (line.endsWith('\r'))
                line.chop(1);
            const QByteArray name = line.left(line.indexOf(':')).trimmed().toLower();
            if (line.startsWith(redirectField) && !location)
                location = line.mid(redirectField.size() - 1);
            else if (line.startsWith(lengthField))
                readLength(line.mid(lengthField.size()));
            else if (name == "content-encoding" && lowerValue(line) != "identity")
                unreadable = true;
            else if (name == "transfer-encoding" && lowerValue(line) == "chunked")
                chunked = true;
            else if (name == "transfer-encoding" && lowerValue(line) != "identity")
                unreadable = true;
            else if (name == "retry-after")
                retryAfter = line.mid(line.indexOf(':') + 1);
        }
    }

    // Only decimal digits make a length; two different ones contradict each other.
    void readLength(const QByteArray &value)
    {
        const QByteArray digits = value.trimmed();
        if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(), [](char c) {
                return c >= '0' && c <= '9';
            }))
            return;
        const qint64 number
                = digits.size() > 15 ? Q_INT64_C(1000000000000000000) : digits.toLongLong();
        conflictingLengths = conflictingLengths || (length && *length != number);
        length = number;
    }
};

HttpExchange::HttpExchange(ConnectionPool &pool, PageScraper &scraper, QObject *parent)
    : QObject(parent), m_pool(pool), m_scraper(scraper)
{
}

void HttpExchange::onConnected(int index)
{
    SlotRecord &record = m_pool.record(index);
    Connection *connection = m_pool.connection(index);
    if (!connection || record.target.host.isEmpty())
        return;
    startAttempt(record);
    if (holdsControlCharacter(record.target.host) || holdsControlCharacter(record.path)) {
        giveUp(index);
        return;
    }
    connection->sendData(request(record));
}

void HttpExchange::onDataArrival(int index)
{
    Connection *connection = m_pool.connection(index);
    if (!connection)
        return;
    connection->getData(m_chunk);
    m_totalReceived += m_chunk.size();
    SlotRecord &record = m_pool.record(index);
    // A held slot has no attempt running; nothing that arrives belongs to one.
    if (record.target.host.isEmpty() || record.held || m_chunk.isEmpty())
        return;
    record.arrived += m_chunk.size();
    if (handleArrival(index, record) == Step::Failed)
        m_pool.retrySock(index);
}

void HttpExchange::onPeerClosed(int index)
{
    SlotRecord &record = m_pool.record(index);
    if (record.target.host.isEmpty() || record.held)
        return;
    // Only an orderly close can end a body: a reset (the connection's state
    // reads Error) cuts it short wherever the platform tells the two apart.
    const Connection *connection = m_pool.connection(index);
    const bool orderly = connection && connection->state() != SocketState::Error;
    bool whole = false;
    if (orderly && isImageTransfer(record) && record.bodyStarted && record.contentLength == 0) {
        // Without an announced length the close ends the image, and then only
        // an image whose format says it is whole: a JPEG ends with FF D9.
        if (record.chunked)
            whole = record.chunks.lastChunkSeen();
        else
            whole = record.received > 0
                    && (!record.firstBytes.startsWith(jpegStart)
                        || record.lastBytes.endsWith(jpegEnd));
    }
    if (whole)
        completeImage(index, record);
    else
        m_pool.retrySock(index);
}

QByteArray HttpExchange::request(const SlotRecord &record)
{
    return "GET " + record.path + " HTTP/1.0\nHost: " + record.target.host
           + "\nUser-Agent: Mozilla/5.0\n\n";
}

void HttpExchange::startAttempt(SlotRecord &record)
{
    record.data.clear();
    record.image.reset();
    record.scanned = 0;
    record.bodyStarted = false;
    // A length announced by an earlier response (before a retry or a redirect)
    // says nothing about the one to come.
    record.contentLength = 0;
    record.chunked = false;
    record.chunks = ChunkedDecoder();
    record.firstBytes.clear();
    record.lastBytes.clear();
}

HttpExchange::Step HttpExchange::handleArrival(int index, SlotRecord &record)
{
    if (record.bodyStarted)
        return takeBody(index, record, m_chunk);
    record.data.append(m_chunk);
    return readHeader(index, record);
}

// Nothing is decided before enough bytes are in to decide it: whether there
// is a status line at all, and then where the header ends. Its fields are
// read only from the complete header, so body bytes are never taken for them.
HttpExchange::Step HttpExchange::readHeader(int index, SlotRecord &record)
{
    QByteArray &data = record.data;
    qsizetype start = 0;
    while (start < data.size() && isBlank(data[start]))
        ++start;
    const std::optional<bool> statusLine = startsWithStatusLine(data, start);
    if (!statusLine)
        return data.size() > MaxHeader ? Step::Failed : Step::Next;
    if (!*statusLine) {
        // Without a status line nothing says the bytes are an image; a page
        // is read all the same, from the first byte.
        if (isImageTransfer(record))
            return Step::Failed;
        record.bodyStarted = true;
        const QByteArray body = std::exchange(data, QByteArray());
        return takeBody(index, record, body);
    }
    // The header ends at the first empty line, whether lines end in CR LF or
    // LF. scanned is where the search resumes: at a line feed whose next bytes
    // are not all in yet, else at the end of the data.
    qsizetype end = -1;
    qsizetype at = data.indexOf('\n', std::max(start, record.scanned));
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
    record.scanned = at >= 0 ? at : data.size();
    if (end > MaxHeader || (end < 0 && data.size() > MaxHeader))
        return Step::Failed;
    if (end < 0)
        return Step::Next;
    const Header header(data.mid(start, end - start));
    data.remove(0, end);
    return startBody(index, record, header);
}

HttpExchange::Step HttpExchange::startBody(int index, SlotRecord &record, const Header &header)
{
    if (header.location)
        return followRedirect(index, record, *header.location);
    // A server in trouble gets another try, for pages as for images.
    if (header.conflictingLengths || isTransient(header.status)) {
        if (asksForAWait(header.status))
            holdHost(record, header.retryAfter);
        return Step::Failed;
    }
    // A body we cannot read as it is meant (compressed, or framed in a way we
    // do not know) is never written or scraped.
    const bool image = isImageTransfer(record);
    if (header.unreadable || (image && header.status != 200)) {
        giveUp(index);
        return Step::Finished;
    }
    record.chunked = header.chunked;
    if (header.length && !header.chunked) {
        record.contentLength = *header.length;
        if (record.contentLength < MinimumLength) {
            giveUp(index);
            return Step::Finished;
        }
        if (image && record.contentLength > MaxImage)
            return Step::Failed;
    }
    record.bodyStarted = true;
    record.scanned = 0;
    const QByteArray body = std::exchange(record.data, QByteArray());
    return takeBody(index, record, body);
}

HttpExchange::Step HttpExchange::followRedirect(int index, SlotRecord &record,
                                                const QByteArray &value)
{
    if (value.size() > RedirectValueLimit)
        return Step::Failed;
    const QByteArray target = trimSpaces(value);
    // Redirect loops end, and a target that could add lines to a request is never sent.
    if (++record.redirects > MaxRedirects || holdsControlCharacter(target)) {
        giveUp(index);
        return Step::Finished;
    }
    QByteArray path = target;
    const ConnectionTarget to = ConnectionTarget::fromAddress(target, &path);
    const bool absolute = target.contains("://");
    // Upgrading to TLS on the same host is followed; leaving TLS never is.
    if (absolute && record.target.isEncrypted() && !to.isEncrypted()) {
        giveUp(index);
        return Step::Finished;
    }
    if (absolute && to.host.compare(record.target.host, Qt::CaseInsensitive) == 0)
        record.target = to;
    else
        path = target;
    record.path = path;
    record.fileName = urlFileName(path);
    record.data.clear();
    record.url = record.target.origin() + record.path;
    m_pool.connection(index)->close();
    m_pool.reconnectUnlessHeld(index);
    return Step::Finished;
}

HttpExchange::Step HttpExchange::takeBody(int index, SlotRecord &record, QByteArrayView raw)
{
    QByteArrayView bytes = raw;
    bool ended = false;
    if (record.chunked) {
        m_decoded.resize(0);
        const ChunkedDecoder::Result result = record.chunks.feed(raw, m_decoded);
        if (result == ChunkedDecoder::Result::Malformed)
            return Step::Failed;
        ended = result == ChunkedDecoder::Result::Done;
        bytes = m_decoded;
    } else if (record.contentLength > 0) {
        // More body than announced is a response we cannot trust.
        if (record.received + bytes.size() > record.contentLength)
            return Step::Failed;
        ended = record.received + bytes.size() == record.contentLength;
    }
    return isImageTransfer(record) ? takeImage(index, record, bytes, ended)
                                   : takePage(index, record, bytes);
}

HttpExchange::Step HttpExchange::takePage(int index, SlotRecord &record, QByteArrayView bytes)
{
    record.data.append(bytes);
    record.received = record.data.size();
    const qsizetype from = std::max<qsizetype>(0, record.scanned - (pageEnd.size() - 1));
    record.scanned = record.data.size();
    if (record.data.indexOf(pageEnd, from) < 0)
        return record.data.size() > MaxPage ? Step::Failed : Step::Next;
    emit pageFetched(record.url);
    if (m_scraper.process(record) == PageScraper::Outcome::UnexpectedShape)
        return Step::Failed;
    m_pool.resetSock(index);
    return Step::Finished;
}

HttpExchange::Step HttpExchange::takeImage(int index, SlotRecord &record, QByteArrayView bytes,
                                           bool ended)
{
    // Whatever holds "</html>" is a page to the scraper, which takes nothing
    // from an image: the address ends without an image.
    const qsizetype edge = std::min<qsizetype>(bytes.size(), pageEnd.size() - 1);
    const QByteArray seam = record.lastBytes + bytes.first(edge).toByteArray();
    if (seam.contains(pageEnd) || bytes.indexOf(pageEnd) >= 0) {
        giveUp(index);
        return Step::Finished;
    }
    if (record.firstBytes.size() < 2)
        record.firstBytes
                += bytes.first(std::min(bytes.size(), 2 - record.firstBytes.size())).toByteArray();
    record.lastBytes
            = (record.lastBytes + bytes.last(std::min<qsizetype>(bytes.size(), 6)).toByteArray())
                      .right(6);
    record.received += bytes.size();
    if (record.received > MaxImage)
        return Step::Failed;
    if (!bytes.isEmpty()) {
        if (!record.image)
            record.image = std::make_unique<PartialImage>(destination(record));
        if (!record.image->append(bytes)) {
            stopWriting(index, record);
            return Step::Finished;
        }
    }
    if (ended) {
        completeImage(index, record);
        return Step::Finished;
    }
    return Step::Next;
}

void HttpExchange::completeImage(int index, SlotRecord &record)
{
    const QByteArray url = record.url;
    const bool whole = record.image && record.image->written() == record.received;
    const QString path = whole ? record.image->destination() : QString();
    const bool saved = whole && record.image->commit();
    if (!saved && record.image && record.image->error() == ENOENT) {
        // The folder vanished under the transfer and took its bytes with it:
        // the next attempt makes it again.
        m_pool.retrySock(index);
        return;
    }
    if (!saved && record.image && record.image->error() != 0) {
        stopWriting(index, record);
        return;
    }
    m_pool.resetSock(index);
    if (saved)
        emit imageSaved(path);
    else
        emit addressGivenUp(url);
}

// Leaves the host alone for as long as it asks, or else for a while that
// doubles with each failed attempt; the retry waits until then.
void HttpExchange::holdHost(const SlotRecord &record, const QByteArray &retryAfter)
{
    const std::chrono::seconds wait = RetryAfter::parse(retryAfter, QDateTime::currentDateTimeUtc())
                                              .value_or(RetryAfter::doubling(record.retries + 1));
    m_pool.holds().hold(record.target.host, wait);
}

void HttpExchange::giveUp(int index)
{
    const QByteArray url = m_pool.record(index).url;
    m_pool.resetSock(index);
    emit addressGivenUp(url);
}

// The transfer ends at once and its temporary file goes with it. The image is
// not given up: nothing was wrong with it, and it is fetched again once
// writing is possible; only a name the file system refuses ends the address.
void HttpExchange::stopWriting(int index, SlotRecord &record)
{
    const WriteError error{QFileInfo(record.image->destination()).path(), record.image->error()};
    const QByteArray url = record.url;
    const QByteArray queuedAs = record.queuedAs;
    m_pool.resetSock(index);
    if (error.concernsTheName())
        emit addressGivenUp(url);
    else
        emit imageNotWritten(queuedAs, error);
}

QString HttpExchange::destination(const SlotRecord &record)
{
    QString path = record.folder + QLatin1Char('/') + fileNameText(record.fileName);
    path.replace(QLatin1String("//"), QLatin1String("/"));
    path.replace(QLatin1String("//"), QLatin1String("/"));
    return path;
}

}
