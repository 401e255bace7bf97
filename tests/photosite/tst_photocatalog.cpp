#include "photosite/imagefactory.h"
#include "photosite/photocatalog.h"

#include <QImage>
#include <QTest>

#include <functional>

using namespace mosscatch;

Q_DECLARE_METATYPE(mosscatch::Photo)

namespace {

// The harvester's cuts, applied to the site's pages as it applies them.

int headingCount(const QByteArray &page)
{
    const qsizetype marker = page.indexOf("<div class=\"Results\">");
    if (marker < 0)
        return -1;
    QByteArray text = page.mid(marker, 99);
    text = text.mid(text.indexOf('(') + 1, 99);
    const qsizetype space = text.indexOf(' ');
    text = space < 0 ? QByteArray() : text.left(space + 1);
    return text.replace(",", "").trimmed().toInt();
}

QByteArray firstAttribute(QByteArray piece)
{
    const qsizetype start = piece.indexOf("=\"");
    if (start >= 0)
        piece = piece.mid(start + 2);
    const qsizetype end = piece.indexOf('"');
    return end >= 0 ? piece.left(end) : piece;
}

QByteArray quotedAfter(const QByteArray &text, const QByteArray &marker)
{
    const qsizetype at = text.indexOf(marker);
    if (at < 0)
        return {};
    QByteArray value = text.mid(at);
    value = value.mid(value.indexOf('"') + 1);
    const qsizetype end = value.indexOf('"');
    return end < 0 ? QByteArray("<no closing quote>") : value.left(end);
}

QByteArray standardImageOf(const QByteArray &page)
{
    const qsizetype block = page.indexOf("class=\"photo-div\"");
    if (block < 0)
        return {};
    QByteArray address = quotedAfter(page.mid(block), "img");
    if (address.contains('?'))
        address = address.left(address.indexOf('?'));
    if (address.toLower().trimmed().startsWith("http://"))
        address = address.mid(7);
    return address;
}

QByteArray lastSizeCell(const QByteArray &page)
{
    const qsizetype list = page.indexOf("allsizes-sizes");
    if (list < 0)
        return {};
    QByteArray row = page.mid(list);
    row = row.left(row.indexOf("</tr>"));
    row.replace("\r\n", "").replace("\r", "").replace("\n", "");
    const qsizetype cell = row.lastIndexOf("<td");
    return cell < 0 ? row : row.mid(cell + 3);
}

Photo findPhoto(const PhotoCatalog &catalog, const std::function<bool(const Photo &)> &wanted)
{
    for (int index = 0; index < 600; ++index) {
        const Photo photo = catalog.photoAt("count600", false, index);
        if (wanted(photo))
            return photo;
    }
    return {};
}

}

class tst_PhotoCatalog : public QObject
{
    Q_OBJECT

private slots:
    void headingCarriesTheCount_data();
    void headingCarriesTheCount();
    void resultsPageBlocksLeadToEachPhoto_data();
    void resultsPageBlocksLeadToEachPhoto();
    void countsSpreadOverAllRanges();
    void photoPageShowsTheStandardImage_data();
    void photoPageShowsTheStandardImage();
    void sizesPagesLeadToTheLargestImage_data();
    void sizesPagesLeadToTheLargestImage();
    void imagesAreStableDistinctJpegs();

private:
    PhotoCatalog m_catalog;
};

void tst_PhotoCatalog::headingCarriesTheCount_data()
{
    QTest::addColumn<QByteArray>("keyword");
    QTest::addColumn<bool>("commercial");
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("count");

    QTest::newRow("none") << QByteArray("count0") << false << 0 << 0;
    QTest::newRow("one") << QByteArray("count1") << false << 0 << 1;
    QTest::newRow("thousands") << QByteArray("count1234") << false << 0 << 1234;
    QTest::newRow("numbered page") << QByteArray("count1234") << false << 3 << 1234;
    QTest::newRow("past the last page") << QByteArray("count1234") << false << 40 << 1234;
    QTest::newRow("largest") << QByteArray("count120000") << false << 0 << 120000;
    QTest::newRow("commercial") << QByteArray("count100") << true << 0 << 33;
    QTest::newRow("two words, none") << QByteArray("blue+sky") << false << 0 << 0;
    QTest::newRow("small") << QByteArray("cats") << false << 0 << 38;
    QTest::newRow("medium") << QByteArray("sunset") << false << 0 << 1419;
    QTest::newRow("large") << QByteArray("moss") << false << 0 << 89953;
    QTest::newRow("large, commercial") << QByteArray("moss") << true << 0 << 29984;
}

