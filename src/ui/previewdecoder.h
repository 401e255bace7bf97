#pragma once

#include <QImage>
#include <QObject>
#include <QString>

namespace mosscatch {

// Reads an image file at the height it is to be shown, away from the window's
// thread: a JPEG is then decoded at a fraction of its size, never whole.
class PreviewDecoder : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

public slots:
    void decode(quint64 id, const QString &path, int height);

signals:
    // A null image when the file cannot be read.
    void decoded(quint64 id, const QImage &image, qint64 bytes);
};

}
