#pragma once

#include "engine/hostsdown.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace mosscatch {

// What the harvest of one keyword did.
struct KeywordFigures
{
    QString keyword;
    int thumbnails = 0;
    int standard = 0;
    int largest = 0;
    int pages = 0;
    int givenUp = 0;
    // Of them, the images.
    int imagesGivenUp = 0;
    int retries = 0;
    int transfers = 0;
    qint64 bytesReceived = 0;
    double elapsedSeconds = 0;
    // -1 until the keyword's result count is known.
    int expectedImages = -1;
    bool expectedApproximate = false;
    // Addresses the full queue turned away, and photos past the keyword's budget.
    qint64 refused = 0;
    // Stopped at the transfer cap with addresses still queued.
    bool cutShort = false;
    // Why the keyword could not be harvested; empty when it could.
    QString failure = {};
    // Hosts whose addresses were given up without a request.
    QList<HostsDown::Entry> hostsDown = {};

    int images() const { return thumbnails + standard + largest; }
    bool expectationKnown() const { return expectedImages >= 0; }
    QJsonObject toJson() const;
    static QJsonArray toJson(const QList<HostsDown::Entry> &hosts);
};

}
