#include "engine/harvestoptions.h"

#include <QDir>

namespace mosscatch {

HarvestOptions::HarvestOptions(QObject *parent)
    : QObject(parent), m_saveFolder(defaultSaveFolder())
{
}

QString HarvestOptions::defaultSaveFolder()
{
    return QDir::homePath() + QStringLiteral("/Mosscatch/");
}

void HarvestOptions::setThumbnails(bool on)
{
    m_thumbnails = on;
    emit changed();
}

void HarvestOptions::setStandard(bool on)
{
    m_standard = on;
    emit changed();
}

void HarvestOptions::setLargest(bool on)
{
    m_largest = on;
    emit changed();
}

void HarvestOptions::setCommercial(bool on)
{
    m_commercial = on;
    emit changed();
}

void HarvestOptions::setPaused(bool on)
{
    m_paused = on;
    emit changed();
}

void HarvestOptions::setMaxImages(const QString &text)
{
    m_maxImages = text;
    emit changed();
}

void HarvestOptions::setSaveFolder(const QString &folder)
{
    if (folder == m_saveFolder)
        return;
    m_saveFolder = folder;
    emit saveFolderChanged(folder);
    emit changed();
}

}
