#include "engine/pagescraper.h"

#include <QTest>

using namespace mosscatch;

namespace {

const QByteArray host = "www.photosite.example.com";

const QByteArray resultsPage =
    "<html><a href=\"/p0\">"
    "photo_container\"><a href=\"/photos/u/1/\">"
    "<img src=\"http://farm1.photosite.example.com/1_t.jpg\">"
    "photo_container\"><a href=\"/photos/u/2/\">"
    "<img src=\"http://portalcache.photosite.example.com/2_t.jpg\">"
    "photo_container\"><a href=\"/photos/u/3/\"><img src=\"http://img.example.org/3_t.jpg\">"
    "</html>";

const QByteArray photoPage =
    "<html><div class=\"photo-div\">\r\n<img src=\"HTTP://farm1.photosite.example.com/1.jpg?zz=1\">"
    "</div></html>";

const QByteArray sizesRowWithLink =
    "<table id=\"allsizes-sizes\"><tr>\r\n<td><a href=\"/photos/u/1/sizes/s/\">Small</a></td>\r\n"
    "<td> <a href=\"/photos/u/1/sizes/o/\">Original</a></td></tr></table>";

const QByteArray sizesRowPlain =
    "<table id=\"allsizes-sizes\"><tr><td><a href=\"/photos/u/1/sizes/s/\">Small</a></td>"
    "<td>Original</td></tr></table>"
    "<div id=\"allsizes-photo\"><img src=\"http://farm1.photosite.example.com/1_o.jpg\"></div>";

struct Fixture
{
    explicit Fixture(const QString &ticked)
    {
        options.setThumbnails(ticked.contains(QLatin1Char('t')));
        options.setStandard(ticked.contains(QLatin1Char('s')));
        options.setLargest(ticked.contains(QLatin1Char('l')));
        options.setMaxImages(QStringLiteral("max"));
        state.resultPageCount = 1;
    }

    PageScraper::Outcome process(const QByteArray &path, const QByteArray &data)
    {
        SlotRecord record;
        record.host = host;
        record.path = path;
        record.url = host + path;
        record.data = data;
        return scraper.process(record);
    }

    QByteArrayList queued() const
    {
        QByteArrayList list;
        for (qsizetype i = 0; i < queue.size(); ++i)
            list.append(queue.at(i));
        return list;
    }

    SiteConfiguration site;
    HarvestOptions options;
    HarvestState state;
    AddressQueue queue{site};
    DoneRegistry registry;
    ResultPageWalker walker{site, options, state, queue};
    PageScraper scraper{site, options, state, queue, registry, walker};
};

}

class TestScraper : public QObject
{
    Q_OBJECT

private slots:
    void queuesByPageKind_data();
    void queuesByPageKind();
    void firstResultsPageOnlyCountsPages_data();
    void firstResultsPageOnlyCountsPages();
    void photoPagesOnceSizesPagesEveryTime();
};

