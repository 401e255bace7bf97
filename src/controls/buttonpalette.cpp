#include "controls/buttonpalette.h"

#include <QPalette>

#include <algorithm>

namespace mosscatch {

namespace {

int clampChannel(int value)
{
    return std::clamp(value, 0, 255);
}

ButtonPalette fromColours(Colour back, Colour fore)
{
    ButtonPalette palette;
    palette.face = back;
    palette.light = ButtonPalette::shiftColor(back, 31);
    palette.hilite = ButtonPalette::shiftColor(back, 47);
    palette.shadow = ButtonPalette::shiftColor(back, -64);
    palette.dkShadow = ButtonPalette::shiftColor(back, -192);
    palette.text = fore;
    return palette;
}

ButtonPalette fixedGreys()
{
    ButtonPalette palette;
    palette.face = 0xC0C0C0;
    palette.light = 0xDFDFDF;
    palette.hilite = 0xFFFFFF;
    palette.shadow = 0x808080;
    palette.dkShadow = 0;
    palette.text = 0;
    return palette;
}

}

ButtonPalette ButtonPalette::forScheme(int scheme, Colour back, Colour fore, const QPalette &system)
{
    switch (Scheme(scheme)) {
    case Scheme::FromColours:
        return fromColours(back, fore);
    case Scheme::FixedGreys:
        return fixedGreys();
    default:
        return fromSystem(system);
    }
}

ButtonPalette ButtonPalette::fromSystem(const QPalette &system)
{
    ButtonPalette palette;
    palette.face = fromQColor(system.color(QPalette::Button));
    palette.light = fromQColor(system.color(QPalette::Midlight));
    palette.hilite = fromQColor(system.color(QPalette::Light));
    palette.shadow = fromQColor(system.color(QPalette::Dark));
    palette.dkShadow = fromQColor(system.color(QPalette::Shadow));
    palette.text = fromQColor(system.color(QPalette::ButtonText));
    return palette;
}

Colour ButtonPalette::shiftColor(Colour colour, int amount, bool blueScaled)
{
    const int red = int(colour % 256);
    const int green = int((colour / 256) % 256);
    const int blue = int((colour / 65536) % 256);

    const int newRed = clampChannel(red + amount);
    const int newGreen = clampChannel(green + amount);
    const int newBlue = clampChannel(blueScaled ? blue + (blue * amount) / 192 : blue + amount);

    return Colour(newRed) + 256 * Colour(newGreen) + 65536 * Colour(newBlue);
}

}
