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

class TestPaintedButton : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void spaceRaisesEventsInOrder();
    void spaceReleaseAloneRaisesKeyUpOnly();
    void cancelledKeyCode_data();
    void cancelledKeyCode();
    void arrowsMoveFocus_data();
    void arrowsMoveFocus();
    void rightButtonKeepsLookAndBlocksAccessKey();
    void disabledClickDoesNothing();
    void dragOffAndBack();
    void doubleClickPressesWithoutClick();
    void redrawSkipsUnchangedLook();
    void setterRedrawsInTheirLook();
    void accessKeys_data();
    void accessKeys();
    void altAccessKeyClicks();

private:
    void record(PaintedButton *button);

    QWidget *m_window = nullptr;
    PaintedButton *m_first = nullptr;
    PaintedButton *m_second = nullptr;
    QStringList m_events;
};

void TestPaintedButton::init()
{
    m_window = new QWidget;
    auto *layout = new QVBoxLayout(m_window);
    m_first = new PaintedButton(m_window);
    m_second = new PaintedButton(m_window);
    m_first->setButtonType(7);
    m_first->setCaption(QStringLiteral("Start!"));
    layout->addWidget(m_first);
    layout->addWidget(m_second);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    m_first->setFocus();
    m_events.clear();
    record(m_first);
}

void TestPaintedButton::cleanup()
{
    delete m_window;
}

void TestPaintedButton::record(PaintedButton *button)
{
    connect(button, &PaintedButton::click, this, [this] { m_events << QStringLiteral("Click"); });
    connect(button, &PaintedButton::mouseDown, this, [this](qint16 b, qint16 s, float x, float y) {
        m_events << mouseText("MouseDown", b, s, x, y);
    });
    connect(button, &PaintedButton::mouseUp, this, [this](qint16 b, qint16 s, float x, float y) {
        m_events << mouseText("MouseUp", b, s, x, y);
    });
    connect(button, &PaintedButton::keyPress, this,
            [this](qint16 ascii) { m_events << QStringLiteral("KeyPress %1").arg(ascii); });
    connect(button, &PaintedButton::keyDown, this,
            [this](qint16 &code, qint16) { m_events << QStringLiteral("KeyDown %1").arg(code); });
    connect(button, &PaintedButton::keyUp, this,
            [this](qint16 &code, qint16) { m_events << QStringLiteral("KeyUp %1").arg(code); });
}

void TestPaintedButton::spaceRaisesEventsInOrder()
{
    QTest::keyPress(m_first, Qt::Key_Space);
    QCOMPARE(m_first->lastState(), ButtonState::Down);
    QTest::keyRelease(m_first, Qt::Key_Space);
    QCOMPARE(m_first->lastState(), ButtonState::Up);
    const QStringList expected{"KeyDown 32", "MouseDown 1 1 1 1", "KeyPress 32",
                               "KeyUp 32",   "MouseUp 1 1 1 1",   "Click"};
    QCOMPARE(m_events, expected);
}

void TestPaintedButton::spaceReleaseAloneRaisesKeyUpOnly()
{
    QTest::keyClick(m_first, Qt::Key_A);
    m_events.clear();
    QTest::keyRelease(m_first, Qt::Key_Space);
    QCOMPARE(m_events, QStringList{"KeyUp 32"});
}

void TestPaintedButton::cancelledKeyCode_data()
{
    QTest::addColumn<Qt::Key>("key");
    QTest::newRow("space") << Qt::Key_Space;
    QTest::newRow("right arrow") << Qt::Key_Right;
    QTest::newRow("up arrow") << Qt::Key_Up;
}

void TestPaintedButton::cancelledKeyCode()
{
    QFETCH(Qt::Key, key);
    connect(m_first, &PaintedButton::keyDown, this, [](qint16 &code, qint16) { code = 0; });
    connect(m_first, &PaintedButton::keyUp, this, [](qint16 &code, qint16) { code = 0; });
    QTest::keyClick(m_first, key);
    QVERIFY(m_first->hasFocus());
    QCOMPARE(m_first->lastState(), ButtonState::Up);
    QVERIFY(!m_events.join(' ').contains(QLatin1String("Mouse")));
    QVERIFY(!m_events.contains(QStringLiteral("Click")));
}

void TestPaintedButton::arrowsMoveFocus_data()
{
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<bool>("forward");
    QTest::newRow("right") << Qt::Key_Right << true;
    QTest::newRow("down") << Qt::Key_Down << true;
    QTest::newRow("left") << Qt::Key_Left << false;
    QTest::newRow("up") << Qt::Key_Up << false;
}

