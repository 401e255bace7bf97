#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHash>
#include <QString>

#include <chrono>

namespace mosscatch {

// The hosts that asked to be left alone for a while (a 429 or 503), each
// until its own moment. Neither a new transfer nor a retry goes to a held host.
class HostHolds
{
public:
    // Holds host for wait from now, unless it is held longer already.
    void hold(const QByteArray &host, std::chrono::milliseconds wait);
    bool isHeld(const QByteArray &host) const;
    std::chrono::milliseconds remaining(const QByteArray &host) const;
    bool isEmpty() const;

    // "waiting for HOST: 30 s", the seconds rounded up.
    static QString waitText(const QByteArray &host, std::chrono::milliseconds remaining);

private:
    void forgetExpired();

    QHash<QByteArray, QDeadlineTimer> m_until;
};

}
