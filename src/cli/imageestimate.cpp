#include "cli/imageestimate.h"

#include "engine/resultpagewalker.h"

#include <algorithm>
#include <cmath>

namespace mosscatch {

ImageEstimate ImageEstimate::of(double resultCount, const QString &maxImages, bool thumbnails,
                                bool standard, bool largest)
{
    const double photos = std::max(0.0, ResultPageWalker::photoBudget(resultCount, maxImages));
    const int sizes = int(thumbnails) + int(standard) + int(largest);
    return {int(photos) * sizes, thumbnails && photos > 0};
}

}
