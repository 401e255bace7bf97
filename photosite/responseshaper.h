#pragma once

#include "photosite/faultrule.h"
#include "photosite/siterouter.h"

#include <QByteArray>

namespace mosscatch {

// How a response goes on the wire: `first` is written at once, `rest` (if
// any) paced in pieces. After the last byte the connection closes, unless
// keepsOpen lets it read the next request.
struct Delivery
{
    // PacedFirst: `first` in pieces of chunkBytes, then `rest` at once.
    // Reset: `first`, then a reset (RST) intervalMs later.
    // Cut: `first`, then the TCP connection ends intervalMs later, TLS or not.
    enum class Mode { Whole, Paced, Endless, Stall, Reset, PacedFirst, Cut };

    Mode mode = Mode::Whole;
    QByteArray first;
    QByteArray rest; // Paced: what follows; Endless: the piece repeated forever
    int chunkBytes = 0;
    int intervalMs = 0;
    bool keepsOpen = false;
};

// Turns the normal answer to a request into what a fault rule asks for.
class ResponseShaper
{
public:
    explicit ResponseShaper(const SiteRouter &router) : m_router(router) { }

    Delivery normal(const SiteResponse &response) const;
    Delivery faulted(const SiteResponse &response, const FaultRule &rule,
                     const QByteArray &path) const;

private:
    Delivery shaped(const SiteResponse &response, const FaultRule &rule,
                    const QByteArray &path) const;
    static bool endsWithClose(FaultRule::Kind kind);
    static SiteResponse alike(SiteResponse made, const SiteResponse &model);
    Delivery withLength(const SiteResponse &response, const QByteArray &contentLength) const;
    Delivery paced(const QByteArray &first, const QByteArray &rest, int chunkBytes,
                   int intervalMs) const;
    static SiteResponse withPageEnd(SiteResponse response, const QByteArray &end);
    static SiteResponse padded(SiteResponse response, qint64 size);
    static SiteResponse withImageAddress(SiteResponse response, const QByteArray &address);
    static SiteResponse withBlocks(SiteResponse response, const QByteArray &blocks);
    static QByteArray bomb(const QByteArray &body, qint64 count);
    static Delivery split(const SiteResponse &response, qint64 at, int intervalMs);
    static QByteArray withFields(const SiteResponse &response, const QList<QByteArray> &lines);

    const SiteRouter &m_router;
};

}
