#include "engine/harveststatistics.h"

namespace mosscatch {

HarvestStatistics::HarvestStatistics(const ConnectionPool &pool, const AddressQueue &queue,
                                     HarvestState &state, QObject *parent)
    : QObject(parent), m_pool(pool), m_queue(queue), m_state(state)
{
}

QString HarvestStatistics::sockStateName(int) { return {}; }
void HarvestStatistics::updateStats() {}
void HarvestStatistics::speedTick() {}

}
