#include "controls/propertybag.h"

#include <algorithm>
#include <optional>

namespace mosscatch {

namespace {

QString quoted(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QString unquoted(const QString &text)
{
    if (text.size() < 2 || !text.startsWith(QLatin1Char('"')) || !text.endsWith(QLatin1Char('"')))
        return text;
    QString inner = text.mid(1, text.size() - 2);
    inner.replace(QLatin1String("\"\""), QLatin1String("\""));
    return inner;
}

std::optional<qint64> parseNumber(const QString &text)
{
    bool ok = false;
    qint64 value = 0;
    if (text.startsWith(QLatin1String("&H"), Qt::CaseInsensitive)) {
        QString digits = text.mid(2);
        if (digits.endsWith(QLatin1Char('&')))
            digits.chop(1);
        value = qint64(digits.toULongLong(&ok, 16));
    } else {
        value = text.toLongLong(&ok);
    }
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

QString fontText(const QFont &font)
{
    QStringList parts{font.family(), QString::number(font.pointSizeF())};
    if (font.bold())
        parts << QStringLiteral("bold");
    if (font.italic())
        parts << QStringLiteral("italic");
    if (font.underline())
        parts << QStringLiteral("underline");
    if (font.strikeOut())
        parts << QStringLiteral("strikeout");
    return parts.join(QLatin1Char(','));
}

std::optional<QFont> parseFont(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (parts.size() < 2)
        return std::nullopt;
    bool ok = false;
    const double size = parts.at(1).trimmed().toDouble(&ok);
    if (!ok || size <= 0)
        return std::nullopt;
    QFont font;
    // Designs name Windows fonts; where one is missing a plain sans-serif stands in.
    font.setFamilies({parts.at(0).trimmed(), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(size);
    const QStringList flags = parts.mid(2);
    font.setBold(flags.contains(QLatin1String("bold"), Qt::CaseInsensitive));
    font.setItalic(flags.contains(QLatin1String("italic"), Qt::CaseInsensitive));
    font.setUnderline(flags.contains(QLatin1String("underline"), Qt::CaseInsensitive));
    font.setStrikeOut(flags.contains(QLatin1String("strikeout"), Qt::CaseInsensitive));
    return font;
}

}

void PropertyBag::writeInt(const QString &key, qint32 value)
{
    setText(key, QString::number(value));
}

void PropertyBag::writeColour(const QString &key, Colour value)
{
    setText(key, QStringLiteral("&H%1").arg(value, 8, 16, QLatin1Char('0')).toUpper());
}

void PropertyBag::writeText(const QString &key, const QString &value)
{
    setText(key, quoted(value));
}

void PropertyBag::writeBool(const QString &key, bool value)
{
    setText(key, value ? QStringLiteral("-1") : QStringLiteral("0"));
}

void PropertyBag::writeFont(const QString &key, const QFont &value)
{
    setText(key, quoted(fontText(value)));
}

qint32 PropertyBag::readInt(const QString &key, qint32 defaultValue) const
{
    const Entry *entry = find(key);
    const std::optional<qint64> value = entry ? parseNumber(entry->text) : std::nullopt;
    return value ? qint32(*value) : defaultValue;
}

Colour PropertyBag::readColour(const QString &key, Colour defaultValue) const
{
    const Entry *entry = find(key);
    const std::optional<qint64> value = entry ? parseNumber(entry->text) : std::nullopt;
    return value ? Colour(*value) : defaultValue;
}

QString PropertyBag::readText(const QString &key, const QString &defaultValue) const
{
    const Entry *entry = find(key);
    return entry ? unquoted(entry->text) : defaultValue;
}

bool PropertyBag::readBool(const QString &key, bool defaultValue) const
{
    const Entry *entry = find(key);
    if (!entry)
        return defaultValue;
    if (entry->text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (entry->text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    const std::optional<qint64> value = parseNumber(entry->text);
    return value ? *value != 0 : defaultValue;
}

QFont PropertyBag::readFont(const QString &key, const QFont &defaultValue) const
{
    const Entry *entry = find(key);
    const std::optional<QFont> font = entry ? parseFont(unquoted(entry->text)) : std::nullopt;
    return font.value_or(defaultValue);
}

QStringList PropertyBag::toLines() const
{
    QStringList lines;
    for (const Entry &entry : m_entries)
        lines << entry.key + QLatin1String(" = ") + entry.text;
    return lines;
}

bool PropertyBag::parseLine(const QString &line)
{
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals <= 0)
        return false;
    const QString key = line.left(equals).trimmed();
    if (key.isEmpty())
        return false;
    setText(key, line.mid(equals + 1).trimmed());
    return true;
}

void PropertyBag::setText(const QString &key, const QString &text)
{
    const auto found = std::find_if(m_entries.begin(), m_entries.end(), [&key](const Entry &entry) {
        return entry.key.compare(key, Qt::CaseInsensitive) == 0;
    });
    if (found != m_entries.end())
        found->text = text;
    else
        m_entries.append({key, text});
}

const PropertyBag::Entry *PropertyBag::find(const QString &key) const
{
    const auto found
            = std::find_if(m_entries.cbegin(), m_entries.cend(), [&key](const Entry &entry) {
                  return entry.key.compare(key, Qt::CaseInsensitive) == 0;
              });
    return found != m_entries.cend() ? &*found : nullptr;
}

}
