#pragma once

#include "engine/addressqueue.h"
#include "engine/connectionpool.h"
#include "engine/dispatcher.h"
#include "engine/harvestoptions.h"
#include "engine/harveststatistics.h"
#include "engine/pagescraper.h"
#include "engine/rundriver.h"
#include "engine/siteconfiguration.h"
#include "engine/sizefolder.h"
#include "engine/transfercontext.h"
#include "net/connection.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringListModel>
#include <QTimer>

namespace mosscatch {

// The harvest engine as one object: the one place its parts are made and
// wired. The window is one view of it; tests and the command line drive it
// headless, tests on scripted connections from their own factory.
//
// A keyword's road through the parts:
//  1. start(), or later the Dispatcher's hand-over, asks the RunDriver for the
//     next keyword: it takes the top of the keyword list, rebuilds the
//     ConnectionPool, makes the keyword's folders and queues its search
//     address on the AddressQueue.
//  2. Each dispatch tick the Dispatcher makes a Transfer of the top queued
//     address and starts it on a free slot of the pool. Addresses whose image
//     is on disk, or which the keyword requested already, are passed over in
//     the same tick; addresses of a host that asked for a wait stay queued.
//  3. The Transfer runs every attempt of its address: it borrows a connection
//     from the ConnectionCache (one kept open or opened ahead for the same
//     site, else a new one), sends the request, reads the response, writes an
//     image to its file or hands a whole page to the PageScraper, gives the
//     connection back fit for reuse or not, and retries or follows a redirect
//     as the response asks. A 429 or 503 holds the host (HostHolds) and the
//     retry waits for the hold. It ends with one TransferResult, which the
//     engine turns into its signals.
//  4. On the keyword's first results page the scraper's ResultPageWalker reads
//     the result count and queues the numbered result pages, and the
//     Dispatcher's transfer cap follows the count; other results pages yield
//     photo pages, sizes pages and thumbnails, each photo's pages once; photo
//     and sizes pages yield images.
//  5. The pool's stall watch restarts transfers that stopped moving; the
//     HarvestStatistics turn the slots and the transfers into figures.
//  6. Once nothing is left to hand out, the Dispatcher wants the next keyword
//     (step 1); with the list empty the RunDriver says the run is over.
class HarvestEngine : public QObject
{
    Q_OBJECT

public:
    struct Intervals
    {
        int next = 50;
        int stats = 250;
        int speed = 2000;
        int timeout = 20000;
    };

    struct Limits
    {
        qsizetype queue = AddressQueue::Capacity;
        int transfersPerKeyword = Dispatcher::MaxTransfersPerKeyword;
    };

    HarvestEngine(SiteConfiguration site, ConnectionFactory factory, QObject *parent = nullptr);
    ~HarvestEngine() override;

    const SiteConfiguration &site() const { return m_site; }
    HarvestOptions &options() { return m_options; }
    // The keyword list, newest first; the engine takes and removes the top entry.
    QStringListModel *keywords() { return m_driver.keywords(); }
    AddressQueue *queue() { return &m_queue; }
    ConnectionPool *pool() { return &m_pool; }
    RunDriver *driver() { return &m_driver; }
    PageScraper *scraper() { return &m_scraper; }
    TransferContext &transferContext() { return m_context; }
    // Bytes received by all transfers since start-up, headers included.
    qint64 totalReceived() const { return m_context.totalReceived; }
    Dispatcher *dispatcher() { return &m_dispatcher; }
    HarvestStatistics *statistics() { return &m_statistics; }

    // Only for tests: shorter timer intervals, so a stall does not cost minutes.
    void setIntervals(const Intervals &intervals);
    // Only for tests: smaller bounds, so a link farm ends in seconds.
    void setLimits(const Limits &limits);

    // Inserts a keyword at the top of the list.
    void addKeyword(const QString &keyword);
    // Adds keywords so that they are harvested in the order given.
    void addKeywordsInOrder(const QStringList &keywords);
    // The Start button: false (and nothing changes) when the list is empty.
    // During a run it ends the keyword at hand, running transfers counted as
    // given up and its queue dropped, and starts the next.
    bool start();

signals:
    void keywordStarted(const QString &keyword);
    // The keyword list ran empty with nothing left to fetch.
    void runOver();
    void imageSaved(const QString &path);
    // The same image, with the size folder it went to.
    void imageCommitted(const QString &path, mosscatch::SizeFolder folder);
    // Another image took the name first: the one under path stays and ours
    // was dropped; it is not counted as saved.
    void imageAlreadyOnDisk(const QString &path);
    void pageFetched(const QByteArray &url);
    void addressGivenUp(const QByteArray &url);
    // The image's name is one the file system refuses (a folder is under it,
    // say) or no file can have; addressGivenUp follows.
    void nameRefused(const QByteArray &url, const QString &reason);
    // Given up at once: the host's certificate is not trusted.
    void certificateRejected(const QByteArray &host, const QString &reason);
    void connectionFailed(const QByteArray &host, const QString &reason);
    // The host's addresses are given up without a request for the rest of the
    // keyword: it did not answer, or its certificate is not trusted.
    void hostDown(const QByteArray &host, const QString &reason);
    void transferRetried(int index);
    void transferStarted(int index, const QByteArray &url);
    // The keyword cannot be harvested (folder, search page); the run goes on.
    void keywordFailed(const QString &keyword, const QString &reason);
    // The keyword reached its transfer cap and handed over with what it had.
    void keywordCutShort();
    // A page and an address found on it, as "page --: address".
    void logLine(const QByteArray &line);
    // An image could not be written for a reason that holds for every image:
    // the run is paused, and the image is fetched again once it goes on.
    void writingStopped(const mosscatch::WriteError &error);

private:
    void connectParts();
    void connectTimers();
    void enableHarvestTimers();
    void announce(const mosscatch::TransferResult &result);
    void dispatchIfDue();

    SiteConfiguration m_site;
    HarvestOptions m_options;
    AddressQueue m_queue;
    ConnectionPool m_pool;
    RunDriver m_driver;
    PageScraper m_scraper;
    TransferContext m_context;
    Dispatcher m_dispatcher;
    HarvestStatistics m_statistics;
    QTimer m_nextTimer;
    // Since the latest dispatch: a slot freed between two ticks takes the
    // next address as soon as a whole dispatch interval has passed.
    QElapsedTimer m_sinceDispatch;
    QTimer m_statsTimer;
    QTimer m_speedTimer;
    QTimer m_timeoutTimer;
};

}
