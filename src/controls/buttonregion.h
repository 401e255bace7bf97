#pragma once

#include <QRegion>

namespace mosscatch {

// The window shape of each button type: the full rectangle with some corner
// pixels cut away. QRegion is a value, so a replaced shape is released by
// its own destructor and none is shared or freed twice.
class ButtonRegion
{
public:
    static QRegion make(int buttonType, int width, int height);
};

}
