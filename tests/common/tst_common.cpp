#include "common/bytesize.h"
#include "common/files.h"
#include "common/text.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace mosscatch;

class TestCommon : public QObject
{
    Q_OBJECT

private slots:
    void lowerTrim_data();
    void lowerTrim();
    void safeFileName_data();
    void safeFileName();
    void urlFileName_data();
    void urlFileName();
    void fileNameText_data();
    void fileNameText();
    void leadingNumber_data();
    void leadingNumber();
    void formatByteSize_data();
    void formatByteSize();
    void fileHelpers();
};

void TestCommon::lowerTrim_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("case and spaces") << "  TDir  "
                                     << "tdir";
    QTest::newRow("inner spaces stay") << " Blue  Sky "
                                       << "blue  sky";
    QTest::newRow("tabs and line breaks stay") << "\tKey\n"
                                               << "\tkey\n";
    QTest::newRow("only spaces") << "   "
                                 << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestCommon::lowerTrim()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(mosscatch::lowerTrim(input), expected);
    QCOMPARE(mosscatch::lowerTrim(input.toLatin1()), expected.toLatin1());
}

void TestCommon::safeFileName_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("separators and wildcards") << "a/b:c*d"
                                              << "abcd";
    QTest::newRow("question mark") << "Cats?"
                                   << "Cats";
    QTest::newRow("all nine") << "\\/:*?\"<>|"
                              << "";
    QTest::newRow("spaces kept") << " Blue  Sky "
                                 << " Blue  Sky ";
    QTest::newRow("dots kept") << ".."
                               << "..";
}

void TestCommon::safeFileName()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(mosscatch::safeFileName(input), expected);
}

void TestCommon::urlFileName_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("image") << QByteArray("/1234/5678_abcd_t.jpg") << QByteArray("5678_abcd_t.jpg");
    QTest::newRow("trailing slash") << QByteArray("/photos/owner/1/") << QByteArray();
    QTest::newRow("no slash") << QByteArray("pic.jpg") << QByteArray("pic.jpg");
    QTest::newRow("search") << QByteArray("/search/?q=a&page=2") << QByteArray("?q=a&page=2");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestCommon::urlFileName()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, expected);
    QCOMPARE(mosscatch::urlFileName(path), expected);
}

void TestCommon::fileNameText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << QByteArray("a_b.jpg") << QStringLiteral("a_b.jpg");
    QTest::newRow("UTF-8 kept") << QByteArray("caf\xC3\xA9.jpg")
                                << QString::fromUtf8("caf\xC3\xA9.jpg");
    QTest::newRow("E9 and E8 stay apart")
            << QByteArray("\xE9\xE8.jpg") << QStringLiteral("%E9%E8.jpg");
    QTest::newRow("overlong") << QByteArray("\xC0\xAF") << QStringLiteral("%C0%AF");
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << QStringLiteral("%ED%A0%80");
    QTest::newRow("cut at the end") << QByteArray("a\xF0\x9F\x98") << QStringLiteral("a%F0%9F%98");
}

void TestCommon::fileNameText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(mosscatch::fileNameText(bytes), expected);
}

void TestCommon::leadingNumber_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("plain") << QByteArray("1234 ") << 1234.0;
    QTest::newRow("leading blanks") << QByteArray("  60") << 60.0;
    QTest::newRow("stops at letter") << QByteArray("5000\r\n") << 5000.0;
    QTest::newRow("decimal") << QByteArray("1.5x") << 1.5;
    QTest::newRow("exponent") << QByteArray("2e3 ") << 2000.0;
    QTest::newRow("dangling exponent") << QByteArray("12e") << 12.0;
    QTest::newRow("no number") << QByteArray("Max") << 0.0;
    QTest::newRow("empty") << QByteArray() << 0.0;
    QTest::newRow("negative") << QByteArray("-7") << -7.0;
    QTest::newRow("lone sign") << QByteArray("-") << 0.0;
}

void TestCommon::leadingNumber()
{
    QFETCH(QByteArray, text);
    QFETCH(double, expected);
    QCOMPARE(mosscatch::leadingNumber(text), expected);
}

void TestCommon::formatByteSize_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << qint64(0) << "0 bytes";
    QTest::newRow("below a kilobyte") << qint64(1023) << "1023 bytes";
    QTest::newRow("one kilobyte") << qint64(1024) << "1.00 KB";
    QTest::newRow("truncated, not rounded") << qint64(1240) << "1.21 KB";
    QTest::newRow("two digits") << qint64(2500) << "2.44 KB";
    QTest::newRow("three digits") << qint64(122880) << "120 KB";
    QTest::newRow("next unit from 1000") << qint64(1000 * 1024) << "0.97 MB";
    QTest::newRow("megabytes") << qint64(99930521) << "95.3 MB";
    QTest::newRow("gigabytes") << qint64(5368709120) << "5.00 GB";
    QTest::newRow("negative shown as zero") << qint64(-5) << "0 bytes";
}

void TestCommon::formatByteSize()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, expected);
    QCOMPARE(mosscatch::formatByteSize(bytes), expected);
}

void TestCommon::fileHelpers()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath("kw");

    makeFolder(dir.filePath("missing/child"));
    QVERIFY(!QDir(dir.filePath("missing")).exists());
    makeFolder(folder);
    makeFolder(folder);
    QVERIFY(QDir(folder).exists());
    QVERIFY(!fileExists(folder));

    const QString file = folder + "/a.jpg";
    QVERIFY(!fileExists(file));
    QVERIFY(QFile(file).open(QIODevice::WriteOnly));
    QVERIFY(fileExists(file));
}

QTEST_GUILESS_MAIN(TestCommon)
#include "tst_common.moc"
