#pragma once

#include "controls/buttonlook.h"
#include "controls/buttonpalette.h"

#include <QImage>
#include <QWidget>

class QShortcut;

namespace mosscatch {

class PropertyBag;

// The program's owner-drawn push button. Every look is painted into an
// image by redraw(); paintEvent only shows that image.
//
// The Enabled and Font properties are the widget's own enabled state and
// font (setEnabled(), setFont()); a change of either redraws the up look.
class PaintedButton : public QWidget
{
    Q_OBJECT

public:
    explicit PaintedButton(QWidget *parent = nullptr);

    // A button made from the window's compiled-in design ("paintedButton1",
    // "paintedButton2"); nullptr when the design has no control of that name.
    static PaintedButton *fromDesign(const QString &name, QWidget *parent = nullptr);

    Colour backColor() const;
    void setBackColor(Colour theCol);
    Colour foreColor() const;
    void setForeColor(Colour theCol);
    int buttonType() const;
    void setButtonType(int newValue);
    QString caption() const;
    void setCaption(const QString &newValue);
    int colorScheme() const;
    void setColorScheme(int newValue);
    bool showFocusRect() const;
    void setShowFocusRect(bool newValue);

    // Whether the window shows this button as its default one, the one
    // Enter reaches through accessKeyPress().
    bool isDefault() const;
    void setDefault(bool isDefault);

    // The lower-case access key taken from the caption, empty when none;
    // Alt with that key runs accessKeyPress().
    QString accessKey() const;

    ButtonState lastState() const;
    const ButtonPalette &buttonPalette() const;
    QImage image() const;

    void readProperties(const PropertyBag &bag);
    void writeProperties(PropertyBag &bag) const;

    // Paints the given look unless it is the one already shown with the same
    // caption (force overrides that); a surface of height 0 is never painted.
    void redraw(ButtonState state, bool force);

    QSize sizeHint() const override;

public slots:
    void accessKeyPress();

signals:
    void click();
    void mouseDown(qint16 button, qint16 shift, float x, float y);
    void mouseMove(qint16 button, qint16 shift, float x, float y);
    void mouseUp(qint16 button, qint16 shift, float x, float y);
    void keyPress(qint16 keyAscii);
    // A directly connected handler may change keyCode; the button acts on the
    // code as the handler left it, so 0 cancels Space and the arrow keys.
    void keyDown(qint16 &keyCode, qint16 shift);
    void keyUp(qint16 &keyCode, qint16 shift);

    void propertyChanged(const QString &key);
    void redrawn();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void press(qint16 button, qint16 shift, float x, float y);
    void move(qint16 button, qint16 shift, float x, float y);
    void release(qint16 button, qint16 shift, float x, float y);
    void clickSteps();
    void resizeSteps();
    void applyRegion();
    void setColors();
    void setAccessKeys();
    ButtonLook currentLook(ButtonState state) const;

    Colour m_backColor = 0;
    Colour m_foreColor = 0;
    int m_buttonType = 2;
    QString m_caption;
    int m_colorScheme = 1;
    bool m_showFocusRect = true;
    bool m_isDefault = false;

    quint8 m_lastButton = 1;
    quint8 m_lastKey = 0;
    bool m_hasFocus = false;
    ButtonState m_lastState = ButtonState::Up;
    QString m_lastCaption;
    Qt::MouseButton m_pressedButton = Qt::NoButton;
    int m_scaleW = 0;
    int m_scaleH = 0;
    QRect m_captionRect;
    QRect m_downCaptionRect{2, 2, 0, 0};
    QRect m_focusRect;
    ButtonPalette m_palette;
    QString m_accessKey;
    QShortcut *m_shortcut;
    QImage m_image;
};

}
