#include "controls/paintedbutton.h"

#include "controls/accessiblepaintedbutton.h"
#include "controls/buttoncanvas.h"
#include "controls/buttonregion.h"
#include "controls/buttonrenderer.h"
#include "controls/designform.h"
#include "controls/inputcodes.h"
#include "controls/propertybag.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>

namespace mosscatch {

namespace {

constexpr qint16 leftButton = 1;
constexpr qint16 rightButton = 2;
constexpr qint16 syntheticShift = 1;
constexpr float syntheticPosition = 1;

constexpr QLatin1String designResource(":/designs/frmmain.design");

// "&x" marks the access key x; "&&" stands for a literal ampersand and only
// the "&" after it is looked at.
QString accessKeyOf(const QString &caption)
{
    if (caption.size() < 2)
        return QString();
    const qsizetype first = caption.indexOf(QLatin1Char('&'));
    if (first < 0 || first == caption.size() - 1)
        return QString();
    if (caption.at(first + 1) != QLatin1Char('&'))
        return caption.at(first + 1).toLower();
    const qsizetype second = caption.indexOf(QLatin1Char('&'), first + 2);
    if (second < 0 || second == caption.size() - 1)
        return QString();
    if (caption.at(second + 1) != QLatin1Char('&'))
        return caption.at(second + 1).toLower();
    return QString();
}

bool passesToWindow(const QKeyEvent *event)
{
    const int key = event->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
}

}

PaintedButton::PaintedButton(QWidget *parent) : QWidget(parent), m_shortcut(new QShortcut(this))
{
    // QAccessible keeps a factory once, however many buttons install it.
    QAccessible::installFactory(&AccessiblePaintedButton::create);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_shortcut->setContext(Qt::WindowShortcut);
    connect(m_shortcut, &QShortcut::activated, this, &PaintedButton::accessKeyPress);

    m_backColor = fromQColor(palette().color(QPalette::Button));
    m_foreColor = fromQColor(palette().color(QPalette::ButtonText));
    setColors();
}

PaintedButton *PaintedButton::fromDesign(const QString &name, QWidget *parent)
{
    const DesignForm form = DesignForm::load(designResource);
    const PropertyBag *bag = form.bag(name);
    if (!bag)
        return nullptr;
    auto *button = new PaintedButton(parent);
    button->setObjectName(name);
    button->readProperties(*bag);
    return button;
}

Colour PaintedButton::backColor() const
{
    return m_backColor;
}

void PaintedButton::setBackColor(Colour theCol)
{
    m_backColor = theCol;
    setColors();
    redraw(m_lastState, true);
    emit propertyChanged(QStringLiteral("BCOL"));
}

Colour PaintedButton::foreColor() const
{
    return m_foreColor;
}

void PaintedButton::setForeColor(Colour theCol)
{
    m_foreColor = theCol;
    setColors();
    redraw(m_lastState, true);
    emit propertyChanged(QStringLiteral("FCOL"));
}

int PaintedButton::buttonType() const
{
    return m_buttonType;
}

void PaintedButton::setButtonType(int newValue)
{
    m_buttonType = newValue;
    resizeSteps();
    redraw(ButtonState::Up, true);
    emit propertyChanged(QStringLiteral("BTYPE"));
}

QString PaintedButton::caption() const
{
    return m_caption;
}

void PaintedButton::setCaption(const QString &newValue)
{
    m_caption = newValue;
    setAccessKeys();
    redraw(ButtonState::Up, true);
    QAccessibleEvent nameChanged(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&nameChanged);
    emit propertyChanged(QStringLiteral("TX"));
}

int PaintedButton::colorScheme() const
{
    return m_colorScheme;
}

void PaintedButton::setColorScheme(int newValue)
{
    m_colorScheme = newValue;
    setColors();
    redraw(ButtonState::Up, true);
    emit propertyChanged(QStringLiteral("COLTYPE"));
}

bool PaintedButton::showFocusRect() const
{
    return m_showFocusRect;
}

void PaintedButton::setShowFocusRect(bool newValue)
{
    m_showFocusRect = newValue;
    redraw(m_lastState, true);
    emit propertyChanged(QStringLiteral("FOCUSR"));
}

bool PaintedButton::isDefault() const
{
    return m_isDefault;
}

void PaintedButton::setDefault(bool isDefault)
{
    m_isDefault = isDefault;
    redraw(m_lastState, true);
}

QString PaintedButton::accessKey() const
{
    return m_accessKey;
}

ButtonState PaintedButton::lastState() const
{
    return m_lastState;
}

const ButtonPalette &PaintedButton::buttonPalette() const
{
    return m_palette;
}

QImage PaintedButton::image() const
{
    return m_image;
}

void PaintedButton::readProperties(const PropertyBag &bag)
{
    m_buttonType = bag.readInt(QStringLiteral("BTYPE"), 2);
    m_caption = bag.readText(QStringLiteral("TX"), QString());
    const bool enabled = bag.readBool(QStringLiteral("ENAB"), true);
    const QFont designFont = bag.readFont(QStringLiteral("FONT"), font());
    m_colorScheme = bag.readInt(QStringLiteral("COLTYPE"), 1);
    m_showFocusRect = bag.readBool(QStringLiteral("FOCUSR"), true);
    m_backColor
            = bag.readColour(QStringLiteral("BCOL"), fromQColor(palette().color(QPalette::Button)));
    m_foreColor = bag.readColour(QStringLiteral("FCOL"),
                                 fromQColor(palette().color(QPalette::ButtonText)));

    setEnabled(enabled);
    setFont(designFont);
    setColors();
    setAccessKeys();
    applyRegion();
    redraw(ButtonState::Up, true);
}

void PaintedButton::writeProperties(PropertyBag &bag) const
{
    bag.writeInt(QStringLiteral("BTYPE"), m_buttonType);
    bag.writeText(QStringLiteral("TX"), m_caption);
    bag.writeBool(QStringLiteral("ENAB"), isEnabledTo(parentWidget()));
    bag.writeFont(QStringLiteral("FONT"), font());
    bag.writeInt(QStringLiteral("COLTYPE"), m_colorScheme);
    bag.writeBool(QStringLiteral("FOCUSR"), m_showFocusRect);
    bag.writeColour(QStringLiteral("BCOL"), m_backColor);
    bag.writeColour(QStringLiteral("FCOL"), m_foreColor);
}

void PaintedButton::redraw(ButtonState state, bool force)
{
    if (!force && state == m_lastState && m_caption == m_lastCaption)
        return;
    if (m_scaleH == 0)
        return;
    m_lastState = state;
    m_lastCaption = m_caption;
    if (!m_image.isNull()) {
        ButtonCanvas canvas(&m_image);
        ButtonRenderer(&canvas, currentLook(state)).draw();
    }
    update();
    emit redrawn();
}

QSize PaintedButton::sizeHint() const
{
    const QSize text = ButtonCanvas::textSize(m_caption, font());
    return QSize(qMax(75, text.width() + 16), qMax(25, text.height() + 10));
}

void PaintedButton::accessKeyPress()
{
    clickSteps();
}

void PaintedButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawImage(0, 0, m_image);
}

