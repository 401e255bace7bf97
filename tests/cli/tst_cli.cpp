#include "photosite/photosite.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace mosscatch;

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run runCli(const QStringList &arguments, const QString &home)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("MOSSCATCH_TEST_INTERVALS"), QStringLiteral("2,20,200,400"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(MOSSCATCH_CLI), arguments);
    if (!process.waitForFinished(180000))
        process.kill();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

QStringList filesUnder(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

bool holdsControlCharacter(const QByteArray &text)
{
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 32 && c != '\n') || byte == 127;
    });
}

}

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void harvestsTwoKeywordsWithSummary();
    void refusesBadInput_data();
    void refusesBadInput();
    void unreachableSiteFails();
    void interruptLeavesOnlyWholeImages();

private:
    QTemporaryDir m_home;
};

void TestCli::harvestsTwoKeywordsWithSummary()
{
    QTemporaryDir folder;
    const QString summaryPath = folder.filePath(QStringLiteral("summary.json"));
    const QString saveFolder = folder.filePath(QStringLiteral("images"));
    const QString logPath = folder.filePath(QStringLiteral("found.log"));
    const Run run = runCli({"--demo", "--folder", saveFolder, "--largest", "--summary-json",
                            summaryPath, "--log", logPath, "count12", "count5"},
                           m_home.path());
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY(!holdsControlCharacter(run.out));
    QVERIFY(run.out.indexOf("count12") < run.out.indexOf("count5"));

    PhotoCatalog catalog;
    QStringList expected;
    for (const QByteArray keyword : {"count12", "count5"}) {
        for (const Photo &photo : catalog.photosOnPage(keyword, false, 1)) {
            if (!photo.portalThumbnail)
                expected << keyword + "/thumbnails/" + photo.thumbnailFileName();
            expected << keyword + "/" + photo.standardFileName();
            expected << keyword + "/largest/" + photo.largestFileName();
        }
    }
    expected.sort();
    QCOMPARE(filesUnder(saveFolder), expected);

    // One line per address found: each photo page yields its standard image.
    QFile logFile(logPath);
    QVERIFY(logFile.open(QIODevice::ReadOnly));
    const QByteArrayList logLines = logFile.readAll().split('\n');
    QCOMPARE(logLines.constLast(), QByteArray());
    for (const Photo &photo : catalog.photosOnPage("count12", false, 1)) {
        const QByteArray line
                = "www.photosite.example.com" + photo.pagePath + " --: " + photo.standardImage;
        QVERIFY2(logLines.contains(line), line.constData());
    }

    QFile summaryFile(summaryPath);
    QVERIFY(summaryFile.open(QIODevice::ReadOnly));
    const QJsonObject summary = QJsonDocument::fromJson(summaryFile.readAll()).object();
    const QJsonArray keywords = summary["keywords"].toArray();
    QCOMPARE(keywords.size(), 2);
    QCOMPARE(keywords[0]["keyword"].toString(), QStringLiteral("count12"));
    const QJsonObject images = keywords[0]["images"].toObject();
    QCOMPARE(images["standard"].toInt(), 12);
    QCOMPARE(images["largest"].toInt(), 12);
    QCOMPARE(images["thumbnails"].toInt(),
             int(filesUnder(saveFolder + "/count12/thumbnails").size()));
    QVERIFY(keywords[0]["pages"].toInt() >= 2);
    QVERIFY(keywords[0]["bytesReceived"].toDouble() > 0);
    const QJsonObject totals = summary["totals"].toObject();
    QCOMPARE(totals["images"]["standard"].toInt(), 17);
    QVERIFY(totals["transfersPerSecond"].toDouble() > 0);
}

void TestCli::refusesBadInput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("no keywords") << QStringList{"--demo"} << QByteArray("no keywords");
    QTest::newRow("unknown option") << QStringList{"--colour", "cats"} << QByteArray("colour");
    QTest::newRow("malformed resolve")
            << QStringList{"--resolve", "example.com:80", "cats"} << QByteArray("--resolve");
    QTest::newRow("resolve without port")
            << QStringList{"--resolve", "a.example.com=127.0.0.1", "cats"}
            << QByteArray("--resolve");
    QTest::newRow("max images not a number")
            << QStringList{"--max-images", "lots", "cats"} << QByteArray("--max-images");
    QTest::newRow("contradicting sizes")
            << QStringList{"--largest", "--no-largest", "cats"} << QByteArray("contradict");
    QTest::newRow("save folder is a file")
            << QStringList{"--folder", "/proc/version/x", "cats"} << QByteArray("save folder");
    QTest::newRow("log in no folder")
            << QStringList{"--log", "/proc/version/x", "cats"} << QByteArray("log");
}

void TestCli::refusesBadInput()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, message);
    const Run run = runCli(arguments, m_home.path());
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(message), run.err.constData());
    QCOMPARE(run.err.count('\n'), 1);
}

void TestCli::unreachableSiteFails()
{
    QTemporaryDir folder;
    // Nothing listens on port 1 of the loopback address.
    const Run run = runCli({"--folder", folder.path(), "--resolve", "*.example.com=127.0.0.1:1",
                            "--quiet", "cats"},
                           m_home.path());
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("no transfer succeeded"), run.err.constData());
    QVERIFY(run.out.isEmpty());
}

void TestCli::interruptLeavesOnlyWholeImages()
{
    QTemporaryDir folder;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_home.path());
    environment.insert(QStringLiteral("MOSSCATCH_TEST_INTERVALS"), QStringLiteral("2,20,200,400"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(MOSSCATCH_CLI), {"--demo", "--folder", folder.path(), "--largest",
                                                  "--max-images", "max", "count600"});
    QVERIFY(process.waitForStarted());
    // Interrupted in the middle of the harvest, with transfers running.
    QTRY_VERIFY_WITH_TIMEOUT(filesUnder(folder.path()).size() > 40, 60000);
    process.terminate();
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 130);
    QVERIFY(process.readAllStandardError().contains("interrupted"));

    PhotoCatalog catalog;
    QMap<QString, QByteArray> served; // file -> the image address it must hold
    for (const Photo &photo : catalog.photos("count600", false)) {
        served.insert("count600/thumbnails/" + photo.thumbnailFileName(), photo.thumbnailImage);
        served.insert("count600/" + photo.standardFileName(), photo.standardImage);
        served.insert("count600/largest/" + photo.largestFileName(), photo.largestImage);
    }
    const QStringList files = filesUnder(folder.path());
    QVERIFY(files.size() < served.size());
    for (const QString &file : files) {
        QVERIFY2(served.contains(file), qPrintable("unexpected " + file));
        QFile saved(folder.filePath(file));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY2(saved.readAll() == catalog.imageBytes(served.value(file)),
                 qPrintable("incomplete " + file));
    }
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
