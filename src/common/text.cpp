#include "common/text.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace mosscatch {

namespace {

template<typename Text> Text trimmedOfSpaces(const Text &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == ' ')
        ++begin;
    while (end > begin && text.at(end - 1) == ' ')
        --end;
    return text.mid(begin, end - begin);
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

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

bool holdsControlCharacter(QByteArrayView text)
{
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 32 || byte == 127;
    });
}

QString escapedControls(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code == '\n')
            result += QLatin1String("\\n");
        else if (code == '\r')
            result += QLatin1String("\\r");
        else if (code == '\t')
            result += QLatin1String("\\t");
        else if (code < 32 || code == 127)
            result += QStringLiteral("\\x%1").arg(int(code), 2, 16, QLatin1Char('0'));
        else
            result += c;
    }
    return result;
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

namespace {

// Length of the valid UTF-8 sequence at i (shortest form, no surrogates), or 0.
qsizetype utf8SequenceAt(const QByteArray &bytes, qsizetype i)
{
    const auto at = [&](qsizetype k) { return uchar(k < bytes.size() ? bytes[k] : 0); };
    const uchar lead = at(i);
    if (lead < 0x80)
        return 1;
    const qsizetype length = lead >= 0xC2 && lead <= 0xDF   ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
    if (length == 0)
        return 0;
    const uchar second = at(i + 1);
    const uchar low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const uchar high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (second < low || second > high)
        return 0;
    for (qsizetype k = 2; k < length; ++k) {
        if ((at(i + k) & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

}

QString fileNameText(const QByteArray &bytes)
{
    QByteArray text;
    text.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const qsizetype length = utf8SequenceAt(bytes, i);
        if (length > 0) {
            text.append(bytes.constData() + i, length);
            i += length;
        } else {
            text.append('%').append(
                    QByteArray::number(uchar(bytes[i]), 16).toUpper().rightJustified(2, '0'));
            ++i;
        }
    }
    return QString::fromUtf8(text);
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
