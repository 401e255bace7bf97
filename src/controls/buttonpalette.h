#pragma once

#include "controls/colour.h"

class QPalette;

namespace mosscatch {

// The six colours every look of the button is drawn with.
class ButtonPalette
{
public:
    enum class Scheme { System = 1, FromColours = 2, FixedGreys = 3 };

    // System colours are taken from the given widget palette:
    // face Button, light Midlight, highlight Light, shadow Dark,
    // dark shadow Shadow, text ButtonText.
    static ButtonPalette forScheme(int scheme, Colour back, Colour fore, const QPalette &system);
    static ButtonPalette fromSystem(const QPalette &system);

    // Moves each channel by amount and clamps it to 0..255; with blueScaled
    // the blue channel moves by blue * amount / 192 instead.
    static Colour shiftColor(Colour colour, int amount, bool blueScaled = false);

    Colour face = 0;
    Colour light = 0;
    Colour hilite = 0;
    Colour shadow = 0;
    Colour dkShadow = 0;
    Colour text = 0;
};

}
