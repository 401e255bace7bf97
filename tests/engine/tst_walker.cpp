#include "engine/resultpagewalker.h"

#include <QTest>

using namespace mosscatch;

static QByteArray heading(const QByteArray &inParentheses)
{
    return "<html><h2>Search</h2><div class=\"Results\">Photos (" + inParentheses
           + " results)</div></html>";
}

class TestWalker : public QObject
{
    Q_OBJECT

private slots:
    void pagesFromHeading_data();
    void pagesFromHeading();
    void addressesCarryKeywordAndOptions_data();
    void addressesCarryKeywordAndOptions();
};

void TestWalker::pagesFromHeading_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QString>("maxImages");
    QTest::addColumn<double>("returned");
    QTest::addColumn<int>("queued");

    QTest::newRow("commas") << heading("1,234") << "Max" << 21.0 << 21;
    QTest::newRow("limit of 70") << heading("100,000") << "MAX" << 1667.0 << 70;
    QTest::newRow("max in a word") << heading("1,234") << "Maximum" << 21.0 << 21;
    QTest::newRow("60 images") << heading("1,234") << "60" << 21.0 << 1;
    QTest::newRow("600 images") << heading("1,234") << "600" << 21.0 << 10;
    QTest::newRow("100 images, not rounded") << heading("1,234") << "100" << 21.0 << 1;
    QTest::newRow("30 images") << heading("1,234") << "30" << 21.0 << 0;
    QTest::newRow("not a number") << heading("1,234") << "abc" << 21.0 << 0;
    QTest::newRow("count 0") << heading("0") << "max" << 1.0 << 1;
    QTest::newRow("exact multiple") << heading("120") << "max" << 3.0 << 3;
    QTest::newRow("no space after number") << QByteArray("<div class=\"Results\">(1234") << "max"
                                           << 1.0 << 1;
    QTest::newRow("no parenthesis") << QByteArray("<div class=\"Results\">1234 results") << "max"
                                    << 1.0 << 1;
    QTest::newRow("count beyond window")
        << "<div class=\"Results\">" + QByteArray(80, 'x') + "(1,234 results)" << "max" << 1.0 << 1;
    QTest::newRow("wrong case") << QByteArray("<div class=\"results\">(1,234 results)") << "max"
                                << 0.0 << 0;
    QTest::newRow("single quotes") << QByteArray("<div class='Results'>(1,234 results)") << "max"
                                   << 0.0 << 0;
    QTest::newRow("no heading") << QByteArray("<html>(1,234 results)</html>") << "max" << 0.0 << 0;
}

void TestWalker::pagesFromHeading()
{
    QFETCH(QByteArray, page);
    QFETCH(QString, maxImages);
    QFETCH(double, returned);
    QFETCH(int, queued);

    const SiteConfiguration site;
    HarvestOptions options;
    options.setMaxImages(maxImages);
    HarvestState state;
    state.currentKeyword = QStringLiteral("cat");
    AddressQueue queue(site);
    ResultPageWalker walker(site, options, state, queue);

    QCOMPARE(walker.getPagesOfResults(page), returned);
    QCOMPARE(queue.size(), queued);
    for (int i = 0; i < queued; ++i)
        QVERIFY(queue.at(i).endsWith("&page=" + QByteArray::number(i + 1)));
}

void TestWalker::addressesCarryKeywordAndOptions_data()
{
    QTest::addColumn<bool>("commercial");
    QTest::addColumn<QByteArray>("firstAddress");

    QTest::newRow("any licence")
        << false
        << QByteArray("www.photosite.example.com/search/?q=blue++sky\xC3\xA9"
                      "&ct=0&mt=photos&adv=1&page=1");
    QTest::newRow("commercial use")
        << true
        << QByteArray("www.photosite.example.com/search/?q=blue++sky\xC3\xA9"
                      "&l=comm&ct=0&mt=photos&adv=1&page=1");
}

void TestWalker::addressesCarryKeywordAndOptions()
{
    QFETCH(bool, commercial);
    QFETCH(QByteArray, firstAddress);

    const SiteConfiguration site;
    HarvestOptions options;
    options.setMaxImages(QStringLiteral("max"));
    options.setCommercial(commercial);
    HarvestState state;
    state.currentKeyword = QString::fromUtf8("blue++sky\xC3\xA9");
    AddressQueue queue(site);
    ResultPageWalker walker(site, options, state, queue);

    QCOMPARE(walker.getPagesOfResults(heading("61")), 2.0);
    QCOMPARE(queue.size(), 2);
    QCOMPARE(queue.at(0), firstAddress);
}

QTEST_GUILESS_MAIN(TestWalker)
#include "tst_walker.moc"
