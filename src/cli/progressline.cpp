#include "cli/progressline.h"

#include "common/text.h"

#include <algorithm>

namespace mosscatch {

namespace {

constexpr int MinimumBar = 10;
const QString ellipsis = QStringLiteral("...");

}

QString ProgressLine::text(const KeywordFigures &figures, const QString &speed, int width)
{
    const int expected = std::max(figures.expectedImages, 0);
    const double fraction = expected > 0 ? std::min(1.0, double(figures.images()) / expected) : 1.0;
    const double left = secondsLeft(figures);
    const QString counts
            = QStringLiteral("%1/%2%3 %4%")
                      .arg(figures.images())
                      .arg(figures.expectedApproximate ? QStringLiteral("~") : QString())
                      .arg(expected)
                      .arg(int(fraction * 100));
    const QString tail = QStringLiteral(" %1 %2, %3 ETA %4")
                                 .arg(counts, speed, clockText(figures.elapsedSeconds),
                                      left < 0 ? QStringLiteral("--:--") : clockText(left));
    // The last column stays free: writing into it wraps some terminals.
    const int room = width - 1;
    QString keyword = escapedControls(figures.keyword) + QLatin1Char(' ');
    const int barWidth = room - int(keyword.size() + tail.size()) - 2;
    if (barWidth >= MinimumBar)
        return keyword + QLatin1Char('[') + bar(fraction, barWidth) + QLatin1Char(']') + tail;
    const QString figuresOnly = counts + tail.mid(counts.size() + 1);
    if (keyword.size() + figuresOnly.size() <= room)
        return keyword + figuresOnly;
    return fitted(figuresOnly, width);
}

QString ProgressLine::fitted(const QString &line, int width)
{
    const int room = width - 1;
    if (line.size() <= room)
        return line;
    return line.left(std::max(0, room - int(ellipsis.size()))) + ellipsis;
}

double ProgressLine::secondsLeft(const KeywordFigures &figures)
{
    const int saved = figures.images();
    if (saved == 0 || figures.elapsedSeconds <= 0)
        return -1;
    const int left = std::max(figures.expectedImages - saved, 0);
    return left * figures.elapsedSeconds / saved;
}

QString ProgressLine::clockText(double seconds)
{
    const auto whole = qint64(seconds);
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

QString ProgressLine::bar(double fraction, int width)
{
    const int filled = int(fraction * width);
    return QString(filled, QLatin1Char('#')) + QString(width - filled, QLatin1Char('-'));
}

}
