#include "engine/partialimage.h"

#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace mosscatch {

namespace {

// ".<name>.XXXXXX.part", the template below; XXXXXX is what QTemporaryFile fills in.
bool isTemporaryName(const QString &name)
{
    return name.startsWith(QLatin1Char('.')) && name.endsWith(QLatin1String(".part"))
           && name.size() > 13 && name.at(name.size() - 12) == QLatin1Char('.');
}

}

int PartialImage::removeStale(const QString &folder, const QDateTime &notAfter)
{
    int removed = 0;
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden);
    for (const QFileInfo &file : files) {
        if (isTemporaryName(file.fileName()) && file.lastModified() < notAfter
            && QFile::remove(file.filePath()))
            ++removed;
    }
    return removed;
}

PartialImage::PartialImage(const QString &destination) : m_destination(destination)
{
    const QFileInfo info(destination);
    m_file.setFileTemplate(info.path() + QStringLiteral("/.") + info.fileName()
                           + QStringLiteral(".XXXXXX.part"));
    if (m_file.open())
        m_file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner
                              | QFileDevice::ReadGroup | QFileDevice::ReadOther);
}

PartialImage::~PartialImage()
{
    // A file that never opened has no name to remove.
    if (!m_committed && !m_file.fileName().isEmpty())
        m_file.remove();
}

bool PartialImage::isOpen() const
{
    return m_file.isOpen();
}

QString PartialImage::temporaryPath() const
{
    return m_file.fileName();
}

bool PartialImage::append(QByteArrayView bytes)
{
    if (!m_file.isOpen() || m_file.write(bytes.data(), bytes.size()) != bytes.size())
        return false;
    m_written += bytes.size();
    return true;
}

bool PartialImage::commit()
{
    if (!m_file.isOpen())
        return false;
    if (!m_file.flush() || ::fdatasync(m_file.handle()) != 0)
        return false;
    m_file.close();
    if (m_file.rename(m_destination)) {
        m_committed = true;
        m_file.setAutoRemove(false);
        return true;
    }
    return QFileInfo(m_destination).isFile();
}

}
