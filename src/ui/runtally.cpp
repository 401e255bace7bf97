#include "ui/runtally.h"

#include "engine/harvestengine.h"

#include <QLocale>

namespace mosscatch {

namespace {

QString counted(int count, const char *one, const char *many)
{
    return QLocale().toString(count) + QLatin1Char(' ') + QLatin1String(count == 1 ? one : many);
}

// "4:12", or "1:04:12" from an hour on.
QString clockText(qint64 milliseconds)
{
    const qint64 seconds = milliseconds / 1000;
    const QLatin1Char zero('0');
    if (seconds < 3600)
        return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, zero);
    return QStringLiteral("%1:%2:%3")
            .arg(seconds / 3600)
            .arg(seconds / 60 % 60, 2, 10, zero)
            .arg(seconds % 60, 2, 10, zero);
}

}

RunTally::RunTally(HarvestEngine &engine, QObject *parent) : QObject(parent), m_engine(engine)
{
    connect(&engine, &HarvestEngine::keywordStarted, this, &RunTally::keywordStarted);
    connect(&engine, &HarvestEngine::runOver, this, &RunTally::runOver);
    connect(&engine, &HarvestEngine::imageSaved, this, [this] { ++m_images; });
    connect(&engine, &HarvestEngine::addressGivenUp, this, [this] { ++m_givenUp; });
}

QString RunTally::doneText() const
{
    const QString done = QStringLiteral("Done: %1, %2, %3 given up, %4")
                                 .arg(counted(m_keywords, "keyword", "keywords"),
                                      counted(m_images, "image", "images"),
                                      QLocale().toString(m_givenUp), clockText(m_elapsedMs));
    return (QStringList{done} + m_hostsDown).join(QStringLiteral("; "));
}

// The pool forgets its hosts down once the next keyword's slots are built, after this.
void RunTally::noteHostsDown()
{
    for (const HostsDown::Entry &entry : m_engine.pool()->cache().hostsDown().entries())
        m_hostsDown.append(entry.statement());
}

void RunTally::keywordStarted()
{
    if (!m_over)
        noteHostsDown();
    if (m_over) {
        m_hostsDown.clear();
        m_keywords = m_images = m_givenUp = 0;
        m_clock.start();
        m_over = false;
    }
    ++m_keywords;
}

void RunTally::runOver()
{
    noteHostsDown();
    m_over = true;
    m_elapsedMs = m_clock.isValid() ? m_clock.elapsed() : 0;
}

}
