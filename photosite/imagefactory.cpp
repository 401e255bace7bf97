#include "photosite/imagefactory.h"

#include "photosite/stablehash.h"

#include <QBuffer>
#include <QImageWriter>

namespace mosscatch {

namespace {

int longSide(ImageFactory::Size size, quint64 seed)
{
    switch (size) {
    case ImageFactory::Size::Thumbnail:
        return 100;
    case ImageFactory::Size::Small:
        return 240;
    case ImageFactory::Size::Standard:
        return 500;
    case ImageFactory::Size::Large:
        return 1024;
    case ImageFactory::Size::Original:
        return 1600 + int(seed % 5) * 100;
    }
    return 500;
}

// Noise keeps the JPEGs about as large as photographs of the same size.
int noiseAmplitude(ImageFactory::Size size)
{
    switch (size) {
    case ImageFactory::Size::Thumbnail:
        return 40;
    case ImageFactory::Size::Small:
        return 36;
    case ImageFactory::Size::Standard:
        return 30;
    case ImageFactory::Size::Large:
        return 22;
    case ImageFactory::Size::Original:
        return 18;
    }
    return 30;
}

// Photos of one id share their look at every size; only the address decides.
QByteArray photoKey(const QByteArray &hostAndPath)
{
    const qsizetype slash = hostAndPath.lastIndexOf('/');
    QByteArray name = hostAndPath.mid(slash + 1);
    name.chop(4);
    const QList<QByteArray> parts = name.split('_');
    return parts.size() >= 2 ? parts.at(0) + '_' + parts.at(1) : name;
}

}

ImageFactory::ImageFactory(qint64 cacheBytes) : m_cache(cacheBytes)
{
}

QByteArray ImageFactory::jpeg(const QByteArray &hostAndPath) const
{
    if (const QByteArray *cached = m_cache.object(hostAndPath))
        return *cached;
    const QByteArray bytes = encode(picture(hostAndPath), sizeOf(hostAndPath));
    m_cache.insert(hostAndPath, new QByteArray(bytes), qMax<qint64>(1, bytes.size()));
    return bytes;
}

ImageFactory::Size ImageFactory::sizeOf(const QByteArray &path)
{
    if (path.contains("_t."))
        return Size::Thumbnail;
    if (path.contains("_m."))
        return Size::Small;
    if (path.contains("_b."))
        return Size::Large;
    if (path.contains("_o."))
        return Size::Original;
    return Size::Standard;
}

QSize ImageFactory::dimensions(const QByteArray &hostAndPath)
{
    const quint64 seed = StableHash::of(photoKey(hostAndPath));
    const int side = longSide(sizeOf(hostAndPath), seed >> 8);
    switch (seed % 3) {
    case 0:
        return QSize(side, side * 3 / 4);
    case 1:
        return QSize(side * 3 / 4, side);
    default:
        return QSize(side, side * 2 / 3);
    }
}

QImage ImageFactory::picture(const QByteArray &hostAndPath)
{
    const QSize size = dimensions(hostAndPath);
    const quint64 look = StableHash::of(photoKey(hostAndPath));
    StableRandom noise(StableHash::of(hostAndPath));
    const int amplitude = noiseAmplitude(sizeOf(hostAndPath));
    const int red = int(look & 0xff), green = int((look >> 8) & 0xff),
              blue = int((look >> 16) & 0xff);

    QImage image(size, QImage::Format_RGB32);
    // The default resolution follows the screen, which would change the bytes.
    image.setDotsPerMeterX(2835);
    image.setDotsPerMeterY(2835);
    for (int y = 0; y < size.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        const int shade = y * 255 / size.height();
        for (int x = 0; x < size.width(); ++x) {
            const quint64 n = noise.next();
            const int grain = int(n % quint64(2 * amplitude + 1)) - amplitude;
            const int across = x * 255 / size.width();
            line[x] = qRgb(qBound(0, (red + across) / 2 + grain, 255),
                           qBound(0, (green + shade) / 2 + grain, 255),
                           qBound(0, (blue + 255 - across) / 2 + grain, 255));
        }
    }
    return image;
}

QByteArray ImageFactory::encode(const QImage &image, Size size)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(size == Size::Original ? 80 : 85);
    writer.write(image);
    // The buffer grew in steps; the cache counts only the bytes, so drop the slack.
    bytes.squeeze();
    return bytes;
}

}
