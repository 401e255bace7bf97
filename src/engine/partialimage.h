#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QString>

namespace mosscatch {

// An image being received: written to a temporary file beside its destination
// that is unique to the transfer, and renamed to the destination only when
// complete. Destroyed uncommitted, it removes the temporary file, so no
// half-written image ever stands under its final name. The first failed step
// (open, append, flush, rename) is kept as error() and every later one fails.
class PartialImage
{
public:
    // A destination folder that has vanished is made again first.
    explicit PartialImage(const QString &destination);
    PartialImage(const PartialImage &) = delete;
    PartialImage &operator=(const PartialImage &) = delete;
    ~PartialImage();

    bool isOpen() const { return m_handle >= 0; }
    bool append(QByteArrayView bytes);
    qint64 written() const { return m_written; }
    QString destination() const { return m_destination; }
    QString temporaryPath() const { return m_temporaryPath; }
    // The system's error number of the first failed step; 0 while none failed.
    int error() const { return m_error; }

    // Moves the finished file to its destination, once its bytes are on the
    // disk (so a power cut never leaves a short or empty file under the name).
    // When another transfer of the same image got there first, its complete
    // file stays and ours is dropped.
    bool commit();

    // Removes the temporary files a killed earlier run left in folder, those
    // last written before notAfter; the files of running transfers stay.
    static int removeStale(const QString &folder, const QDateTime &notAfter);

private:
    bool open();
    bool fail();
    void close();

    QString m_destination;
    QString m_temporaryPath;
    int m_handle = -1;
    int m_error = 0;
    qint64 m_written = 0;
    bool m_committed = false;
};

}
