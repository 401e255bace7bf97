#include "engine/harvestengine.h"

namespace mosscatch {

HarvestEngine::HarvestEngine(SiteConfiguration site, ConnectionFactory factory, QObject *parent)
    : QObject(parent),
      m_site(std::move(site)),
      m_queue(m_site),
      m_pool(std::move(factory), m_options),
      m_statistics(m_pool, m_queue, m_state)
{
}

HarvestEngine::~HarvestEngine() = default;

void HarvestEngine::setIntervals(const Intervals &) {}

void HarvestEngine::addKeyword(const QString &keyword)
{
    m_keywords.insertRows(0, 1);
    m_keywords.setData(m_keywords.index(0), keyword);
}

bool HarvestEngine::start()
{
    return m_keywords.rowCount() > 0;
}

void HarvestEngine::nextMajorKeyword() {}
void HarvestEngine::dispatchTick() {}
void HarvestEngine::statsTick() {}
void HarvestEngine::speedTick() {}
void HarvestEngine::timeoutTick() {}

}
