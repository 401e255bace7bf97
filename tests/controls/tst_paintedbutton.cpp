#include "controls/buttoncanvas.h"
#include "controls/buttonpalette.h"
#include "controls/buttonregion.h"
#include "controls/buttonrenderer.h"
#include "controls/designform.h"
#include "controls/paintedbutton.h"
#include "controls/propertybag.h"
#include "rows.h"
#include "testmain.h"

#include <QAccessible>
#include <QFile>
#include <QKeySequence>
#include <QPalette>
#include <QSignalSpy>
#include <QVBoxLayout>

#include <memory>

using namespace mosscatch;

namespace {

ButtonPalette systemPalette()
{
    return ButtonPalette::forScheme(3, 0, 0, QPalette());
}

// The look is the button type followed by any of "down", "disabled",
// "focused" and "default".
QImage render(const QString &description, QSize size, int density)
{
    const QStringList words = description.split(u' ');
    ButtonLook look;
    look.buttonType = words.first().toInt();
    look.state = words.contains("down") ? ButtonState::Down : ButtonState::Up;
    look.enabled = !words.contains("disabled");
    look.focusShown = words.contains("focused");
    look.displayAsDefault = words.contains("default");
    look.palette = systemPalette();
    look.focusRect = QRect(4, 4, size.width() - 8, size.height() - 8);
    QImage image(size * density, QImage::Format_RGB32);
    image.setDevicePixelRatio(density);
    ButtonCanvas canvas(&image);
    ButtonRenderer(&canvas, look).draw();
    image.setDevicePixelRatio(1);
    return image;
}

// One letter a pixel: F face, L light, H highlight, S shadow, D dark shadow,
// I face inverted by the focus outline.
QStringList letters(const QImage &image)
{
    const ButtonPalette p = systemPalette();
    const QHash<Colour, QChar> letters{{p.face, u'F'},     {p.light, u'L'},
                                       {p.hilite, u'H'},   {p.shadow, u'S'},
                                       {p.dkShadow, u'D'}, {p.face ^ 0xFFFFFF, u'I'}};
    QStringList rows;
    for (int y = 0; y < image.height(); ++y) {
        QString row;
        for (int x = 0; x < image.width(); ++x)
            row += letters.value(fromQColor(image.pixelColor(x, y)), u'?');
        rows << row;
    }
    return rows;
}

QString describe(const PaintedButton &button)
{
    const QFont font = button.font();
    return QStringLiteral("%1|%2|%3|%4 %5%6|%7|%8|%9|%10")
            .arg(QString::number(button.buttonType()), button.caption(),
                 button.isEnabled() ? "enabled" : "disabled", font.family(),
                 QString::number(font.pointSizeF()), font.bold() ? " bold" : "",
                 QString::number(button.colorScheme()),
                 button.showFocusRect() ? "focus rect" : "no focus rect",
                 QString::number(button.backColor(), 16), QString::number(button.foreColor(), 16));
}

}

