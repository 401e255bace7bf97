#pragma once

#include <QtGlobal>

namespace mosscatch {

class HarvestEngine;

// Starts the engine's run and returns once it is over, with the milliseconds
// it took.
qint64 runToEnd(HarvestEngine &engine);

}
