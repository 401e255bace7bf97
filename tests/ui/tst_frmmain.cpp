#include "engine/harvestengine.h"
#include "scriptedconnection.h"
#include "ui/connectionrows.h"
#include "ui/frmmain.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace mosscatch;

class TestFrmMain : public QObject
{
    Q_OBJECT

public slots:
    // Stands in for the desktop, so nothing is opened while testing.
    void open(const QUrl &url) { m_opened.append(url); }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_home.isValid() && m_saveFolder.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_home.path());
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "open");
    }

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    }

    void init()
    {
        QSettings(QStringLiteral("Coalvesper"), QStringLiteral("Coalvesper")).clear();
        m_opened.clear();
        openWindow();
    }

    void cleanup()
    {
        m_window.reset();
        m_engine.reset();
    }

    void addPutsEntryOnTop_data()
    {
        QTest::addColumn<bool>("byEnter");
        QTest::addColumn<QString>("second");
        QTest::newRow("Add button") << false << "blue sky";
        QTest::newRow("Enter in the entry box") << true << "blue sky";
        QTest::newRow("empty entry is added too") << true << "";
    }

    void addPutsEntryOnTop()
    {
        QFETCH(bool, byEnter);
        QFETCH(QString, second);
        auto *text1 = child<QLineEdit>("Text1");
        for (const QString &word : {QStringLiteral("cats"), second}) {
            text1->setText(word);
            if (byEnter)
                QTest::keyClick(text1, Qt::Key_Return);
            else
                QTest::mouseClick(child<QWidget>("paintedButton2"), Qt::LeftButton);
        }
        QCOMPARE(keywords(), QStringList({second, QStringLiteral("cats")}));
        QCOMPARE(text1->text(), QString());
        QCOMPARE(QApplication::focusWidget(), text1);
    }

    void deleteRemovesOnlySelected_data()
    {
        QTest::addColumn<int>("selectedRow");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("middle entry") << 1 << QStringList{"c", "a"};
        QTest::newRow("top entry") << 0 << QStringList{"b", "a"};
        QTest::newRow("nothing selected") << -1 << QStringList{"c", "b", "a"};
    }

    void deleteRemovesOnlySelected()
    {
        QFETCH(int, selectedRow);
        addKeywords({"a", "b", "c"});
        auto *list1 = child<QListView>("List1");
        list1->setFocus();
        list1->selectionModel()->clearSelection();
        if (selectedRow >= 0)
            list1->setCurrentIndex(list1->model()->index(selectedRow, 0));
        QTest::keyClick(list1, Qt::Key_Delete);
        QTEST(keywords(), "left");
    }

    void f7TogglesQueueView()
    {
        auto *queue = child<QListView>("Queue");
        const int compact = m_window->compactHeight();
        QCOMPARE(compact, (3360 + 2775 + 600) / 15);
        QCOMPARE(m_window->height(), compact);

        QTest::keyClick(child<QLineEdit>("Text1"), Qt::Key_F7);
        QCOMPARE(m_window->height(), (6240 + 2370 + 480) / 15);
        QVERIFY(queue->isVisible());

        QTest::keyClick(child<QListView>("List1"), Qt::Key_F7);
        QCOMPARE(m_window->height(), compact);
        QVERIFY(!queue->isVisible());

        m_window->resize(m_window->width(), compact + 30);
        QTest::keyClick(child<QLineEdit>("Text1"), Qt::Key_F7);
        QCOMPARE(m_window->height(), compact);
        QVERIFY(!queue->isVisible());
    }

    void clickIntoEntrySelectsWholeText()
    {
        auto *text1 = child<QLineEdit>("Text1");
        text1->setText(QStringLiteral("zelda nintendo"));
        child<QWidget>("paintedButton2")->setFocus();
        QCOMPARE(text1->selectedText(), QString());
        QTest::mouseClick(text1, Qt::LeftButton, {}, QPoint(10, text1->height() / 2));
        QCOMPARE(QApplication::focusWidget(), text1);
        QTRY_COMPARE(text1->selectedText(), QStringLiteral("zelda nintendo"));
    }

    void settingsSurviveSecondWindow()
    {
        QCOMPARE(child<QLineEdit>("tDir")->text(), HarvestSettings::defaultSaveFolder());
        QCOMPARE(child<QLineEdit>("Text1")->text(), QString());
        const SettingsStore store;
        QCOMPARE(store.readSettingValue(QStringLiteral("tdir"), QStringLiteral("absent")),
                 HarvestSettings::defaultSaveFolder());
        QCOMPARE(store.readSettingValue(QStringLiteral("text1"), QStringLiteral("absent")),
                 QString());

        QTest::keyClicks(child<QLineEdit>("Text1"), QStringLiteral("zelda  "));
        child<QLineEdit>("tDir")->setText(QStringLiteral("/data/pictures/"));
        openWindow();
        QCOMPARE(child<QLineEdit>("Text1")->text(), QStringLiteral("zelda  "));
        QCOMPARE(child<QLineEdit>("tDir")->text(), QStringLiteral("/data/pictures/"));
        QCOMPARE(m_engine->options().saveFolder(), QStringLiteral("/data/pictures/"));
    }

    void optionsBoundBothWays()
    {
        HarvestOptions &options = m_engine->options();
        child<QCheckBox>("cLargest")->click();
        child<QCheckBox>("cThumbnails")->click();
        child<QCheckBox>("cStop")->click();
        QVERIFY(options.largest() && !options.thumbnails() && options.paused());
        QTest::mouseClick(child<QLabel>("lCommCaption"), Qt::LeftButton);
        QVERIFY(options.commercial());

        options.setStandard(false);
        QVERIFY(!child<QCheckBox>("cStandard")->isChecked());
        options.setSaveFolder(QStringLiteral("/elsewhere/"));
        QCOMPARE(child<QLineEdit>("tDir")->text(), QStringLiteral("/elsewhere/"));
        QCOMPARE(SettingsStore().readSettingValue(QStringLiteral("tdir")),
                 QStringLiteral("/elsewhere/"));
    }

    void clicksOpenFolderAndWebPage_data()
    {
        QTest::addColumn<QByteArray>("control");
        QTest::addColumn<QUrl>("expected");
        QTest::newRow("folder picture")
                << QByteArray("Picture6") << QUrl::fromLocalFile("/no/such folder/");
        QTest::newRow("web address")
                << QByteArray("Label9") << QUrl("http://www.mosscatch.example.com");
    }

    void clicksOpenFolderAndWebPage()
    {
        QFETCH(QByteArray, control);
        QFETCH(QUrl, expected);
        child<QLineEdit>("tDir")->setText(QStringLiteral("/no/such folder/"));
        QTest::mouseClick(child<QLabel>(control.constData()), Qt::LeftButton);
        QCOMPARE(m_opened, QList<QUrl>{expected});
    }

    void startWithEmptyListShowsMessage()
    {
        QStringList shown;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            const bool information = box->icon() == QMessageBox::Information;
            const bool okOnly = box->standardButtons() == QMessageBox::Ok;
            shown << box->windowTitle() << box->text()
                  << (information && okOnly ? "information, OK" : "other look");
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        });
        child<QWidget>("paintedButton1")->setFocus();
        clickStart();
        QCOMPARE(shown,
                 QStringList({"No keywords!",
                              "Enter a search keyword and press enter to add it to the list!",
                              "information, OK"}));
        // Once the message is gone the window gets the focus back, into the entry box.
        QCOMPARE(m_window->focusWidget(), child<QLineEdit>("Text1"));
        QVERIFY(child<QLabel>("iStart")->isVisible());
    }

    void startShowsKeywordAndConnectionRows()
    {
        start(" Blue  Sky ");
        QCOMPARE(child<QLabel>("lKW")->text(), QStringLiteral("Downloading for: blue++sky"));
        QVERIFY(!child<QLabel>("iStart")->isVisible());

        ConnectionRows *rows = m_window->connectionRows();
        QCOMPARE(rows->count(), 3);
        const QList<int> lefts = {0, 40, 152, 640, 744};
        for (int row = 1; row <= 2; ++row) {
            for (int column = 0; column < ConnectionRows::ColumnCount; ++column) {
                QLabel *label = rows->label(row, ConnectionRows::Column(column));
                QCOMPARE(label->pos(), QPoint(lefts.at(column), (row - 1) * 14));
                QVERIFY(label->isVisible());
            }
            QCOMPARE(rows->label(row, ConnectionRows::Column::Sock)->text(), QString::number(row));
        }
        QCOMPARE(rows->label(1, ConnectionRows::Column::Status)->text(), QStringLiteral("status"));
        QTRY_COMPARE(
                rows->label(1, ConnectionRows::Column::Url)->text(),
                QStringLiteral(
                        "www.photosite.example.com/search/?q=blue++sky&ct=0&mt=photos&adv=1&z=m"));
        QCOMPARE(rows->label(1, ConnectionRows::Column::Status)->text(),
                 QStringLiteral("CONNECTING"));
    }

    void queueViewShowsQueueFilling()
    {
        child<QCheckBox>("cStop")->click();
        start("moss");
        QTest::keyClick(child<QLineEdit>("Text1"), Qt::Key_F7);

        auto *queue = child<QListView>("Queue");
        QVERIFY(queue->isVisible());
        QCOMPARE(queue->model()->rowCount(), 1);
        QCOMPARE(queue->model()->index(0, 0).data().toString(),
                 QStringLiteral(
                         "www.photosite.example.com/search/?q=moss&ct=0&mt=photos&adv=1&z=m"));
        QTRY_COMPARE(child<QLabel>("lQueue")->text(), QStringLiteral("1"));
    }

