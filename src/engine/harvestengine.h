#pragma once

#include "engine/addressqueue.h"
#include "engine/connectionpool.h"
#include "engine/dispatcher.h"
#include "engine/doneregistry.h"
#include "engine/harvestoptions.h"
#include "engine/harveststate.h"
#include "engine/harveststatistics.h"
#include "engine/httpexchange.h"
#include "engine/pagescraper.h"
#include "engine/resultpagewalker.h"
#include "engine/rundriver.h"
#include "engine/siteconfiguration.h"
#include "engine/sizefolder.h"
#include "net/connection.h"

#include <QDateTime>
#include <QObject>
#include <QStringListModel>
#include <QTimer>

namespace mosscatch {

// The harvest engine as one object: keyword list, options, queue, pool,
// exchange, scraper and the four timers. The window is one view of it; tests
// and the command line drive it headless. Tick handlers are public slots so
// tests can call them directly.
class HarvestEngine : public QObject
{
    Q_OBJECT

public:
    struct Intervals {
        int next = 50;
        int stats = 250;
        int speed = 2000;
        int timeout = 20000;
    };

    HarvestEngine(SiteConfiguration site, ConnectionFactory factory, QObject *parent = nullptr);
    ~HarvestEngine() override;

    const SiteConfiguration &site() const { return m_site; }
    HarvestOptions &options() { return m_options; }
    const HarvestState &state() const { return m_state; }
    // The keyword list, newest first; the engine takes and removes the top entry.
    QStringListModel *keywords() { return &m_keywords; }
    AddressQueue *queue() { return &m_queue; }
    ConnectionPool *pool() { return &m_pool; }
    HarvestStatistics *statistics() { return &m_statistics; }
    // When the current keyword's harvest began; invalid before the first one.
    QDateTime keywordStartedAt() const { return m_driver.keywordStartedAt(); }
    // The current keyword's result count; meaningful once state().resultPageCount is not 0.
    double resultCount() const { return m_walker.lastResultCount(); }

    struct Limits {
        qsizetype queue = AddressQueue::Capacity;
        int transfersPerKeyword = Dispatcher::MaxTransfersPerKeyword;
    };

    // Only for tests: shorter timer intervals, so a stall does not cost minutes.
    void setIntervals(const Intervals &intervals);
    // Only for tests: smaller bounds, so a link farm ends in seconds.
    void setLimits(const Limits &limits);

    // Inserts a keyword at the top of the list.
    void addKeyword(const QString &keyword);
    // Adds keywords so that they are harvested in the order given.
    void addKeywordsInOrder(const QStringList &keywords);
    // The Start button: false (and nothing changes) when the list is empty.
    bool start();

public slots:
    void nextMajorKeyword();
    void dispatchTick();
    void statsTick();
    void speedTick();
    void timeoutTick();

signals:
    void keywordStarted(const QString &keyword);
    // The keyword list ran empty with nothing left to fetch.
    void runOver();
    void imageSaved(const QString &path);
    // The same image, with the size folder it went to.
    void imageCommitted(const QString &path, mosscatch::SizeFolder folder);
    void pageFetched(const QByteArray &url);
    void addressGivenUp(const QByteArray &url);
    void transferRetried(int index);
    void transferStarted(int index, const QByteArray &url);
    // The keyword cannot be harvested (folder, search page); the run goes on.
    void keywordFailed(const QString &keyword, const QString &reason);
    // The keyword reached its transfer cap and handed over with what it had.
    void keywordCutShort();

private:
    SiteConfiguration m_site;
    HarvestOptions m_options;
    HarvestState m_state;
    QStringListModel m_keywords;
    AddressQueue m_queue;
    ConnectionPool m_pool;
    HarvestStatistics m_statistics;
    QTimer m_nextTimer;
    QTimer m_statsTimer;
    QTimer m_speedTimer;
    QTimer m_timeoutTimer;
    DoneRegistry m_registry;
    ResultPageWalker m_walker;
    PageScraper m_scraper;
    HttpExchange m_exchange;
    RunDriver m_driver;
    Dispatcher m_dispatcher;

    void enableHarvestTimers();
    void connectSignals();
};

}
