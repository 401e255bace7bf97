#pragma once

#include "engine/harvestoptions.h"
#include "engine/hostholds.h"

#include <QByteArray>

namespace mosscatch {

class PageScraper;

// What every transfer of a harvest shares: the scraper its pages go to, the
// holds of hosts that asked for a wait, the options, the byte count, and
// buffers reused for every arrival, so reading a socket allocates nothing
// once warm.
struct TransferContext
{
    PageScraper &scraper;
    HostHolds &holds;
    const HarvestOptions &options;
    // Bytes received by all transfers since start-up, headers included.
    qint64 totalReceived = 0;
    QByteArray chunk;
    QByteArray decoded;
};

}
