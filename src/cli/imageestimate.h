#pragma once

#include <QString>

namespace mosscatch {

// How many images the harvest of a keyword should save, once its result
// count is known: the photos on the result pages queued, times the sizes
// ticked.
struct ImageEstimate
{
    int images = 0;
    // Thumbnails served from the site's portal are skipped, and which those
    // are shows only on the result pages themselves.
    bool approximate = false;

    static ImageEstimate of(double resultCount, const QString &maxImages, bool thumbnails,
                            bool standard, bool largest);
};

}
