#include "engine/resultpagewalker.h"

#include "common/text.h"

#include <cmath>

namespace mosscatch {

namespace {

const QByteArray resultsMarker = QByteArrayLiteral("<div class=\"Results\">");
constexpr qsizetype WindowLength = 99;

}

ResultPageWalker::ResultPageWalker(const SiteConfiguration &site, const HarvestOptions &options,
                                   const HarvestState &state, AddressQueue &queue)
    : m_site(site), m_options(options), m_state(state), m_queue(queue)
{
}

double ResultPageWalker::getPagesOfResults(const QByteArray &pageText)
{
    const qsizetype marker = pageText.indexOf(resultsMarker);
    if (marker < 0)
        return 0;

    m_resultCount = resultCount(pageText.mid(marker, WindowLength));
    const double pages = pageCount(m_resultCount);
    const double last = lastPage(m_resultCount, m_options.maxImages());
    for (int page = 1; page <= last; ++page)
        m_queue.addUrl(pageAddress(page));
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

double ResultPageWalker::pageLimit(const QString &maxImages)
{
    if (lowerTrim(maxImages).contains(QLatin1String("max")))
        return double(MaxPages);
    return leadingNumber(maxImages) / ResultsPerPage;
}

QByteArray ResultPageWalker::pageAddress(int page) const
{
    const QByteArray suffix = m_options.commercial()
                                  ? QByteArrayLiteral("&l=comm&ct=0&mt=photos&adv=1&page=")
                                  : QByteArrayLiteral("&ct=0&mt=photos&adv=1&page=");
    return m_site.siteHost + "/search/?q=" + m_state.currentKeyword.toUtf8() + suffix
           + QByteArray::number(page);
}

}
