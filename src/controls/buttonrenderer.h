#pragma once

#include "controls/buttonlook.h"

namespace mosscatch {

class ButtonCanvas;

// Paints one look of one button type onto a canvas of the button's size.
class ButtonRenderer
{
public:
    ButtonRenderer(ButtonCanvas *canvas, const ButtonLook &look);

    void draw();

private:
    enum class Look { Up, Down, Disabled, None };

    Look look() const;
    Colour s(Colour colour, int amount) const;
    Colour sb(Colour colour, int amount) const;

    void captionUp();
    void captionDown();
    void embossedCaption();
    void focus();

    void drawType1(Look look);
    void type1Outline();
    void type1Bevel(Colour frames, Colour lines);

    void drawType2(Look look);
    void type2PlainRaisedEdge();
    void type2DefaultUp();
    void type2Down();

    void drawType3(Look look);
    void type3Outline(Colour lines, Colour corners);
    void type3Up();
    void type3FocusRing();
    void type3InnerBevel(Colour base);
    void type3Down();
    void type3Disabled();

    void drawType4(Look look);
    void type4OutlineLines();
    void type4OutlineCorners(Colour colour);
    void type4UpEdges();
    void type4LowerRightFinish();
    void type4Down();

    void drawType5(Look look);
    void type5Up();
    void type5Down();
    void type5FocusBox();

    void drawType6(Look look);
    void type6Edges(Colour frames, Colour lines);

    void drawType7(Look look);

    ButtonCanvas *m_canvas;
    const ButtonLook &m_look;
    const ButtonPalette &m_palette;
    const int m_w;
    const int m_h;
    Colour m_textColour;
    QFont m_font;
};

}
