#pragma once

#include "engine/sizefolder.h"

#include <QImage>
#include <QList>
#include <QThread>
#include <QWidget>

namespace mosscatch {

class PreviewDecoder;
class SavedImageTile;

// The images saved most recently, newest first, each at the strip's height.
// Only what fits is kept; previews are decoded one at a time on a thread of
// their own, newest first, so a burst of images costs the window nothing.
class SavedImageStrip : public QWidget
{
    Q_OBJECT

public:
    static constexpr int Gap = 4;

    explicit SavedImageStrip(QWidget *parent = nullptr);
    ~SavedImageStrip() override;

    int received() const { return m_received; }
    // Newest first.
    QList<SavedImageTile *> tiles() const { return m_tiles; }

public slots:
    void addImage(const QString &path, mosscatch::SizeFolder folder);

signals:
    void decodeRequested(quint64 id, const QString &path, int height);
    // A tile got its preview (still blank when the file could not be read).
    void previewShown(const QString &path);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void showPreview(quint64 id, const QImage &image, qint64 bytes);
    void layOutTiles();
    void decodeNewest();

    QThread m_decoderThread;
    PreviewDecoder *m_decoder;
    QList<SavedImageTile *> m_tiles;
    quint64 m_nextId = 0;
    int m_received = 0;
    bool m_decoding = false;
};

}
