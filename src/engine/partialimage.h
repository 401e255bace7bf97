#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

namespace mosscatch {

// An image being received: written to a file without a name in its
// destination folder, which gets the destination's name only once all of it
// is on the disk, so neither a half-written image nor a file of ours is left
// behind by a crash. Where the file system has no unnamed files it is written
// to a hidden temporary file beside the destination instead, removed when the
// image is destroyed uncommitted. New files are made as the umask allows.
// The first failed step (open, append, flush, naming) is kept as error() and
// every later one fails.
class PartialImage
{
public:
    enum class Commit {
        Saved, // the image is under its name
        AlreadyOnDisk, // another image took the name first; it stays, ours is dropped
        Failed, // error() says why
    };

    // A destination folder that has vanished is made again first.
    explicit PartialImage(const QString &destination);
    PartialImage(const PartialImage &) = delete;
    PartialImage &operator=(const PartialImage &) = delete;
    ~PartialImage();

    bool isOpen() const { return m_handle >= 0; }
    bool append(QByteArrayView bytes);
    qint64 written() const { return m_written; }
    QString destination() const { return m_destination; }
    // The system's error number of the first failed step; 0 while none failed.
    int error() const { return m_error; }

    // Gives the finished file its destination's name, once its bytes are on
    // the disk (so a power cut never leaves a short or empty file under the
    // name); an existing file under that name is never replaced.
    Commit commit();

    // Removes the hidden temporary files a killed earlier run left in folder,
    // those of exactly our own pattern last written before notAfter; the
    // files of running transfers and a user's files stay.
    static int removeStale(const QString &folder, const QDateTime &notAfter);

private:
    bool open();
    bool openNamed();
    bool fail();
    void close();
    int giveName();

    QString m_destination;
    QString m_temporaryPath;
    int m_handle = -1;
    int m_error = 0;
    qint64 m_written = 0;
    bool m_committed = false;
};

}
