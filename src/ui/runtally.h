#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

namespace mosscatch {

class HarvestEngine;

// What the window's run has done, from its first keyword to the end of its
// last: the words the window ends a run with.
class RunTally : public QObject
{
    Q_OBJECT

public:
    explicit RunTally(HarvestEngine &engine, QObject *parent = nullptr);

    // "Done: 3 keywords, 1,204 images, 0 given up, 4:12", then what became
    // of each host that was down.
    QString doneText() const;

private:
    void keywordStarted();
    void runOver();
    void noteHostsDown();

    HarvestEngine &m_engine;
    QStringList m_hostsDown;
    int m_keywords = 0;
    int m_images = 0;
    int m_givenUp = 0;
    bool m_over = true;
    QElapsedTimer m_clock;
    qint64 m_elapsedMs = 0;
};

}
