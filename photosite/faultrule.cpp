#include "photosite/faultrule.h"

namespace mosscatch {

FaultRule FaultRule::exactPath(const QByteArray &path, Kind kind, int times)
{
    FaultRule rule;
    rule.match = Match::ExactPath;
    rule.pattern = path;
    rule.kind = kind;
    rule.times = times;
    return rule;
}

FaultRule FaultRule::pathPrefix(const QByteArray &prefix, Kind kind, int times)
{
    FaultRule rule = exactPath(prefix, kind, times);
    rule.match = Match::PathPrefix;
    return rule;
}

FaultRule FaultRule::wildcard(const QByteArray &hostAndPath, Kind kind, int times)
{
    FaultRule rule = exactPath(hostAndPath, kind, times);
    rule.match = Match::Wildcard;
    return rule;
}

bool FaultRule::matches(const QByteArray &host, const QByteArray &path, bool reused) const
{
    if (times == 0 || (!reused && (kind == Kind::CloseWhenReused || kind == Kind::StallWhenReused)))
        return false;
    switch (match) {
    case Match::ExactPath:
        return path == pattern;
    case Match::PathPrefix:
        return path.startsWith(pattern);
    case Match::Wildcard:
        return wildcardMatch(pattern, host + path);
    }
    return false;
}

// Greedy matching with one remembered star: linear for the patterns tests use.
bool FaultRule::wildcardMatch(const QByteArray &pattern, const QByteArray &text)
{
    qsizetype p = 0, t = 0, star = -1, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (star >= 0) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

}
