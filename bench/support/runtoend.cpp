#include "runtoend.h"

#include "engine/harvestengine.h"

#include <QElapsedTimer>
#include <QEventLoop>

namespace mosscatch {

qint64 runToEnd(HarvestEngine &engine)
{
    QEventLoop loop;
    QObject::connect(&engine, &HarvestEngine::runOver, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    engine.start();
    loop.exec();
    return clock.elapsed();
}

}