void tst_PhotoCatalog::headingCarriesTheCount()
{
    QFETCH(QByteArray, keyword);
    QFETCH(bool, commercial);
    QFETCH(int, page);
    QFETCH(int, count);

    QCOMPARE(m_catalog.resultCount(keyword, commercial), count);
    QCOMPARE(headingCount(m_catalog.resultsPage(keyword, commercial, page)), count);
}

void tst_PhotoCatalog::resultsPageBlocksLeadToEachPhoto_data()
{
    QTest::addColumn<QByteArray>("keyword");
    QTest::addColumn<bool>("commercial");
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("photos");

    QTest::newRow("first results page") << QByteArray("count130") << false << 0 << 60;
    QTest::newRow("page 2") << QByteArray("count130") << false << 2 << 60;
    QTest::newRow("last page") << QByteArray("count130") << false << 3 << 10;
    QTest::newRow("past the last") << QByteArray("count130") << false << 4 << 0;
    QTest::newRow("commercial") << QByteArray("count130") << true << 1 << 43;
    QTest::newRow("no results") << QByteArray("count0") << false << 0 << 0;
    QTest::newRow("keyword with underscore") << QByteArray("photo_container") << false << 1
                                             << qMin(60, m_catalog.resultCount("photo_container", false));
}

void tst_PhotoCatalog::resultsPageBlocksLeadToEachPhoto()
{
    QFETCH(QByteArray, keyword);
    QFETCH(bool, commercial);
    QFETCH(int, page);
    QFETCH(int, photos);

    const QByteArray html = m_catalog.resultsPage(keyword, commercial, page);
    const QList<Photo> listed = m_catalog.photosOnPage(keyword, commercial, page);
    QList<QByteArray> blocks;
    qsizetype from = 0;
    for (qsizetype at = html.indexOf("photo_container"); at >= 0; at = html.indexOf("photo_container", from)) {
        blocks.append(html.mid(from, at - from));
        from = at + 15;
    }
    blocks.append(html.mid(from));

    QCOMPARE(listed.size(), photos);
    QCOMPARE(blocks.size(), photos + 1);
    const QList<Photo> all = m_catalog.photos(keyword, commercial, qMax(page, 1) * 60);
    for (int i = 0; i < photos; ++i)
        QCOMPARE(all.at((qMax(page, 1) - 1) * 60 + i).pagePath, listed.at(i).pagePath);
    QVERIFY(html.contains("</html>"));
    QVERIFY(firstAttribute(blocks.first()).contains("http://"));
    QVERIFY(quotedAfter(blocks.first(), "img src").contains(m_catalog.site().portalMarker));
    for (int i = 0; i < photos; ++i) {
        QCOMPARE(firstAttribute(blocks.at(i + 1)), listed.at(i).pagePath);
        QCOMPARE(quotedAfter(blocks.at(i + 1), "img src"), listed.at(i).thumbnailAddress);
        QCOMPARE(listed.at(i).thumbnailAddress.contains(m_catalog.site().portalMarker), listed.at(i).portalThumbnail);
    }
}

void tst_PhotoCatalog::countsSpreadOverAllRanges()
{
    QSet<int> ranges;
    for (int i = 0; i < 64; ++i) {
        const QByteArray keyword = "word" + QByteArray::number(i);
        const int count = m_catalog.resultCount(keyword, false);
        QVERIFY(m_catalog.resultCount(keyword, true) <= count);
        ranges.insert(count == 0 ? 0 : count < 60 ? 1 : count <= 4200 ? 2 : 3);
    }
    QCOMPARE(ranges.size(), 4);
}

void tst_PhotoCatalog::photoPageShowsTheStandardImage_data()
{
    QTest::addColumn<Photo>("photo");

    QTest::newRow("plain") << findPhoto(m_catalog, [](const Photo &p) {
        return p.standardImageAddress.startsWith("http://") && !p.standardImageAddress.contains('?');
    });
    QTest::newRow("capital scheme") << findPhoto(m_catalog, [](const Photo &p) {
        return p.standardImageAddress.startsWith("HTTP://");
    });
    QTest::newRow("query string") << findPhoto(m_catalog, [](const Photo &p) {
        return p.standardImageAddress.contains("?v=");
    });
}

