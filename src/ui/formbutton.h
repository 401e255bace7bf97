#pragma once

#include <QColor>
#include <QObject>
#include <QPointer>

class QPushButton;
class QWidget;

namespace mosscatch {

// One push button of the window. The window talks only to this, so the kind
// of widget behind it is decided in one place.
class FormButton : public QObject
{
    Q_OBJECT

public:
    // designName is the button's name in the window ("paintedButton1").
    FormButton(const QString &designName, const QString &caption, QColor backColour,
               QWidget *parent);

    QWidget *widget() const;
    void setDefault(bool isDefault);

public slots:
    // What Enter elsewhere in the window does to the default button.
    void press();

signals:
    void clicked();

private:
    QPointer<QPushButton> m_button;
};

}
