#include "ui/previewdecoder.h"

#include <QFileInfo>
#include <QImageReader>

namespace mosscatch {

void PreviewDecoder::decode(quint64 id, const QString &path, int height)
{
    QImageReader reader(path);
    const QSize full = reader.size();
    if (full.isValid() && full.height() > 0)
        reader.setScaledSize(QSize(qMax(1, full.width() * height / full.height()), height));
    const QImage image = full.isValid() ? reader.read() : QImage();
    emit decoded(id, image, QFileInfo(path).size());
}

}
