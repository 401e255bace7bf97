#include "photosite/imagefactory.h"
#include "photosite/photocatalog.h"

#include <QImage>
#include <QTest>

#include <algorithm>

using namespace mosscatch;

namespace {

// The harvester's cuts, applied to the site's pages as it applies them.

// What follows the first `after` up to `before`; empty when either is missing.
QByteArray between(const QByteArray &text, const QByteArray &after, const QByteArray &before)
{
    const qsizetype start = text.indexOf(after);
    if (start < 0)
        return {};
    const QByteArray rest = text.mid(start + after.size());
    return rest.left(rest.indexOf(before));
}

QByteArray from(const QByteArray &text, const QByteArray &marker)
{
    const qsizetype at = text.indexOf(marker);
    return at < 0 ? QByteArray() : text.mid(at);
}

int headingCount(const QByteArray &page)
{
    const QByteArray heading = from(page, "<div class=\"Results\">").left(99);
    return heading.isEmpty() ? -1 : between(heading, "(", " ").replace(",", "").trimmed().toInt();
}

QByteArray quotedAfter(const QByteArray &text, const QByteArray &marker)
{
    return between(from(text, marker), "\"", "\"");
}

QByteArray standardImageOf(const QByteArray &page)
{
    QByteArray address = quotedAfter(from(page, "class=\"photo-div\""), "img");
    address.truncate(address.contains('?') ? address.indexOf('?') : address.size());
    return address.toLower().trimmed().startsWith("http://") ? address.mid(7) : address;
}

QByteArray lastSizeCell(const QByteArray &page)
{
    const QByteArray row
            = between(page, "allsizes-sizes", "</tr>").replace("\r", "").replace("\n", "");
    return row.mid(row.lastIndexOf("<td") + 3);
}

}

class tst_PhotoCatalog : public QObject
{
    Q_OBJECT

private slots:
    void resultsPages_data()
    {
        QTest::addColumn<QByteArray>("keyword");
        QTest::addColumn<bool>("commercial");
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("photos");

        QTest::newRow("none") << QByteArray("count0") << false << 0 << 0 << 0;
        QTest::newRow("thousands, numbered page")
                << QByteArray("count1234") << false << 3 << 1234 << 60;
        QTest::newRow("past the last page") << QByteArray("count1234") << false << 40 << 1234 << 0;
        QTest::newRow("largest") << QByteArray("count120000") << false << 0 << 120000 << 60;
        QTest::newRow("commercial is a third") << QByteArray("count100") << true << 0 << 33 << 33;
        QTest::newRow("first results page") << QByteArray("count130") << false << 0 << 130 << 60;
        QTest::newRow("last page") << QByteArray("count130") << false << 3 << 130 << 10;
        QTest::newRow("commercial page") << QByteArray("count130") << true << 1 << 43 << 43;
        // Other keywords get their counts from a hash, one of each range here.
        QTest::newRow("two words, none") << QByteArray("blue+sky") << false << 0 << 0 << 0;
        QTest::newRow("small") << QByteArray("cats") << false << 0 << 38 << 38;
        QTest::newRow("medium") << QByteArray("sunset") << false << 0 << 1419 << 60;
        QTest::newRow("large") << QByteArray("moss") << false << 0 << 89953 << 60;
        QTest::newRow("large, commercial") << QByteArray("moss") << true << 0 << 29984 << 60;
        const int underscores = PhotoCatalog().resultCount("photo_container", false);
        QTest::newRow("keyword holding the block marker")
                << QByteArray("photo_container") << false << 1 << underscores
                << qMin(60, underscores);
    }

    void resultsPages()
    {
        QFETCH(QByteArray, keyword);
        QFETCH(bool, commercial);
        QFETCH(int, page);
        QFETCH(int, count);
        QFETCH(int, photos);

        const QByteArray html = m_catalog.resultsPage(keyword, commercial, page);
        QCOMPARE(m_catalog.resultCount(keyword, commercial), count);
        QCOMPARE(headingCount(html), count);
        QCOMPARE(between(html, "<div class=\"Results\">(", " ").contains(','), count >= 1000);
        QVERIFY(html.contains("</html>"));

        const QList<QByteArray> blocks
                = QByteArray(html).replace("photo_container", "\x01").split('\x01');
        const QList<Photo> listed = m_catalog.photosOnPage(keyword, commercial, page);
        QCOMPARE(listed.size(), photos);
        QCOMPARE(blocks.size(), photos + 1);
        QVERIFY(between(blocks.first(), "=\"", "\"").contains("http://"));
        QVERIFY(quotedAfter(blocks.first(), "img src").contains(m_catalog.site().portalMarker));
        const int first = (qMax(page, 1) - 1) * PhotoCatalog::PhotosPerPage;
        const QList<Photo> all = m_catalog.photos(keyword, commercial, first + photos);
        for (int i = 0; i < photos; ++i) {
            const Photo &photo = listed.at(i);
            QCOMPARE(photo.pagePath, all.at(first + i).pagePath);
            QCOMPARE(between(blocks.at(i + 1), "=\"", "\""), photo.pagePath);
            QCOMPARE(quotedAfter(blocks.at(i + 1), "img src"), photo.thumbnailAddress);
            QCOMPARE(photo.thumbnailAddress.contains(m_catalog.site().portalMarker),
                     photo.portalThumbnail);
        }
    }

