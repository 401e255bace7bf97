#pragma once

#include <Qt>
#include <QtGlobal>

class QKeyEvent;

namespace mosscatch {

// Translates Qt input into the classic codes the button's events carry:
// mouse buttons 1 left, 2 right, 4 middle; shift flags 1 Shift, 2 Ctrl,
// 4 Alt; virtual key codes (Space 32, arrows 37 to 40, letters 65 to 90).
class InputCodes
{
public:
    enum KeyCode : qint16 {
        NoKey = 0,
        SpaceKey = 32,
        LeftKey = 37,
        UpKey = 38,
        RightKey = 39,
        DownKey = 40,
    };

    static qint16 keyCode(const QKeyEvent *event);
    static qint16 mouseButtons(Qt::MouseButtons buttons);
    static qint16 shiftFlags(Qt::KeyboardModifiers modifiers);
    // The character code of a typed key, 0 when it has none below 256.
    static qint16 keyAscii(const QKeyEvent *event);
};

}
