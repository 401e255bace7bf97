#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

namespace mosscatch {

// The hosts a keyword has stopped asking: three connections in a row that
// could not be opened, or a certificate we do not trust. Their addresses are
// given up without a request until the next keyword. Host names compare
// case-insensitively.
class HostsDown
{
public:
    static constexpr int FailedOpensToDown = 3;

    struct Entry
    {
        QByteArray host;
        QString reason;
        bool untrusted = false;
        int givenUp = 0;

        // "farm3.example.com is not answering (connection refused): 87 images
        // given up", or the certificate's fault and the count.
        QString statement() const;
    };

    // Each returns true when the host is down from this moment on.
    bool noteFailedOpen(const QByteArray &host, const QString &reason);
    bool noteUntrusted(const QByteArray &host, const QString &reason);
    // A connection came up: the failures before it no longer count.
    void noteOpened(const QByteArray &host);

    bool isDown(const QByteArray &host) const;
    // The host's entry while it is down.
    std::optional<Entry> down(const QByteArray &host) const;
    // One more address of a host that is down was given up.
    void countGivenUp(const QByteArray &host);
    // The hosts down, in the order they went down.
    QList<Entry> entries() const;
    void clear();

private:
    struct Note
    {
        int failedOpens = 0;
        bool down = false;
        bool untrusted = false;
        QString reason;
        int givenUp = 0;
    };

    const Note *find(const QByteArray &host) const;

    QHash<QByteArray, Note> m_notes;
    QList<QByteArray> m_downInOrder;
};

}
