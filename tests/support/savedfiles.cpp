#include "savedfiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

namespace mosscatch {

QMap<QString, QByteArray> filesUnder(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        files.insert(QDir(folder).relativeFilePath(file.fileName()),
                     file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    }
    return files;
}

QMap<QString, QByteArray> imageAddresses(const QByteArray &keyword, const QList<Photo> &photos,
                                         const QString &ticked)
{
    const QString folder = QString::fromUtf8(keyword) + QLatin1Char('/');
    QMap<QString, QByteArray> files;
    for (const Photo &photo : photos) {
        if (ticked.contains(QLatin1Char('t')) && !photo.portalThumbnail)
            files.insert(folder + "thumbnails/" + photo.thumbnailFileName(), photo.thumbnailImage);
        if (ticked.contains(QLatin1Char('s')))
            files.insert(folder + photo.standardFileName(), photo.standardImage);
        if (ticked.contains(QLatin1Char('l')))
            files.insert(folder + "largest/" + photo.largestFileName(), photo.largestImage);
    }
    return files;
}

QMap<QString, QByteArray> servedBytes(const PhotoCatalog &catalog,
                                      QMap<QString, QByteArray> addresses)
{
    for (QByteArray &address : addresses)
        address = catalog.imageBytes(address);
    return addresses;
}

bool sameFiles(const QMap<QString, QByteArray> &saved, const QMap<QString, QByteArray> &expected)
{
    for (const QString &name : saved.keys() + expected.keys()) {
        if (saved.contains(name) != expected.contains(name)
            || saved.value(name) != expected.value(name)) {
            qWarning("%s: %s", expected.contains(name) ? "missing or different" : "unexpected",
                     qPrintable(name));
            return false;
        }
    }
    return true;
}

}
