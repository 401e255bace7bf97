#pragma once

#include <QAccessibleWidget>

namespace mosscatch {

class PaintedButton;

// What assistive technology learns of a painted button: a push button named
// by its caption, which it can press.
class AccessiblePaintedButton : public QAccessibleWidget
{
public:
    explicit AccessiblePaintedButton(PaintedButton *button);

    // The factory QAccessible asks for each object it is to describe.
    static QAccessibleInterface *create(const QString &className, QObject *object);

    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;
    QStringList keyBindingsForAction(const QString &actionName) const override;

private:
    PaintedButton *button() const;
    QString shortcut() const;
};

}