void PaintedButton::resizeEvent(QResizeEvent *)
{
    resizeSteps();
}

void PaintedButton::mousePressEvent(QMouseEvent *event)
{
    m_pressedButton = event->button();
    press(InputCodes::mouseButtons(event->button()), InputCodes::shiftFlags(event->modifiers()),
          float(event->position().x()), float(event->position().y()));
}

void PaintedButton::mouseMoveEvent(QMouseEvent *event)
{
    move(InputCodes::mouseButtons(event->buttons()), InputCodes::shiftFlags(event->modifiers()),
         float(event->position().x()), float(event->position().y()));
}

void PaintedButton::mouseReleaseEvent(QMouseEvent *event)
{
    release(InputCodes::mouseButtons(event->button()), InputCodes::shiftFlags(event->modifiers()),
            float(event->position().x()), float(event->position().y()));
    const bool clicked
            = event->button() == m_pressedButton && rect().contains(event->position().toPoint());
    m_pressedButton = Qt::NoButton;
    if (clicked)
        clickSteps();
}

void PaintedButton::mouseDoubleClickEvent(QMouseEvent *)
{
    // The release after a double click is no click of its own.
    m_pressedButton = Qt::NoButton;
    if (m_lastButton == leftButton)
        press(leftButton, syntheticShift, syntheticPosition, syntheticPosition);
}

void PaintedButton::keyPressEvent(QKeyEvent *event)
{
    qint16 keyCode = InputCodes::keyCode(event);
    emit keyDown(keyCode, InputCodes::shiftFlags(event->modifiers()));
    m_lastKey = quint8(keyCode);
    switch (keyCode) {
    case InputCodes::SpaceKey:
        press(leftButton, syntheticShift, syntheticPosition, syntheticPosition);
        break;
    case InputCodes::RightKey:
    case InputCodes::DownKey:
        focusNextPrevChild(true);
        break;
    case InputCodes::LeftKey:
    case InputCodes::UpKey:
        focusNextPrevChild(false);
        break;
    default:
        break;
    }
    if (const qint16 keyAscii = InputCodes::keyAscii(event))
        emit keyPress(keyAscii);
    event->setAccepted(!passesToWindow(event));
}

