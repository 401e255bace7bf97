#pragma once

#include "cli/runrecorder.h"
#include "engine/harvestengine.h"

#include <QObject>
#include <QTextStream>

namespace mosscatch {

// Shows the run's progress: on a terminal one live line per keyword, redrawn
// in place; elsewhere plain lines without control characters.
class ProgressPrinter : public QObject
{
    Q_OBJECT

public:
    ProgressPrinter(HarvestEngine &engine, RunRecorder &recorder, bool terminal,
                    QObject *parent = nullptr);

    static QString describe(const KeywordFigures &figures);

private:
    void redrawLiveLine();
    void printFinished(const KeywordFigures &figures);
    void printStarted(const QString &keyword);

    HarvestEngine &m_engine;
    RunRecorder &m_recorder;
    QTextStream m_out;
    bool m_terminal;
};

}