void TestScraper::queuesByPageKind_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("ticked");
    QTest::addColumn<QByteArrayList>("expected");
    QTest::addColumn<bool>("unexpectedShape");

    const QByteArray h = host;
    QTest::newRow("results, standard, piece 0 included")
        << QByteArray("/search/?q=a&page=2") << resultsPage << "s"
        << QByteArrayList{h + "/p0", h + "/photos/u/1/", h + "/photos/u/2/", h + "/photos/u/3/"}
        << false;
    QTest::newRow("results, standard and largest")
        << QByteArray("/search/") << resultsPage << "sl"
        << QByteArrayList{h + "/p0", h + "/p0sizes/", h + "/photos/u/1/", h + "/photos/u/1/sizes/",
                          h + "/photos/u/2/", h + "/photos/u/2/sizes/", h + "/photos/u/3/",
                          h + "/photos/u/3/sizes/"}
        << false;
    QTest::newRow("results, thumbnails: portal skipped, site domain required")
        << QByteArray("/search/") << resultsPage << "t"
        << QByteArrayList{"farm1.photosite.example.com/1_t.jpg"} << false;
    QTest::newRow("results, all options off") << QByteArray("/search/") << resultsPage << ""
                                              << QByteArrayList{} << false;
    QTest::newRow("results beat the sizes path") << QByteArray("/photos/u/1/sizes/") << resultsPage
                                                 << "t"
                                                 << QByteArrayList{"farm1.photosite.example.com/1_t.jpg"}
                                                 << false;
    QTest::newRow("piece without =\" keeps text up to its first quote")
        << QByteArray("/search/") << QByteArray("ab photo_container cd\"ef") << "s"
        << QByteArrayList{h + "ab ", h + " cd"} << false;
    QTest::newRow("piece 0 with a scheme is refused by the queue")
        << QByteArray("/search/") << QByteArray("<a href=\"http://x.com/\">photo_container<b>") << "s"
        << QByteArrayList{h + "<b>"} << false;
    QTest::newRow("thumbnail without closing quote")
        << QByteArray("/search/")
        << QByteArray("photo_container<img src=\"http://a.photosite.example.com/1_t.jpg\">"
                      "photo_container<img src=\"broken>")
        << "t" << QByteArrayList{"a.photosite.example.com/1_t.jpg"} << true;

    QTest::newRow("photo page: capital scheme and query cut")
        << QByteArray("/photos/u/1/") << photoPage << "s"
        << QByteArrayList{"farm1.photosite.example.com/1.jpg"} << false;
    QTest::newRow("photo page, standard off") << QByteArray("/photos/u/1/") << photoPage << "tl"
                                              << QByteArrayList{} << false;
    QTest::newRow("photo page marker needs double quotes")
        << QByteArray("/photos/u/1/") << QByteArray(photoPage).replace('"', '\'') << "s"
        << QByteArrayList{} << false;
    QTest::newRow("image path is never scraped") << QByteArray("/photos/u/1.jpg") << photoPage << "s"
                                                 << QByteArrayList{} << false;
    QTest::newRow("path without /photos/") << QByteArray("/people/u/") << photoPage << "s"
                                           << QByteArrayList{} << false;
    QTest::newRow("photo page image without closing quote")
        << QByteArray("/photos/u/1/") << QByteArray("<div class=\"photo-div\"><img src=\"x.jpg")
        << "s" << QByteArrayList{} << true;

    QTest::newRow("sizes page, last cell links the largest size")
        << QByteArray("/photos/u/1/sizes/") << sizesRowWithLink << ""
        << QByteArrayList{h + "/photos/u/1/sizes/o/"} << false;
    QTest::newRow("sizes page, cut at the cell's first quote")
        << QByteArray("/photos/u/1/sizes/")
        << QByteArray(sizesRowWithLink).replace("<td> <a", "<td class=\" big \"><a") << ""
        << QByteArrayList{h + "big"} << false;
    QTest::newRow("sizes page, largest shown")
        << QByteArray("/photos/u/1/sizes/") << sizesRowPlain << ""
        << QByteArrayList{"farm1.photosite.example.com/1_o.jpg"} << false;
    QTest::newRow("sizes page without sizes list")
        << QByteArray("/photos/u/1/sizes/") << QByteArray("<html></html>") << "sl"
        << QByteArrayList{} << false;
    QTest::newRow("sizes row without </tr>")
        << QByteArray("/photos/u/1/sizes/") << QByteArray(sizesRowPlain).replace("</tr>", "")
        << "" << QByteArrayList{} << true;
    QTest::newRow("sizes link without closing quote")
        << QByteArray("/photos/u/1/sizes/")
        << QByteArray("allsizes-sizes<tr><td><a href=\"/photos/u/1/sizes/o/</td></tr>") << ""
        << QByteArrayList{} << true;
}

void TestScraper::queuesByPageKind()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, data);
    QFETCH(QString, ticked);
    QFETCH(QByteArrayList, expected);
    QFETCH(bool, unexpectedShape);

    Fixture f(ticked);
    const PageScraper::Outcome outcome = f.process(path, data);
    QCOMPARE(outcome == PageScraper::Outcome::UnexpectedShape, unexpectedShape);
    QCOMPARE(f.queued(), expected);
    QCOMPARE(f.state.resultPageCount, 1.0);
}

void TestScraper::firstResultsPageOnlyCountsPages_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<double>("pages");
    QTest::addColumn<int>("queued");

    QTest::newRow("with a result count")
        << "<div class=\"Results\">(130 results)</div>" + resultsPage << 3.0 << 3;
    QTest::newRow("without a result count") << resultsPage << 0.0 << 0;
}

void TestScraper::firstResultsPageOnlyCountsPages()
{
    QFETCH(QByteArray, data);
    QFETCH(double, pages);
    QFETCH(int, queued);

    Fixture f(QStringLiteral("tsl"));
    f.state.resultPageCount = 0;
    QCOMPARE(f.process("/search/?q=a&z=m", data), PageScraper::Outcome::Done);
    QCOMPARE(f.state.resultPageCount, pages);
    QCOMPARE(f.queue.size(), queued);
    for (qsizetype i = 0; i < f.queue.size(); ++i)
        QVERIFY(f.queue.at(i).contains("&page="));
}

void TestScraper::photoPagesOnceSizesPagesEveryTime()
{
    Fixture f(QStringLiteral("sl"));
    QCOMPARE(f.process("/search/", resultsPage), PageScraper::Outcome::Done);
    QCOMPARE(f.queue.size(), 8);
    QCOMPARE(f.process("/search/", QByteArray(resultsPage).replace("/p0", "/P0 ")),
             PageScraper::Outcome::Done);
    const QByteArrayList again = f.queued().mid(8);
    QCOMPARE(again, (QByteArrayList{host + "/P0 sizes/", host + "/photos/u/1/sizes/",
                                    host + "/photos/u/2/sizes/", host + "/photos/u/3/sizes/"}));
}

QTEST_GUILESS_MAIN(TestScraper)
#include "tst_scraper.moc"
