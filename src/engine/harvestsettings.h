#pragma once

#include <QString>

namespace mosscatch {

// What a harvest is asked to keep and where, with the program's defaults.
struct HarvestSettings
{
    bool thumbnails = true;
    bool standard = true;
    bool largest = false;
    bool commercial = false;
    // "Max Images": a number of images, or a text holding "max" for no limit.
    QString maxImages = QStringLiteral("60");
    QString saveFolder = defaultSaveFolder();
    // "Speed Multiple": k runs 2k connections, 1 to 4.
    int speedMultiple = 1;
    // Connections stay open across transfers to the same site (HTTP/1.1);
    // off gives one HTTP/1.0 request per connection.
    bool keepAlive = true;

    static QString defaultSaveFolder();
};

}
