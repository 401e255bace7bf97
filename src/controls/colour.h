#pragma once

#include <QColor>
#include <QtGlobal>

namespace mosscatch {

// A colour as the button's properties and design carry it: &H00BBGGRR,
// red in the low byte. It becomes a QColor only at the moment of drawing.
using Colour = quint32;

inline QColor toQColor(Colour colour)
{
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

inline Colour fromQColor(const QColor &color)
{
    return Colour(color.red()) | Colour(color.green()) << 8 | Colour(color.blue()) << 16;
}

}
