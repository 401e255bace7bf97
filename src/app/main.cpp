#include "common/product.h"
#include "common/settingsstore.h"
#include "engine/harvestengine.h"
#include "net/hostmap.h"
#include "net/tcpconnection.h"
#include "photosite/photosite.h"
#include "ui/artwork.h"
#include "ui/frmmain.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QPainter>
#include <QTimer>

#include <cstdio>
#include <memory>

using namespace mosscatch;

namespace {

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
           || !qEnvironmentVariableIsEmpty("DISPLAY")
           || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// --help and --version print text and open no window, so they need no display.
bool asksOnlyForText(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArrayView argument(argv[i]);
        if (argument == "--help" || argument == "-h" || argument == "--help-all"
            || argument == "--version" || argument == "-v")
            return true;
    }
    return false;
}

struct Options
{
    bool demo = false;
    bool start = false;
    QString screenshot;
    QString screenshotAfterRun;
    bool screenshotCaption = false;
};

Options parseOptions(const QApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
            QStringLiteral("Harvests the images of a photo site by keyword."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption demo(
            QStringLiteral("demo"),
            QStringLiteral("Harvest from a photo site built in, on this machine only."));
    // For the documentation: saves a picture of the window a few seconds into the run, then quits.
    QCommandLineOption screenshot(QStringLiteral("screenshot"), QString(), QStringLiteral("file"));
    screenshot.setFlags(QCommandLineOption::HiddenFromHelp);
    // The same, a second after the run has ended.
    QCommandLineOption screenshotAfterRun(QStringLiteral("screenshot-after-run"), QString(),
                                          QStringLiteral("file"));
    screenshotAfterRun.setFlags(QCommandLineOption::HiddenFromHelp);
    const QCommandLineOption start(QStringLiteral("start"),
                                   QStringLiteral("Press Start! as soon as the window is shown."));
    // With the caption drawn above the window, where a virtual display has no window manager to.
    QCommandLineOption screenshotCaption(QStringLiteral("screenshot-caption"));
    screenshotCaption.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({demo, start, screenshot, screenshotAfterRun, screenshotCaption});
    parser.process(app);
    return {parser.isSet(demo), parser.isSet(start), parser.value(screenshot),
            parser.value(screenshotAfterRun), parser.isSet(screenshotCaption)};
}

// A loopback site answers in microseconds; at about 400 KB/s a connection the
// demo shows its transfers in progress, as a real site would.
void paceImagesLikeANetwork(PhotoSite &site)
{
    FaultRule pace = FaultRule::wildcard("*.jpg*", FaultRule::Kind::Trickle);
    pace.chunkBytes = 4096;
    pace.intervalMs = 10;
    site.addFault(pace);
}

QIcon drawnIcon()
{
    QIcon icon;
    for (const int side : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap picture(side, side);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        artwork::drawIcon(painter, side);
        painter.end();
        icon.addPixmap(picture);
    }
    return icon;
}

QPixmap pictureWithCaption(FrmMain &window)
{
    const QPixmap content = window.grab();
    const QSize size = content.deviceIndependentSize().toSize();
    const int bar = window.fontMetrics().height() * 2;
    QPixmap picture(QSize(size.width(), size.height() + bar) * content.devicePixelRatio());
    picture.setDevicePixelRatio(content.devicePixelRatio());
    picture.fill(QColor(0x3c, 0x3c, 0x3c));
    QPainter painter(&picture);
    painter.setPen(Qt::white);
    painter.setFont(window.font());
    painter.drawText(QRect(0, 0, size.width(), bar), Qt::AlignCenter, window.windowTitle());
    painter.drawPixmap(0, bar, content);
    return picture;
}

void saveScreenshotLater(FrmMain &window, const QString &file, bool caption, int delayMs = 7000)
{
    QTimer::singleShot(delayMs, &window, [&window, file, caption] {
        const bool saved = (caption ? pictureWithCaption(window) : window.grab()).save(file);
        if (!saved)
            std::fprintf(stderr, "mosscatch: could not save the screenshot to %s\n",
                         qPrintable(file));
        QCoreApplication::exit(saved ? 0 : 1);
    });
}

}

int main(int argc, char *argv[])
{
    if (!hasDisplay() && asksOnlyForText(argc, argv)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    } else if (!hasDisplay()) {
        std::fputs("mosscatch: no display to open the window on (set DISPLAY or WAYLAND_DISPLAY, "
                   "or QT_QPA_PLATFORM=offscreen)\n",
                   stderr);
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Mosscatch"));
    // --version prints the version, then the licence on a line of its own.
    QApplication::setApplicationVersion(QLatin1String(ProductVersion) + QLatin1Char('\n')
                                        + QLatin1String(ProductLicence));
    // Lets the desktop tie the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QLatin1String(ProductDesktopId));
    QApplication::setWindowIcon(drawnIcon());
    const Options options = parseOptions(app);

    HostMap hostMap;
    std::unique_ptr<PhotoSite> site;
    if (options.demo) {
        site = std::make_unique<PhotoSite>();
        if (!site->listen(QHostAddress::LocalHost, 0)) {
            std::fputs("mosscatch: the built-in photo site could not listen on 127.0.0.1\n",
                       stderr);
            return 1;
        }
        hostMap.addLocalSite(site->serverPort());
        paceImagesLikeANetwork(*site);
    }

    const SettingsStore settings;
    SiteConfiguration siteConfiguration;
    if (settings.readSettingValue(QStringLiteral("SiteScheme"), QStringLiteral("http")).trimmed()
        == QLatin1String("https"))
        siteConfiguration.scheme = Scheme::Https;
    TlsPolicy tls;
    tls.insecure
            = settings.readSettingValue(QStringLiteral("Insecure")).trimmed() == QLatin1String("1");
    // The built-in site is on this machine: no proxy could reach it.
    const ProxyRoute::Choice proxies
            = options.demo ? ProxyRoute::Choice{ProxyRoute(), {}}
                           : FrmMain::proxies(QProcessEnvironment::systemEnvironment());
    if (!proxies.route) {
        std::fprintf(stderr, "mosscatch: %s\n", qPrintable(proxies.error));
        return 2;
    }
    HarvestEngine engine(siteConfiguration, TcpConnection::factory(hostMap, tls, *proxies.route));
    FrmMain window(engine);
    window.showProxies(*proxies.route);
    if (tls.insecure)
        window.setWindowTitle(window.windowTitle()
                              + QStringLiteral(" (insecure: certificates are not verified)"));
    if (options.demo)
        engine.addKeyword(QStringLiteral("moss"));
    window.show();
    if (options.start)
        engine.start();
    if (!options.screenshot.isEmpty())
        saveScreenshotLater(window, options.screenshot, options.screenshotCaption);
    if (!options.screenshotAfterRun.isEmpty()) {
        QObject::connect(
                &engine, &HarvestEngine::runOver, &window,
                [&window, file = options.screenshotAfterRun, caption = options.screenshotCaption] {
                    saveScreenshotLater(window, file, caption, 1000);
                });
    }
    return app.exec();
}
