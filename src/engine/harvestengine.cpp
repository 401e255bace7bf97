#include "engine/harvestengine.h"

namespace mosscatch {

HarvestEngine::HarvestEngine(SiteConfiguration site, ConnectionFactory factory, QObject *parent)
    : QObject(parent),
      m_site(std::move(site)),
      m_queue(m_site),
      m_pool(std::move(factory), m_options),
      m_statistics(m_pool, m_queue, m_state),
      m_walker(m_site, m_options, m_state, m_queue),
      m_scraper(m_site, m_options, m_state, m_queue, m_registry, m_walker),
      m_exchange(m_pool, m_scraper, m_state),
      m_driver(m_site, m_options, m_state, m_keywords, m_queue, m_registry, m_pool),
      m_dispatcher(m_options, m_state, m_queue, m_pool, m_driver)
{
    setIntervals({});
    connectSignals();
    m_statsTimer.start();
}

HarvestEngine::~HarvestEngine()
{
    // Unfinished images leave no temporary file behind.
    m_pool.unloadSocks();
}

void HarvestEngine::connectSignals()
{
    connect(&m_pool, &ConnectionPool::connected, &m_exchange, &HttpExchange::onConnected);
    connect(&m_pool, &ConnectionPool::dataArrival, &m_exchange, &HttpExchange::onDataArrival);
    connect(&m_pool, &ConnectionPool::peerClosed, &m_exchange, &HttpExchange::onPeerClosed);

    connect(&m_nextTimer, &QTimer::timeout, this, &HarvestEngine::dispatchTick);
    connect(&m_statsTimer, &QTimer::timeout, this, &HarvestEngine::statsTick);
    connect(&m_speedTimer, &QTimer::timeout, this, &HarvestEngine::speedTick);
    connect(&m_timeoutTimer, &QTimer::timeout, this, &HarvestEngine::timeoutTick);

    connect(&m_driver, &RunDriver::keywordStarted, this, &HarvestEngine::keywordStarted);
    connect(&m_driver, &RunDriver::harvestPrepared, this, &HarvestEngine::enableHarvestTimers);
    connect(&m_dispatcher, &Dispatcher::runOver, this, &HarvestEngine::runOver);
    connect(&m_dispatcher, &Dispatcher::transferStarted, this, &HarvestEngine::transferStarted);
    connect(&m_exchange, &HttpExchange::imageSaved, this, &HarvestEngine::imageSaved);
    connect(&m_exchange, &HttpExchange::imageSaved, this, [this](const QString &path) {
        emit imageCommitted(path, sizeFolderOf(path, m_state.keywordFolder));
    });
    connect(&m_exchange, &HttpExchange::pageFetched, this, &HarvestEngine::pageFetched);
    connect(&m_exchange, &HttpExchange::addressGivenUp, this, &HarvestEngine::addressGivenUp);
    connect(&m_pool, &ConnectionPool::addressGivenUp, this, &HarvestEngine::addressGivenUp);
    connect(&m_pool, &ConnectionPool::transferRetried, this, &HarvestEngine::transferRetried);
    connect(&m_dispatcher, &Dispatcher::addressGivenUp, this, &HarvestEngine::addressGivenUp);
    connect(&m_dispatcher, &Dispatcher::keywordCutShort, this, &HarvestEngine::keywordCutShort);
    connect(this, &HarvestEngine::addressGivenUp, &m_driver, &RunDriver::noteGivenUp);
    connect(&m_driver, &RunDriver::keywordFailed, this, &HarvestEngine::keywordFailed);
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
    m_keywords.insertRows(0, 1);
    m_keywords.setData(m_keywords.index(0), keyword);
}

bool HarvestEngine::start()
{
    if (m_keywords.rowCount() == 0)
        return false;
    nextMajorKeyword();
    return true;
}

void HarvestEngine::enableHarvestTimers()
{
    // Restarting a running timer would shift its phase; once running they stay.
    for (QTimer *timer : {&m_speedTimer, &m_timeoutTimer, &m_nextTimer}) {
        if (!timer->isActive())
            timer->start();
    }
}

void HarvestEngine::nextMajorKeyword()
{
    m_driver.nextMajorKeyword();
}

void HarvestEngine::dispatchTick()
{
    m_dispatcher.tick();
}

void HarvestEngine::statsTick()
{
    m_statistics.updateStats();
}

void HarvestEngine::speedTick()
{
    m_statistics.speedTick();
}

void HarvestEngine::timeoutTick()
{
    m_pool.timeoutTick();
    m_dispatcher.stallWatchTicked();
}

}
