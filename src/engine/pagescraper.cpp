#include "engine/pagescraper.h"

namespace mosscatch {

PageScraper::PageScraper(const SiteConfiguration &site, const HarvestOptions &options,
                         HarvestState &state, AddressQueue &queue, DoneRegistry &registry,
                         ResultPageWalker &walker)
    : m_site(site), m_options(options), m_state(state), m_queue(queue), m_registry(registry),
      m_walker(walker)
{
}

PageScraper::Outcome PageScraper::process(const SlotRecord &)
{
    return Outcome::Done;
}

}
