#include "cli/imageestimate.h"
#include "rows.h"
#include "testmain.h"

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
};

MOSSCATCH_TEST_GUILESS_MAIN(TestProgress)
#include "tst_progress.moc"
