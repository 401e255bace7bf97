#include "controls/designform.h"
#include "controls/paintedbutton.h"
#include "controls/propertybag.h"
#include "rows.h"
#include "testmain.h"

#include <QFile>

#include <memory>

using namespace mosscatch;

namespace {

QString describe(const PaintedButton &button)
{
    const QFont font = button.font();
    return QStringList{QString::number(button.buttonType()),
                       button.caption(),
                       button.isEnabled() ? "enabled" : "disabled",
                       QStringLiteral("%1 %2%3")
                               .arg(font.family())
                               .arg(font.pointSizeF())
                               .arg(font.bold() ? " bold" : ""),
                       QString::number(button.colorScheme()),
                       button.showFocusRect() ? "focus rect" : "no focus rect",
                       QString::number(button.backColor(), 16),
                       QString::number(button.foreColor(), 16)}
            .join(u'|');
}

}

class TestPropertyBag : public QObject
{
    Q_OBJECT

private slots:
    void designButtons_data()
    {
        const auto row = columns<QString, QString>("name", "expected");
        row("Start", "paintedButton1", "7|Start!|enabled|Verdana 9.75 bold|2|focus rect|fddbe7|0");
        row("Add", "paintedButton2", "7|Add|enabled|Verdana 9.75 bold|2|focus rect|e0e0e0|0");
        row("not in the design", "paintedButton3", "");
    }

    // Rewriting the design's own buttons also pins the order of the keys.
    void designButtons()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QFile file(QStringLiteral(":/designs/frmmain.design"));
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        const QString text = QString::fromUtf8(file.readAll());
        const DesignForm design = DesignForm::parse(text);
        QCOMPARE(design.toText(), text);

        const std::unique_ptr<PaintedButton> button(PaintedButton::fromDesign(name));
        QCOMPARE(bool(button), !expected.isEmpty());
        if (!button)
            return;
        QCOMPARE(button->objectName(), name);
        QCOMPARE(describe(*button), expected);
        QCOMPARE(button->buttonPalette().face, button->backColor());
        PropertyBag rewritten;
        button->writeProperties(rewritten);
        QCOMPARE(rewritten.toLines(), design.bag(name)->toLines());
    }

    void roundTripsThroughDesignText()
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
        QCOMPARE(describe(copy),
                 "4|Say \"&Hi\"|disabled|DejaVu Sans 11 bold|3|no focus rect|fddbe7|123456");
    }

    // Keys are found whatever their case; missing ones read as the defaults.
    void readsDefaultsForMissingKeys()
    {
        PaintedButton button;
        button.setShowFocusRect(false);
        PropertyBag bag;
        QVERIFY(bag.parseLine(QStringLiteral("btype = 6")));
        QVERIFY(bag.parseLine(QStringLiteral("Coltype = 3")));
        button.readProperties(bag);
        const QString font = describe(PaintedButton()).section(u'|', 3, 3);
        const auto colour = [&button](QPalette::ColorRole role) {
            return QString::number(fromQColor(button.palette().color(role)), 16);
        };
        QCOMPARE(describe(button),
                 QStringLiteral("6||enabled|%1|3|focus rect|%2|%3")
                         .arg(font, colour(QPalette::Button), colour(QPalette::ButtonText)));
    }
};

MOSSCATCH_TEST_MAIN(TestPropertyBag)
#include "tst_propertybag.moc"
