#include "engine/pagescraper.h"

#include "common/text.h"

#include <algorithm>
#include <optional>

namespace mosscatch {

namespace {

const QByteArray scheme = QByteArrayLiteral("http://");

// The text after the first double quote, up to the next one. Without that
// closing quote the page is not of the shape we know.
std::optional<QByteArray> quotedValue(const QByteArray &text)
{
    const QByteArray value = text.mid(text.indexOf('"') + 1);
    const qsizetype close = value.indexOf('"');
    if (close < 0)
        return std::nullopt;
    return value.left(close);
}

QByteArray withoutScheme(QByteArray address)
{
    return address.replace(scheme, QByteArray());
}

}

PageScraper::PageScraper(const SiteConfiguration &site, const HarvestOptions &options,
                         AddressQueue &queue, QObject *parent)
    : QObject(parent),
      m_site(site),
      m_options(options),
      m_queue(queue),
      m_walker(site, options, queue)
{
}

void PageScraper::beginKeyword(const QString &keyword)
{
    m_walker.setKeyword(keyword);
    m_resultPageCount = 0;
    m_photoBudget = ResultPageWalker::MaxPages * ResultPageWalker::ResultsPerPage;
    m_photosTaken.clear();
    m_registry.clear();
}

PageScraper::Outcome PageScraper::process(const TransferRecord &record)
{
    const bool photoPages = record.path.contains("/photos/");
    if (!photoPages && record.exchange.data.contains(SiteConfiguration::PhotoEntryMarker))
        return processResultsPage(record);
    if (!photoPages || record.path.contains(".jpg"))
        return Outcome::Done;
    if (record.path.contains("/sizes/"))
        return processSizesPage(record);
    return processPhotoPage(record);
}

PageScraper::Outcome PageScraper::processResultsPage(const TransferRecord &record)
{
    if (m_resultPageCount == 0) {
        m_resultPageCount = m_walker.getPagesOfResults(record.exchange.data);
        if (m_resultPageCount > 0) {
            m_photoBudget = ResultPageWalker::photoBudget(m_walker.lastResultCount(),
                                                          m_options.maxImages());
            emit resultCountRead(m_walker.lastResultCount());
        }
        return Outcome::Done;
    }
    const QList<QByteArray> pieces
            = withinBudget(splitAt(record.exchange.data, SiteConfiguration::PhotoEntryMarker),
                           pageAllowance(record.path));
    queuePhotoPages(record.target.origin(), pieces);
    if (m_options.thumbnails())
        return queueThumbnails(record.url, pieces);
    return Outcome::Done;
}

// Page p takes only what the budget leaves after the p - 1 full pages before
// it, so the photos taken are the first ones listed, in whatever order the
// pages arrive.
double PageScraper::pageAllowance(const QByteArray &path) const
{
    const qsizetype page = path.indexOf("&page=");
    if (page < 0)
        return m_photoBudget;
    const double before
            = (leadingNumber(path.mid(page + 6)) - 1) * ResultPageWalker::ResultsPerPage;
    return m_photoBudget - std::max(0.0, before);
}

// The text before the first entry is no photo; a photo listed again costs
// nothing more.
QList<QByteArray> PageScraper::withinBudget(QList<QByteArray> pieces, double allowance)
{
    int taken = 0;
    const auto photos
            = std::remove_if(pieces.begin() + 1, pieces.end(), [&](const QByteArray &piece) {
                  const QByteArray link = photoLink(piece);
                  if (m_photosTaken.contains(link))
                      return false;
                  if (m_photosTaken.size() >= m_photoBudget || taken >= allowance) {
                      ++m_refusedPhotos;
                      return true;
                  }
                  m_photosTaken.insert(link);
                  ++taken;
                  return false;
              });
    pieces.erase(photos, pieces.end());
    return pieces;
}

QByteArray PageScraper::photoLink(const QByteArray &piece)
{
    QByteArray link = piece;
    const qsizetype value = link.indexOf("=\"");
    if (value >= 0)
        link = link.mid(value + 2);
    const qsizetype close = link.indexOf('"');
    if (close >= 0)
        link.truncate(close);
    return link;
}

void PageScraper::queuePhotoPages(const QByteArray &origin, const QList<QByteArray> &pieces)
{
    for (const QByteArray &piece : pieces) {
        const QByteArray link = photoLink(piece);
        if (m_options.standard())
            queueOnce(origin + link, link);
        if (m_options.largest())
            queueOnce(origin + link + "sizes/", "sizes of " + link);
    }
}

// Only what the queue takes is recorded, so the registry stays as bounded as
// the queue whatever a page holds; the queue counts the rest.
void PageScraper::queueOnce(const QByteArray &address, const QByteArray &key)
{
    if (!m_queue.accepts(address) || !m_registry.isAlreadyDone(key))
        m_queue.addUrl(address);
}

PageScraper::Outcome PageScraper::queueThumbnails(const QByteArray &pageUrl,
                                                  const QList<QByteArray> &pieces)
{
    for (const QByteArray &piece : pieces) {
        const qsizetype tag = piece.indexOf("img src");
        if (tag < 0)
            continue;
        const std::optional<QByteArray> source = quotedValue(piece.mid(tag));
        if (!source)
            return Outcome::UnexpectedShape;
        const QByteArray address = withoutScheme(*source);
        if (address.contains(m_site.portalMarker) || !address.contains(m_site.siteDomainMarker))
            continue;
        queueAndLog(pageUrl, address);
    }
    return Outcome::Done;
}

PageScraper::Outcome PageScraper::processSizesPage(const TransferRecord &record)
{
    const qsizetype list = record.exchange.data.indexOf(SiteConfiguration::SizesListMarker);
    if (list < 0)
        return Outcome::Done;
    QByteArray row = record.exchange.data.mid(list);
    row.truncate(row.indexOf("</tr>") + 1);
    row.replace("\r\n", QByteArray()).replace('\r', QByteArray()).replace('\n', QByteArray());
    if (row.isEmpty())
        return Outcome::UnexpectedShape;

    const QByteArray lastCell = splitAt(row, "<td").constLast();
    if (lastCell.contains("href")) {
        const std::optional<QByteArray> link = quotedValue(lastCell);
        if (!link)
            return Outcome::UnexpectedShape;
        const QByteArray path = trimSpaces(*link);
        m_queue.addUrl(record.target.origin() + path);
        emit logLine(record.url + " --: " + path);
        return Outcome::Done;
    }
    return queueDisplayedLargest(record);
}

PageScraper::Outcome PageScraper::queueDisplayedLargest(const TransferRecord &record)
{
    const qsizetype block = record.exchange.data.indexOf(SiteConfiguration::SizesPhotoMarker);
    if (block < 0)
        return Outcome::Done;
    const qsizetype source = record.exchange.data.indexOf("src", block);
    if (source < 0)
        return Outcome::Done;
    const std::optional<QByteArray> address = quotedValue(record.exchange.data.mid(source));
    if (!address)
        return Outcome::UnexpectedShape;
    queueAndLog(record.url, withoutScheme(*address));
    return Outcome::Done;
}

PageScraper::Outcome PageScraper::processPhotoPage(const TransferRecord &record)
{
    if (!m_options.standard())
        return Outcome::Done;
    const qsizetype block = record.exchange.data.indexOf(SiteConfiguration::PhotoBlockMarker);
    if (block < 0)
        return Outcome::Done;
    const qsizetype tag = record.exchange.data.indexOf("img", block);
    if (tag < 0)
        return Outcome::Done;
    std::optional<QByteArray> address = quotedValue(record.exchange.data.mid(tag));
    if (!address)
        return Outcome::UnexpectedShape;
    const qsizetype query = address->indexOf('?');
    if (query >= 0)
        address->truncate(query);
    // Only the test ignores case and spaces; the seven characters dropped are the
    // address's own, so it keeps its case.
    if (lowerTrim(*address).startsWith(scheme))
        address->remove(0, scheme.size());
    queueAndLog(record.url, *address);
    return Outcome::Done;
}

void PageScraper::queueAndLog(const QByteArray &pageUrl, const QByteArray &address)
{
    m_queue.addUrl(address);
    emit logLine(pageUrl + " --: " + address);
}

QList<QByteArray> PageScraper::splitAt(const QByteArray &text, QByteArrayView delimiter)
{
    QList<QByteArray> pieces;
    if (text.isEmpty())
        return pieces;
    qsizetype from = 0;
    for (qsizetype at = text.indexOf(delimiter); at >= 0; at = text.indexOf(delimiter, from)) {
        pieces.append(text.mid(from, at - from));
        from = at + delimiter.size();
    }
    pieces.append(text.mid(from));
    return pieces;
}

}
