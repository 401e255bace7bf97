#include "cli/progressprinter.h"

#include "common/bytesize.h"

#include <cstdio>

namespace mosscatch {

namespace {

QString clockText(double seconds)
{
    const auto whole = qint64(seconds);
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

const QString eraseLine = QStringLiteral("\r\x1b[K");

}

ProgressPrinter::ProgressPrinter(HarvestEngine &engine, RunRecorder &recorder, bool terminal, QObject *parent)
    : QObject(parent), m_engine(engine), m_recorder(recorder), m_out(stdout), m_terminal(terminal)
{
    connect(&recorder, &RunRecorder::keywordFinished, this, &ProgressPrinter::printFinished);
    if (terminal)
        connect(engine.statistics(), &HarvestStatistics::updated, this, &ProgressPrinter::redrawLiveLine);
    else
        connect(&engine, &HarvestEngine::keywordStarted, this, &ProgressPrinter::printStarted);
}

QString ProgressPrinter::describe(const KeywordFigures &figures)
{
    return QStringLiteral("%1: %2 images (%3 thumbnails, %4 standard, %5 largest), %6 pages, %7 given up, %8 received, %9")
        .arg(figures.keyword)
        .arg(figures.images())
        .arg(figures.thumbnails)
        .arg(figures.standard)
        .arg(figures.largest)
        .arg(figures.pages)
        .arg(figures.givenUp)
        .arg(formatByteSize(qint64(figures.bytesReceived)), clockText(figures.elapsedSeconds));
}

void ProgressPrinter::redrawLiveLine()
{
    if (!m_recorder.isRunning())
        return;
    const KeywordFigures figures = m_recorder.current();
    m_out << eraseLine
          << QStringLiteral("%1: %2 images, %3 pages, queue %4, %5, %6")
                 .arg(figures.keyword)
                 .arg(figures.images())
                 .arg(figures.pages)
                 .arg(m_engine.queue()->size())
                 .arg(m_engine.statistics()->speedText(), clockText(figures.elapsedSeconds));
    m_out.flush();
}

void ProgressPrinter::printStarted(const QString &keyword)
{
    m_out << QStringLiteral("harvesting: %1").arg(keyword) << Qt::endl;
}

void ProgressPrinter::printFinished(const KeywordFigures &figures)
{
    if (m_terminal)
        m_out << eraseLine;
    m_out << QStringLiteral("done %1").arg(describe(figures)) << Qt::endl;
}

}
