#pragma once

#include <QString>

namespace mosscatch {

// Values of the harvest in progress that several parts of the engine share.
struct HarvestState
{
    // The cleaned keyword, used in addresses (as UTF-8) and as the folder name.
    QString currentKeyword;
    // Normalised save folder followed by the keyword's folder name, no trailing "/".
    QString keywordFolder;
    // Set by the statistics once the queue has held more than 3 entries.
    bool queueFilled = false;
    // Result pages of the current keyword; 0 until its first results page was read.
    double resultPageCount = 0;
    // Bytes received by all connections since start-up, headers included.
    double totalReceived = 0;
};

}
