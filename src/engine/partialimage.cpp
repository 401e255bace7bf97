#include "engine/partialimage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace mosscatch {

namespace {

// ".<name>.<12 lowercase hex digits>.part", the name not empty.
constexpr QLatin1StringView Suffix(".part");
constexpr qsizetype RandomDigits = 12;
constexpr int NamingTries = 100;

bool isTemporaryName(const QString &name)
{
    const qsizetype digits = name.size() - Suffix.size() - RandomDigits;
    if (digits < 3 || !name.startsWith(QLatin1Char('.')) || !name.endsWith(Suffix)
        || name.at(digits - 1) != QLatin1Char('.'))
        return false;
    const QStringView random = QStringView(name).mid(digits, RandomDigits);
    return std::all_of(random.begin(), random.end(), [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
               || (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
    });
}

QString temporaryName(const QString &name)
{
    const quint64 random = QRandomGenerator::global()->generate64() >> (64 - 4 * RandomDigits);
    return QLatin1Char('.') + name + QLatin1Char('.')
           + QString::number(random, 16).rightJustified(RandomDigits, QLatin1Char('0')) + Suffix;
}

// Tests run the named temporary files of a file system without unnamed ones
// on any file system; read at each open, so one test program can try both.
bool namedFilesOnly()
{
    return qEnvironmentVariableIsSet("MOSSCATCH_TEST_NAMED_TEMPORARIES");
}

// The error numbers by which a kernel or file system says it has no unnamed files.
bool refusesUnnamed(int error)
{
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

// Like rename, but an existing destination is never replaced.
int renameUnlessTaken(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the flag: the link fails where the name is taken.
    if (::link(from.constData(), to.constData()) != 0)
        return errno;
    ::unlink(from.constData());
    return 0;
}

// The new name itself is on the disk only once its folder is.
int syncFolder(const QByteArray &folder)
{
    const int handle = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0)
        return errno;
    const int result = ::fsync(handle) == 0 || errno == EINVAL ? 0 : errno;
    ::close(handle);
    return result;
}

bool isRegularFile(const QByteArray &path)
{
    struct stat status = {};
    return ::lstat(path.constData(), &status) == 0 && S_ISREG(status.st_mode);
}

}

int PartialImage::removeStale(const QString &folder, const QDateTime &notAfter)
{
    int removed = 0;
    const QFileInfoList files
            = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
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

// An unnamed file can be named only through /proc, so without it the image
// gets a named temporary file as well.
bool PartialImage::open()
{
    // An unnamed file would learn that its name is too long only once whole.
    if (QFile::encodeName(QFileInfo(m_destination).fileName()).size() > NAME_MAX) {
        errno = ENAMETOOLONG;
        return fail();
    }
    if (!namedFilesOnly() && ::access("/proc/self/fd", X_OK) == 0) {
        const QByteArray folder = QFile::encodeName(QFileInfo(m_destination).path());
        m_handle = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (m_handle >= 0)
            return true;
        if (!refusesUnnamed(errno))
            return fail();
    }
    return openNamed();
}

bool PartialImage::openNamed()
{
    const QFileInfo info(m_destination);
    for (int tries = 0; tries < NamingTries; ++tries) {
        const QString path = info.path() + QLatin1Char('/') + temporaryName(info.fileName());
        m_handle = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (m_handle >= 0) {
            m_temporaryPath = path;
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    return fail();
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

// Names the open file after its destination and closes it: 0 or the
// system's error number.
int PartialImage::giveName()
{
    const QByteArray destination = QFile::encodeName(m_destination);
    const int handle = std::exchange(m_handle, -1);
    if (!m_temporaryPath.isEmpty()) {
        if (::close(handle) != 0)
            return errno;
        return renameUnlessTaken(QFile::encodeName(m_temporaryPath), destination);
    }
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(handle);
    const int linked = ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, destination.constData(),
                                AT_SYMLINK_FOLLOW)
                                       == 0
                               ? 0
                               : errno;
    const int closed = ::close(handle) == 0 ? 0 : errno;
    return linked != 0 ? linked : closed;
}

PartialImage::Commit PartialImage::commit()
{
    const auto failed = [this] {
        fail();
        return Commit::Failed;
    };
    if (!isOpen())
        return Commit::Failed;
    if (::fdatasync(m_handle) != 0)
        return failed();
    const int named = giveName();
    // Only another image under the name counts as found; a folder, a pipe or
    // a link there is a name the file system refuses for this image.
    if (named == EEXIST && isRegularFile(QFile::encodeName(m_destination)))
        return Commit::AlreadyOnDisk;
    errno = named;
    if (named != 0)
        return failed();
    m_committed = true;
    errno = syncFolder(QFile::encodeName(QFileInfo(m_destination).path()));
    return errno == 0 ? Commit::Saved : failed();
}

}
