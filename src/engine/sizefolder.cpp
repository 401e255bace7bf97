#include "engine/sizefolder.h"

#include <QDir>
#include <QFileInfo>

namespace mosscatch {

SizeFolder sizeFolderOf(const QString &imagePath, const QString &keywordFolder)
{
    const QFileInfo image(imagePath);
    if (!keywordFolder.isEmpty()
        && image.absolutePath() == QFileInfo(keywordFolder).absoluteFilePath())
        return SizeFolder::Standard;
    const QString folder = image.dir().dirName();
    if (folder == QLatin1String("thumbnails"))
        return SizeFolder::Thumbnail;
    if (folder == QLatin1String("largest"))
        return SizeFolder::Largest;
    return SizeFolder::Standard;
}

QString sizeFolderName(SizeFolder folder)
{
    switch (folder) {
    case SizeFolder::Thumbnail:
        return QStringLiteral("thumbnail");
    case SizeFolder::Largest:
        return QStringLiteral("largest");
    case SizeFolder::Standard:
        break;
    }
    return QStringLiteral("standard");
}

}
