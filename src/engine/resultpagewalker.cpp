#include "engine/resultpagewalker.h"

#include "common/text.h"

#include <cmath>

namespace mosscatch {

namespace {

constexpr qsizetype WindowLength = 99;

}

ResultPageWalker::ResultPageWalker(const SiteConfiguration &site, const HarvestOptions &options,
                                   AddressQueue &queue)
    : m_site(site), m_options(options), m_queue(queue)
{
}

double ResultPageWalker::getPagesOfResults(const QByteArray &pageText)
{
    const qsizetype marker = pageText.indexOf(SiteConfiguration::ResultCountMarker);
    if (marker < 0)
        return 0;

    m_resultCount = resultCount(pageText.mid(marker, WindowLength));
    const double pages = pageCount(m_resultCount);
    const double last = lastPage(m_resultCount, m_options.maxImages());
    for (int page = 1; page <= last; ++page)
        m_queue.addUrl(m_site.resultPageAddress(m_keyword, m_options.commercial(), page));
    return pages;
}

double ResultPageWalker::resultCount(const QByteArray &heading)
{
    QByteArray text = heading.mid(heading.indexOf('(') + 1, WindowLength);
    text.truncate(text.indexOf(' ') + 1);
    text.replace(',', QByteArray());
    return leadingNumber(text);
}

double ResultPageWalker::pageCount(double resultCount)
{
    const double pages = std::floor(resultCount / ResultsPerPage) + 1;
    return pages < 2 ? 1 : pages;
}

double ResultPageWalker::lastPage(double resultCount, const QString &maxImages)
{
    return std::min(pageLimit(maxImages), std::min(pageCount(resultCount), double(MaxPages)));
}

double ResultPageWalker::photoBudget(double resultCount, const QString &maxImages)
{
    return std::floor(std::min(resultCount, photoLimit(maxImages)));
}

double ResultPageWalker::pageLimit(const QString &maxImages)
{
    return std::ceil(photoLimit(maxImages) / ResultsPerPage);
}

double ResultPageWalker::photoLimit(const QString &maxImages)
{
    const double most = double(MaxPages) * ResultsPerPage;
    if (lowerTrim(maxImages).contains(QLatin1String("max")))
        return most;
    return std::min(std::floor(std::max(0.0, leadingNumber(maxImages))), most);
}

}
