#include "controls/buttoncanvas.h"

#include <QFontMetrics>
#include <QPainter>

#include <cstdlib>

namespace mosscatch {

ButtonCanvas::ButtonCanvas(QImage *image)
    : m_image(image), m_scale(qMax(1, qRound(image->devicePixelRatio())))
{
}

int ButtonCanvas::width() const
{
    return m_image->width() / m_scale;
}

int ButtonCanvas::height() const
{
    return m_image->height() / m_scale;
}

void ButtonCanvas::fill(Colour colour)
{
    m_image->fill(toQColor(colour));
}

void ButtonCanvas::box(int x, int y, int w, int h, Colour colour)
{
    for (int row = y; row < y + h; ++row) {
        for (int column = x; column < x + w; ++column)
            putPixel(column, row, colour);
    }
}

void ButtonCanvas::frame(int x, int y, int w, int h, Colour colour)
{
    if (w <= 0 || h <= 0)
        return;
    box(x, y, w, 1, colour);
    box(x, y + h - 1, w, 1, colour);
    box(x, y, 1, h, colour);
    box(x + w - 1, y, 1, h, colour);
}

void ButtonCanvas::drawLine(int x1, int y1, int x2, int y2, Colour colour)
{
    const int dx = std::abs(x2 - x1);
    const int dy = -std::abs(y2 - y1);
    const int stepX = x1 < x2 ? 1 : -1;
    const int stepY = y1 < y2 ? 1 : -1;
    int error = dx + dy;
    int x = x1;
    int y = y1;
    while (x != x2 || y != y2) {
        putPixel(x, y, colour);
        const int doubled = 2 * error;
        if (doubled >= dy) {
            error += dy;
            x += stepX;
        }
        if (doubled <= dx) {
            error += dx;
            y += stepY;
        }
    }
}

void ButtonCanvas::putPixel(int x, int y, Colour colour)
{
    if (!contains(x, y))
        return;
    const QRgb rgb = toQColor(colour).rgb();
    for (int row = 0; row < m_scale; ++row) {
        for (int column = 0; column < m_scale; ++column)
            m_image->setPixel(x * m_scale + column, y * m_scale + row, rgb);
    }
}

void ButtonCanvas::drawFocus(const QRect &rect)
{
    if (rect.isEmpty())
        return;
    const int right = rect.x() + rect.width() - 1;
    const int bottom = rect.y() + rect.height() - 1;
    for (int x = rect.x(); x <= right; ++x) {
        invertPixel(x, rect.y());
        if (bottom != rect.y())
            invertPixel(x, bottom);
    }
    for (int y = rect.y() + 1; y < bottom; ++y) {
        invertPixel(rect.x(), y);
        if (right != rect.x())
            invertPixel(right, y);
    }
}

void ButtonCanvas::drawCaption(const QRect &rect, const QString &caption, const QFont &font,
                               Colour colour)
{
    if (caption.isEmpty())
        return;
    QPainter painter(m_image);
    painter.setFont(font);
    painter.setPen(toQColor(colour));
    painter.drawText(rect,
                     Qt::AlignCenter | Qt::TextSingleLine | Qt::TextDontClip | Qt::TextShowMnemonic,
                     caption);
}

QSize ButtonCanvas::textSize(const QString &text, const QFont &font)
{
    const QFontMetrics metrics(font);
    return QSize(metrics.horizontalAdvance(text), metrics.height());
}

void ButtonCanvas::invertPixel(int x, int y)
{
    if (!contains(x, y) || (x + y) % 2 != 0)
        return;
    for (int row = 0; row < m_scale; ++row) {
        for (int column = 0; column < m_scale; ++column) {
            const QPoint pixel(x * m_scale + column, y * m_scale + row);
            m_image->setPixel(pixel, m_image->pixel(pixel) ^ 0x00FFFFFF);
        }
    }
}

bool ButtonCanvas::contains(int x, int y) const
{
    return x >= 0 && y >= 0 && x < width() && y < height();
}

}
