#include "ui/savedimagestrip.h"

#include "ui/previewdecoder.h"
#include "ui/savedimagetile.h"

#include <QPixmap>

#include <algorithm>

namespace mosscatch {

SavedImageStrip::SavedImageStrip(QWidget *parent) : QWidget(parent), m_decoder(new PreviewDecoder)
{
    setObjectName(QStringLiteral("SavedImageStrip"));
    setAccessibleName(QStringLiteral("Images saved in this run"));
    m_decoder->moveToThread(&m_decoderThread);
    connect(&m_decoderThread, &QThread::finished, m_decoder, &QObject::deleteLater);
    connect(this, &SavedImageStrip::decodeRequested, m_decoder, &PreviewDecoder::decode);
    connect(m_decoder, &PreviewDecoder::decoded, this, &SavedImageStrip::showPreview);
    m_decoderThread.setObjectName(QStringLiteral("preview decoder"));
    m_decoderThread.start(QThread::LowPriority);
}

SavedImageStrip::~SavedImageStrip()
{
    m_decoderThread.quit();
    m_decoderThread.wait();
}

void SavedImageStrip::addImage(const QString &path, SizeFolder folder)
{
    ++m_received;
    auto *tile = new SavedImageTile(m_nextId++, path, folder, this);
    m_tiles.prepend(tile);
    layOutTiles();
    decodeNewest();
}

void SavedImageStrip::resizeEvent(QResizeEvent *)
{
    layOutTiles();
}

void SavedImageStrip::showPreview(quint64 id, const QImage &image, qint64 bytes)
{
    m_decoding = false;
    const auto tile = std::find_if(m_tiles.cbegin(), m_tiles.cend(),
                                   [id](const SavedImageTile *t) { return t->id() == id; });
    if (tile != m_tiles.cend()) {
        const QString path = (*tile)->path();
        (*tile)->setPreview(QPixmap::fromImage(image), bytes);
        layOutTiles();
        emit previewShown(path);
    }
    decodeNewest();
}

// Tiles that start beyond the right edge are gone for good.
void SavedImageStrip::layOutTiles()
{
    int x = 0;
    qsizetype shown = 0;
    for (; shown < m_tiles.size() && x < width(); ++shown) {
        SavedImageTile *tile = m_tiles.at(shown);
        const int tileWidth = tile->widthAt(height());
        tile->setGeometry(x, 0, tileWidth, height());
        tile->show();
        x += tileWidth + Gap;
    }
    while (m_tiles.size() > shown)
        delete m_tiles.takeLast();
    // Tab walks the tiles as they are seen, newest first.
    for (qsizetype i = 1; i < m_tiles.size(); ++i)
        QWidget::setTabOrder(m_tiles.at(i - 1), m_tiles.at(i));
}

// One request at a time, always for the newest tile still blank, so images
// that scroll out before their turn are never decoded.
void SavedImageStrip::decodeNewest()
{
    if (m_decoding)
        return;
    for (SavedImageTile *tile : std::as_const(m_tiles)) {
        if (!tile->decodeAsked()) {
            tile->markDecodeAsked();
            m_decoding = true;
            emit decodeRequested(tile->id(), tile->path(), height());
            return;
        }
    }
}

}
