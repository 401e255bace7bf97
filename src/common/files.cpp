#include "common/files.h"

#include <QDir>
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

}
