#include "cli/progressprinter.h"

#include "cli/progressline.h"
#include "common/bytesize.h"
#include "common/text.h"

#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace mosscatch {

namespace {

const QString eraseLine = QStringLiteral("\r\x1b[K");

int terminalWidth()
{
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

}

ProgressPrinter::ProgressPrinter(HarvestEngine &engine, RunRecorder &recorder, bool terminal,
                                 QObject *parent)
    : QObject(parent), m_engine(engine), m_recorder(recorder), m_out(stdout), m_terminal(terminal)
{
    connect(&recorder, &RunRecorder::keywordFinished, this, &ProgressPrinter::printFinished);
    if (terminal)
        connect(engine.statistics(), &HarvestStatistics::updated, this,
                &ProgressPrinter::redrawLiveLine);
    else
        connect(&engine, &HarvestEngine::keywordStarted, this, &ProgressPrinter::printStarted);
}

QString ProgressPrinter::describe(const KeywordFigures &figures)
{
    return QStringLiteral("%1: %2 images (%3 thumbnails, %4 standard, %5 largest), %6 pages, %7 "
                          "given up, %8 received, %9")
            .arg(escapedControls(figures.keyword))
            .arg(figures.images())
            .arg(figures.thumbnails)
            .arg(figures.standard)
            .arg(figures.largest)
            .arg(figures.pages)
            .arg(figures.givenUp)
            .arg(formatByteSize(qint64(figures.bytesReceived)),
                 ProgressLine::clockText(figures.elapsedSeconds));
}

void ProgressPrinter::redrawLiveLine()
{
    if (!m_recorder.isRunning())
        return;
    const KeywordFigures figures = m_recorder.current();
    const QString speed = m_engine.statistics()->speedText();
    // A wait the site asked for goes last, and the line before it makes room.
    const QString wait = m_engine.statistics()->waitText();
    const QString waitTail = wait.isEmpty() ? QString() : QStringLiteral(", ") + wait;
    const int width = terminalWidth() - int(waitTail.size());
    if (figures.expectationKnown()) {
        m_out << eraseLine << ProgressLine::text(figures, speed, width);
    } else {
        m_out << eraseLine
              << ProgressLine::fitted(
                         QStringLiteral("%1: %2 images, %3 pages, queue %4, %5, %6")
                                 .arg(escapedControls(figures.keyword))
                                 .arg(figures.images())
                                 .arg(figures.pages)
                                 .arg(m_engine.queue()->size())
                                 .arg(speed, ProgressLine::clockText(figures.elapsedSeconds)),
                         width);
    }
    m_out << waitTail;
    m_out.flush();
}

void ProgressPrinter::printStarted(const QString &keyword)
{
    m_out << QStringLiteral("harvesting: %1").arg(escapedControls(keyword)) << Qt::endl;
}

void ProgressPrinter::printFinished(const KeywordFigures &figures)
{
    if (m_terminal)
        m_out << eraseLine;
    m_out << (m_recorder.stoppedEarly() ? QStringLiteral("stopped %1") : QStringLiteral("done %1"))
                     .arg(describe(figures))
          << Qt::endl;
}

}
