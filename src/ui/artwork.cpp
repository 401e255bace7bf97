#include "ui/artwork.h"

#include "common/product.h"
#include "ui/designunits.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace mosscatch::artwork {

namespace {

constexpr QRgb MossDark = qRgb(46, 94, 38);
constexpr QRgb MossLight = qRgb(136, 186, 84);
constexpr QRgb Violet = qRgb(192, 192, 255);
constexpr QRgb Lilac = qRgb(231, 219, 253);

// At the screen's pixel density, so the pictures stay sharp on a scaled desktop;
// painters on it still work in the sizes given here.
QPixmap blank(int width, int height)
{
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(qCeil(width * ratio), qCeil(height * ratio));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

void drawSkyPanel(QPainter &painter, const QRectF &panel, qreal radius)
{
    QLinearGradient sky(panel.topLeft(), panel.bottomLeft());
    sky.setColorAt(0, QColor(Lilac));
    sky.setColorAt(1, QColor(Violet));
    painter.setBrush(sky);
    painter.setPen(QPen(QColor(120, 120, 200), 1));
    painter.drawRoundedRect(panel, radius, radius);
}

// A tuft of moss: overlapping rounded fronds growing from one base point.
void drawTuft(QPainter &painter, QPointF base, qreal size)
{
    painter.save();
    painter.translate(base);
    painter.setPen(Qt::NoPen);
    for (int frond = -3; frond <= 3; ++frond) {
        painter.save();
        painter.rotate(frond * 18.0);
        QLinearGradient fill(0, 0, 0, -size);
        fill.setColorAt(0, QColor(MossDark));
        fill.setColorAt(1, QColor(MossLight));
        painter.setBrush(fill);
        QPainterPath path;
        path.moveTo(0, 0);
        path.cubicTo(size * 0.25, -size * 0.3, size * 0.2, -size * 0.8, 0,
                     -size * (0.8 + 0.04 * (3 - qAbs(frond))));
        path.cubicTo(-size * 0.2, -size * 0.8, -size * 0.25, -size * 0.3, 0, 0);
        painter.drawPath(path);
        painter.restore();
    }
    painter.restore();
}

void drawFolderGlyph(QPainter &painter, const QRectF &box)
{
    const qreal tab = box.height() * 0.25;
    QPainterPath back;
    back.moveTo(box.left(), box.top() + tab);
    back.lineTo(box.left(), box.top());
    back.lineTo(box.left() + box.width() * 0.4, box.top());
    back.lineTo(box.left() + box.width() * 0.5, box.top() + tab);
    back.lineTo(box.right(), box.top() + tab);
    back.lineTo(box.right(), box.bottom());
    back.lineTo(box.left(), box.bottom());
    back.closeSubpath();
    painter.setPen(QPen(QColor(150, 110, 20), 1));
    painter.setBrush(QColor(240, 196, 80));
    painter.drawPath(back);
    painter.setBrush(QColor(252, 220, 120));
    painter.drawRect(
            QRectF(box.left(), box.top() + tab * 1.6, box.width(), box.height() - tab * 1.6));
}

}

QPixmap logo()
{
    QPixmap pixmap = blank(161, 86);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    drawSkyPanel(painter, QRectF(0.5, 0.5, 160, 85), 10);
    drawTuft(painter, QPointF(26, 66), 40);
    drawTuft(painter, QPointF(40, 70), 26);
    painter.setPen(QColor(MossDark));
    painter.setFont(design::font(14, true));
    painter.drawText(QRect(50, 14, 108, 30), Qt::AlignCenter, QStringLiteral("Moss"));
    painter.setFont(design::font(11, true));
    painter.drawText(QRect(50, 38, 108, 22), Qt::AlignCenter, QStringLiteral("catch"));
    painter.setPen(QColor(90, 90, 160));
    painter.setFont(design::font(7));
    painter.drawText(QRect(50, 60, 108, 16), Qt::AlignCenter,
                     QStringLiteral("image harvester ") + QLatin1String(ProductVersion));
    return pixmap;
}

void drawIcon(QPainter &painter, qreal side)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(side / 64, side / 64);
    drawSkyPanel(painter, QRectF(2.5, 2.5, 59, 59), 12);
    drawTuft(painter, QPointF(27, 54), 32);
    drawTuft(painter, QPointF(44, 57), 21);
    painter.restore();
}

QPixmap folderImage()
{
    QPixmap pixmap = blank(73, 25);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    drawFolderGlyph(painter, QRectF(3.5, 4.5, 22, 16));
    painter.setPen(QColor(60, 60, 60));
    painter.setFont(design::font(8.25, true));
    painter.drawText(QRect(29, 0, 44, 25), Qt::AlignVCenter | Qt::AlignLeft,
                     QStringLiteral("Open"));
    return pixmap;
}

QPixmap banner()
{
    QPixmap pixmap = blank(481, 173);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, 481, 0);
    fill.setColorAt(0, Qt::white);
    fill.setColorAt(0.5, QColor(Lilac));
    fill.setColorAt(1, Qt::white);
    painter.fillRect(pixmap.rect(), fill);
    for (int i = 0; i < 6; ++i)
        drawTuft(painter, QPointF(30 + i * 14, 160 - (i % 2) * 6), 46 - (i % 3) * 8);
    painter.setPen(QColor(MossDark));
    painter.setFont(design::font(26, true));
    painter.drawText(QRect(130, 18, 340, 50), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Mosscatch ") + QLatin1String(ProductVersion));
    painter.setPen(QColor(70, 70, 120));
    painter.setFont(design::font(9.75));
    const QStringList steps = {
            QStringLiteral("1.  Type a search keyword and press Add."),
            QStringLiteral("2.  Choose the image sizes and a save folder."),
            QStringLiteral("3.  Press Start! and watch the images arrive."),
    };
    for (int i = 0; i < steps.size(); ++i)
        painter.drawText(QRect(134, 78 + i * 24, 340, 22), Qt::AlignLeft | Qt::AlignVCenter,
                         steps.at(i));
    return pixmap;
}

}
