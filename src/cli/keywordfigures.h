#pragma once

#include <QJsonObject>
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
    int retries = 0;
    int transfers = 0;
    double bytesReceived = 0;
    double elapsedSeconds = 0;

    int images() const { return thumbnails + standard + largest; }
    QJsonObject toJson() const;
};

}
