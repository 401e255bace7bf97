#include "cli/imageestimate.h"
#include "common/bytesize.h"
#include "common/files.h"
#include "common/text.h"
#include "rows.h"
#include "testmain.h"

#include <QDir>
#include <QTemporaryDir>

using namespace mosscatch;

class TestCommon : public QObject
{
    Q_OBJECT

private slots:
    // A keyword entry as the folder name and the keyword key see it, and as a line shows it.
    void keywordText_data()
    {
        const auto row = columns<QString, QString, QString, QString>("input", "lowerTrimmed",
                                                                     "safe", "escaped");
        row("case and outer spaces", "  TDir  ", "tdir", "  TDir  ", "  TDir  ");
        row("inner spaces stay", " Blue  Sky ", "blue  sky", " Blue  Sky ", " Blue  Sky ");
        row("tabs and line breaks stay", "\tKey\n", "\tkey\n", "\tKey\n", "\\tKey\\n");
        row("other controls", "a\r\x01\x7f", "a\r\x01\x7f", "a\r\x01\x7f", "a\\r\\x01\\x7f");
        row("only spaces", "   ", "", "   ", "   ");
        row("separators and wildcards", "a/b:c*d", "a/b:c*d", "abcd", "a/b:c*d");
        row("all nine forbidden", "\\/:*?\"<>|", "\\/:*?\"<>|", "", "\\/:*?\"<>|");
        row("dots kept", "..", "..", "..", "..");
    }

    void keywordText()
    {
        QFETCH(QString, input);
        QFETCH(QString, lowerTrimmed);
        QCOMPARE(mosscatch::lowerTrim(input), lowerTrimmed);
        QCOMPARE(mosscatch::lowerTrim(input.toLatin1()), lowerTrimmed.toLatin1());
        QTEST(mosscatch::safeFileName(input), "safe");
        QTEST(mosscatch::escapedControls(input), "escaped");
    }

    // The file name an address path is saved under, and how that name is shown.
    void urlFileName_data()
    {
        const auto row = columns<QByteArray, QByteArray, QString>("path", "name", "text");
        row("image", "/1234/5678_abcd_t.jpg", "5678_abcd_t.jpg", "5678_abcd_t.jpg");
        row("trailing slash", "/photos/owner/1/", "", "");
        row("no slash", "pic.jpg", "pic.jpg", "pic.jpg");
        row("search", "/search/?q=a&page=2", "?q=a&page=2", "?q=a&page=2");
        row("UTF-8 kept", "/p/caf\xC3\xA9.jpg", "caf\xC3\xA9.jpg",
            QString::fromUtf8("caf\xC3\xA9.jpg"));
        row("E9 and E8 stay apart", "\xE9\xE8.jpg", "\xE9\xE8.jpg", "%E9%E8.jpg");
        row("overlong", "\xC0\xAF", "\xC0\xAF", "%C0%AF");
        row("surrogate", "\xED\xA0\x80", "\xED\xA0\x80", "%ED%A0%80");
        row("cut at the end", "a\xF0\x9F\x98", "a\xF0\x9F\x98", "a%F0%9F%98");
    }

    void urlFileName()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, name);
        QCOMPARE(mosscatch::urlFileName(path), name);
        QTEST(mosscatch::fileNameText(name), "text");
    }

    void leadingNumber_data()
    {
        const auto row = columns<QByteArray, double>("text", "expected");
        row("leading blanks", "  60", 60.0);
        row("stops at letter", "5000\r\n", 5000.0);
        row("decimal", "1.5x", 1.5);
        row("exponent", "2e3 ", 2000.0);
        row("dangling exponent", "12e", 12.0);
        row("no number", "Max", 0.0);
        row("empty", {}, 0.0);
        row("negative", "-7", -7.0);
        row("lone sign", "-", 0.0);
    }

    void leadingNumber()
    {
        QFETCH(QByteArray, text);
        QTEST(mosscatch::leadingNumber(text), "expected");
    }

    void formatByteSize_data()
    {
        const auto row = columns<qint64, QString>("bytes", "expected");
        row("below a kilobyte", 1023, "1023 bytes");
        row("one kilobyte", 1024, "1.00 KB");
        row("truncated, not rounded", 1245, "1.21 KB");
        row("three digits", 122880, "120 KB");
        row("next unit from 1000", 1000 * 1024, "0.97 MB");
        row("megabytes", 99930521, "95.3 MB");
        row("gigabytes", 5368709120, "5.00 GB");
        row("negative shown as zero", -5, "0 bytes");
    }

    void formatByteSize()
    {
        QFETCH(qint64, bytes);
        QTEST(mosscatch::formatByteSize(bytes), "expected");
    }

    // A save folder under one that is missing is not made: the run says it cannot be created.
    void makeFolderMakesOnlyTheFolderNamed()
    {
        QTemporaryDir dir;
        makeFolder(dir.filePath("missing/child"));
        makeFolder(dir.filePath("here"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{"here"});
        QVERIFY(QFileInfo(dir.filePath("here")).isDir());
    }

    // How many images the progress line expects of a keyword, from its result count.
    void estimatesExpectedImages_data()
    {
        const auto row = columns<double, QString, QString, int, bool>(
                "resultCount", "maxImages", "sizes", "images", "approximate");
        row("one page of a long list", 1234.0, "60", "ts", 120, true);
        row("short list, every size", 12.0, "max", "tsl", 36, true);
        row("page maximum", 100000.0, "max", "l", 4200, false);
        row("limit past a page", 1234.0, "100", "sl", 200, false);
        row("limit not a number", 1234.0, "lots", "tsl", 0, false);
        row("max in capitals", 200.0, "MAX", "sl", 400, false);
        row("no results", 0.0, "max", "tsl", 0, false);
        row("no size ticked", 500.0, "max", "", 0, false);
    }

    void estimatesExpectedImages()
    {
        QFETCH(double, resultCount);
        QFETCH(QString, maxImages);
        QFETCH(QString, sizes);
        const ImageEstimate estimate
                = ImageEstimate::of(resultCount, maxImages, sizes.contains('t'),
                                    sizes.contains('s'), sizes.contains('l'));
        QTEST(estimate.images, "images");
        QTEST(estimate.approximate, "approximate");
    }
};

MOSSCATCH_TEST_GUILESS_MAIN(TestCommon)
#include "tst_common.moc"
