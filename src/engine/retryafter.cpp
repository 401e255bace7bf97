#include "engine/retryafter.h"

#include <QTimeZone>

#include <algorithm>

namespace mosscatch {

std::optional<std::chrono::seconds> RetryAfter::parse(const QByteArray &value, const QDateTime &now)
{
    const QByteArray text = value.trimmed();
    if (!text.isEmpty()
        && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        // Longer than the cap in any case; its digits may not fit a number.
        if (text.size() > 6)
            return Longest;
        return std::min(std::chrono::seconds(text.toLongLong()), Longest);
    }
    const QDateTime date = httpDate(text, now);
    if (!date.isValid())
        return std::nullopt;
    const qint64 seconds = std::clamp<qint64>(now.secsTo(date), 0, Longest.count());
    return std::chrono::seconds(seconds);
}

std::chrono::seconds RetryAfter::doubling(int failedAttempts)
{
    const int exponent = std::clamp(failedAttempts - 1, 0, 9);
    return std::min(std::chrono::seconds(1 << exponent), Longest);
}

// The three forms HTTP dates come in, always in GMT: IMF-fixdate, the
// obsolete RFC 850 form and asctime's. The weekday is left unchecked.
QDateTime RetryAfter::httpDate(const QByteArray &value, const QDateTime &now)
{
    const QString text = QString::fromLatin1(value).simplified().section(QLatin1Char(' '), 1);
    for (const QString &format :
         {QStringLiteral("dd MMM yyyy hh:mm:ss 'GMT'"), QStringLiteral("dd-MMM-yy hh:mm:ss 'GMT'"),
          QStringLiteral("MMM d hh:mm:ss yyyy")}) {
        QDateTime date = QDateTime::fromString(text, format);
        if (!date.isValid())
            continue;
        date.setTimeZone(QTimeZone::utc());
        // A two-digit year is the latest such year not over 50 years ahead.
        if (format.contains(QLatin1String("-yy ")) && date.addYears(100) <= now.addYears(50))
            date = date.addYears(100);
        return date;
    }
    return {};
}

}
