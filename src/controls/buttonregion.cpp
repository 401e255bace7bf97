#include "controls/buttonregion.h"

#include <QLine>
#include <QList>

#include <algorithm>

namespace mosscatch {

namespace {

// A rectangle given by two opposite corners in either order, right and
// bottom excluded, as the platform's region calls take it.
QRect rectFromCorners(const QLine &corners)
{
    const int left = std::min(corners.x1(), corners.x2());
    const int right = std::max(corners.x1(), corners.x2());
    const int top = std::min(corners.y1(), corners.y2());
    const int bottom = std::max(corners.y1(), corners.y2());
    return QRect(left, top, right - left, bottom - top);
}

QRegion cut(const QRegion &region, const QList<QLine> &corners)
{
    QRegion result = region;
    for (const QLine &pair : corners)
        result -= rectFromCorners(pair);
    return result;
}

}

QRegion ButtonRegion::make(int buttonType, int width, int height)
{
    const int w = width;
    const int h = height;
    const QRegion full(0, 0, w, h);
    switch (buttonType) {
    case 1:
        return cut(full, {{0, 0, 1, 1}, {0, h, 1, h - 1}, {w, 0, w - 1, 1}, {w, h, w - 1, h - 1}});
    case 3:
    case 4:
        return cut(full, {{0, 0, 2, 1},
                          {0, h, 2, h - 1},
                          {w, 0, w - 2, 1},
                          {w, h, w - 2, h - 1},
                          {0, 1, 1, 2},
                          {0, h - 1, 1, h - 2},
                          {w, 1, w - 1, 2},
                          {w, h - 1, w - 1, h - 2}});
    case 5:
        return cut(full, {{0, h, 1, h - 1}, {w, 0, w - 1, 1}});
    default:
        return full;
    }
}

}
