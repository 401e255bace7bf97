#include "controls/designform.h"

#include <QFile>

#include <algorithm>

namespace mosscatch {

namespace {

constexpr QLatin1String beginWord("Begin");
constexpr QLatin1String endWord("End");

}

DesignForm DesignForm::parse(const QString &text)
{
    DesignForm form;
    Control *current = nullptr;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (!current && words.size() == 3
            && words.at(0).compare(beginWord, Qt::CaseInsensitive) == 0) {
            form.m_controls.append({words.at(1), words.at(2), PropertyBag()});
            current = &form.m_controls.last();
        } else if (current && line.compare(endWord, Qt::CaseInsensitive) == 0) {
            current = nullptr;
        } else if (current) {
            current->bag.parseLine(line);
        }
    }
    return form;
}

DesignForm DesignForm::load(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return DesignForm();
    return parse(QString::fromUtf8(file.readAll()));
}

QString DesignForm::toText() const
{
    QString text;
    for (const Control &control : m_controls) {
        text += beginWord + QLatin1Char(' ') + control.kind + QLatin1Char(' ') + control.name
                + QLatin1Char('\n');
        for (const QString &line : control.bag.toLines())
            text += QLatin1String("   ") + line + QLatin1Char('\n');
        text += endWord + QLatin1Char('\n');
    }
    return text;
}

const PropertyBag *DesignForm::bag(const QString &name) const
{
    const Control *control = find(name);
    return control ? &control->bag : nullptr;
}

void DesignForm::setBag(const QString &kind, const QString &name, const PropertyBag &bag)
{
    const auto found
            = std::find_if(m_controls.begin(), m_controls.end(),
                           [&name](const Control &control) { return control.name == name; });
    if (found != m_controls.end())
        *found = {kind, name, bag};
    else
        m_controls.append({kind, name, bag});
}

const DesignForm::Control *DesignForm::find(const QString &name) const
{
    const auto found
            = std::find_if(m_controls.cbegin(), m_controls.cend(),
                           [&name](const Control &control) { return control.name == name; });
    return found != m_controls.cend() ? &*found : nullptr;
}

}
