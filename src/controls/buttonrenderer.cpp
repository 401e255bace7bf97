#include "controls/buttonrenderer.h"

#include "controls/buttoncanvas.h"

#include <cmath>

namespace mosscatch {

namespace {

constexpr Colour type3OutlineColour = 0x733C00;
constexpr Colour type3OutlineCornerColour = 0x7B4D10;
constexpr Colour type5FocusColour = 0xCC9999;

}

ButtonRenderer::ButtonRenderer(ButtonCanvas *canvas, const ButtonLook &look)
    : m_canvas(canvas),
      m_look(look),
      m_palette(look.palette),
      m_w(canvas->width()),
      m_h(canvas->height()),
      m_textColour(look.palette.text),
      m_font(look.font)
{
}

void ButtonRenderer::draw()
{
    m_canvas->fill(m_palette.face);
    const Look current = look();
    switch (m_look.buttonType) {
    case 1:
        drawType1(current);
        break;
    case 2:
        drawType2(current);
        break;
    case 3:
        drawType3(current);
        break;
    case 4:
        drawType4(current);
        break;
    case 5:
        drawType5(current);
        break;
    case 6:
        drawType6(current);
        break;
    case 7:
        drawType7(current);
        break;
    default:
        break;
    }
}

ButtonRenderer::Look ButtonRenderer::look() const
{
    if (!m_look.enabled)
        return Look::Disabled;
    switch (m_look.state) {
    case ButtonState::Up:
        return Look::Up;
    case ButtonState::Down:
        return Look::Down;
    }
    return Look::None;
}

Colour ButtonRenderer::s(Colour colour, int amount) const
{
    return ButtonPalette::shiftColor(colour, amount, false);
}

Colour ButtonRenderer::sb(Colour colour, int amount) const
{
    return ButtonPalette::shiftColor(colour, amount, true);
}

void ButtonRenderer::captionUp()
{
    m_canvas->drawCaption(m_look.captionRect, m_look.caption, m_font, m_textColour);
}

void ButtonRenderer::captionDown()
{
    m_canvas->drawCaption(m_look.downCaptionRect, m_look.caption, m_font, m_textColour);
}

void ButtonRenderer::embossedCaption()
{
    m_textColour = m_palette.hilite;
    captionDown();
    m_textColour = m_palette.shadow;
    captionUp();
}

void ButtonRenderer::focus()
{
    if (!m_look.focusShown)
        return;
    m_textColour = m_palette.text;
    m_canvas->drawFocus(m_look.focusRect);
}

// Type 1: dark outline with square-cut corners and a double bevel.

void ButtonRenderer::drawType1(Look look)
{
    switch (look) {
    case Look::Up:
        captionUp();
        type1Outline();
        type1Bevel(m_palette.hilite, m_palette.shadow);
        focus();
        break;
    case Look::Down:
        captionDown();
        type1Outline();
        type1Bevel(m_palette.shadow, m_palette.hilite);
        focus();
        break;
    case Look::Disabled:
        embossedCaption();
        type1Outline();
        type1Bevel(m_palette.hilite, m_palette.shadow);
        break;
    case Look::None:
        break;
    }
}

void ButtonRenderer::type1Outline()
{
    const Colour dark = m_palette.dkShadow;
    m_canvas->drawLine(1, 0, m_w - 1, 0, dark);
    m_canvas->drawLine(1, m_h - 1, m_w - 1, m_h - 1, dark);
    m_canvas->drawLine(0, 1, 0, m_h - 1, dark);
    m_canvas->drawLine(m_w - 1, 1, m_w - 1, m_h - 1, dark);
}

void ButtonRenderer::type1Bevel(Colour frames, Colour lines)
{
    m_canvas->frame(1, 1, m_w - 2, m_h - 2, frames);
    m_canvas->frame(2, 2, m_w - 4, m_h - 4, frames);
    m_canvas->drawLine(m_w - 2, 1, m_w - 2, m_h - 1, lines);
    m_canvas->drawLine(m_w - 3, 2, m_w - 3, m_h - 1, lines);
    m_canvas->drawLine(1, m_h - 2, m_w - 1, m_h - 2, lines);
    m_canvas->drawLine(2, m_h - 3, m_w - 2, m_h - 3, lines);
}

// Type 2: three-dimensional push button with a default frame.

void ButtonRenderer::drawType2(Look look)
{
    switch (look) {
    case Look::Up:
        captionUp();
        if (m_look.displayAsDefault && m_look.showFocusRect)
            type2DefaultUp();
        else
            type2PlainRaisedEdge();
        break;
    case Look::Down:
        captionDown();
        type2Down();
        break;
    case Look::Disabled:
        embossedCaption();
        type2PlainRaisedEdge();
        break;
    case Look::None:
        break;
    }
}

void ButtonRenderer::type2PlainRaisedEdge()
{
    m_canvas->frame(0, 0, m_w - 1, m_h - 1, m_palette.hilite);
    m_canvas->frame(1, 1, m_w - 2, m_h - 2, m_palette.light);
    m_canvas->drawLine(m_w - 1, 0, m_w - 1, m_h, m_palette.dkShadow);
    m_canvas->drawLine(m_w - 2, 1, m_w - 2, m_h - 1, m_palette.shadow);
    m_canvas->drawLine(0, m_h - 1, m_w - 1, m_h - 1, m_palette.dkShadow);
    m_canvas->drawLine(1, m_h - 2, m_w - 2, m_h - 2, m_palette.shadow);
}

void ButtonRenderer::type2DefaultUp()
{
    m_canvas->frame(1, 1, m_w - 2, m_h - 2, m_palette.hilite);
    m_canvas->frame(2, 2, m_w - 4, m_h - 4, m_palette.light);
    m_canvas->drawLine(m_w - 2, 1, m_w - 2, m_h - 1, m_palette.dkShadow);
    m_canvas->drawLine(m_w - 3, 2, m_w - 3, m_h - 1, m_palette.shadow);
    m_canvas->drawLine(1, m_h - 2, m_w - 1, m_h - 2, m_palette.dkShadow);
    m_canvas->drawLine(2, m_h - 3, m_w - 2, m_h - 3, m_palette.shadow);
    focus();
    m_canvas->frame(0, 0, m_w, m_h, m_palette.dkShadow);
}

void ButtonRenderer::type2Down()
{
    if (!m_look.showFocusRect) {
        m_canvas->frame(0, 0, m_w - 1, m_h - 1, m_palette.dkShadow);
        m_canvas->frame(1, 1, m_w - 2, m_h - 2, m_palette.shadow);
        m_canvas->drawLine(m_w - 1, 0, m_w - 1, m_h, m_palette.hilite);
        m_canvas->drawLine(m_w - 2, 1, m_w - 2, m_h - 1, m_palette.light);
        m_canvas->drawLine(0, m_h - 1, m_w - 1, m_h - 1, m_palette.hilite);
        m_canvas->drawLine(1, m_h - 2, m_w - 2, m_h - 2, m_palette.light);
        return;
    }
    m_canvas->frame(0, 0, m_w, m_h, m_palette.dkShadow);
    m_canvas->frame(1, 1, m_w - 2, m_h - 2, m_palette.shadow);
    focus();
}

// Type 3: vertical shade, dark rounded outline, light ring when focused or default.

void ButtonRenderer::drawType3(Look look)
{
    switch (look) {
    case Look::Up:
        type3Up();
        break;
    case Look::Down:
        type3Down();
        break;
    case Look::Disabled:
        type3Disabled();
        break;
    case Look::None:
        break;
    }
}

void ButtonRenderer::type3Outline(Colour lines, Colour corners)
{
    m_canvas->drawLine(2, 0, m_w - 2, 0, lines);
    m_canvas->drawLine(2, m_h - 1, m_w - 2, m_h - 1, lines);
    m_canvas->drawLine(0, 2, 0, m_h - 2, lines);
    m_canvas->drawLine(m_w - 1, 2, m_w - 1, m_h - 2, lines);
    m_canvas->putPixel(1, 1, corners);
    m_canvas->putPixel(1, m_h - 2, corners);
    m_canvas->putPixel(m_w - 2, 1, corners);
    m_canvas->putPixel(m_w - 2, m_h - 2, corners);
}

void ButtonRenderer::type3Up()
{
    const float step = 25.0f / float(m_h);
    const Colour base = sb(m_palette.face, 48);
    for (int i = 1; i <= m_h; ++i)
        m_canvas->drawLine(0, i, m_w, i, sb(base, -int(std::lrint(step * float(i)))));
    m_textColour = m_palette.text;
    captionUp();
    type3Outline(type3OutlineColour, type3OutlineCornerColour);
    if ((m_look.displayAsDefault && m_look.showFocusRect) || m_look.focusShown)
        type3FocusRing();
    else
        type3InnerBevel(base);
}

void ButtonRenderer::type3FocusRing()
{
    m_canvas->frame(1, 2, m_w - 2, m_h - 4, 0xE7AE8C);
    m_canvas->drawLine(2, m_h - 2, m_w - 2, m_h - 2, 0xEF826B);
    m_canvas->drawLine(2, 1, m_w - 2, 1, 0xFFE7CE);
    m_canvas->drawLine(1, 2, m_w - 1, 2, 0xF7D7BD);
    m_canvas->drawLine(2, 3, 2, m_h - 3, 0xF0D1B5);
    m_canvas->drawLine(m_w - 3, 3, m_w - 3, m_h - 3, 0xF0D1B5);
}

void ButtonRenderer::type3InnerBevel(Colour base)
{
    m_canvas->drawLine(2, m_h - 2, m_w - 2, m_h - 2, sb(base, -48));
    m_canvas->drawLine(1, m_h - 3, m_w - 2, m_h - 3, sb(base, -32));
    m_canvas->drawLine(m_w - 2, 2, m_w - 2, m_h - 2, sb(base, -36));
    m_canvas->drawLine(m_w - 3, 3, m_w - 3, m_h - 3, sb(base, -24));
    m_canvas->drawLine(2, 1, m_w - 2, 1, sb(base, 16));
    m_canvas->drawLine(1, 2, m_w - 2, 2, sb(base, 10));
    m_canvas->drawLine(1, 2, 1, m_h - 2, sb(base, -5));
    m_canvas->drawLine(2, 3, 2, m_h - 3, sb(base, -10));
}

void ButtonRenderer::type3Down()
{
    const float step = 15.0f / float(m_h);
    const Colour base = sb(sb(m_palette.face, 48), -32);
    for (int i = 1; i <= m_h; ++i)
        m_canvas->drawLine(0, m_h - i, m_w, m_h - i, sb(base, -int(std::lrint(step * float(i)))));
    m_textColour = m_palette.text;
    captionDown();
    type3Outline(type3OutlineColour, type3OutlineCornerColour);
    m_canvas->drawLine(2, m_h - 2, m_w - 2, m_h - 2, sb(base, 16));
    m_canvas->drawLine(1, m_h - 3, m_w - 2, m_h - 3, sb(base, 10));
    m_canvas->drawLine(m_w - 2, 2, m_w - 2, m_h - 2, sb(base, 5));
    m_canvas->drawLine(m_w - 3, 3, m_w - 3, m_h - 3, base);
    m_canvas->drawLine(2, 1, m_w - 2, 1, sb(base, -32));
    m_canvas->drawLine(1, 2, m_w - 2, 2, sb(base, -24));
    m_canvas->drawLine(1, 2, 1, m_h - 2, sb(base, -32));
    m_canvas->drawLine(2, 2, 2, m_h - 2, sb(base, -22));
}

void ButtonRenderer::type3Disabled()
{
    const Colour base = sb(sb(m_palette.face, 48), -24);
    m_canvas->box(0, 0, m_w, m_h, base);
    m_textColour = sb(base, -104);
    captionUp();
    type3Outline(sb(base, -84), sb(base, -72));
}

// Type 4: rounded outline with a soft bevel.

void ButtonRenderer::drawType4(Look look)
{
    switch (look) {
    case Look::Up:
        m_canvas->box(1, 1, m_w - 2, m_h - 2, m_palette.light);
        captionUp();
        type4UpEdges();
        break;
    case Look::Down:
        type4Down();
        break;
    case Look::Disabled:
        m_canvas->box(1, 1, m_w - 2, m_h - 2, m_palette.light);
        embossedCaption();
        type4UpEdges();
        break;
    case Look::None:
        break;
    }
}

void ButtonRenderer::type4OutlineLines()
{
    const Colour dark = m_palette.dkShadow;
    m_canvas->drawLine(2, 0, m_w - 2, 0, dark);
    m_canvas->drawLine(2, m_h - 1, m_w - 2, m_h - 1, dark);
    m_canvas->drawLine(0, 2, 0, m_h - 2, dark);
    m_canvas->drawLine(m_w - 1, 2, m_w - 1, m_h - 2, dark);
}

void ButtonRenderer::type4OutlineCorners(Colour colour)
{
    m_canvas->putPixel(1, 1, colour);
    m_canvas->putPixel(1, m_h - 2, colour);
    m_canvas->putPixel(m_w - 2, 1, colour);
    m_canvas->putPixel(m_w - 2, m_h - 2, colour);
}

void ButtonRenderer::type4UpEdges()
{
    type4OutlineLines();
    type4OutlineCorners(m_palette.dkShadow);
    m_canvas->putPixel(1, 2, m_palette.face);
    m_canvas->putPixel(2, 1, m_palette.face);
    m_canvas->drawLine(3, 2, m_w - 3, 2, m_palette.hilite);
    m_canvas->drawLine(2, 2, 2, m_h - 3, m_palette.hilite);
    m_canvas->putPixel(3, 3, m_palette.hilite);
    type4LowerRightFinish();
}

void ButtonRenderer::type4LowerRightFinish()
{
    const Colour face = m_palette.face;
    m_canvas->drawLine(m_w - 3, 1, m_w - 3, m_h - 3, face);
    m_canvas->drawLine(1, m_h - 3, m_w - 3, m_h - 3, face);
    m_canvas->putPixel(m_w - 4, m_h - 4, face);
    m_canvas->drawLine(m_w - 2, 3, m_w - 2, m_h - 2, m_palette.shadow);
    m_canvas->drawLine(3, m_h - 2, m_w - 2, m_h - 2, m_palette.shadow);
    m_canvas->putPixel(m_w - 3, m_h - 3, m_palette.shadow);
    m_canvas->putPixel(2, m_h - 2, face);
    m_canvas->putPixel(2, m_h - 3, m_palette.light);
    m_canvas->putPixel(m_w - 2, 2, face);
    m_canvas->putPixel(m_w - 3, 2, m_palette.light);
}

void ButtonRenderer::type4Down()
{
    const Colour shadow = m_palette.shadow;
    m_canvas->box(1, 1, m_w - 2, m_h - 2, s(shadow, -16));
    m_textColour = m_palette.light;
    captionDown();
    type4OutlineLines();
    m_canvas->frame(1, 1, m_w - 2, m_h - 2, s(shadow, -64));
    m_canvas->frame(2, 2, m_w - 4, m_h - 4, s(shadow, -32));
    m_canvas->putPixel(2, 2, s(shadow, -64));
    m_canvas->putPixel(3, 3, s(shadow, -32));
    type4OutlineCorners(m_palette.dkShadow);
    m_canvas->drawLine(m_w - 3, 1, m_w - 3, m_h - 3, shadow);
    m_canvas->drawLine(1, m_h - 3, m_w - 2, m_h - 3, shadow);
    m_canvas->putPixel(m_w - 4, m_h - 4, shadow);
    m_canvas->drawLine(m_w - 2, 3, m_w - 2, m_h - 2, s(shadow, -16));
    m_canvas->drawLine(3, m_h - 2, m_w - 2, m_h - 2, s(shadow, -16));
    m_canvas->putPixel(m_w - 2, m_h - 3, s(shadow, -32));
    m_canvas->putPixel(m_w - 3, m_h - 2, s(shadow, -32));
    m_canvas->putPixel(2, m_h - 2, s(shadow, -32));
    m_canvas->putPixel(2, m_h - 3, s(shadow, -16));
    m_canvas->putPixel(1, m_h - 3, s(shadow, -16));
    m_canvas->putPixel(m_w - 2, 2, s(shadow, -32));
    m_canvas->putPixel(m_w - 3, 2, s(shadow, -16));
    m_canvas->putPixel(m_w - 3, 1, s(shadow, -16));
}

// Type 5: bold caption on a lightly raised face.

void ButtonRenderer::drawType5(Look look)
{
    m_font.setBold(true);
    switch (look) {
    case Look::Up:
        type5Up();
        break;
    case Look::Down:
        type5Down();
        break;
    case Look::Disabled:
        m_textColour = m_palette.shadow;
        captionUp();
        m_canvas->frame(0, 0, m_w, m_h, m_palette.shadow);
        break;
    case Look::None:
        break;
    }
    m_font.setBold(m_look.font.bold());
}

void ButtonRenderer::type5Up()
{
    const Colour shadow = m_palette.shadow;
    m_canvas->box(1, 1, m_w - 1, m_h - 1, s(m_palette.face, 12));
    captionUp();
    m_canvas->frame(1, 1, m_w - 1, m_h - 1, m_palette.hilite);
    m_canvas->frame(0, 0, m_w - 1, m_h - 1, s(shadow, -26));
    m_canvas->putPixel(1, m_h - 2, s(shadow, 26));
    m_canvas->putPixel(m_w - 2, 1, s(shadow, 26));
    type5FocusBox();
}

void ButtonRenderer::type5Down()
{
    const Colour shadow = m_palette.shadow;
    m_canvas->box(1, 1, m_w - 2, m_h - 2, s(shadow, 16));
    m_canvas->frame(0, 0, m_w - 1, m_h - 1, s(shadow, -26));
    m_canvas->drawLine(m_w - 1, 1, m_w - 1, m_h, m_palette.hilite);
    m_canvas->drawLine(1, m_h - 1, m_w - 1, m_h - 1, m_palette.hilite);
    captionUp();
    type5FocusBox();
}

void ButtonRenderer::type5FocusBox()
{
    if (!m_look.focusShown)
        return;
    const QSize text = ButtonCanvas::textSize(m_look.caption, m_font);
    const int x = (m_w - text.width()) / 2 - 3;
    const int y = (m_h - text.height()) / 2 - 1;
    m_canvas->frame(x, y, text.width() + 6, text.height() + 2, type5FocusColour);
}

// Type 6: double light frame with a two-pixel shadow on the right and bottom.

void ButtonRenderer::drawType6(Look look)
{
    const Colour light = s(m_palette.light, 8);
    switch (look) {
    case Look::Up:
        captionUp();
        type6Edges(light, m_palette.shadow);
        focus();
        break;
    case Look::Down:
        captionDown();
        type6Edges(m_palette.shadow, light);
        focus();
        break;
    case Look::Disabled:
        m_textColour = m_palette.shadow;
        captionUp();
        type6Edges(light, m_palette.shadow);
        break;
    case Look::None:
        break;
    }
}

void ButtonRenderer::type6Edges(Colour frames, Colour lines)
{
    m_canvas->frame(0, 0, m_w, m_h, frames);
    m_canvas->frame(1, 1, m_w - 2, m_h - 2, frames);
    m_canvas->drawLine(m_w - 1, 0, m_w - 1, m_h, lines);
    m_canvas->drawLine(m_w - 2, 1, m_w - 2, m_h - 1, lines);
    m_canvas->drawLine(0, m_h - 1, m_w, m_h - 1, lines);
    m_canvas->drawLine(1, m_h - 2, m_w - 1, m_h - 2, lines);
}

// Type 7: flat, one-pixel edge.

void ButtonRenderer::drawType7(Look look)
{
    switch (look) {
    case Look::Up:
        captionUp();
        m_canvas->frame(0, 0, m_w, m_h, m_palette.hilite);
        m_canvas->drawLine(m_w - 1, 0, m_w - 1, m_h, m_palette.shadow);
        m_canvas->drawLine(0, m_h - 1, m_w, m_h - 1, m_palette.shadow);
        focus();
        break;
    case Look::Down:
        captionDown();
        m_canvas->frame(0, 0, m_w, m_h, m_palette.shadow);
        m_canvas->drawLine(m_w - 1, 0, m_w - 1, m_h, m_palette.hilite);
        m_canvas->drawLine(0, m_h - 1, m_w - 1, m_h - 1, m_palette.hilite);
        focus();
        break;
    case Look::Disabled:
        embossedCaption();
        m_canvas->frame(0, 0, m_w, m_h, m_palette.hilite);
        m_canvas->drawLine(m_w - 1, 0, m_w - 1, m_h, m_palette.shadow);
        m_canvas->drawLine(0, m_h - 1, m_w - 1, m_h - 1, m_palette.shadow);
        break;
    case Look::None:
        break;
    }
}

}
