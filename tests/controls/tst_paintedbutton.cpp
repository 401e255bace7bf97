#include "controls/paintedbutton.h"

#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using namespace mosscatch;

namespace {

QString mouseText(const char *name, qint16 button, qint16 shift, float x, float y)
{
    return QStringLiteral("%1 %2 %3 %4 %5").arg(QLatin1String(name)).arg(button).arg(shift).arg(x).arg(y);
}

}

// The button under test sits between two others, so focus can be seen to move
// either way.
class TestPaintedButton : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void keys_data();
    void keys();
    void rightButtonKeepsLookAndBlocksAccessKey();
    void disabledClickDoesNothing();
    void dragOffAndBack();
    void doubleClickPressesWithoutClick();
    void redrawSkipsUnchangedLook();
    void settersRedrawInTheirLook();
    void accessKeys_data();
    void accessKeys();
    void altAccessKeyClicks();

private:
    QWidget *m_window = nullptr;
    PaintedButton *m_before = nullptr;
    PaintedButton *m_button = nullptr;
    PaintedButton *m_after = nullptr;
    QStringList m_events;
};

void TestPaintedButton::init()
{
    m_window = new QWidget;
    auto *layout = new QVBoxLayout(m_window);
    for (PaintedButton **button : {&m_before, &m_button, &m_after})
        layout->addWidget(*button = new PaintedButton(m_window));
    m_button->setButtonType(7);
    m_button->setCaption(QStringLiteral("Start!"));
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    m_button->setFocus();
    m_events.clear();
    connect(m_button, &PaintedButton::click, this, [this] { m_events << QStringLiteral("Click"); });
    connect(m_button, &PaintedButton::mouseDown, this,
            [this](qint16 b, qint16 s, float x, float y) { m_events << mouseText("MouseDown", b, s, x, y); });
    connect(m_button, &PaintedButton::mouseUp, this,
            [this](qint16 b, qint16 s, float x, float y) { m_events << mouseText("MouseUp", b, s, x, y); });
    connect(m_button, &PaintedButton::keyPress, this, [this](qint16 ascii) { m_events << QStringLiteral("KeyPress %1").arg(ascii); });
    connect(m_button, &PaintedButton::keyDown, this, [this](qint16 &code, qint16) { m_events << QStringLiteral("KeyDown %1").arg(code); });
    connect(m_button, &PaintedButton::keyUp, this, [this](qint16 &code, qint16) { m_events << QStringLiteral("KeyUp %1").arg(code); });
}

void TestPaintedButton::cleanup()
{
    delete m_window;
}

void TestPaintedButton::keys_data()
{
    QTest::addColumn<Qt::Key>("pressed");
    QTest::addColumn<Qt::Key>("released");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<bool>("downWhileHeld");
    QTest::addColumn<int>("focusMove");
    QTest::addColumn<QStringList>("events");

    QTest::newRow("space clicks") << Qt::Key_Space << Qt::Key_Space << false << true << 0
        << QStringList{"KeyDown 32", "MouseDown 1 1 1 1", "KeyPress 32", "KeyUp 32", "MouseUp 1 1 1 1", "Click"};
    QTest::newRow("space cancelled") << Qt::Key_Space << Qt::Key_Space << true << false << 0
                                     << QStringList{"KeyDown 32", "KeyPress 32", "KeyUp 32"};
    QTest::newRow("space release alone") << Qt::Key_A << Qt::Key_Space << false << false << 0
                                         << QStringList{"KeyDown 65", "KeyPress 97", "KeyUp 32"};
    QTest::newRow("right") << Qt::Key_Right << Qt::Key_Right << false << false << 1 << QStringList{"KeyDown 39", "KeyUp 39"};
    QTest::newRow("down") << Qt::Key_Down << Qt::Key_Down << false << false << 1 << QStringList{"KeyDown 40", "KeyUp 40"};
    QTest::newRow("left") << Qt::Key_Left << Qt::Key_Left << false << false << -1 << QStringList{"KeyDown 37", "KeyUp 37"};
    QTest::newRow("up") << Qt::Key_Up << Qt::Key_Up << false << false << -1 << QStringList{"KeyDown 38", "KeyUp 38"};
    QTest::newRow("right cancelled") << Qt::Key_Right << Qt::Key_Right << true << false << 0 << QStringList{"KeyDown 39", "KeyUp 39"};
    QTest::newRow("up cancelled") << Qt::Key_Up << Qt::Key_Up << true << false << 0 << QStringList{"KeyDown 38", "KeyUp 38"};
}

void TestPaintedButton::keys()
{
    QFETCH(Qt::Key, pressed);
    QFETCH(Qt::Key, released);
    QFETCH(bool, cancel);
    QFETCH(bool, downWhileHeld);
    QFETCH(int, focusMove);
    QFETCH(QStringList, events);
    if (cancel) {
        connect(m_button, &PaintedButton::keyDown, this, [](qint16 &code, qint16) { code = 0; });
        connect(m_button, &PaintedButton::keyUp, this, [](qint16 &code, qint16) { code = 0; });
    }
    QTest::keyPress(m_button, pressed);
    QCOMPARE(m_button->lastState() == ButtonState::Down, downWhileHeld);
    QTest::keyRelease(m_button, released);
    QCOMPARE(m_button->lastState(), ButtonState::Up);
    QCOMPARE(m_events, events);
    QCOMPARE(QApplication::focusWidget(), (QList<QWidget *>{m_before, m_button, m_after}).at(focusMove + 1));
}

