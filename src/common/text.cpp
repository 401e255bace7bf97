#include "common/text.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace mosscatch {

namespace {

template<typename Text>
Text trimmedOfSpaces(const Text &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == ' ')
        ++begin;
    while (end > begin && text.at(end - 1) == ' ')
        --end;
    return text.mid(begin, end - begin);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}

QString lowerTrim(const QString &text)
{
    return trimmedOfSpaces(text.toLower());
}

QByteArray lowerTrim(const QByteArray &text)
{
    return trimmedOfSpaces(text.toLower());
}

QByteArray trimSpaces(const QByteArray &text)
{
    return trimmedOfSpaces(text);
}

QString safeFileName(const QString &text)
{
    static const QString forbidden = QStringLiteral("\\/:*?\"<>|");
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        if (!forbidden.contains(c))
            result.append(c);
    }
    return result;
}

QByteArray reverseText(const QByteArray &text)
{
    QByteArray result = text;
    std::reverse(result.begin(), result.end());
    return result;
}

QByteArray urlFileName(const QByteArray &path)
{
    const QByteArray rooted = path.startsWith('/') ? path : '/' + path;
    const QByteArray reversed = reverseText(rooted);
    return reverseText(reversed.left(reversed.indexOf('/')));
}

double leadingNumber(const QByteArray &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    const auto skipDigits = [&] {
        const qsizetype from = i;
        while (i < n && isDigit(text[i]))
            ++i;
        return i - from;
    };
    while (i < n && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    const qsizetype start = i;
    if (i < n && (text[i] == '+' || text[i] == '-'))
        ++i;
    qsizetype digits = skipDigits();
    if (i < n && text[i] == '.') {
        ++i;
        digits += skipDigits();
    }
    if (digits == 0)
        return 0;
    if (i + 1 < n && (text[i] == 'e' || text[i] == 'E')) {
        const qsizetype mantissaEnd = i;
        ++i;
        if (text[i] == '+' || text[i] == '-')
            ++i;
        if (skipDigits() == 0)
            i = mantissaEnd;
    }
    const std::string number(text.constData() + start, size_t(i - start));
    return std::strtod(number.c_str(), nullptr);
}

double leadingNumber(const QString &text)
{
    return leadingNumber(text.toLatin1());
}

}
