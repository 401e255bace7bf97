#include "engine/httpexchange.h"

#include "common/text.h"
#include "engine/addressqueue.h"

#include <QFile>

#include <algorithm>
#include <memory>

namespace mosscatch {

namespace {

const QByteArray redirectMarker = QByteArrayLiteral("\r\nlocation: ");
const QByteArray lengthMarker = QByteArrayLiteral("Content-Length: ");
const QByteArray headerEnd = QByteArrayLiteral("\r\n\r\n");
const QByteArray pageEnd = QByteArrayLiteral("</html>");

constexpr qsizetype RedirectWindow = 199;
constexpr qsizetype LengthWindow = 99;
constexpr double MinimumLength = 100;
constexpr int MaxRedirects = 10;
// Whatever a server sends, what is held for one transfer stays bounded.
constexpr qsizetype MaxHeader = 64 * 1024;
constexpr qsizetype MaxPage = 16 * 1024 * 1024;
constexpr double MaxImage = 512.0 * 1024 * 1024;
// A marker split between two arrivals must still be found, so every search
// starts this far before the bytes not yet searched (the longest marker less one).
constexpr qsizetype SearchOverlap = 11;

bool startsWithStatusLine(const QByteArray &data)
{
    return lowerTrim(data.left(4)) == "http";
}

int statusCode(const QByteArray &header)
{
    const QByteArray line = header.left(header.indexOf('\r'));
    const qsizetype space = line.indexOf(' ');
    return space < 0 ? 0 : int(leadingNumber(line.mid(space + 1, 4)));
}

bool isImageTransfer(const SlotRecord &record)
{
    return record.path.contains(".jpg");
}

qsizetype findNew(const SlotRecord &record, const QByteArray &marker)
{
    return record.data.indexOf(marker, std::max<qsizetype>(0, record.scanned - SearchOverlap));
}

}

HttpExchange::HttpExchange(ConnectionPool &pool, PageScraper &scraper, HarvestState &state,
                           QObject *parent)
    : QObject(parent), m_pool(pool), m_scraper(scraper), m_state(state)
{
}

void HttpExchange::onConnected(int index)
{
    SlotRecord &record = m_pool.record(index);
    Connection *connection = m_pool.connection(index);
    if (!connection || record.host.isEmpty())
        return;
    startAttempt(record);
    if (AddressQueue::holdsControlCharacter(record.host)
        || AddressQueue::holdsControlCharacter(record.path)) {
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
    m_state.totalReceived += double(m_chunk.size());
    SlotRecord &record = m_pool.record(index);
    if (record.host.isEmpty() || m_chunk.isEmpty())
        return;
    record.arrived += double(m_chunk.size());

    switch (handleArrival(index, record)) {
    case Step::Next:
        record.scanned = record.data.size();
        break;
    case Step::Failed:
        m_pool.retrySock(index);
        break;
    case Step::Finished:
        break;
    }
}

void HttpExchange::onPeerClosed(int index)
{
    SlotRecord &record = m_pool.record(index);
    if (record.host.isEmpty())
        return;
    // Without an announced length only the server's close tells that an image
    // is whole; any other close cuts the transfer short, so it is tried again.
    if (isImageTransfer(record) && record.bodyStarted && record.contentLength == 0
        && record.received > 0) {
        completeImage(index, record);
        return;
    }
    m_pool.retrySock(index);
}

QByteArray HttpExchange::request(const SlotRecord &record)
{
    return "GET " + record.path + " HTTP/1.0\nHost: " + record.host
           + "\nUser-Agent: Mozilla/5.0\n\n";
}

void HttpExchange::startAttempt(SlotRecord &record)
{
    record.data.clear();
    record.image.reset();
    record.scanned = 0;
    record.bodyStarted = false;
    record.status = 0;
    // A length announced by an earlier response (before a retry or a redirect)
    // says nothing about the one to come.
    record.contentLength = 0;
}

HttpExchange::Step HttpExchange::handleArrival(int index, SlotRecord &record)
{
    const bool inHeader = !record.bodyStarted;
    record.data.append(m_chunk);
    // Header fields are only read before the body begins: body bytes that
    // happen to look like them are content.
    if (inHeader) {
        if (const Step step = followRedirect(index, record); step != Step::Next)
            return step;
        if (const Step step = readContentLength(index, record); step != Step::Next)
            return step;
        if (const Step step = removeHeader(index, record); step != Step::Next)
            return step;
    }
    countBody(record);
    if (const Step step = finishPage(index, record); step != Step::Next)
        return step;
    if (isImageTransfer(record))
        return saveImage(index, record);
    return record.data.size() > MaxPage ? Step::Failed : Step::Next;
}

HttpExchange::Step HttpExchange::followRedirect(int index, SlotRecord &record)
{
    const qsizetype at = findNew(record, redirectMarker);
    if (at < 0)
        return Step::Next;
    QByteArray target = record.data.mid(at, RedirectWindow);
    target = target.mid(target.indexOf(':') + 1);
    const qsizetype end = target.indexOf('\r');
    if (end < 0)
        return Step::Failed;
    target = trimSpaces(target.left(end));

    // Redirect loops end, and a target that could add lines to a request is never sent.
    if (++record.redirects > MaxRedirects || AddressQueue::holdsControlCharacter(target)) {
        giveUp(index);
        return Step::Finished;
    }
    record.path = target;
    record.fileName = urlFileName(target);
    record.data.clear();
    record.url = record.host + record.path;
    Connection *connection = m_pool.connection(index);
    connection->close();
    connection->connectToHost(record.host, ConnectionPool::Port);
    return Step::Finished;
}

HttpExchange::Step HttpExchange::readContentLength(int index, SlotRecord &record)
{
    const qsizetype at = m_chunk.indexOf(lengthMarker);
    if (at < 0)
        return Step::Next;
    QByteArray text = m_chunk.mid(at, LengthWindow);
    text = text.mid(text.indexOf(':') + 1);
    const qsizetype end = text.indexOf('\r');
    if (end < 0)
        return Step::Failed;
    text = trimSpaces(text.left(end));
    text.replace('\r', QByteArray()).replace('\n', QByteArray());

    record.contentLength = leadingNumber(text);
    if (record.contentLength < MinimumLength) {
        m_pool.resetSock(index);
        return Step::Finished;
    }
    const bool tooLarge = isImageTransfer(record) && record.contentLength > MaxImage;
    return tooLarge ? Step::Failed : Step::Next;
}

HttpExchange::Step HttpExchange::removeHeader(int index, SlotRecord &record)
{
    if (!startsWithStatusLine(record.data)) {
        record.bodyStarted = true;
        return Step::Next;
    }
    const qsizetype end = findNew(record, headerEnd);
    if (end < 0 || end > MaxHeader)
        return record.data.size() > MaxHeader ? Step::Failed : Step::Next;

    record.status = statusCode(record.data);
    record.data.remove(0, end + headerEnd.size());
    record.bodyStarted = true;
    record.scanned = 0;
    // A page the server cannot give now is tried again, like an image.
    const bool judged = isImageTransfer(record) || record.status >= 500;
    return judged ? checkImageStatus(index, record) : Step::Next;
}

// An error answer to an image request is never taken for the image: a server
// in trouble gets another try, any other refusal ends the address.
HttpExchange::Step HttpExchange::checkImageStatus(int index, const SlotRecord &record)
{
    const int status = record.status;
    if (status >= 200 && status < 300)
        return Step::Next;
    if ((status >= 500 && status < 600) || status == 408)
        return Step::Failed;
    giveUp(index);
    return Step::Finished;
}

void HttpExchange::countBody(SlotRecord &record)
{
    if (!record.bodyStarted)
        return;
    if (!isImageTransfer(record)) {
        record.received = double(record.data.size());
        return;
    }
    if (record.contentLength > 0) {
        const double room = std::max(0.0, record.contentLength - record.received);
        if (double(record.data.size()) > room)
            record.data.truncate(qsizetype(room));
    }
    record.received += double(record.data.size());
}

HttpExchange::Step HttpExchange::finishPage(int index, SlotRecord &record)
{
    if (findNew(record, pageEnd) < 0)
        return Step::Next;
    emit pageFetched(record.url);
    if (m_scraper.process(record) == PageScraper::Outcome::UnexpectedShape)
        return Step::Failed;
    m_pool.resetSock(index);
    return Step::Finished;
}

HttpExchange::Step HttpExchange::saveImage(int index, SlotRecord &record)
{
    if (!record.bodyStarted || record.data.isEmpty())
        return Step::Next;
    if (record.received > MaxImage)
        return Step::Failed;
    if (!record.image)
        record.image = std::make_unique<PartialImage>(destination(record));
    // A failed write loses the piece but not the transfer; the image is then
    // not whole and will not be committed.
    record.image->append(record.data);
    record.data.truncate(0);
    // Whole only once every announced byte is in; a shorter file is never kept.
    if (record.contentLength > 0 && record.received >= record.contentLength) {
        completeImage(index, record);
        return Step::Finished;
    }
    return Step::Next;
}

void HttpExchange::completeImage(int index, SlotRecord &record)
{
    const QByteArray url = record.url;
    const bool whole = record.image && record.image->written() == qint64(record.received);
    const QString path = whole ? record.image->destination() : QString();
    const bool saved = whole && record.image->commit();
    m_pool.resetSock(index);
    if (saved)
        emit imageSaved(path);
    else
        emit addressGivenUp(url);
}

void HttpExchange::giveUp(int index)
{
    const QByteArray url = m_pool.record(index).url;
    m_pool.resetSock(index);
    emit addressGivenUp(url);
}

QString HttpExchange::destination(const SlotRecord &record)
{
    QString path = record.folder + QLatin1Char('/') + QFile::decodeName(record.fileName);
    path.replace(QLatin1String("//"), QLatin1String("/"));
    path.replace(QLatin1String("//"), QLatin1String("/"));
    return path;
}

}