void PaintedButton::keyReleaseEvent(QKeyEvent *event)
{
    // Held keys repeat their press only, as on Windows.
    if (event->isAutoRepeat())
        return;
    qint16 keyCode = InputCodes::keyCode(event);
    emit keyUp(keyCode, InputCodes::shiftFlags(event->modifiers()));
    if (m_lastKey == InputCodes::SpaceKey && keyCode == InputCodes::SpaceKey) {
        release(leftButton, syntheticShift, syntheticPosition, syntheticPosition);
        m_lastButton = leftButton;
        clickSteps();
    }
    event->setAccepted(!passesToWindow(event));
}

void PaintedButton::focusInEvent(QFocusEvent *)
{
    m_hasFocus = true;
    redraw(m_lastState, true);
}

void PaintedButton::focusOutEvent(QFocusEvent *)
{
    m_hasFocus = false;
    redraw(m_lastState, true);
}

void PaintedButton::changeEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::EnabledChange:
        redraw(ButtonState::Up, true);
        emit propertyChanged(QStringLiteral("ENAB"));
        break;
    case QEvent::FontChange:
        redraw(ButtonState::Up, true);
        emit propertyChanged(QStringLiteral("FONT"));
        break;
    case QEvent::PaletteChange:
        redraw(m_lastState, true);
        break;
    default:
        break;
    }
    QWidget::changeEvent(event);
}

void PaintedButton::press(qint16 button, qint16 shift, float x, float y)
{
    m_lastButton = quint8(button);
    if (button != rightButton)
        redraw(ButtonState::Down, false);
    emit mouseDown(button, shift, x, y);
}

void PaintedButton::move(qint16 button, qint16 shift, float x, float y)
{
    if (button == 0 || button == leftButton) {
        const bool inside = x >= 0 && x <= m_scaleW && y >= 0 && y <= m_scaleH;
        if (!inside)
            redraw(ButtonState::Up, false);
        else if (button == leftButton)
            redraw(ButtonState::Down, false);
    }
    emit mouseMove(button, shift, x, y);
}

void PaintedButton::release(qint16 button, qint16 shift, float x, float y)
{
    if (button != rightButton)
        redraw(ButtonState::Up, false);
    emit mouseUp(button, shift, x, y);
}

void PaintedButton::clickSteps()
{
    if (m_lastButton != leftButton || !isEnabled())
        return;
    redraw(ButtonState::Up, true);
    // The up look must be on screen before a long Click handler runs.
    repaint();
    emit click();
}

void PaintedButton::resizeSteps()
{
    m_scaleW = width();
    m_scaleH = height();
    m_captionRect = QRect(0, 0, m_scaleW, m_scaleH);
    m_downCaptionRect = QRect(2, 2, m_scaleW - 2, m_scaleH - 2);
    m_focusRect = QRect(4, 4, m_scaleW - 8, m_scaleH - 8);
    const int density = qMax(1, qRound(devicePixelRatioF()));
    m_image = m_scaleW > 0 && m_scaleH > 0
                      ? QImage(m_scaleW * density, m_scaleH * density, QImage::Format_RGB32)
                      : QImage();
    m_image.setDevicePixelRatio(density);
    applyRegion();
    redraw(ButtonState::Up, true);
}

void PaintedButton::applyRegion()
{
    if (m_scaleW > 0 && m_scaleH > 0)
        setMask(ButtonRegion::make(m_buttonType, m_scaleW, m_scaleH));
}

void PaintedButton::setColors()
{
    m_palette = ButtonPalette::forScheme(m_colorScheme, m_backColor, m_foreColor, palette());
}

void PaintedButton::setAccessKeys()
{
    m_accessKey = accessKeyOf(m_caption);
    m_shortcut->setKey(m_accessKey.isEmpty() ? QKeySequence()
                                             : QKeySequence::fromString(QStringLiteral("Alt+")
                                                                        + m_accessKey.toUpper()));
}

ButtonLook PaintedButton::currentLook(ButtonState state) const
{
    ButtonLook look;
    look.buttonType = m_buttonType;
    look.state = state;
    look.enabled = isEnabled();
    look.focusShown = m_hasFocus && m_showFocusRect;
    look.showFocusRect = m_showFocusRect;
    look.displayAsDefault = m_isDefault;
    look.caption = m_caption;
    look.font = font();
    look.palette = m_palette;
    look.captionRect = m_captionRect;
    look.downCaptionRect = m_downCaptionRect;
    look.focusRect = m_focusRect;
    return look;
}

}
