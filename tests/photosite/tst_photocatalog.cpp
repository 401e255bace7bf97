#include "photosite/imagefactory.h"
#include "photosite/photocatalog.h"
#include "rows.h"
#include "testmain.h"

#include <QImage>
#include <QLocale>

#include <algorithm>

using namespace mosscatch;

class tst_PhotoCatalog : public QObject
{
    Q_OBJECT

private slots:
    void resultsPages_data()
    {
        const auto row = columns<QByteArray, bool, int, int, int>("keyword", "commercial", "page",
                                                                  "count", "photos");
        row("none", "count0", false, 0, 0, 0);
        row("thousands, numbered page", "count1234", false, 3, 1234, 60);
        row("past the last page", "count1234", false, 40, 1234, 0);
        row("largest", "count120000", false, 0, 120000, 60);
        row("last page", "count130", false, 3, 130, 10);
        row("commercial page", "count130", true, 1, 43, 43);
        // Other keywords get their counts from a hash, one of each range here.
        row("two words, none", "blue+sky", false, 0, 0, 0);
        row("small", "cats", false, 0, 38, 38);
        row("medium", "sunset", false, 0, 1419, 60);
        row("large", "moss", false, 0, 89953, 60);
        row("keyword holding the block marker", "photo_container", false, 1, 4533, 60);
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
        const QByteArray grouped = QLocale(QLocale::English).toString(count).toLatin1();
        QVERIFY(html.contains("<div class=\"Results\">(" + grouped + " results)"));
        QVERIFY(html.contains("</html>"));

        const QList<Photo> listed = m_catalog.photosOnPage(keyword, commercial, page);
        QCOMPARE(listed.size(), photos);
        QCOMPARE(html.count("photo_container"), photos);
        // A full address and the site's own portal image come before the first photo, where a
        // scraper may trip.
        QCOMPARE(html.mid(html.indexOf("=\"") + 2, 7), "http://");
        const qsizetype firstPhoto
                = QByteArray(html + "photo_container").indexOf("photo_container");
        QVERIFY(html.left(firstPhoto).contains(m_catalog.site().portalMarker));
        const int first = (qMax(page, 1) - 1) * 60;
        const QList<Photo> all = m_catalog.photos(keyword, commercial, first + photos);
        for (int i = 0; i < photos; ++i) {
            const Photo &photo = listed.at(i);
            QCOMPARE(photo.pagePath, all.at(first + i).pagePath);
            QVERIFY(html.contains("\"" + photo.thumbnailAddress + "\""));
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
            const QByteArray sizes = m_catalog.sizesPage(photo, {});
            const QByteArray largest = m_catalog.sizesPage(photo, QByteArray(1, photo.largestSize));
            QVERIFY(html.contains("</html>") && html.contains(photo.standardImageAddress));
            QCOMPARE(photo.standardImage, photo.standardImage.toLower());
            QVERIFY(sizes.contains(photo.largestSizePagePath));
            QVERIFY(largest.contains("http://" + photo.largestImage)
                    && !largest.contains(photo.largestSizePagePath));
            for (const QByteArray &page : {html, sizes, largest})
                QVERIFY(!page.contains("photo_container"));
            variants << photo.standardImageAddress.left(4) << QByteArray(1, photo.largestSize)
                     << (photo.standardImageAddress.contains("?v=") ? "query" : "no query");
        }
        QCOMPARE(variants, (QSet<QByteArray>{"http", "HTTP", "o", "b", "query", "no query"}));
    }

    void imagesAreDistinctJpegs()
    {
        const QList<Photo> photos = m_catalog.photos("count600", false);
        const Photo photo = *std::ranges::find_if(
                photos, [](const Photo &p) { return !p.portalThumbnail && p.largestSize == 'o'; });
        qsizetype previousSize = 0;
        int previousSide = 0;
        for (const QByteArray &address :
             {photo.thumbnailImage, QByteArray(photo.thumbnailImage).replace("_t.", "_m."),
              photo.standardImage, QByteArray(photo.largestImage).replace("_o.", "_b."),
              photo.largestImage}) {
            const QByteArray bytes = m_catalog.imageBytes(address);
            const QImage image = QImage::fromData(bytes, "JPEG");
            const int side = qMax(image.width(), image.height());
            QCOMPARE(image.size(), ImageFactory::dimensions(address));
            QVERIFY(bytes.size() > previousSize && side > previousSide);
            std::tie(previousSize, previousSide) = std::tuple(bytes.size(), side);
        }

        const Photo &neighbour = photos.at(photos.at(0).id == photo.id ? 1 : 0);
        QVERIFY(m_catalog.imageBytes(neighbour.thumbnailImage)
                != m_catalog.imageBytes(photo.thumbnailImage));
    }

private:
    PhotoCatalog m_catalog;
};

MOSSCATCH_TEST_GUILESS_MAIN(tst_PhotoCatalog)
#include "tst_photocatalog.moc"
