#pragma once

#include "cli/keywordfigures.h"

#include <QString>

namespace mosscatch {

// The live line of a keyword whose expected images are known: a bar, saved
// of expected, percent, speed, elapsed time and the time left, fitted to the
// terminal's width.
class ProgressLine
{
public:
    static QString text(const KeywordFigures &figures, const QString &speed, int width);
    // The time left at the pace so far; negative while there is no pace yet.
    static double secondsLeft(const KeywordFigures &figures);
    static QString clockText(double seconds);
    // The line cut to the width, the last column left free.
    static QString fitted(const QString &line, int width);

private:
    static QString bar(double fraction, int width);
};

}
