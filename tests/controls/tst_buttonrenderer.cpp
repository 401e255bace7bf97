#include "controls/buttoncanvas.h"
#include "controls/buttonpalette.h"
#include "controls/buttonregion.h"
#include "controls/buttonrenderer.h"
#include "rows.h"
#include "testmain.h"

#include <QPalette>

using namespace mosscatch;

namespace {

ButtonPalette systemPalette()
{
    return ButtonPalette::forScheme(3, 0, 0, QPalette());
}

// The look is the button type followed by any of "down", "disabled",
// "focused" and "default".
QImage render(const QString &description, QSize size, int density)
{
    const QStringList words = description.split(u' ');
    ButtonLook look;
    look.buttonType = words.first().toInt();
    look.state = words.contains("down") ? ButtonState::Down : ButtonState::Up;
    look.enabled = !words.contains("disabled");
    look.focusShown = words.contains("focused");
    look.displayAsDefault = words.contains("default");
    look.palette = systemPalette();
    look.captionRect = QRect(QPoint(), size);
    look.downCaptionRect = QRect(2, 2, size.width() - 2, size.height() - 2);
    look.focusRect = QRect(4, 4, size.width() - 8, size.height() - 8);
    QImage image(size * density, QImage::Format_RGB32);
    image.setDevicePixelRatio(density);
    ButtonCanvas canvas(&image);
    ButtonRenderer(&canvas, look).draw();
    image.setDevicePixelRatio(1);
    return image;
}

// One letter a pixel: F face, L light, H highlight, S shadow, D dark shadow,
// I face inverted by the focus outline.
QStringList letters(const QImage &image)
{
    const ButtonPalette p = systemPalette();
    const QHash<Colour, QChar> letters{{p.face, u'F'},     {p.light, u'L'},
                                       {p.hilite, u'H'},   {p.shadow, u'S'},
                                       {p.dkShadow, u'D'}, {p.face ^ 0xFFFFFF, u'I'}};
    QStringList rows;
    for (int y = 0; y < image.height(); ++y) {
        QString row;
        for (int x = 0; x < image.width(); ++x)
            row += letters.value(fromQColor(image.pixelColor(x, y)), u'?');
        rows << row;
    }
    return rows;
}

}

class TestButtonRenderer : public QObject
{
    Q_OBJECT

private slots:
    void schemeFromColours()
    {
        const ButtonPalette p = ButtonPalette::forScheme(2, 0xFDDBE7, 0x123456, QPalette());
        QCOMPARE((QList<Colour>{p.face, p.light, p.hilite, p.shadow, p.dkShadow, p.text}),
                 (QList<Colour>{0xFDDBE7, 0xFFFAFF, 0xFFFFFF, 0xBD9BA7, 0x3D1B27, 0x123456}));
    }

    void shiftColor_data()
    {
        const auto row
                = columns<Colour, int, bool, Colour>("colour", "amount", "blueScaled", "expected");
        row("clamped at black", 0x000000, -10, false, 0x000000);
        row("blue scaled", 0x600000, 48, true, 0x783030);
        row("blue scaled truncates toward zero", 0x646464, -10, true, 0x5F5A5A);
    }

    void shiftColor()
    {
        QFETCH(Colour, colour);
        QFETCH(int, amount);
        QFETCH(bool, blueScaled);
        QTEST(ButtonPalette::shiftColor(colour, amount, blueScaled), "expected");
    }

    void looks_data()
    {
        const auto row = columns<QString, QString>("look", "expected");
        const QString type7Up = "HHHHHHHS HFFFFFFS HFFFFFFS HFFFFFFS HFFFFFFS SSSSSSSS";
        row("type 7 up", "7", type7Up);
        row("type 7 down", "7 down", "SSSSSSSH SFFFFFFH SFFFFFFH SFFFFFFH SFFFFFFH HHHHHHHH");
        row("type 7 disabled, focus not shown", "7 down disabled focused", type7Up);
        row("type 7 up focused", "7 focused",
            "HHHHHHHHHHHS HFFFFFFFFFFS HFFFFFFFFFFS HFFFFFFFFFFS "
            "HFFFIFIFFFFS HFFFFIFIFFFS HFFFFFFFFFFS HFFFFFFFFFFS HFFFFFFFFFFS SSSSSSSSSSSS");
        row("type 2 default ends with a dark frame", "2 focused default",
            "DDDDDDDDDDDD DHHHHHHHHHDD DHLLLLLLLSDD DHLFFFFFFSDD DHLFIFIFFSDD "
            "DHLFFIFIFSDD DHLFFFFFFSDD DHSSSSSSSSDD DDDDDDDDDDDD DDDDDDDDDDDD");
        row("unknown type is plain face", "9 focused",
            "FFFFFFFF FFFFFFFF FFFFFFFF FFFFFFFF FFFFFFFF FFFFFFFF");
    }

    void looks()
    {
        QFETCH(QString, look);
        QFETCH(QString, expected);
        const QStringList rows = expected.split(u' ');
        const QSize size(int(rows.first().size()), int(rows.size()));
        const QImage image = render(look, size, 1);
        QCOMPARE(letters(image), rows);
        // At twice the pixel density every pixel becomes a block of one colour.
        QCOMPARE(render(look, size, 2), image.scaled(size * 2));
    }

    void cornerCuts_data()
    {
        const auto row = columns<int, QList<QPoint>>("type", "cut");
        const QList<QPoint> roundCorners{{0, 0}, {1, 0}, {0, 1}, {8, 0}, {9, 0}, {9, 1},
                                         {0, 6}, {0, 7}, {1, 7}, {9, 6}, {8, 7}, {9, 7}};
        row("type 1", 1, {{0, 0}, {0, 7}, {9, 0}, {9, 7}});
        row("type 3", 3, roundCorners);
        row("type 4", 4, roundCorners);
        row("type 5", 5, {{0, 7}, {9, 0}});
        for (const int uncut : {2, 6, 7})
            row(qPrintable(QStringLiteral("type %1").arg(uncut)), uncut, {});
    }

    void cornerCuts()
    {
        QFETCH(int, type);
        QFETCH(QList<QPoint>, cut);
        const QRegion region = ButtonRegion::make(type, 10, 8);
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 10; ++x)
                QVERIFY2(region.contains(QPoint(x, y)) != cut.contains(QPoint(x, y)),
                         qPrintable(QString("%1,%2").arg(x).arg(y)));
        }
    }

    void lineLeavesEndPoint()
    {
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::black);
        ButtonCanvas canvas(&image);
        canvas.drawLine(3, 1, 0, 1, 0xFFFFFF);
        canvas.drawLine(2, 0, 2, 0, 0xFFFFFF);
        QCOMPARE((QList<QColor>{image.pixelColor(0, 1), image.pixelColor(1, 1),
                                image.pixelColor(3, 1), image.pixelColor(2, 0)}),
                 (QList<QColor>{Qt::black, Qt::white, Qt::white, Qt::black}));
    }
};

MOSSCATCH_TEST_MAIN(TestButtonRenderer)
#include "tst_buttonrenderer.moc"
