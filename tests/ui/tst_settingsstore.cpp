#include "ui/settingsstore.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace mosscatch;

class TestSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void readsWhatWasSaved_data();
    void readsWhatWasSaved();
    void keepsApplicationAndGroup();

private:
    QTemporaryDir m_home;
};

void TestSettingsStore::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_home.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_home.path());
}

void TestSettingsStore::init()
{
    QSettings(QStringLiteral("Coalvesper"), QStringLiteral("Coalvesper")).clear();
}

void TestSettingsStore::readsWhatWasSaved_data()
{
    QTest::addColumn<QString>("savedKey");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("readKey");
    QTest::addColumn<QString>("defaultValue");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain key") << "tdir" << "/data/pics/" << "tdir" << "x" << "/data/pics/";
    QTest::newRow("saved under capitals and spaces") << "  TDir " << "/a/" << "tdir" << "x" << "/a/";
    QTest::newRow("read under capitals and spaces") << "text1" << "cats" << " TEXT1  " << "x" << "cats";
    QTest::newRow("trailing spaces kept") << "text1" << "zelda  " << "text1" << "" << "zelda  ";
    QTest::newRow("leading spaces kept") << "text1" << "  zelda" << "text1" << "" << "  zelda";
    QTest::newRow("empty value is a value") << "tdir" << "" << "tdir" << "/home/Mosscatch/" << "";
    QTest::newRow("missing key gives default") << "text1" << "cats" << "tdir" << "/home/Mosscatch/"
                                                << "/home/Mosscatch/";
    QTest::newRow("tab is part of the key") << "\ttdir" << "/a/" << "tdir" << "none" << "none";
}

void TestSettingsStore::readsWhatWasSaved()
{
    QFETCH(QString, savedKey);
    QFETCH(QString, value);
    QFETCH(QString, readKey);
    QFETCH(QString, defaultValue);
    QFETCH(QString, expected);

    SettingsStore().saveSettingValue(savedKey, value);
    QCOMPARE(SettingsStore().readSettingValue(readKey, defaultValue), expected);
}

void TestSettingsStore::keepsApplicationAndGroup()
{
    SettingsStore().saveSettingValue(QStringLiteral("TDIR"), QStringLiteral("/pics/"));
    QSettings direct(QStringLiteral("Coalvesper"), QStringLiteral("Coalvesper"));
    QCOMPARE(direct.childGroups(), QStringList{ QStringLiteral("Settings") });
    QCOMPARE(direct.value(QStringLiteral("Settings/tdir")).toString(), QStringLiteral("/pics/"));

    // Written through at once, not at the end of the program.
    QFile file(m_home.filePath(QStringLiteral("Coalvesper/Coalvesper.conf")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray contents = file.readAll();
    QVERIFY(contents.contains("[Settings]"));
    QVERIFY(contents.contains("tdir=/pics/"));
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
