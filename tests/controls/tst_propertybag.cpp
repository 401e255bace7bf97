#include "controls/designform.h"
#include "controls/paintedbutton.h"
#include "controls/propertybag.h"

#include <QFile>
#include <QTest>

#include <memory>

using namespace mosscatch;

class TestPropertyBag : public QObject
{
    Q_OBJECT

private slots:
    void writesEveryKeyInOrder();
    void roundTripsThroughDesignText();
    void readsDefaultsForMissingKeys();
    void lookupIgnoresCase();
    void designButtons_data();
    void designButtons();
    void unknownDesignNameGivesNoButton();
    void designTextIsRewrittenUnchanged();
};

void TestPropertyBag::writesEveryKeyInOrder()
{
    PaintedButton button;
    PropertyBag bag;
    button.writeProperties(bag);
    const QStringList expected{"BTYPE", "TX", "ENAB", "FONT", "COLTYPE", "FOCUSR", "BCOL", "FCOL"};
    QCOMPARE(bag.keys(), expected);
}

void TestPropertyBag::roundTripsThroughDesignText()
{
    PaintedButton original;
    original.setButtonType(4);
    original.setCaption(QStringLiteral("Say \"&Hi\""));
    original.setEnabled(false);
    original.setFont(QFont(QStringLiteral("DejaVu Sans"), 11, QFont::Bold));
    original.setColorScheme(3);
    original.setShowFocusRect(false);
    original.setBackColor(0x00FDDBE7);
    original.setForeColor(0x00123456);
    PropertyBag written;
    original.writeProperties(written);

    DesignForm form;
    form.setBag(QStringLiteral("paintedButton"), QStringLiteral("b"), written);
    const DesignForm reread = DesignForm::parse(form.toText());
    QVERIFY(reread.bag(QStringLiteral("b")));

    PaintedButton copy;
    copy.readProperties(*reread.bag(QStringLiteral("b")));
    QCOMPARE(copy.buttonType(), 4);
    QCOMPARE(copy.caption(), original.caption());
    QVERIFY(!copy.isEnabled());
    QCOMPARE(copy.font().family(), QStringLiteral("DejaVu Sans"));
    QCOMPARE(copy.font().pointSizeF(), 11.0);
    QVERIFY(copy.font().bold());
    QCOMPARE(copy.colorScheme(), 3);
    QVERIFY(!copy.showFocusRect());
    QCOMPARE(copy.backColor(), Colour(0x00FDDBE7));
    QCOMPARE(copy.foreColor(), Colour(0x00123456));
}

void TestPropertyBag::readsDefaultsForMissingKeys()
{
    PaintedButton button;
    button.setButtonType(5);
    button.setShowFocusRect(false);
    button.readProperties(PropertyBag());
    QCOMPARE(button.buttonType(), 2);
    QCOMPARE(button.caption(), QString());
    QVERIFY(button.isEnabled());
    QCOMPARE(button.colorScheme(), 1);
    QVERIFY(button.showFocusRect());
    QCOMPARE(button.backColor(), fromQColor(button.palette().color(QPalette::Button)));
    QCOMPARE(button.foreColor(), fromQColor(button.palette().color(QPalette::ButtonText)));
}

void TestPropertyBag::lookupIgnoresCase()
{
    PropertyBag bag;
    QVERIFY(bag.parseLine(QStringLiteral("btype = 6")));
    QVERIFY(bag.parseLine(QStringLiteral("Bcol = &H00E0E0E0")));
    QCOMPARE(bag.readInt(QStringLiteral("BTYPE"), 2), 6);
    QCOMPARE(bag.readColour(QStringLiteral("BCOL"), 0), Colour(0xE0E0E0));
}

void TestPropertyBag::designButtons_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<Colour>("back");
    QTest::newRow("Start") << "paintedButton1" << "Start!" << Colour(0x00FDDBE7);
    QTest::newRow("Add") << "paintedButton2" << "Add" << Colour(0x00E0E0E0);
}

void TestPropertyBag::designButtons()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(Colour, back);
    const std::unique_ptr<PaintedButton> button(PaintedButton::fromDesign(name));
    QVERIFY(button);
    QCOMPARE(button->objectName(), name);
    QCOMPARE(button->caption(), caption);
    QCOMPARE(button->buttonType(), 7);
    QCOMPARE(button->colorScheme(), 2);
    QCOMPARE(button->backColor(), back);
    QCOMPARE(button->foreColor(), Colour(0));
    QVERIFY(button->showFocusRect());
    QVERIFY(button->isEnabled());
    QCOMPARE(button->font().family(), QStringLiteral("Verdana"));
    QCOMPARE(button->font().pointSizeF(), 9.75);
    QVERIFY(button->font().bold());
    QCOMPARE(button->buttonPalette().face, back);
}

void TestPropertyBag::unknownDesignNameGivesNoButton()
{
    QCOMPARE(PaintedButton::fromDesign(QStringLiteral("paintedButton3")), nullptr);
}

void TestPropertyBag::designTextIsRewrittenUnchanged()
{
    QFile file(QStringLiteral(":/designs/frmmain.design"));
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString text = QString::fromUtf8(file.readAll());
    QCOMPARE(DesignForm::parse(text).toText(), text);

    const std::unique_ptr<PaintedButton> button(PaintedButton::fromDesign(QStringLiteral("paintedButton1")));
    PropertyBag rewritten;
    button->writeProperties(rewritten);
    QCOMPARE(rewritten.toLines(), DesignForm::parse(text).bag(QStringLiteral("paintedButton1"))->toLines());
}

QTEST_MAIN(TestPropertyBag)
#include "tst_propertybag.moc"
