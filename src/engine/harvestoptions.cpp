#include "engine/harvestoptions.h"

#include <algorithm>

namespace mosscatch {

HarvestOptions::HarvestOptions(QObject *parent) : QObject(parent)
{
}

void HarvestOptions::apply(const HarvestSettings &settings)
{
    const bool folderChanged = settings.saveFolder != m_settings.saveFolder;
    m_settings = settings;
    if (folderChanged)
        emit saveFolderChanged(m_settings.saveFolder);
    emit changed();
}

void HarvestOptions::setThumbnails(bool on)
{
    m_settings.thumbnails = on;
    emit changed();
}

void HarvestOptions::setStandard(bool on)
{
    m_settings.standard = on;
    emit changed();
}

void HarvestOptions::setLargest(bool on)
{
    m_settings.largest = on;
    emit changed();
}

void HarvestOptions::setCommercial(bool on)
{
    m_settings.commercial = on;
    emit changed();
}

void HarvestOptions::setPaused(bool on)
{
    m_paused = on;
    emit changed();
}

void HarvestOptions::setMaxImages(const QString &text)
{
    m_settings.maxImages = text;
    emit changed();
}

void HarvestOptions::setSaveFolder(const QString &folder)
{
    if (folder == m_settings.saveFolder)
        return;
    m_settings.saveFolder = folder;
    emit saveFolderChanged(folder);
    emit changed();
}

void HarvestOptions::setSpeedMultiple(int multiple)
{
    m_settings.speedMultiple = std::clamp(multiple, 1, 4);
    emit changed();
}

void HarvestOptions::setKeepAlive(bool on)
{
    m_settings.keepAlive = on;
    emit changed();
}

}
