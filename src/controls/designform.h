#pragma once

#include "controls/propertybag.h"

#include <QList>
#include <QString>

namespace mosscatch {

// A saved window design in plain text: one block a control,
//
//     Begin paintedButton paintedButton1
//        BTYPE = 7
//        ...
//     End
//
// holding that control's property bag.
class DesignForm
{
public:
    static DesignForm parse(const QString &text);
    // An unreadable file gives an empty design.
    static DesignForm load(const QString &fileName);

    QString toText() const;

    // nullptr when the design has no control of that name.
    const PropertyBag *bag(const QString &name) const;
    void setBag(const QString &kind, const QString &name, const PropertyBag &bag);

private:
    struct Control
    {
        QString kind;
        QString name;
        PropertyBag bag;
    };

    const Control *find(const QString &name) const;

    QList<Control> m_controls;
};

}
