#pragma once

#include <QByteArray>
#include <QDateTime>

#include <chrono>
#include <optional>

namespace mosscatch {

// How long a server in trouble asks to be left alone before an address is
// tried again: its Retry-After field, or else a wait that doubles with each
// failed attempt.
class RetryAfter
{
public:
    // However long a server asks for, a harvest never waits longer at a time.
    static constexpr std::chrono::seconds Longest{300};

    // The wait a Retry-After value asks for at `now`: delay seconds or an HTTP
    // date (a past date asks for none); nullopt when it is neither.
    static std::optional<std::chrono::seconds> parse(const QByteArray &value, const QDateTime &now);
    // Without the field: 1 s after the first failed attempt, then 2 s, 4 s, ...
    static std::chrono::seconds doubling(int failedAttempts);

private:
    static QDateTime httpDate(const QByteArray &value, const QDateTime &now);
};

}
