#pragma once

#include "engine/chunkeddecoder.h"
#include "engine/partialimage.h"
#include "net/connectiontarget.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

namespace mosscatch {

// Everything known about one transfer: what the Transfer that owns it reads
// and writes, and what the rows and the scraper read.
struct TransferRecord
{
    // What one attempt has read of its response; each attempt starts with a
    // blank one, since a length or a coding an earlier response announced
    // says nothing about the next.
    struct Exchange
    {
        // Response bytes received and not yet consumed; a page's body as it grows.
        QByteArray data;
        // Body length the response announced; 0 while none is known.
        qint64 contentLength = 0;
        // Body bytes received so far.
        qint64 received = 0;
        // Bytes of the response received so far, header included.
        qint64 arrived = 0;
        // Bytes of data already searched; later searches start at or just before.
        qsizetype scanned = 0;
        // Header bytes of interim answers (1xx) passed over.
        qsizetype interimBytes = 0;
        // The response header is behind us (or there was none): what arrives is body.
        bool bodyStarted = false;
        // The body is chunked and decoded by chunks; its framing is never kept.
        bool chunked = false;
        ChunkedDecoder chunks;
        // The body reached its stated end: its length, or the last chunk.
        bool bodyEnded = false;
        // The response lets its connection carry the next request: it said
        // so, and its body has a stated end.
        bool keepConnection = false;
        // A redirect's target, while its body is still being read.
        std::optional<QByteArray> redirect;
        // The first two and the last six body bytes of an image, for the
        // checks that need them once the bytes themselves are on disk.
        QByteArray firstBytes;
        QByteArray lastBytes;
        // The open temporary file of an image, once its body has begun.
        std::unique_ptr<PartialImage> image;
    };

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
    // Destination folder of an image, ending in "/".
    QString folder;
    // Destination file name of an image, as the address spells it.
    QByteArray fileName;
    qint16 retries = 0;
    // Redirects followed for this address, across retries.
    int redirects = 0;
    // Every byte received for this address, headers included, across retries:
    // what the stall watch measures progress by.
    qint64 arrived = 0;
    // Arrived as seen by the previous stall-watch tick.
    qint64 lastReceived = 0;
    // A stall-watch tick has seen the current attempt, which has therefore
    // had a whole interval by the next one.
    bool watched = false;
    // The current attempt went out on a connection kept from an earlier transfer.
    bool reused = false;
    Exchange exchange;
};

}
