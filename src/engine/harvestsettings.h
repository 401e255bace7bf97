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

    static QString defaultSaveFolder();
};

}
