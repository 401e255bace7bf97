#include "engine/partialimage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace mosscatch {

namespace {

constexpr char Suffix[] = ".part";

// ".<name>.XXXXXX.part", the template below; XXXXXX is what mkostemps fills in.
bool isTemporaryName(const QString &name)
{
    return name.startsWith(QLatin1Char('.')) && name.endsWith(QLatin1String(Suffix))
           && name.size() > 13 && name.at(name.size() - 12) == QLatin1Char('.');
}

// Like rename, but an existing destination is never replaced.
int renameUnlessTaken(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the flag: the check and the rename are two steps.
    if (::access(to.constData(), F_OK) == 0)
        return EEXIST;
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
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
    if (!open() && m_error == ENOENT) {
        QDir().mkpath(QFileInfo(destination).path());
        m_error = 0;
        open();
    }
}

PartialImage::~PartialImage()
{
    close();
    if (!m_committed && !m_temporaryPath.isEmpty())
        ::unlink(QFile::encodeName(m_temporaryPath).constData());
}

bool PartialImage::open()
{
    const QFileInfo info(m_destination);
    QByteArray name = QFile::encodeName(info.path() + QStringLiteral("/.") + info.fileName()
                                        + QStringLiteral(".XXXXXX") + QLatin1String(Suffix));
    m_handle = ::mkostemps(name.data(), int(sizeof(Suffix) - 1), O_CLOEXEC);
    if (m_handle < 0)
        return fail();
    m_temporaryPath = QFile::decodeName(name);
    ::fchmod(m_handle, S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH);
    return true;
}

bool PartialImage::fail()
{
    if (m_error == 0)
        m_error = errno != 0 ? errno : EIO;
    close();
    return false;
}

void PartialImage::close()
{
    if (m_handle >= 0)
        ::close(m_handle);
    m_handle = -1;
}

bool PartialImage::append(QByteArrayView bytes)
{
    if (!isOpen())
        return false;
    const char *data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t done = ::write(m_handle, data, size_t(left));
        if (done < 0 && errno == EINTR)
            continue;
        if (done == 0)
            errno = EIO;
        if (done <= 0)
            return fail();
        data += done;
        left -= done;
        m_written += done;
    }
    return true;
}

bool PartialImage::commit()
{
    if (!isOpen())
        return false;
    if (::fdatasync(m_handle) != 0)
        return fail();
    const int handle = std::exchange(m_handle, -1);
    if (::close(handle) != 0)
        return fail();
    const int renamed = renameUnlessTaken(QFile::encodeName(m_temporaryPath),
                                          QFile::encodeName(m_destination));
    if (renamed == EEXIST && QFileInfo(m_destination).isFile())
        return true;
    if (renamed != 0) {
        errno = renamed;
        return fail();
    }
    m_committed = true;
    return true;
}

}
