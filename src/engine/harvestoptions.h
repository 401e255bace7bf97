#pragma once

#include "engine/harvestsettings.h"

#include <QObject>
#include <QString>

namespace mosscatch {

// The options of a harvest, read live by the engine at the moment each test
// is made, so a change during a run takes effect with the next page or keyword.
class HarvestOptions : public QObject
{
    Q_OBJECT

public:
    explicit HarvestOptions(QObject *parent = nullptr);

    const HarvestSettings &settings() const { return m_settings; }
    bool thumbnails() const { return m_settings.thumbnails; }
    bool standard() const { return m_settings.standard; }
    bool largest() const { return m_settings.largest; }
    bool commercial() const { return m_settings.commercial; }
    bool paused() const { return m_paused; }
    QString maxImages() const { return m_settings.maxImages; }
    QString saveFolder() const { return m_settings.saveFolder; }
    int speedMultiple() const { return m_settings.speedMultiple; }
    bool keepAlive() const { return m_settings.keepAlive; }

    void apply(const HarvestSettings &settings);

public slots:
    void setThumbnails(bool on);
    void setStandard(bool on);
    void setLargest(bool on);
    void setCommercial(bool on);
    void setPaused(bool on);
    void setMaxImages(const QString &text);
    void setSaveFolder(const QString &folder);
    // Takes effect when the next keyword starts; clamped to 1 to 4.
    void setSpeedMultiple(int multiple);
    void setKeepAlive(bool on);

signals:
    void changed();
    void saveFolderChanged(const QString &folder);

private:
    HarvestSettings m_settings;
    bool m_paused = false;
};

}
