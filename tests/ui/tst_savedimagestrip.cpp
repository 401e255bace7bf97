#include "engine/harvestengine.h"
#include "net/tcpconnection.h"
#include "photosite/photosite.h"
#include "ui/connectionrows.h"
#include "ui/frmmain.h"
#include "ui/savedimagestrip.h"
#include "ui/savedimagetile.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QLocale>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace mosscatch;

class TestSavedImageStrip : public QObject
{
    Q_OBJECT

public slots:
    // Stands in for the desktop, so no image viewer opens while testing.
    void open(const QUrl &url) { m_opened.append(url); }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_home.path());
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open");
    }

    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }

    void sizeFolderFromPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<SizeFolder>("folder");
        QTest::newRow("thumbnail") << "/pics/moss/thumbnails/1_t.jpg" << SizeFolder::Thumbnail;
        QTest::newRow("largest") << "/pics/moss/largest/1_o.jpg" << SizeFolder::Largest;
        QTest::newRow("standard") << "/pics/moss/1.jpg" << SizeFolder::Standard;
        QTest::newRow("standard of keyword largest")
                << "/pics/largest/1.jpg" << SizeFolder::Standard;
        QTest::newRow("largest of keyword largest")
                << "/pics/largest/largest/1_o.jpg" << SizeFolder::Largest;
    }

    void sizeFolderFromPath()
    {
        QFETCH(QString, path);
        QTEST(sizeFolderOf(path,
                           path.startsWith("/pics/largest/") ? "/pics/largest" : "/pics/moss"),
              "folder");
    }

    // A 300 x 60 strip with a gap of 4 between tiles.
    void keepsOnlyWhatFitsNewestFirst_data()
    {
        QTest::addColumn<QSize>("imageSize");
        QTest::addColumn<int>("added");
        QTest::addColumn<int>("shown");
        QTest::newRow("4:3 burst") << QSize(800, 600) << 20 << 4;
        QTest::newRow("portrait") << QSize(60, 120) << 20 << 9;
        QTest::newRow("panorama") << QSize(1000, 250) << 6 << 2;
        QTest::newRow("fewer than fit") << QSize(80, 60) << 2 << 2;
    }

    void keepsOnlyWhatFitsNewestFirst()
    {
        QFETCH(QSize, imageSize);
        QFETCH(int, added);
        QTemporaryDir folder;
        QImage image(imageSize, QImage::Format_RGB32);
        image.fill(Qt::darkGreen);
        SavedImageStrip strip;
        strip.resize(300, 60);
        strip.show();
        QSignalSpy previews(&strip, &SavedImageStrip::previewShown);
        QStringList paths;
        for (int i = 0; i < added; ++i) {
            paths.prepend(folder.filePath(QStringLiteral("%1.jpg").arg(i)));
            QVERIFY(image.save(paths.first()));
            strip.addImage(paths.first(), SizeFolder::Standard);
        }
        QCOMPARE(strip.received(), added);
        QTRY_VERIFY(std::ranges::all_of(strip.tiles(), &SavedImageTile::hasPreview));

        QFETCH(int, shown);
        QCOMPARE(strip.tiles().size(), shown);
        // Newest wins: what scrolled out before its turn was never decoded.
        QVERIFY(previews.size() <= shown + 1);
        const int width = imageSize.width() * 60 / imageSize.height();
        for (int i = 0; i < shown; ++i) {
            const SavedImageTile *tile = strip.tiles().at(i);
            QCOMPARE(tile->path(), paths.at(i));
            QCOMPARE(tile->geometry(), QRect(i * (width + SavedImageStrip::Gap), 0, width, 60));
        }
    }

    void receivesEveryImageOfAHarvest()
    {
        PhotoSite site;
        QVERIFY(site.listen());
        QTemporaryDir saveFolder;
        HostMap hostMap;
        hostMap.addLocalSite(site.serverPort());
        HarvestEngine engine(SiteConfiguration(), TcpConnection::factory(hostMap));
        engine.setIntervals({.next = 2, .stats = 20, .speed = 200, .timeout = 400});
        FrmMain window(engine);
        window.show();
        window.findChild<QLineEdit *>(QStringLiteral("tDir"))->setText(saveFolder.path());
        engine.options().setLargest(true);
        engine.addKeyword(QStringLiteral("count12"));

        SavedImageStrip *strip = window.savedImageStrip();
        QSignalSpy committed(&engine, &HarvestEngine::imageCommitted);
        int mostShown = 0;
        bool allOnScreen = true;
        connect(&engine, &HarvestEngine::imageCommitted, strip, [&] {
            mostShown = std::max(mostShown, int(strip->tiles().size()));
            for (const SavedImageTile *tile : strip->tiles())
                allOnScreen = allOnScreen && tile->x() < strip->width()
                              && tile->height() == strip->height();
        });
        QSignalSpy runOver(&engine, &HarvestEngine::runOver);
        QVERIFY(engine.start());
        QVERIFY(runOver.wait(120000));

        QCOMPARE(committed.size(), 35);
        QCOMPARE(strip->received(), committed.size());
        QVERIFY(allOnScreen);
        QVERIFY(mostShown > 0 && mostShown < committed.size());
        for (const QList<QVariant> &image : std::as_const(committed)) {
            const QString path = image.at(0).toString();
            QCOMPARE(image.at(1).value<SizeFolder>(),
                     path.contains(QLatin1String("/thumbnails/")) ? SizeFolder::Thumbnail
                     : path.contains(QLatin1String("/largest/"))  ? SizeFolder::Largest
                                                                  : SizeFolder::Standard);
        }

        QVERIFY(strip->isVisible());
        QVERIFY(strip->parentWidget()->rect().contains(strip->geometry()));
        QVERIFY(strip->y() > window.connectionRows()->bottom());

        SavedImageTile *newest = strip->tiles().first();
        const QString path = committed.last().at(0).toString();
        QCOMPARE(newest->path(), path);
        QCOMPARE(newest->accessibleName(), QFileInfo(path).fileName());
        QTRY_VERIFY(newest->hasPreview());
        const QString tip = newest->toolTip();
        QVERIFY2(tip.contains(QFileInfo(path).fileName())
                         && tip.contains(sizeFolderName(committed.last().at(1).value<SizeFolder>()))
                         && tip.contains(QLocale().toString(QFileInfo(path).size())
                                         + QStringLiteral(" bytes")),
                 qPrintable(tip));
        newest->setFocus(Qt::TabFocusReason);
        QTest::keyClick(newest, Qt::Key_Space);
        QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(path)});
    }

private:
    QTemporaryDir m_home;
    QList<QUrl> m_opened;
};

QTEST_MAIN(TestSavedImageStrip)
#include "tst_savedimagestrip.moc"
