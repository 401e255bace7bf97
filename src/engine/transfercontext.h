#pragma once

#include "engine/connectioncache.h"
#include "engine/harvestoptions.h"
#include "engine/pagesink.h"

#include <QByteArray>

namespace mosscatch {

// What every transfer of a harvest shares: the sink its pages go to, the
// connections and what is known of their hosts, the options, the byte count,
// and buffers reused for every arrival, so reading a socket allocates nothing
// once warm.
struct TransferContext
{
    PageSink &pages;
    ConnectionCache &connections;
    const HarvestOptions &options;
    // Bytes received by all transfers since start-up, headers included.
    qint64 totalReceived = 0;
    QByteArray chunk;
    QByteArray decoded;
};

}
