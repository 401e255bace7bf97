#include "engine/harvestengine.h"

namespace mosscatch {

HarvestEngine::HarvestEngine(SiteConfiguration site, ConnectionFactory factory, QObject *parent)
    : QObject(parent),
      m_site(std::move(site)),
      m_queue(m_site),
      m_pool(std::move(factory), m_options),
      m_driver(m_site, m_options, m_queue, m_pool),
      m_scraper(m_site, m_options, m_queue),
      m_context{m_scraper, m_pool.cache(), m_options, 0, {}, {}},
      m_dispatcher(m_options, m_queue, m_pool, m_context),
      m_statistics(m_pool, m_queue, m_context)
{
    // A coarse timer may fire early, and the dispatch interval is a promise to the site.
    m_nextTimer.setTimerType(Qt::PreciseTimer);
    setIntervals({});
    connectParts();
    connectTimers();
    m_statsTimer.start();
}

HarvestEngine::~HarvestEngine()
{
    // Unfinished images leave no temporary file behind.
    m_pool.unloadSocks();
}

void HarvestEngine::connectParts()
{
    connect(&m_driver, &RunDriver::keywordStarted, this, &HarvestEngine::keywordStarted);
    connect(&m_driver, &RunDriver::harvestPrepared, &m_scraper,
            [this] { m_scraper.beginKeyword(m_driver.currentKeyword()); });
    connect(&m_driver, &RunDriver::harvestPrepared, &m_dispatcher, &Dispatcher::beginKeyword);
    connect(&m_driver, &RunDriver::harvestPrepared, this, &HarvestEngine::enableHarvestTimers);
    // A keyword's search goes out at once, not a tick later.
    connect(&m_driver, &RunDriver::harvestPrepared, this, &HarvestEngine::dispatchIfDue,
            Qt::QueuedConnection);
    connect(&m_driver, &RunDriver::keywordFailed, this, &HarvestEngine::keywordFailed);
    connect(&m_driver, &RunDriver::runOver, this, &HarvestEngine::runOver);

    connect(&m_dispatcher, &Dispatcher::nextKeywordWanted, &m_driver, &RunDriver::nextMajorKeyword);
    connect(&m_dispatcher, &Dispatcher::transferStarted, this, &HarvestEngine::transferStarted);
    // The tick's phase follows the latest dispatch, so two dispatches are
    // never closer than its interval.
    connect(&m_dispatcher, &Dispatcher::transferStarted, this, [this] {
        m_sinceDispatch.start();
        if (m_nextTimer.isActive())
            m_nextTimer.start();
    });
    connect(&m_pool, &ConnectionPool::transferFinished, this, &HarvestEngine::announce);
    // A freed slot takes the next address without waiting for the tick.
    connect(&m_pool, &ConnectionPool::transferFinished, this, &HarvestEngine::dispatchIfDue,
            Qt::QueuedConnection);
    connect(&m_dispatcher, &Dispatcher::nameRefused, this, &HarvestEngine::nameRefused);
    connect(&m_dispatcher, &Dispatcher::addressGivenUp, this, &HarvestEngine::addressGivenUp);
    connect(&m_dispatcher, &Dispatcher::keywordCutShort, this, &HarvestEngine::keywordCutShort);
    connect(&m_pool, &ConnectionPool::transferRetried, this, &HarvestEngine::transferRetried);
    connect(&m_pool, &ConnectionPool::pageFetched, this, &HarvestEngine::pageFetched);
    connect(&m_pool.cache(), &ConnectionCache::hostDown, this, &HarvestEngine::hostDown);
    connect(&m_scraper, &PageScraper::logLine, this, &HarvestEngine::logLine);
    connect(&m_scraper, &PageScraper::resultCountRead, &m_dispatcher, &Dispatcher::limitToResults);

    connect(this, &HarvestEngine::addressGivenUp, &m_driver, &RunDriver::noteGivenUp);
}

void HarvestEngine::connectTimers()
{
    connect(&m_nextTimer, &QTimer::timeout, &m_dispatcher, &Dispatcher::tick);
    connect(&m_statsTimer, &QTimer::timeout, &m_statistics, &HarvestStatistics::updateStats);
    connect(&m_speedTimer, &QTimer::timeout, &m_statistics,
            qOverload<>(&HarvestStatistics::speedTick));
    connect(&m_timeoutTimer, &QTimer::timeout, &m_pool, &ConnectionPool::timeoutTick);
    connect(&m_timeoutTimer, &QTimer::timeout, &m_dispatcher, &Dispatcher::stallWatchTicked);
}

void HarvestEngine::setIntervals(const Intervals &intervals)
{
    m_nextTimer.setInterval(intervals.next);
    m_statsTimer.setInterval(intervals.stats);
    m_speedTimer.setInterval(intervals.speed);
    m_timeoutTimer.setInterval(intervals.timeout);
    m_pool.setStallWatchInterval(intervals.timeout);
}

void HarvestEngine::setLimits(const Limits &limits)
{
    m_queue.setCapacity(limits.queue);
    m_dispatcher.setTransferCap(limits.transfersPerKeyword);
}

void HarvestEngine::addKeywordsInOrder(const QStringList &keywords)
{
    // The newest entry is harvested first.
    for (auto keyword = keywords.crbegin(); keyword != keywords.crend(); ++keyword)
        addKeyword(*keyword);
}

void HarvestEngine::addKeyword(const QString &keyword)
{
    QStringListModel *list = m_driver.keywords();
    list->insertRows(0, 1);
    list->setData(list->index(0), keyword);
}

bool HarvestEngine::start()
{
    if (m_driver.keywords()->rowCount() == 0)
        return false;
    m_dispatcher.dropKeyword();
    return m_driver.nextMajorKeyword();
}

// What became of an address, told in the engine's signals.
void HarvestEngine::announce(const TransferResult &result)
{
    using Outcome = TransferResult::Outcome;
    switch (result.outcome) {
    case Outcome::Saved:
        emit imageSaved(result.savedPath);
        emit imageCommitted(result.savedPath,
                            sizeFolderOf(result.savedPath, m_driver.keywordFolder()));
        return;
    case Outcome::AlreadyOnDisk:
        emit imageAlreadyOnDisk(result.savedPath);
        return;
    case Outcome::PageTaken:
        return;
    case Outcome::NotWritten:
        // The image is fetched again once the run goes on.
        m_dispatcher.fetchAgain(result.queuedAs);
        m_options.setPaused(true);
        emit writingStopped(result.writeError);
        return;
    case Outcome::NameRefused:
        emit nameRefused(result.url, result.reason);
        break;
    case Outcome::CertificateRejected:
        emit certificateRejected(result.host, result.reason);
        break;
    case Outcome::GivenUp:
        if (!result.reason.isEmpty())
            emit connectionFailed(result.host, result.reason);
        break;
    }
    emit addressGivenUp(result.url);
}

void HarvestEngine::dispatchIfDue()
{
    if (m_nextTimer.isActive()
        && (!m_sinceDispatch.isValid() || m_sinceDispatch.elapsed() >= m_nextTimer.interval()))
        m_dispatcher.tick();
}

void HarvestEngine::enableHarvestTimers()
{
    // Restarting a running timer would shift its phase; once running they stay.
    if (!m_speedTimer.isActive())
        m_statistics.startSpeedClock();
    for (QTimer *timer : {&m_speedTimer, &m_timeoutTimer, &m_nextTimer}) {
        if (!timer->isActive())
            timer->start();
    }
}

}
