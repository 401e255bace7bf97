#pragma once

#include "engine/sizefolder.h"

#include <QAbstractButton>
#include <QPixmap>

namespace mosscatch {

// One saved image in the strip: its preview once decoded, a blank frame
// until then. Clicking it (or Space on it) opens the image.
class SavedImageTile : public QAbstractButton
{
    Q_OBJECT

public:
    SavedImageTile(quint64 id, const QString &path, SizeFolder folder, QWidget *parent);

    quint64 id() const { return m_id; }
    QString path() const { return m_path; }
    bool hasPreview() const { return !m_preview.isNull(); }
    bool decodeAsked() const { return m_decodeAsked; }
    void markDecodeAsked() { m_decodeAsked = true; }
    void setPreview(const QPixmap &preview, qint64 bytes);
    // Width at the given height: the preview's aspect ratio; before that is
    // known, as narrow as a tall portrait, so the strip keeps enough images.
    int widthAt(int height) const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void describe(qint64 bytes);

    const quint64 m_id;
    const QString m_path;
    const SizeFolder m_folder;
    QPixmap m_preview;
    bool m_decodeAsked = false;
};

}