void tst_PhotoCatalog::photoPageShowsTheStandardImage()
{
    QFETCH(Photo, photo);

    QVERIFY(photo.id != 0);
    const QByteArray html = m_catalog.photoPage(photo);
    QVERIFY(!html.contains("photo_container"));
    QVERIFY(html.contains("</html>"));
    QCOMPARE(standardImageOf(html), photo.standardImage);
    QCOMPARE(photo.standardImage, photo.standardImage.toLower());
}

void tst_PhotoCatalog::sizesPagesLeadToTheLargestImage_data()
{
    QTest::addColumn<Photo>("photo");

    QTest::newRow("original") << findPhoto(m_catalog, [](const Photo &p) { return p.largestSize == 'o'; });
    QTest::newRow("large") << findPhoto(m_catalog, [](const Photo &p) { return p.largestSize == 'b'; });
}

void tst_PhotoCatalog::sizesPagesLeadToTheLargestImage()
{
    QFETCH(Photo, photo);

    QVERIFY(photo.id != 0);
    const QByteArray sizes = m_catalog.sizesPage(photo, {});
    const QByteArray cell = lastSizeCell(sizes);
    QVERIFY(cell.contains("href"));
    QCOMPARE(firstAttribute(cell).trimmed(), photo.largestSizePagePath);
    QVERIFY(!sizes.contains("photo_container"));

    const QByteArray largest = m_catalog.sizesPage(photo, QByteArray(1, photo.largestSize));
    QVERIFY(!lastSizeCell(largest).isEmpty());
    QVERIFY(!lastSizeCell(largest).contains("href"));
    const QByteArray shown = largest.mid(largest.indexOf("allsizes-photo"));
    QCOMPARE(quotedAfter(shown, "src"), "http://" + photo.largestImage);
    QCOMPARE(photo.largestSizePagePath, photo.sizesPagePath + photo.largestSize + '/');
}

void tst_PhotoCatalog::imagesAreStableDistinctJpegs()
{
    const Photo photo = findPhoto(m_catalog, [](const Photo &p) { return !p.portalThumbnail && p.largestSize == 'o'; });
    const QByteArray small = QByteArray(photo.thumbnailImage).replace("_t.", "_m.");
    const QList<QByteArray> addresses = {photo.thumbnailImage, small, photo.standardImage,
                                         QByteArray(photo.largestImage).replace("_o.", "_b."), photo.largestImage};
    const PhotoCatalog other;
    qsizetype previous = 0;
    int previousWidth = 0;
    for (const QByteArray &address : addresses) {
        const QByteArray bytes = m_catalog.imageBytes(address);
        QCOMPARE(m_catalog.imageBytes(address), bytes);
        QCOMPARE(other.imageBytes(address), bytes);
        const QImage image = QImage::fromData(bytes, "JPEG");
        QVERIFY2(!image.isNull(), address.constData());
        QCOMPARE(image.size(), ImageFactory::dimensions(address));
        QVERIFY(bytes.size() > previous);
        QVERIFY(qMax(image.width(), image.height()) > previousWidth);
        previous = bytes.size();
        previousWidth = qMax(image.width(), image.height());
    }
    QVERIFY(m_catalog.imageBytes(photo.thumbnailImage).size() < 12 * 1024);
    QVERIFY(m_catalog.imageBytes(photo.standardImage).size() > 20 * 1024);
    QVERIFY(previous > 300 * 1024 && previous < 2 * 1024 * 1024);

    const Photo neighbour = m_catalog.photoAt("count600", false, 1);
    QVERIFY(m_catalog.imageBytes(neighbour.thumbnailImage) != m_catalog.imageBytes(photo.thumbnailImage));
    QCOMPARE(m_catalog.imageBytes(photo.imageHost + "/moved" + photo.standardImage.mid(photo.imageHost.size())),
             m_catalog.imageBytes(photo.standardImage));
}

QTEST_GUILESS_MAIN(tst_PhotoCatalog)
#include "tst_photocatalog.moc"
