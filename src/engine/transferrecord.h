#pragma once

#include "engine/chunkeddecoder.h"
#include "engine/partialimage.h"
#include "net/connectiontarget.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace mosscatch {

// Everything known about one transfer: what the Transfer that owns it reads
// and writes, and what the rows and the scraper read.
struct TransferRecord
{
    // Response bytes received for the current request and not yet consumed.
    QByteArray data;
    // Where the connection goes.
    ConnectionTarget target;
    // Address shown in the slot's status row.
    QByteArray url;
    // The queued address this transfer began with; redirects leave it as it
    // is, so an image fetched again goes to the same folder.
    QByteArray queuedAs;
    // Why the address was given up, in words, where a connection said why.
    QString failure;
    // Request target sent after "GET ".
    QByteArray path;
    qint16 retries = 0;
    // Arrived as seen by the previous stall-watch tick.
    qint64 lastReceived = 0;
    // A stall-watch tick has seen the current attempt, which has therefore
    // had a whole interval by the next one.
    bool watched = false;
    // Body length announced by the response; 0 while none is known.
    qint64 contentLength = 0;
    // Destination folder of an image, ending in "/".
    QString folder;
    // Destination file name of an image, as the address spells it.
    QByteArray fileName;
    // Body bytes received so far for the current request.
    qint64 received = 0;

    // Every byte received for this address, headers included, across retries:
    // what the stall watch measures progress by.
    qint64 arrived = 0;
    // Redirects followed for this address, across retries.
    int redirects = 0;
    // The next attempt waits for its host's hold to run out; the slot stays taken.
    bool held = false;
    // The current attempt went out on a connection kept from an earlier transfer.
    bool reused = false;
    // Bytes of the current attempt's response received so far, headers included.
    qint64 attemptArrived = 0;
    // The open temporary file of an image transfer, if its body has begun.
    std::unique_ptr<PartialImage> image;

    // Exchange bookkeeping of the current attempt, started afresh with each request.
    // Bytes of data already searched; later searches start at or just before.
    qsizetype scanned = 0;
    // Header bytes of interim answers (1xx) passed over.
    qsizetype interimBytes = 0;
    // The response header is behind us (or there was none): what arrives is body.
    bool bodyStarted = false;
    // The body is chunked and decoded by chunks; its framing is never kept.
    bool chunked = false;
    ChunkedDecoder chunks;
    // The response lets its connection carry the next request: it said so,
    // and its body has a stated end.
    bool keepConnection = false;
    // The first two and the last six body bytes of an image, for the checks
    // that need them once the bytes themselves are on disk.
    QByteArray firstBytes;
    QByteArray lastBytes;
};

}