void TestPaintedButton::arrowsMoveFocus()
{
    QFETCH(Qt::Key, key);
    QFETCH(bool, forward);
    m_second->setFocus();
    QTest::keyClick(m_second, forward ? Qt::Key_Left : Qt::Key_Right);
    QVERIFY(m_first->hasFocus());
    QTest::keyClick(m_first, key);
    QVERIFY(m_second->hasFocus());
}

void TestPaintedButton::rightButtonKeepsLookAndBlocksAccessKey()
{
    QSignalSpy clicks(m_first, &PaintedButton::click);
    QTest::mousePress(m_first, Qt::RightButton);
    QCOMPARE(m_first->lastState(), ButtonState::Up);
    QTest::mouseRelease(m_first, Qt::RightButton);
    const QPoint centre = m_first->rect().center();
    QCOMPARE(m_events.first(), mouseText("MouseDown", 2, 0, centre.x(), centre.y()));
    m_first->accessKeyPress();
    QCOMPARE(clicks.count(), 0);

    QTest::mousePress(m_first, Qt::LeftButton);
    QCOMPARE(m_first->lastState(), ButtonState::Down);
    QTest::mouseRelease(m_first, Qt::LeftButton);
    QCOMPARE(clicks.count(), 1);
    m_first->accessKeyPress();
    QCOMPARE(clicks.count(), 2);
}

void TestPaintedButton::disabledClickDoesNothing()
{
    QSignalSpy clicks(m_first, &PaintedButton::click);
    m_first->setEnabled(false);
    m_first->accessKeyPress();
    QTest::mouseClick(m_first, Qt::LeftButton);
    QCOMPARE(clicks.count(), 0);
}

void TestPaintedButton::dragOffAndBack()
{
    QSignalSpy clicks(m_first, &PaintedButton::click);
    const QPoint outside(m_first->width() + 5, 2);
    QTest::mousePress(m_first, Qt::LeftButton);
    QTest::mouseMove(m_first, outside);
    QCOMPARE(m_first->lastState(), ButtonState::Up);
    QTest::mouseMove(m_first, QPoint(m_first->width(), m_first->height()));
    QCOMPARE(m_first->lastState(), ButtonState::Down);
    QTest::mouseMove(m_first, outside);
    QTest::mouseRelease(m_first, Qt::LeftButton, {}, outside);
    QCOMPARE(m_first->lastState(), ButtonState::Up);
    QCOMPARE(clicks.count(), 0);
}

void TestPaintedButton::doubleClickPressesWithoutClick()
{
    QTest::mouseClick(m_first, Qt::LeftButton);
    m_events.clear();
    QTest::mouseDClick(m_first, Qt::LeftButton);
    QCOMPARE(m_first->lastState(), ButtonState::Down);
    QTest::mouseRelease(m_first, Qt::LeftButton);
    QCOMPARE(m_events.first(), QStringLiteral("MouseDown 1 1 1 1"));
    QVERIFY(!m_events.contains(QStringLiteral("Click")));
}

void TestPaintedButton::redrawSkipsUnchangedLook()
{
    QSignalSpy draws(m_first, &PaintedButton::redrawn);
    m_first->redraw(ButtonState::Down, false);
    m_first->redraw(ButtonState::Down, false);
    QCOMPARE(draws.count(), 1);
    m_first->redraw(ButtonState::Down, true);
    QCOMPARE(draws.count(), 2);

    m_first->resize(m_first->width(), 0);
    QTRY_COMPARE(m_first->height(), 0);
    draws.clear();
    m_first->redraw(ButtonState::Up, true);
    QCOMPARE(draws.count(), 0);
}

void TestPaintedButton::setterRedrawsInTheirLook()
{
    m_first->setColorScheme(2);
    QTest::mousePress(m_first, Qt::LeftButton);
    m_first->setBackColor(0x00FF00);
    QCOMPARE(m_first->lastState(), ButtonState::Down);
    QCOMPARE(m_first->image().pixelColor(0, 0), QColor(0, 0xBF, 0));
    m_first->setCaption(QStringLiteral("Add"));
    QCOMPARE(m_first->lastState(), ButtonState::Up);
    QTest::mouseRelease(m_first, Qt::LeftButton);
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
    m_first->setCaption(caption);
    QCOMPARE(m_first->accessKey(), key);
}

void TestPaintedButton::altAccessKeyClicks()
{
    QSignalSpy clicks(m_second, &PaintedButton::click);
    m_second->setCaption(QStringLiteral("&Add"));
    QTest::keyClick(m_first, Qt::Key_A, Qt::AltModifier);
    QCOMPARE(clicks.count(), 1);
}

QTEST_MAIN(TestPaintedButton)
#include "tst_paintedbutton.moc"