// The button under test sits between two others, so focus can be seen to move
// either way.
class TestPaintedButton : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_window = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(m_window.get());
        for (PaintedButton **button : {&m_before, &m_button, &m_after})
            layout->addWidget(*button = new PaintedButton(m_window.get()));
        m_button->setButtonType(7);
        m_button->setCaption(QStringLiteral("Start!"));
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        m_button->setFocus();
        m_events.clear();
        const auto log = [this](const char *name) {
            return [this, name](auto... values) {
                m_events << (QStringList{name} << ... << QString::number(values)).join(u' ');
            };
        };
        connect(m_button, &PaintedButton::click, this, log("Click"));
        connect(m_button, &PaintedButton::mouseDown, this, log("MouseDown"));
        connect(m_button, &PaintedButton::mouseUp, this, log("MouseUp"));
        connect(m_button, &PaintedButton::keyPress, this, log("KeyPress"));
        connect(m_button, &PaintedButton::keyDown, this, log("KeyDown"));
        connect(m_button, &PaintedButton::keyUp, this, log("KeyUp"));
    }

    // Steps: a key pressed (Space+) or released (Space-); the left or right mouse button pressed
    // (L+, R+), released (L-, R-) or double-clicked (L2) where the mouse is, first at (3, 4); the
    // mouse moved past either side of the button, or back onto its far corner; the access key;
    // "cancel" has the handlers zero the key codes. The looks are the state after each step, Up
    // or Down; the events end with the button that has the focus.
    void input_data()
    {
        const auto row = columns<QString, QString, QStringList>("steps", "looks", "events");
        row("space clicks", "Space+ Space-", "DU",
            {"KeyDown 32 0", "MouseDown 1 1 1 1", "KeyPress 32", "KeyUp 32 0", "MouseUp 1 1 1 1",
             "Click", "button"});
        row("space cancelled", "cancel Space+ Space-", "UUU",
            {"KeyDown 32 0", "KeyPress 32", "KeyUp 32 0", "button"});
        row("space release alone", "A+ Space-", "UU",
            {"KeyDown 65 0", "KeyPress 97", "KeyUp 32 0", "button"});
        row("right", "Right+ Right-", "UU", {"KeyDown 39 0", "KeyUp 39 0", "after"});
        row("down", "Down+ Down-", "UU", {"KeyDown 40 0", "KeyUp 40 0", "after"});
        row("left", "Left+ Left-", "UU", {"KeyDown 37 0", "KeyUp 37 0", "before"});
        row("up", "Up+ Up-", "UU", {"KeyDown 38 0", "KeyUp 38 0", "before"});
        row("right cancelled", "cancel Right+ Right-", "UUU",
            {"KeyDown 39 0", "KeyUp 39 0", "button"});
        row("right button keeps the look and blocks the access key", "R+ R- key L+ L- key",
            "UUUDUU",
            {"MouseDown 2 0 3 4", "MouseUp 2 0 3 4", "MouseDown 1 0 3 4", "MouseUp 1 0 3 4",
             "Click", "Click", "button"});
        row("dragged off and back", "L+ right back left L-", "DUDUU",
            {"MouseDown 1 0 3 4", "MouseUp 1 0 -5 2", "button"});
        row("double click presses without a click", "L+ L- L2 L-", "DUDU",
            {"MouseDown 1 0 3 4", "MouseUp 1 0 3 4", "Click", "MouseDown 1 1 1 1",
             "MouseUp 1 0 3 4", "button"});
    }

    void input()
    {
        QFETCH(QString, steps);
        QString looks;
        QPoint at(3, 4);
        for (const QString &step : steps.split(u' ')) {
            const bool mouse = step.size() == 2 && QStringLiteral("LR").contains(step[0]);
            const Qt::MouseButton button = step.startsWith(u'R') ? Qt::RightButton : Qt::LeftButton;
            const auto key = Qt::Key(QKeySequence(step.chopped(1))[0].key());
            if (step == "cancel") {
                connect(m_button, &PaintedButton::keyDown, this, [](qint16 &code) { code = 0; });
                connect(m_button, &PaintedButton::keyUp, this, [](qint16 &code) { code = 0; });
            } else if (!mouse && step.endsWith(u'+')) {
                QTest::keyPress(m_button, key);
            } else if (!mouse && step.endsWith(u'-')) {
                QTest::keyRelease(m_button, key);
            } else if (step.endsWith(u'+')) {
                QTest::mousePress(m_button, button, {}, at);
            } else if (step.endsWith(u'-')) {
                QTest::mouseRelease(m_button, button, {}, at);
            } else if (step.endsWith(u'2')) {
                QTest::mouseDClick(m_button, button, {}, at);
            } else if (step == "key") {
                m_button->accessKeyPress();
            } else if (step == "back") {
                QTest::mouseMove(m_button, at = QPoint(m_button->width(), m_button->height()));
            } else {
                QTest::mouseMove(m_button,
                                 at = QPoint(step == "left" ? -5 : m_button->width() + 5, 2));
            }
            looks += m_button->lastState() == ButtonState::Down ? u'D' : u'U';
        }
        QTEST(looks, "looks");
        const qsizetype focus = QList<QWidget *>{m_before, m_button, m_after}.indexOf(
                QApplication::focusWidget());
        m_events << (QStringList{"before", "button", "after"}).value(focus);
        QTEST(m_events, "events");
    }

    // Setters redraw in the look they leave: a colour keeps the pressed look, a
    // caption brings back the up look.
    void redraws()
    {
        QSignalSpy draws(m_button, &PaintedButton::redrawn);
        m_button->redraw(ButtonState::Down, false);
        m_button->redraw(ButtonState::Down, false);
        QCOMPARE(draws.count(), 1);
        m_button->redraw(ButtonState::Down, true);
        QCOMPARE(draws.count(), 2);

        m_button->setColorScheme(2);
        QTest::mousePress(m_button, Qt::LeftButton);
        m_button->setBackColor(0x00FF00);
        QCOMPARE(m_button->lastState(), ButtonState::Down);
        QCOMPARE(m_button->image().pixelColor(0, 0), QColor(0, 0xBF, 0));
        m_button->setCaption(QStringLiteral("Add"));
        QCOMPARE(m_button->lastState(), ButtonState::Up);
        QTest::mouseRelease(m_button, Qt::LeftButton);

        m_button->resize(m_button->width(), 0);
        QTRY_COMPARE(m_button->height(), 0);
        draws.clear();
        m_button->redraw(ButtonState::Up, true);
        QCOMPARE(draws.count(), 0);
    }

    // Alt with the access key clicks, unless the button is disabled. Assistive technology
    // hears a push button named by the caption without its marks, with that key, and can
    // press it as the key does.
    void accessKeys()
    {
        QSignalSpy clicks(m_after, &PaintedButton::click);
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(m_after);
        QCOMPARE(accessible->role(), QAccessible::Button);
        QAccessibleActionInterface *actions = accessible->actionInterface();
        const QString press = QAccessibleActionInterface::pressAction();
        for (const auto &[caption, key, name] : {std::tuple{"&Start", "s", "Start"},
                                                 {"Start", "", "Start"},
                                                 {"Save && &Exit", "e", "Save & Exit"},
                                                 {"X&", "", "X&"},
                                                 {"&&&&&X", "", "&&X"}}) {
            m_after->setEnabled(true);
            m_after->setCaption(caption);
            QCOMPARE(m_after->accessKey(), key);
            QCOMPARE(accessible->text(QAccessible::Name), name);
            QCOMPARE(actions->keyBindingsForAction(press),
                     *key ? QStringList("Alt+" + QString(key).toUpper()) : QStringList());
            QTest::keyClick(m_button, *key ? *key : 'x', Qt::AltModifier);
            actions->doAction(press);
            m_after->setEnabled(false);
            m_after->accessKeyPress();
            actions->doAction(press);
            QTest::mouseClick(m_after, Qt::LeftButton);
            QCOMPARE(clicks.count(), *key ? 2 : 1);
            clicks.clear();
        }
    }

    // The design's own buttons are read as drawn and written back key for key, in order. A
    // button's every property survives the design text; keys are found whatever their case,
    // and missing ones read as the defaults, the font as the one the button has.
    void designText()
    {
        QFile file(QStringLiteral(":/designs/frmmain.design"));
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        const QString text = QString::fromUtf8(file.readAll());
        const DesignForm design = DesignForm::parse(text);
        QCOMPARE(design.toText(), text);
        QVERIFY(!PaintedButton::fromDesign(QStringLiteral("paintedButton3")));
        for (const auto &[name, expected] :
             {std::pair{"paintedButton1",
                        "7|Start!|enabled|Verdana 9.75 bold|2|focus rect|fddbe7|0"},
              {"paintedButton2", "7|Add|enabled|Verdana 9.75 bold|2|focus rect|e0e0e0|0"}}) {
            const std::unique_ptr<PaintedButton> button(PaintedButton::fromDesign(name));
            QVERIFY(button);
            QCOMPARE(button->objectName(), name);
            QCOMPARE(describe(*button), expected);
            QCOMPARE(button->buttonPalette().face, button->backColor());
            PropertyBag rewritten;
            button->writeProperties(rewritten);
            QCOMPARE(rewritten.toLines(), design.bag(name)->toLines());
        }

        PaintedButton button;
        button.setButtonType(4);
        button.setCaption(QStringLiteral("Say \"&Hi\""));
        button.setEnabled(false);
        button.setFont(QFont(QStringLiteral("DejaVu Sans"), 11, QFont::Bold));
        button.setColorScheme(3);
        button.setShowFocusRect(false);
        button.setBackColor(0x00FDDBE7);
        button.setForeColor(0x00123456);
        PropertyBag written;
        button.writeProperties(written);
        DesignForm form;
        form.setBag(QStringLiteral("paintedButton"), QStringLiteral("b"), written);
        const DesignForm reread = DesignForm::parse(form.toText());
        QVERIFY(reread.bag(QStringLiteral("b")));
        PaintedButton copy;
        copy.readProperties(*reread.bag(QStringLiteral("b")));
        QCOMPARE(describe(copy),
                 "4|Say \"&Hi\"|disabled|DejaVu Sans 11 bold|3|no focus rect|fddbe7|123456");

        PropertyBag bag;
        QVERIFY(bag.parseLine(QStringLiteral("btype = 6")));
        QVERIFY(bag.parseLine(QStringLiteral("Coltype = 3")));
        button.setEnabled(true);
        button.readProperties(bag);
        const auto colour = [&button](QPalette::ColorRole role) {
            return QString::number(fromQColor(button.palette().color(role)), 16);
        };
        QCOMPARE(describe(button),
                 QStringLiteral("6||enabled|DejaVu Sans 11 bold|3|focus rect|%1|%2")
                         .arg(colour(QPalette::Button), colour(QPalette::ButtonText)));
    }

    // A scheme from colours shifts the face; a blue-scaled shift moves blue in proportion to
    // itself, truncating toward zero.
    void shiftedColours()
    {
        const ButtonPalette p = ButtonPalette::forScheme(2, 0xFDDBE7, 0x123456, QPalette());
        QCOMPARE((QList<Colour>{p.face, p.light, p.hilite, p.shadow, p.dkShadow, p.text}),
                 (QList<Colour>{0xFDDBE7, 0xFFFAFF, 0xFFFFFF, 0xBD9BA7, 0x3D1B27, 0x123456}));
        QCOMPARE(ButtonPalette::shiftColor(0x600000, 48, true), Colour(0x783030));
        QCOMPARE(ButtonPalette::shiftColor(0x646464, -10, true), Colour(0x5F5A5A));
    }

    void looks_data()
    {
        const auto row = columns<QString, QString>("look", "expected");
        const QString type7Up = "HHHHHHHS HFFFFFFS HFFFFFFS HFFFFFFS HFFFFFFS SSSSSSSS";
        row("type 7 up", "7", type7Up);
        row("type 7 down", "7 down", "SSSSSSSH SFFFFFFH SFFFFFFH SFFFFFFH SFFFFFFH HHHHHHHH");
        row("type 7 disabled, focus not shown", "7 down disabled focused", type7Up);
        row("type 7 up focused", "7 focused",
            "HHHHHHHHHHHS HFFFFFFFFFFS HFFFFFFFFFFS HFFFFFFFFFFS "
            "HFFFIFIFFFFS HFFFFIFIFFFS HFFFFFFFFFFS HFFFFFFFFFFS HFFFFFFFFFFS SSSSSSSSSSSS");
        row("type 2 default ends with a dark frame", "2 focused default",
            "DDDDDDDDDDDD DHHHHHHHHHDD DHLLLLLLLSDD DHLFFFFFFSDD DHLFIFIFFSDD "
            "DHLFFIFIFSDD DHLFFFFFFSDD DHSSSSSSSSDD DDDDDDDDDDDD DDDDDDDDDDDD");
        row("unknown type is plain face", "9 focused",
            "FFFFFFFF FFFFFFFF FFFFFFFF FFFFFFFF FFFFFFFF FFFFFFFF");
        // A line leaves out its end point, so the outline's lines of no length draw nothing.
        row("type 1 at two by two is plain face", "1", "FF FF");
    }

    void looks()
    {
        QFETCH(QString, look);
        QFETCH(QString, expected);
        const QStringList rows = expected.split(u' ');
        const QSize size(int(rows.first().size()), int(rows.size()));
        const QImage image = render(look, size, 1);
        QCOMPARE(letters(image), rows);
        // At twice the pixel density every pixel becomes a block of one colour.
        QCOMPARE(render(look, size, 2), image.scaled(size * 2));
    }

    void cornerCuts_data()
    {
        const auto row = columns<int, QList<QPoint>>("type", "cut");
        const QList<QPoint> roundCorners{{0, 0}, {1, 0}, {0, 1}, {8, 0}, {9, 0}, {9, 1},
                                         {0, 6}, {0, 7}, {1, 7}, {9, 6}, {8, 7}, {9, 7}};
        row("type 1", 1, {{0, 0}, {0, 7}, {9, 0}, {9, 7}});
        row("type 3", 3, roundCorners);
        row("type 4", 4, roundCorners);
        row("type 5", 5, {{0, 7}, {9, 0}});
        for (const int uncut : {2, 6, 7})
            row(qPrintable(QStringLiteral("type %1").arg(uncut)), uncut, {});
    }

    void cornerCuts()
    {
        QFETCH(int, type);
        QFETCH(QList<QPoint>, cut);
        const QRegion region = ButtonRegion::make(type, 10, 8);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 10; ++x)
                QVERIFY2(region.contains(QPoint(x, y)) != cut.contains(QPoint(x, y)),
                         qPrintable(QString("%1,%2").arg(x).arg(y)));
    }

private:
    std::unique_ptr<QWidget> m_window;
    PaintedButton *m_before = nullptr;
    PaintedButton *m_button = nullptr;
    PaintedButton *m_after = nullptr;
    QStringList m_events;
};

MOSSCATCH_TEST_MAIN(TestPaintedButton)
#include "tst_paintedbutton.moc"
