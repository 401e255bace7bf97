#include "engine/hostsdown.h"

namespace mosscatch {

bool HostsDown::noteFailedOpen(const QByteArray &host, const QString &reason)
{
    Note &note = m_notes[host.toLower()];
    if (note.down)
        return false;
    note.reason = reason;
    note.down = ++note.failedOpens >= FailedOpensToDown;
    if (note.down)
        m_downInOrder.append(host.toLower());
    return note.down;
}

bool HostsDown::noteUntrusted(const QByteArray &host, const QString &reason)
{
    Note &note = m_notes[host.toLower()];
    if (note.down)
        return false;
    note = {note.failedOpens, true, true, reason, 0};
    m_downInOrder.append(host.toLower());
    return true;
}

void HostsDown::noteOpened(const QByteArray &host)
{
    const auto note = m_notes.find(host.toLower());
    if (note != m_notes.end() && !note->down)
        m_notes.erase(note);
}

const HostsDown::Note *HostsDown::find(const QByteArray &host) const
{
    if (m_notes.isEmpty())
        return nullptr;
    const auto note = m_notes.constFind(host.toLower());
    return note == m_notes.cend() || !note->down ? nullptr : &*note;
}

bool HostsDown::isDown(const QByteArray &host) const
{
    return find(host) != nullptr;
}

std::optional<HostsDown::Entry> HostsDown::down(const QByteArray &host) const
{
    const Note *note = find(host);
    if (!note)
        return std::nullopt;
    return Entry{host, note->reason, note->untrusted, note->givenUp};
}

void HostsDown::countGivenUp(const QByteArray &host)
{
    const auto note = m_notes.find(host.toLower());
    if (note != m_notes.end() && note->down)
        ++note->givenUp;
}

QList<HostsDown::Entry> HostsDown::entries() const
{
    QList<Entry> entries;
    for (const QByteArray &host : m_downInOrder) {
        const Note &note = m_notes[host];
        entries.append({host, note.reason, note.untrusted, note.givenUp});
    }
    return entries;
}

void HostsDown::clear()
{
    m_notes.clear();
    m_downInOrder.clear();
}

QString HostsDown::Entry::statement() const
{
    const QString count = givenUp == 1 ? QStringLiteral("1 address given up")
                                       : QStringLiteral("%1 addresses given up").arg(givenUp);
    if (untrusted)
        return QStringLiteral("%1: %2").arg(reason, count);
    return QStringLiteral("%1 is not answering (%2): %3")
            .arg(QString::fromLatin1(host), reason, count);
}

}
