#pragma once

#include "engine/addressqueue.h"
#include "engine/doneregistry.h"
#include "engine/harvestoptions.h"
#include "engine/harveststate.h"
#include "engine/resultpagewalker.h"
#include "engine/siteconfiguration.h"
#include "engine/slotrecord.h"

#include <QByteArray>

namespace mosscatch {

// Tells a fetched page's kind (results, photo, sizes) by plain substring
// tests and queues the addresses it leads to, by the size options.
class PageScraper
{
public:
    enum class Outcome { Done, UnexpectedShape };

    PageScraper(const SiteConfiguration &site, const HarvestOptions &options, HarvestState &state,
                AddressQueue &queue, DoneRegistry &registry, ResultPageWalker &walker);

    // Scrapes the page held by record (data, host, url, path). On a page of
    // unexpected shape it stops at once; what it queued before stays queued.
    [[nodiscard]] Outcome process(const SlotRecord &record);

    // The engine has no log view: found addresses go nowhere.
    static void logLine(const QByteArray &) {}

private:
    const SiteConfiguration &m_site;
    const HarvestOptions &m_options;
    HarvestState &m_state;
    AddressQueue &m_queue;
    DoneRegistry &m_registry;
    ResultPageWalker &m_walker;
};

}
