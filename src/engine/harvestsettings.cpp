#include "engine/harvestsettings.h"

#include <QDir>

namespace mosscatch {

QString HarvestSettings::defaultSaveFolder()
{
    return QDir::homePath() + QStringLiteral("/Mosscatch/");
}

}
