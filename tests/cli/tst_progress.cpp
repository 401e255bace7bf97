#include "cli/imageestimate.h"
#include "clirun.h"
#include "rows.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace mosscatch;

class TestProgress : public QObject
{
    Q_OBJECT

private slots:
    void estimatesExpectedImages_data()
    {
        const auto row = columns<double, QString, QString, int, bool>(
                "resultCount", "maxImages", "sizes", "images", "approximate");
        row("one page of a long list", 1234.0, "60", "ts", 120, true);
        row("short list, every size", 12.0, "max", "tsl", 36, true);
        row("exactly one full page", 60.0, "max", "s", 60, false);
        row("page maximum", 100000.0, "max", "l", 4200, false);
        row("limit of ten pages", 1234.0, "600", "s", 600, false);
        row("fractional page limit", 1234.0, "100", "sl", 120, false);
        row("limit below a page", 1234.0, "59", "s", 0, false);
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

    void barOnlyOnTerminal_data()
    {
        QTest::addColumn<bool>("terminal");
        QTest::newRow("pseudo-terminal") << true;
        QTest::newRow("pipe") << false;
    }

    void barOnlyOnTerminal()
    {
        QFETCH(bool, terminal);
        QTemporaryDir folder;
        const QString summaryPath = folder.filePath(QStringLiteral("summary.json"));
        // Transfers start at a slower pace, so the bar is drawn in between.
        const CliRun run
                = Cli{.home = folder.path(), .intervals = "20,20,200,400", .terminal = terminal}
                          .run({"--demo", "--folder", folder.filePath("images"), "--largest",
                                "--summary-json", summaryPath, "count12"});
        QCOMPARE(run.exitCode, 0);
        const QString out = QString::fromUtf8(run.out);

        static const QRegularExpression bar(
                QStringLiteral("count12 \\[#*-*\\] \\d+/~36 \\d+% .* ETA (\\d+:\\d\\d|--:--)"));
        const QStringList redraws = out.split(QStringLiteral("\r\x1b[K"));
        const qsizetype bars
                = std::count_if(redraws.begin(), redraws.end(),
                                [](const QString &line) { return bar.match(line).hasMatch(); });
        QCOMPARE(bars > 0, terminal);
        QVERIFY(std::all_of(redraws.begin(), redraws.end(), [](const QString &line) {
            const QString live = line.section(QLatin1Char('\n'), 0, 0).trimmed();
            return live.startsWith(QStringLiteral("done")) || live.size() < 100;
        }));
        QCOMPARE(out.contains(QStringLiteral("ETA")), terminal);
        QCOMPARE(out.contains(QLatin1Char('%')), terminal);
        QVERIFY(out.contains(QStringLiteral("done count12")));

        QFile summary(summaryPath);
        QVERIFY(summary.open(QIODevice::ReadOnly));
        const QJsonObject keyword
                = QJsonDocument::fromJson(summary.readAll())["keywords"].toArray().at(0).toObject();
        QCOMPARE(keyword["expectedImages"].toInt(), 36);
        QVERIFY(keyword["expectedImagesApproximate"].toBool());
    }
};

QTEST_GUILESS_MAIN(TestProgress)
#include "tst_progress.moc"
