#pragma once

#include <QByteArray>
#include <QCache>
#include <QImage>
#include <QSize>

namespace mosscatch {

// Makes the JPEG served for an image address. The picture depends only on the
// address, so the bytes are the same in every process; each address is
// encoded once and then served from the cache.
class ImageFactory
{
public:
    enum class Size { Thumbnail, Small, Standard, Large, Original };

    // A harvest asks for each image once, so the cache mostly serves repeated
    // runs; 32 MiB keeps a site inside the window's demo small.
    explicit ImageFactory(qint64 cacheBytes = 32 * 1024 * 1024);

    void setCacheBytes(qint64 bytes) { m_cache.setMaxCost(bytes); }

    // The address is host + path without a scheme.
    QByteArray jpeg(const QByteArray &hostAndPath) const;

    static Size sizeOf(const QByteArray &path);
    static QSize dimensions(const QByteArray &hostAndPath);

private:
    static QImage picture(const QByteArray &hostAndPath);
    static QByteArray encode(const QImage &image, Size size);

    mutable QCache<QByteArray, QByteArray> m_cache;
};

}
