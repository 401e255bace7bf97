#include "ui/formbutton.h"

#include "ui/designunits.h"

#include <QPushButton>

namespace mosscatch {

FormButton::FormButton(const QString &designName, const QString &caption, QColor backColour,
                       QWidget *parent)
    : QObject(parent), m_button(new QPushButton(caption, parent))
{
    m_button->setObjectName(designName);
    m_button->setFont(design::font(9.75, true));
    m_button->setAutoDefault(true);
    m_button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: black;"
                                           " border: 1px solid #707070; border-radius: 3px; }"
                                           "QPushButton:pressed { padding-left: 2px; padding-top: 2px; }"
                                           "QPushButton:focus { border: 1px solid #303030; }")
                                    .arg(backColour.name()));
    connect(m_button, &QPushButton::clicked, this, &FormButton::clicked);
}

QWidget *FormButton::widget() const
{
    return m_button;
}

void FormButton::setDefault(bool isDefault)
{
    m_button->setDefault(isDefault);
}

void FormButton::press()
{
    m_button->click();
}

}
