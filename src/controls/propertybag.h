#pragma once

#include "controls/colour.h"

#include <QFont>
#include <QList>
#include <QString>
#include <QStringList>

namespace mosscatch {

// Named design values in the order they were written. Keys are found
// regardless of case. Each value is kept as its design text
// (7, "Start!", -1, "Verdana,9.75,bold", &H00FDDBE7), so a bag read from
// a design writes back unchanged.
class PropertyBag
{
public:
    void writeInt(const QString &key, qint32 value);
    void writeColour(const QString &key, Colour value);
    void writeText(const QString &key, const QString &value);
    void writeBool(const QString &key, bool value);
    void writeFont(const QString &key, const QFont &value);

    qint32 readInt(const QString &key, qint32 defaultValue) const;
    Colour readColour(const QString &key, Colour defaultValue) const;
    QString readText(const QString &key, const QString &defaultValue) const;
    bool readBool(const QString &key, bool defaultValue) const;
    QFont readFont(const QString &key, const QFont &defaultValue) const;

    // "KEY = value" lines, and the reading of one such line.
    QStringList toLines() const;
    bool parseLine(const QString &line);

private:
    struct Entry
    {
        QString key;
        QString text;
    };

    void setText(const QString &key, const QString &text);
    const Entry *find(const QString &key) const;

    QList<Entry> m_entries;
};

}
