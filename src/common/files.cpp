#include "common/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace mosscatch {

void makeFolder(const QString &path)
{
    QDir().mkdir(path);
}

bool fileExists(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() && info.isFile();
}

bool appendToFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    return file.write(bytes) == bytes.size();
}

void deleteFile(const QString &path)
{
    if (QFileInfo(path).isDir())
        return;
    QFile::remove(path);
}

}
