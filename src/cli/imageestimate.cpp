#include "cli/imageestimate.h"

#include "engine/resultpagewalker.h"

#include <algorithm>
#include <cmath>

namespace mosscatch {

ImageEstimate ImageEstimate::of(double resultCount, const QString &maxImages, bool thumbnails,
                                bool standard, bool largest)
{
    const double pagesQueued
            = std::max(0.0, std::floor(ResultPageWalker::lastPage(resultCount, maxImages)));
    const double photos = std::min(resultCount, pagesQueued * ResultPageWalker::ResultsPerPage);
    const int sizes = int(thumbnails) + int(standard) + int(largest);
    return {int(photos) * sizes, thumbnails && photos > 0};
}

}
