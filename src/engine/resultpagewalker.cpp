#include "engine/resultpagewalker.h"

namespace mosscatch {

ResultPageWalker::ResultPageWalker(const SiteConfiguration &site, const HarvestOptions &options,
                                   const HarvestState &state, AddressQueue &queue)
    : m_site(site), m_options(options), m_state(state), m_queue(queue)
{
}

double ResultPageWalker::getPagesOfResults(const QByteArray &)
{
    return 0;
}

}
