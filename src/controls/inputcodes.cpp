#include "controls/inputcodes.h"

#include <QKeyEvent>

#include <algorithm>
#include <iterator>
#include <utility>

namespace mosscatch {

namespace {

constexpr std::pair<int, qint16> keyTable[] = {
        {Qt::Key_Backspace, 8},
        {Qt::Key_Tab, 9},
        {Qt::Key_Backtab, 9},
        {Qt::Key_Clear, 12},
        {Qt::Key_Return, 13},
        {Qt::Key_Enter, 13},
        {Qt::Key_Shift, 16},
        {Qt::Key_Control, 17},
        {Qt::Key_Alt, 18},
        {Qt::Key_Pause, 19},
        {Qt::Key_CapsLock, 20},
        {Qt::Key_Escape, 27},
        {Qt::Key_Space, 32},
        {Qt::Key_PageUp, 33},
        {Qt::Key_PageDown, 34},
        {Qt::Key_End, 35},
        {Qt::Key_Home, 36},
        {Qt::Key_Left, 37},
        {Qt::Key_Up, 38},
        {Qt::Key_Right, 39},
        {Qt::Key_Down, 40},
        {Qt::Key_Print, 44},
        {Qt::Key_Insert, 45},
        {Qt::Key_Delete, 46},
        {Qt::Key_Help, 47},
        {Qt::Key_Menu, 93},
        {Qt::Key_NumLock, 144},
        {Qt::Key_ScrollLock, 145},
        {Qt::Key_Semicolon, 186},
        {Qt::Key_Colon, 186},
        {Qt::Key_Equal, 187},
        {Qt::Key_Plus, 187},
        {Qt::Key_Comma, 188},
        {Qt::Key_Less, 188},
        {Qt::Key_Minus, 189},
        {Qt::Key_Underscore, 189},
        {Qt::Key_Period, 190},
        {Qt::Key_Greater, 190},
        {Qt::Key_Slash, 191},
        {Qt::Key_Question, 191},
        {Qt::Key_QuoteLeft, 192},
        {Qt::Key_AsciiTilde, 192},
        {Qt::Key_BracketLeft, 219},
        {Qt::Key_BraceLeft, 219},
        {Qt::Key_Backslash, 220},
        {Qt::Key_Bar, 220},
        {Qt::Key_BracketRight, 221},
        {Qt::Key_Apostrophe, 222},
};

qint16 keypadCode(int key)
{
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return qint16(96 + key - Qt::Key_0);
    switch (key) {
    case Qt::Key_Asterisk:
        return 106;
    case Qt::Key_Plus:
        return 107;
    case Qt::Key_Minus:
        return 109;
    case Qt::Key_Period:
        return 110;
    case Qt::Key_Slash:
        return 111;
    default:
        return InputCodes::NoKey;
    }
}

}

qint16 InputCodes::keyCode(const QKeyEvent *event)
{
    const int key = event->key();
    if (event->modifiers().testFlag(Qt::KeypadModifier)) {
        if (const qint16 code = keypadCode(key))
            return code;
    }
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return qint16(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return qint16(112 + key - Qt::Key_F1);
    const auto found = std::find_if(std::begin(keyTable), std::end(keyTable),
                                    [key](const auto &entry) { return entry.first == key; });
    return found != std::end(keyTable) ? found->second : qint16(NoKey);
}

qint16 InputCodes::mouseButtons(Qt::MouseButtons buttons)
{
    qint16 code = 0;
    if (buttons.testFlag(Qt::LeftButton))
        code |= 1;
    if (buttons.testFlag(Qt::RightButton))
        code |= 2;
    if (buttons.testFlag(Qt::MiddleButton))
        code |= 4;
    return code;
}

qint16 InputCodes::shiftFlags(Qt::KeyboardModifiers modifiers)
{
    qint16 flags = 0;
    if (modifiers.testFlag(Qt::ShiftModifier))
        flags |= 1;
    if (modifiers.testFlag(Qt::ControlModifier))
        flags |= 2;
    if (modifiers.testFlag(Qt::AltModifier))
        flags |= 4;
    return flags;
}

qint16 InputCodes::keyAscii(const QKeyEvent *event)
{
    const QString text = event->text();
    if (text.isEmpty() || text.at(0).unicode() > 255)
        return 0;
    return qint16(text.at(0).unicode());
}

}
