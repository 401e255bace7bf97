#pragma once

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

    static QString defaultSaveFolder();

    bool thumbnails() const { return m_thumbnails; }
    bool standard() const { return m_standard; }
    bool largest() const { return m_largest; }
    bool commercial() const { return m_commercial; }
    bool paused() const { return m_paused; }
    QString maxImages() const { return m_maxImages; }
    QString saveFolder() const { return m_saveFolder; }

public slots:
    void setThumbnails(bool on);
    void setStandard(bool on);
    void setLargest(bool on);
    void setCommercial(bool on);
    void setPaused(bool on);
    void setMaxImages(const QString &text);
    void setSaveFolder(const QString &folder);

signals:
    void changed();
    void saveFolderChanged(const QString &folder);

private:
    bool m_thumbnails = true;
    bool m_standard = true;
    bool m_largest = false;
    bool m_commercial = false;
    bool m_paused = false;
    QString m_maxImages = QStringLiteral("60");
    QString m_saveFolder;
};

}
