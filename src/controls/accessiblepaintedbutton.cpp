#include "controls/accessiblepaintedbutton.h"

#include "controls/paintedbutton.h"

namespace mosscatch {

namespace {

// "&Start!" is read "Start!", and "&&" is one ampersand.
QString withoutAccessMarks(const QString &caption)
{
    QString name;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption.at(i) == QLatin1Char('&') && i + 1 < caption.size())
            ++i;
        name.append(caption.at(i));
    }
    return name;
}

}

AccessiblePaintedButton::AccessiblePaintedButton(PaintedButton *button)
    : QAccessibleWidget(button, QAccessible::Button)
{
}

QAccessibleInterface *AccessiblePaintedButton::create(const QString &className, QObject *object)
{
    auto *button = qobject_cast<PaintedButton *>(object);
    if (!button || className != QLatin1String(PaintedButton::staticMetaObject.className()))
        return nullptr;
    return new AccessiblePaintedButton(button);
}

PaintedButton *AccessiblePaintedButton::button() const
{
    return static_cast<PaintedButton *>(widget());
}

QString AccessiblePaintedButton::shortcut() const
{
    const QString key = button()->accessKey();
    return key.isEmpty() ? QString() : QStringLiteral("Alt+") + key.toUpper();
}

QString AccessiblePaintedButton::text(QAccessible::Text t) const
{
    if (t == QAccessible::Name && button()->accessibleName().isEmpty())
        return withoutAccessMarks(button()->caption());
    if (t == QAccessible::Accelerator)
        return shortcut();
    return QAccessibleWidget::text(t);
}

QAccessible::State AccessiblePaintedButton::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.defaultButton = button()->isDefault();
    return state;
}

QStringList AccessiblePaintedButton::actionNames() const
{
    return QStringList(pressAction()) + QAccessibleWidget::actionNames();
}

void AccessiblePaintedButton::doAction(const QString &actionName)
{
    if (actionName != pressAction()) {
        QAccessibleWidget::doAction(actionName);
        return;
    }
    // As its access key would: a disabled button ignores it.
    button()->accessKeyPress();
}

QStringList AccessiblePaintedButton::keyBindingsForAction(const QString &actionName) const
{
    if (actionName == pressAction() && !shortcut().isEmpty())
        return {shortcut()};
    return QAccessibleWidget::keyBindingsForAction(actionName);
}

}
