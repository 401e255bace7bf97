#pragma once

#include "controls/buttonpalette.h"

#include <QFont>
#include <QRect>
#include <QString>

namespace mosscatch {

enum class ButtonState : quint8 { Up = 0, Down = 2 };

// Everything one drawing of the button depends on.
struct ButtonLook
{
    int buttonType = 2;
    ButtonState state = ButtonState::Up;
    bool enabled = true;
    bool focusShown = false;
    bool showFocusRect = true;
    bool displayAsDefault = false;
    QString caption;
    QFont font;
    ButtonPalette palette;
    QRect captionRect;
    QRect downCaptionRect;
    QRect focusRect;
};

}
