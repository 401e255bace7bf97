#pragma once

#include "controls/colour.h"

#include <QImage>

class QFont;
class QRect;
class QSize;
class QString;

namespace mosscatch {

// Pixel primitives with the semantics of the classic Windows drawing calls,
// on an RGB32 image. Pixels outside the image are dropped. On an image of a
// higher device pixel ratio, each pixel is a square block of the ratio
// rounded, so a scaled desktop shows the same look, only sharper.
class ButtonCanvas
{
public:
    explicit ButtonCanvas(QImage *image);

    int width() const;
    int height() const;

    void fill(Colour colour);
    // The rectangle (x, y)-(x + w, y + h), right and bottom edges excluded.
    void box(int x, int y, int w, int h, Colour colour);
    void frame(int x, int y, int w, int h, Colour colour);
    // One-pixel line; the end point itself is not painted.
    void drawLine(int x1, int y1, int x2, int y2, Colour colour);
    void putPixel(int x, int y, Colour colour);
    // Inverts every other pixel of the outline of rect, like DrawFocusRect.
    void drawFocus(const QRect &rect);
    // One line, centred both ways in rect, not clipped to it; "&" marks a
    // mnemonic as in a push-button caption.
    void drawCaption(const QRect &rect, const QString &caption, const QFont &font, Colour colour);
    static QSize textSize(const QString &text, const QFont &font);

private:
    void invertPixel(int x, int y);
    bool contains(int x, int y) const;

    QImage *m_image;
    int m_scale;
};

}