void TestPaintedButton::rightButtonKeepsLookAndBlocksAccessKey()
{
    QSignalSpy clicks(m_button, &PaintedButton::click);
    QTest::mousePress(m_button, Qt::RightButton);
    QCOMPARE(m_button->lastState(), ButtonState::Up);
    QTest::mouseRelease(m_button, Qt::RightButton);
    const QPoint centre = m_button->rect().center();
    QCOMPARE(m_events.first(), mouseText("MouseDown", 2, 0, centre.x(), centre.y()));
    m_button->accessKeyPress();
    QCOMPARE(clicks.count(), 0);

    QTest::mousePress(m_button, Qt::LeftButton);
    QCOMPARE(m_button->lastState(), ButtonState::Down);
    QTest::mouseRelease(m_button, Qt::LeftButton);
    m_button->accessKeyPress();
    QCOMPARE(clicks.count(), 2);
}

void TestPaintedButton::disabledClickDoesNothing()
{
    m_button->setEnabled(false);
    m_button->accessKeyPress();
    QTest::mouseClick(m_button, Qt::LeftButton);
    QVERIFY(!m_events.contains(QStringLiteral("Click")));
}

void TestPaintedButton::dragOffAndBack()
{
    const QPoint outside(m_button->width() + 5, 2);
    QTest::mousePress(m_button, Qt::LeftButton);
    QTest::mouseMove(m_button, outside);
    QCOMPARE(m_button->lastState(), ButtonState::Up);
    QTest::mouseMove(m_button, QPoint(m_button->width(), m_button->height()));
    QCOMPARE(m_button->lastState(), ButtonState::Down);
    QTest::mouseMove(m_button, outside);
    QTest::mouseRelease(m_button, Qt::LeftButton, {}, outside);
    QCOMPARE(m_button->lastState(), ButtonState::Up);
    QVERIFY(!m_events.contains(QStringLiteral("Click")));
}

void TestPaintedButton::doubleClickPressesWithoutClick()
{
    QTest::mouseClick(m_button, Qt::LeftButton);
    m_events.clear();
    QTest::mouseDClick(m_button, Qt::LeftButton);
    QCOMPARE(m_button->lastState(), ButtonState::Down);
    QTest::mouseRelease(m_button, Qt::LeftButton);
    QCOMPARE(m_events.first(), QStringLiteral("MouseDown 1 1 1 1"));
    QVERIFY(!m_events.contains(QStringLiteral("Click")));
}

void TestPaintedButton::redrawSkipsUnchangedLook()
{
    QSignalSpy draws(m_button, &PaintedButton::redrawn);
    m_button->redraw(ButtonState::Down, false);
    m_button->redraw(ButtonState::Down, false);
    QCOMPARE(draws.count(), 1);
    m_button->redraw(ButtonState::Down, true);
    QCOMPARE(draws.count(), 2);

    m_button->resize(m_button->width(), 0);
    QTRY_COMPARE(m_button->height(), 0);
    draws.clear();
    m_button->redraw(ButtonState::Up, true);
    QCOMPARE(draws.count(), 0);
}

void TestPaintedButton::settersRedrawInTheirLook()
{
    m_button->setColorScheme(2);
    QTest::mousePress(m_button, Qt::LeftButton);
    m_button->setBackColor(0x00FF00);
    QCOMPARE(m_button->lastState(), ButtonState::Down);
    QCOMPARE(m_button->image().pixelColor(0, 0), QColor(0, 0xBF, 0));
    m_button->setCaption(QStringLiteral("Add"));
    QCOMPARE(m_button->lastState(), ButtonState::Up);
    QTest::mouseRelease(m_button, Qt::LeftButton);
}

void TestPaintedButton::accessKeys_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("key");
    QTest::newRow("&Start") << "&Start" << "s";
    QTest::newRow("Start") << "Start" << "";
    QTest::newRow("A&&B") << "A&&B" << "";
    QTest::newRow("Save && &Exit") << "Save && &Exit" << "e";
    QTest::newRow("lone &") << "&" << "";
    QTest::newRow("X&") << "X&" << "";
    QTest::newRow("one character") << "S" << "";
    QTest::newRow("third & not looked at") << "&&&&&X" << "";
}

void TestPaintedButton::accessKeys()
{
    QFETCH(QString, caption);
    QFETCH(QString, key);
    m_button->setCaption(caption);
    QCOMPARE(m_button->accessKey(), key);
}

void TestPaintedButton::altAccessKeyClicks()
{
    QSignalSpy clicks(m_after, &PaintedButton::click);
    m_after->setCaption(QStringLiteral("&Add"));
    QTest::keyClick(m_button, Qt::Key_A, Qt::AltModifier);
    QCOMPARE(clicks.count(), 1);
}

QTEST_MAIN(TestPaintedButton)
#include "tst_paintedbutton.moc"
