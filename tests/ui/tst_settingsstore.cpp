#include "rows.h"
#include "testmain.h"
#include "ui/settingsstore.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace mosscatch;

class TestSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_home.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_home.path());
    }

    void init() { QSettings(QStringLiteral("Coalvesper"), QStringLiteral("Coalvesper")).clear(); }

    void readsWhatWasSaved_data()
    {
        const auto row = columns<QString, QString, QString, QString, QString>(
                "savedKey", "value", "readKey", "defaultValue", "expected");
        row("capitals and spaces, saved and read", "  TDir ", "/a/", " TDIR  ", "x", "/a/");
        row("leading spaces kept", "text1", "  zelda", "text1", "", "  zelda");
        row("empty value is a value", "tdir", "", "tdir", "/home/Mosscatch/", "");
        row("missing key gives default", "text1", "cats", "tdir", "/home/Mosscatch/",
            "/home/Mosscatch/");
        row("tab is part of the key", "\ttdir", "/a/", "tdir", "none", "none");
        row("written by hand in capitals", "Settings/KeepAlive", "false", "KeepAlive", "true",
            "false");
    }

    void readsWhatWasSaved()
    {
        QFETCH(QString, savedKey);
        QFETCH(QString, value);
        QFETCH(QString, readKey);
        QFETCH(QString, defaultValue);
        // A key under its group's name goes into the file as a person would write it.
        if (savedKey.startsWith("Settings/"))
            QSettings(QStringLiteral("Coalvesper"), QStringLiteral("Coalvesper"))
                    .setValue(savedKey, value);
        else
            SettingsStore().saveSettingValue(savedKey, value);
        QTEST(SettingsStore().readSettingValue(readKey, defaultValue), "expected");
    }

    void keepsApplicationAndGroup()
    {
        SettingsStore store;
        store.saveSettingValue(QStringLiteral("TDIR"), QStringLiteral("/pics/"));
        // Written through at once, while the store is still open.
        QFile file(m_home.filePath(QStringLiteral("Coalvesper/Coalvesper.conf")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), "[Settings]\ntdir=/pics/\n");
    }

private:
    QTemporaryDir m_home;
};

MOSSCATCH_TEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
