// Paints the program's icon into the files the desktop's icon theme wants:
// iconpainter FILE SIDE, a PNG of SIDE pixels or, for a .svg FILE, a scalable
// drawing of SIDE units.
#include "ui/artwork.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>

namespace {

bool paintSvg(const QString &file, int side)
{
    QSvgGenerator svg;
    svg.setFileName(file);
    svg.setSize(QSize(side, side));
    svg.setViewBox(QRect(0, 0, side, side));
    svg.setTitle(QStringLiteral("Mosscatch"));
    svg.setDescription(QStringLiteral("The Mosscatch icon"));
    QPainter painter;
    if (!painter.begin(&svg))
        return false;
    mosscatch::artwork::drawIcon(painter, side);
    return painter.end();
}

bool paintPng(const QString &file, int side)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    mosscatch::artwork::drawIcon(painter, side);
    painter.end();
    return image.save(file, "PNG");
}

}

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    bool isNumber = false;
    const int side = arguments.size() == 3 ? arguments.at(2).toInt(&isNumber) : 0;
    if (!isNumber || side <= 0) {
        std::fputs("usage: iconpainter FILE SIDE\n", stderr);
        return 2;
    }
    const QString file = arguments.at(1);
    const bool painted
            = file.endsWith(QLatin1String(".svg")) ? paintSvg(file, side) : paintPng(file, side);
    if (!painted) {
        std::fprintf(stderr, "iconpainter: cannot write %s\n", qPrintable(file));
        return 1;
    }
    return 0;
}
