#include "engine/rundriver.h"
#include "scriptedconnection.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace mosscatch;

struct DriverFixture
{
    explicit DriverFixture(const QStringList &entries)
        : keywords(entries),
          queue(site),
          pool([](QObject *parent) { return new ScriptedConnection(parent); }, options),
          driver(site, options, state, keywords, queue, registry, pool)
    {
        options.setSaveFolder(dir.path() + QStringLiteral("/save"));
    }

    QTemporaryDir dir;
    SiteConfiguration site;
    HarvestOptions options;
    HarvestState state;
    QStringListModel keywords;
    AddressQueue queue;
    DoneRegistry registry;
    ConnectionPool pool;
    RunDriver driver;
};

class TestRunDriver : public QObject
{
    Q_OBJECT

private slots:
    void keywordFolderLayout_data();
    void keywordFolderLayout();
    void saveFolderNormalisation_data();
    void saveFolderNormalisation();
    void searchAddress_data();
    void searchAddress();
    void startResetsTheKeywordButKeepsTheQueue();
    void emptyListChangesNothing();
};

void TestRunDriver::keywordFolderLayout_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("folderName");

    QTest::newRow("spaces") << " Blue  Sky " << "blue++sky" << "blue++sky";
    QTest::newRow("forbidden characters") << "a/b:c*d" << "abcd" << "abcd";
    QTest::newRow("question mark") << "Cats?" << "cats" << "cats";
    QTest::newRow("dot") << "." << "." << "_";
    QTest::newRow("dot dot") << " .. " << ".." << "__";
    QTest::newRow("dots hidden by removed characters") << "./." << ".." << "__";
    QTest::newRow("empty") << "<>" << "" << "";
}

void TestRunDriver::keywordFolderLayout()
{
    QFETCH(QString, entry);
    QFETCH(QString, keyword);
    QFETCH(QString, folderName);

    DriverFixture f({entry});
    QSignalSpy started(&f.driver, &RunDriver::keywordStarted);
    QVERIFY(f.driver.nextMajorKeyword());

    const QString save = f.dir.path() + QStringLiteral("/save/");
    QCOMPARE(started.count(), 1);
    QCOMPARE(started.first().at(0).toString(), keyword);
    QCOMPARE(f.state.currentKeyword, keyword);
    QCOMPARE(f.state.keywordFolder, save + folderName);
    QVERIFY(QFileInfo(save + folderName + QStringLiteral("/thumbnails")).isDir());
    QVERIFY(QFileInfo(save + folderName + QStringLiteral("/largest")).isDir());
    const QStringList outside = QDir(f.dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    QCOMPARE(outside, QStringList{QStringLiteral("save")});
    QVERIFY(f.queue.at(0).contains("/search/?q=" + keyword.toUtf8() + "&"));
}

void TestRunDriver::saveFolderNormalisation_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("normalised");

    QTest::newRow("no trailing slash") << "c:/pics" << "c:/pics/";
    QTest::newRow("trailing slash kept single") << "/srv/pics/" << "/srv/pics/";
    QTest::newRow("backslashes") << "c:\\pics" << "c:/pics/";
    QTest::newRow("network path") << "\\\\host\\share" << "/host/share/";
    QTest::newRow("three in a row become two") << "/a///b" << "/a//b/";
}

void TestRunDriver::saveFolderNormalisation()
{
    QFETCH(QString, folder);
    QFETCH(QString, normalised);
    QCOMPARE(RunDriver::normalisedSaveFolder(folder), normalised);
}

void TestRunDriver::searchAddress_data()
{
    QTest::addColumn<bool>("commercial");
    QTest::addColumn<QByteArray>("address");

    QTest::newRow("commercial") << true
                                << QByteArray("www.photosite.example.com/search/?q=red+fox"
                                              "&l=comm&ct=0&mt=photos&adv=1&z=m");
    QTest::newRow("any licence") << false
                                 << QByteArray("www.photosite.example.com/search/?q=red+fox"
                                               "&ct=0&mt=photos&adv=1&z=m");
}

void TestRunDriver::searchAddress()
{
    QFETCH(bool, commercial);
    QFETCH(QByteArray, address);

    DriverFixture f({QStringLiteral("Red Fox")});
    f.options.setCommercial(commercial);
    f.driver.nextMajorKeyword();
    QCOMPARE(f.queue.size(), 1);
    QCOMPARE(f.queue.at(0), address);
}

void TestRunDriver::startResetsTheKeywordButKeepsTheQueue()
{
    DriverFixture f({QStringLiteral("b"), QStringLiteral("a")});
    QSignalSpy prepared(&f.driver, &RunDriver::harvestPrepared);
    f.queue.addUrl("left.com/over");
    f.state.queueFilled = true;
    f.state.resultPageCount = 7;
    f.registry.isAlreadyDone("seen");

    f.driver.nextMajorKeyword();

    QCOMPARE(f.keywords.stringList(), QStringList{QStringLiteral("a")});
    QVERIFY(!f.state.queueFilled);
    QCOMPARE(f.state.resultPageCount, 0.0);
    QCOMPARE(f.registry.size(), 0);
    QCOMPARE(f.queue.size(), 2);
    QCOMPARE(f.queue.at(0), QByteArray("left.com/over"));
    QCOMPARE(f.pool.count(), 3);
    QCOMPARE(f.options.saveFolder(), f.dir.path() + QStringLiteral("/save/"));
    QCOMPARE(prepared.count(), 1);
}

void TestRunDriver::emptyListChangesNothing()
{
    DriverFixture f({});
    QVERIFY(!f.driver.nextMajorKeyword());
    QCOMPARE(f.pool.count(), 1);
    QVERIFY(f.queue.isEmpty());
    QVERIFY(!QFileInfo::exists(f.dir.path() + QStringLiteral("/save")));
}

QTEST_GUILESS_MAIN(TestRunDriver)
#include "tst_rundriver.moc"
