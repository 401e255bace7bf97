#pragma once

#include "engine/addressqueue.h"
#include "engine/doneregistry.h"
#include "engine/harvestoptions.h"
#include "engine/harveststate.h"
#include "engine/resultpagewalker.h"
#include "engine/siteconfiguration.h"
#include "engine/slotrecord.h"

#include <QByteArray>
#include <QList>

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
    Outcome processResultsPage(const SlotRecord &record);
    void queuePhotoPages(const QByteArray &host, const QList<QByteArray> &pieces);
    Outcome queueThumbnails(const QByteArray &pageUrl, const QList<QByteArray> &pieces);
    Outcome processSizesPage(const SlotRecord &record);
    Outcome queueDisplayedLargest(const SlotRecord &record);
    Outcome processPhotoPage(const SlotRecord &record);
    void queueAndLog(const QByteArray &pageUrl, const QByteArray &address);
    // Every piece in order, the one before the first delimiter included; none
    // for an empty text.
    static QList<QByteArray> splitAt(const QByteArray &text, const QByteArray &delimiter);

    const SiteConfiguration &m_site;
    const HarvestOptions &m_options;
    HarvestState &m_state;
    AddressQueue &m_queue;
    DoneRegistry &m_registry;
    ResultPageWalker &m_walker;
};

}
