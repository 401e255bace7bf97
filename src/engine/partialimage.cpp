#include "engine/partialimage.h"

#include <QFileInfo>

namespace mosscatch {

PartialImage::PartialImage(const QString &destination)
    : m_destination(destination)
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

bool PartialImage::append(const QByteArray &bytes)
{
    if (!m_file.isOpen() || m_file.write(bytes) != bytes.size())
        return false;
    m_written += bytes.size();
    return true;
}

bool PartialImage::commit()
{
    if (!m_file.isOpen())
        return false;
    if (!m_file.flush())
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
