#pragma once

#include <QColor>
#include <QFont>
#include <QFontDatabase>
#include <QRect>

// The window is designed in twips and stored colours; these turn them into
// pixels and QColors.
namespace mosscatch::design {

inline constexpr int TwipsPerPixel = 15;

constexpr int px(int twips)
{
    const int half = twips >= 0 ? TwipsPerPixel / 2 : -(TwipsPerPixel / 2);
    return (twips + half) / TwipsPerPixel;
}

inline QRect rect(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

// Stored colours keep red in the low byte: &H00BBGGRR.
inline QColor colour(quint32 bbggrr)
{
    return QColor(int(bbggrr & 0xff), int((bbggrr >> 8) & 0xff), int((bbggrr >> 16) & 0xff));
}

inline QFont font(qreal pointSize, bool bold = false)
{
    const QString family = QFontDatabase::families().contains(QStringLiteral("Verdana"))
                                   ? QStringLiteral("Verdana")
                                   : QStringLiteral("DejaVu Sans");
    QFont font(family);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

}
