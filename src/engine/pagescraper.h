#pragma once

#include "engine/addressqueue.h"
#include "engine/doneregistry.h"
#include "engine/harvestoptions.h"
#include "engine/pagesink.h"
#include "engine/resultpagewalker.h"
#include "engine/siteconfiguration.h"
#include "engine/transferrecord.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QObject>
#include <QSet>

namespace mosscatch {

// Tells a fetched page's kind (results, photo, sizes) by plain substring
// tests and queues the addresses it leads to, by the size options. Photos
// listed on a photo or sizes page are not the keyword's: only results pages
// add photos, each photo's pages are queued once, and photos past the
// keyword's budget are refused, so its transfers go to whole photos.
class PageScraper : public QObject, public PageSink
{
    Q_OBJECT

public:
    PageScraper(const SiteConfiguration &site, const HarvestOptions &options, AddressQueue &queue,
                QObject *parent = nullptr);

    // Scrapes the page held by record (data, target, url, path). On a page of
    // unexpected shape it stops at once; what it queued before stays queued.
    [[nodiscard]] Outcome process(const TransferRecord &record) override;

    // Result pages of the current keyword; 0 until its first results page was read.
    double resultPageCount() const { return m_resultPageCount; }
    // Only for tests: a keyword whose first results page was read already.
    void setResultPageCount(double pages) { m_resultPageCount = pages; }
    const ResultPageWalker &walker() const { return m_walker; }
    ResultPageWalker &walker() { return m_walker; }
    // Photos results pages listed past their keyword's budget, since start-up.
    qint64 refusedPhotos() const { return m_refusedPhotos; }

public slots:
    // A keyword's harvest begins: no result count known, no key seen.
    void beginKeyword(const QString &keyword);

signals:
    // A page and an address found on it, as "page --: address".
    void logLine(const QByteArray &line);
    // The keyword's first results page gave its result count.
    void resultCountRead(double resultCount);

private:
    Outcome processResultsPage(const TransferRecord &record);
    double pageAllowance(const QByteArray &path) const;
    QList<QByteArray> withinBudget(QList<QByteArray> pieces, double allowance);
    static QByteArray photoLink(const QByteArray &piece);
    void queuePhotoPages(const QByteArray &origin, const QList<QByteArray> &pieces);
    void queueOnce(const QByteArray &address, const QByteArray &key);
    Outcome queueThumbnails(const QByteArray &pageUrl, const QList<QByteArray> &pieces);
    Outcome processSizesPage(const TransferRecord &record);
    Outcome queueDisplayedLargest(const TransferRecord &record);
    Outcome processPhotoPage(const TransferRecord &record);
    void queueAndLog(const QByteArray &pageUrl, const QByteArray &address);
    // Every piece in order, the one before the first delimiter included; none
    // for an empty text.
    static QList<QByteArray> splitAt(const QByteArray &text, QByteArrayView delimiter);

    const SiteConfiguration &m_site;
    const HarvestOptions &m_options;
    AddressQueue &m_queue;
    DoneRegistry m_registry;
    ResultPageWalker m_walker;
    double m_resultPageCount = 0;
    // The most any keyword takes until its result count is read.
    double m_photoBudget = ResultPageWalker::MaxPages * ResultPageWalker::ResultsPerPage;
    // The photo pages the keyword took, at most its budget.
    QSet<QByteArray> m_photosTaken;
    qint64 m_refusedPhotos = 0;
};

}