    // Every photo of a search, so that each way of writing its addresses is met.
    void photoAndSizesPages()
    {
        QSet<QByteArray> variants;
        for (const Photo &photo : m_catalog.photos("count600", false)) {
            const QByteArray html = m_catalog.photoPage(photo);
            QVERIFY(html.contains("</html>"));
            QCOMPARE(standardImageOf(html), photo.standardImage);
            QCOMPARE(photo.standardImage, photo.standardImage.toLower());

            const QByteArray sizes = m_catalog.sizesPage(photo, {});
            QVERIFY(lastSizeCell(sizes).contains("href"));
            QCOMPARE(between(lastSizeCell(sizes), "=\"", "\"").trimmed(),
                     photo.largestSizePagePath);
            QCOMPARE(photo.largestSizePagePath, photo.sizesPagePath + photo.largestSize + '/');

            const QByteArray largest = m_catalog.sizesPage(photo, QByteArray(1, photo.largestSize));
            QVERIFY(!lastSizeCell(largest).isEmpty());
            QVERIFY(!lastSizeCell(largest).contains("href"));
            QCOMPARE(quotedAfter(from(largest, "allsizes-photo"), "src"),
                     "http://" + photo.largestImage);
            for (const QByteArray &page : {html, sizes, largest})
                QVERIFY(!page.contains("photo_container"));
            variants << photo.standardImageAddress.left(4) << QByteArray(1, photo.largestSize)
                     << (photo.standardImageAddress.contains("?v=") ? "query" : "no query");
        }
        QCOMPARE(variants, (QSet<QByteArray>{"http", "HTTP", "o", "b", "query", "no query"}));
    }

    void imagesAreStableDistinctJpegs()
    {
        const QList<Photo> photos = m_catalog.photos("count600", false);
        const Photo photo = *std::find_if(photos.cbegin(), photos.cend(), [](const Photo &p) {
            return !p.portalThumbnail && p.largestSize == 'o';
        });
        const QList<QByteArray> addresses
                = {photo.thumbnailImage, QByteArray(photo.thumbnailImage).replace("_t.", "_m."),
                   photo.standardImage, QByteArray(photo.largestImage).replace("_o.", "_b."),
                   photo.largestImage};
        const PhotoCatalog other;
        qsizetype previousSize = 0;
        int previousSide = 0;
        for (const QByteArray &address : addresses) {
            const QByteArray bytes = m_catalog.imageBytes(address);
            QCOMPARE(m_catalog.imageBytes(address), bytes);
            QCOMPARE(other.imageBytes(address), bytes);
            const QImage image = QImage::fromData(bytes, "JPEG");
            QVERIFY2(!image.isNull(), address.constData());
            QCOMPARE(image.size(), ImageFactory::dimensions(address));
            QVERIFY(bytes.size() > previousSize
                    && qMax(image.width(), image.height()) > previousSide);
            previousSize = bytes.size();
            previousSide = qMax(image.width(), image.height());
        }

        const Photo &neighbour = photos.at(photos.at(0).id == photo.id ? 1 : 0);
        QVERIFY(m_catalog.imageBytes(neighbour.thumbnailImage)
                != m_catalog.imageBytes(photo.thumbnailImage));
        QCOMPARE(m_catalog.imageBytes(photo.imageHost + "/moved"
                                      + photo.standardImage.mid(photo.imageHost.size())),
                 m_catalog.imageBytes(photo.standardImage));
    }

private:
    PhotoCatalog m_catalog;
};

QTEST_GUILESS_MAIN(tst_PhotoCatalog)
#include "tst_photocatalog.moc"