private:
    void openWindow()
    {
        m_window.reset();
        m_engine = std::make_unique<HarvestEngine>(SiteConfiguration(), [](QObject *parent) {
            return new ScriptedConnection(parent);
        });
        m_window = std::make_unique<FrmMain>(*m_engine);
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

    template<typename T> T *child(const char *name) const
    {
        T *found = m_window->findChild<T *>(QLatin1String(name));
        Q_ASSERT(found);
        return found;
    }

    QStringList keywords() const { return m_engine->keywords()->stringList(); }

    void addKeywords(const QStringList &words)
    {
        auto *text1 = child<QLineEdit>("Text1");
        for (const QString &word : words) {
            text1->setText(word);
            QTest::keyClick(text1, Qt::Key_Return);
        }
    }

    void clickStart() { QTest::mouseClick(child<QWidget>("paintedButton1"), Qt::LeftButton); }

    void start(const QString &keyword)
    {
        child<QLineEdit>("tDir")->setText(m_saveFolder.path());
        addKeywords({keyword});
        clickStart();
    }

    QTemporaryDir m_home;
    QTemporaryDir m_saveFolder;
    QList<QUrl> m_opened;
    std::unique_ptr<HarvestEngine> m_engine;
    std::unique_ptr<FrmMain> m_window;
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
