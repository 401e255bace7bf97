#pragma once

#include "engine/addressqueue.h"
#include "engine/harvestoptions.h"
#include "engine/siteconfiguration.h"

#include <QByteArray>

namespace mosscatch {

// Reads the result count on a keyword's first results page and queues the
// numbered result pages, within the page maximum and the "Max Images" text.
class ResultPageWalker
{
public:
    static constexpr int ResultsPerPage = 60;
    static constexpr int MaxPages = 70;

    ResultPageWalker(const SiteConfiguration &site, const HarvestOptions &options,
                     AddressQueue &queue);

    // The keyword whose result pages are queued from now on.
    void setKeyword(const QString &keyword) { m_keyword = keyword; }

    // The number of result pages (at least 1), or 0 when the page holds no
    // results heading.
    double getPagesOfResults(const QByteArray &pageText);
    // The count the last results heading read gave.
    double lastResultCount() const { return m_resultCount; }

    // The last numbered page queued for a result count; pages 1 to it are queued.
    static double lastPage(double resultCount, const QString &maxImages);
    // The photos a keyword takes from its results pages: what "Max Images"
    // asks, or the result count when smaller.
    static double photoBudget(double resultCount, const QString &maxImages);

private:
    static double resultCount(const QByteArray &heading);
    static double pageCount(double resultCount);
    // The result pages the photos of "Max Images" take: ceil(N / 60), MaxPages
    // when it says "max".
    static double pageLimit(const QString &maxImages);
    // The photos Max Images asks for, at most what MaxPages list.
    static double photoLimit(const QString &maxImages);

    const SiteConfiguration &m_site;
    const HarvestOptions &m_options;
    AddressQueue &m_queue;
    QString m_keyword;
    double m_resultCount = 0;
};

}
