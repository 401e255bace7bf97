#include "cli/clioptions.h"

#include "common/product.h"
#include "common/text.h"

#include <QCommandLineParser>

#include <climits>

namespace mosscatch {

namespace {

struct SwitchPair
{
    const char *on;
    const char *off;
    bool HarvestSettings::*field;
    const char *what;
};

constexpr SwitchPair sizeSwitches[] = {
        {"thumbnails", "no-thumbnails", &HarvestSettings::thumbnails, "thumbnails"},
        {"standard", "no-standard", &HarvestSettings::standard, "standard-size images"},
        {"largest", "no-largest", &HarvestSettings::largest, "the largest size of each photo"},
};

void addOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral(
            "Harvests the images a photo site finds for each KEYWORD, in the order given,\n"
            "into FOLDER/keyword/ (thumbnails/ and largest/ beside the standard size).\n"
            "\n"
            "Exit status: 0 every keyword harvested; 1 no transfer succeeded at all (site\n"
            "unreachable); 2 bad options or unusable save folder; 3 some keywords failed\n"
            "(folder or search page, each said in one line); 4 stopped because the save\n"
            "folder cannot be written (full, read-only); 130 interrupted (Ctrl-C); 143\n"
            "terminated (SIGTERM).\n"
            "\n"
            "The window's Speed Multiple, keep-alive, site scheme, Max Images, proxy and\n"
            "save folder are the defaults; the options given win over them."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("no-settings"),
                      QStringLiteral("Ignore the window's settings, save folder included.")});
    parser.addOption({QStringLiteral("folder"),
                      QStringLiteral("Save folder (default: the window's save folder)."),
                      QStringLiteral("DIR")});
    for (const SwitchPair &pair : sizeSwitches) {
        parser.addOption({QString::fromLatin1(pair.on),
                          QStringLiteral("Save %1.").arg(QLatin1String(pair.what))});
        parser.addOption({QString::fromLatin1(pair.off),
                          QStringLiteral("Do not save %1.").arg(QLatin1String(pair.what))});
    }
    parser.addOption({QStringLiteral("commercial"),
                      QStringLiteral("Only photos licensed for commercial use.")});
    parser.addOption({QStringLiteral("max-images"),
                      QStringLiteral("The \"Max Images\" limit: a whole number from 1, or max "
                                     "(default 60)."),
                      QStringLiteral("N|max")});
    parser.addOption({QStringLiteral("speed-multiple"),
                      QStringLiteral("The \"Speed Multiple\": 1 to 4, runs 2N connections "
                                     "(default 1)."),
                      QStringLiteral("N")});
    parser.addOption({QStringLiteral("no-keep-alive"),
                      QStringLiteral("One request per connection (HTTP/1.0), instead of keeping "
                                     "it open.")});
    parser.addOption({QStringLiteral("demo"),
                      QStringLiteral("Harvest from the built-in local photo site.")});
    parser.addOption({QStringLiteral("site-host"), QStringLiteral("Web host of the photo site."),
                      QStringLiteral("H")});
    parser.addOption({QStringLiteral("site-domain"),
                      QStringLiteral("The site's own domain (thumbnail hosts must carry it)."),
                      QStringLiteral("D")});
    parser.addOption({QStringLiteral("portal-marker"),
                      QStringLiteral("Word marking the parent portal's image hosts (skipped)."),
                      QStringLiteral("P")});
    parser.addOption({QStringLiteral("resolve"),
                      QStringLiteral("Host map entry; repeatable; wildcards like *.example.com."),
                      QStringLiteral("HOST=ADDR:PORT")});
    parser.addOption({QStringLiteral("site-scheme"),
                      QStringLiteral("Scheme of the site's own pages: http (default) or https."),
                      QStringLiteral("http|https")});
    parser.addOption({QStringLiteral("ca-file"),
                      QStringLiteral("Also trust the CAs of this PEM bundle; repeatable."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("insecure"),
                      QStringLiteral("Do not verify certificates (anyone on the way can read "
                                     "and change what is fetched).")});
    parser.addOption(
            {QStringLiteral("proxy"),
             QStringLiteral("Harvest through this proxy: http://[USER:PASSWORD@]HOST[:PORT] "
                            "(CONNECT for https), socks5h://… (names resolved by the "
                            "proxy) or socks5://…; port 1080 unless given; empty for "
                            "none (default: the window's Proxy, else http_proxy, "
                            "https_proxy, all_proxy and no_proxy)."),
             QStringLiteral("URL")});
    parser.addOption({QStringLiteral("no-proxy"),
                      QStringLiteral("No proxy, whatever the settings or the environment say.")});
    parser.addOption({QStringLiteral("quiet"), QStringLiteral("No progress display.")});
    parser.addOption({QStringLiteral("summary-json"),
                      QStringLiteral("Write the run's figures as JSON to FILE when it ends."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("log"),
                      QStringLiteral("Write each address found on a page to FILE, one a line."),
                      QStringLiteral("FILE")});
    parser.addPositionalArgument(QStringLiteral("KEYWORD"),
                                 QStringLiteral("Search keywords, harvested in the order given."),
                                 QStringLiteral("KEYWORD..."));
}

bool isWholeNumberIn(const QString &text, int lowest, int highest)
{
    bool isNumber = false;
    const int number = text.toInt(&isNumber);
    return isNumber && number >= lowest && number <= highest && text.front().isDigit();
}

QString applyNumbers(const QCommandLineParser &parser, CliOptions &options)
{
    if (parser.isSet(QStringLiteral("max-images"))) {
        options.settings.maxImages = parser.value(QStringLiteral("max-images"));
        if (options.settings.maxImages != QLatin1String("max")
            && !isWholeNumberIn(options.settings.maxImages, 1, INT_MAX))
            return QStringLiteral("--max-images takes a whole number from 1 or \"max\", not \"%1\"")
                    .arg(options.settings.maxImages);
    }
    if (parser.isSet(QStringLiteral("speed-multiple"))) {
        const QString text = parser.value(QStringLiteral("speed-multiple"));
        if (!isWholeNumberIn(text, 1, 4))
            return QStringLiteral("--speed-multiple takes 1, 2, 3 or 4, not \"%1\"").arg(text);
        options.settings.speedMultiple = text.toInt();
    }
    return {};
}

QString applySwitches(const QCommandLineParser &parser, CliOptions &options)
{
    for (const SwitchPair &pair : sizeSwitches) {
        const bool on = parser.isSet(QString::fromLatin1(pair.on));
        const bool off = parser.isSet(QString::fromLatin1(pair.off));
        if (on && off)
            return QStringLiteral("--%1 and --%2 contradict each other")
                    .arg(QLatin1String(pair.on), QLatin1String(pair.off));
        if (on || off)
            options.settings.*pair.field = on;
    }
    options.settings.commercial = parser.isSet(QStringLiteral("commercial"));
    if (parser.isSet(QStringLiteral("no-keep-alive")))
        options.settings.keepAlive = false;
    options.demo = parser.isSet(QStringLiteral("demo"));
    options.quiet = parser.isSet(QStringLiteral("quiet"));
    options.summaryJson = parser.value(QStringLiteral("summary-json"));
    options.logFile = parser.value(QStringLiteral("log"));
    return {};
}

QString applySite(const QCommandLineParser &parser, CliOptions &options)
{
    if (parser.isSet(QStringLiteral("site-host")))
        options.site.siteHost = parser.value(QStringLiteral("site-host")).toUtf8();
    if (parser.isSet(QStringLiteral("site-domain"))) {
        options.site.siteDomainMarker = parser.value(QStringLiteral("site-domain")).toUtf8();
        options.site.queueDomainMarker = '.' + options.site.siteDomainMarker + 'e';
    }
    if (parser.isSet(QStringLiteral("portal-marker")))
        options.site.portalMarker = parser.value(QStringLiteral("portal-marker")).toUtf8();
    if (options.site.siteHost.isEmpty() || options.site.siteDomainMarker.isEmpty()
        || options.site.portalMarker.isEmpty())
        return QStringLiteral("site host, site domain and portal marker must not be empty");
    const QString scheme = parser.value(QStringLiteral("site-scheme"));
    if (scheme == QLatin1String("https"))
        options.site.scheme = Scheme::Https;
    else if (scheme == QLatin1String("http"))
        options.site.scheme = Scheme::Http;
    else if (!scheme.isEmpty())
        return QStringLiteral("--site-scheme takes http or https, not \"%1\"").arg(scheme);
    options.tls.insecure = parser.isSet(QStringLiteral("insecure"));
    for (const QString &file : parser.values(QStringLiteral("ca-file"))) {
        if (!options.tls.addCaFile(file))
            return QStringLiteral("no PEM certificate can be read from --ca-file \"%1\"").arg(file);
    }
    for (const QString &spec : parser.values(QStringLiteral("resolve"))) {
        if (!options.hostMap.addSpec(spec))
            return QStringLiteral("malformed --resolve \"%1\" (expected HOST=ADDR:PORT)").arg(spec);
    }
    return {};
}

// --no-proxy or an empty --proxy means none; else --proxy, the window's Proxy
// (where it has that key at all), the environment.
QString applyProxy(const QCommandLineParser &parser, const CliOptions::StoredSetting &window,
                   const QProcessEnvironment &environment, CliOptions &options)
{
    // The built-in site is on this machine: no proxy could reach it.
    if (options.demo)
        return {};
    // No stored value is a lone NUL, so this tells a missing key from an empty one.
    const QString missing(QChar(0));
    std::optional<QString> configured = window(QStringLiteral("Proxy"), missing);
    if (*configured == missing)
        configured.reset();
    if (parser.isSet(QStringLiteral("proxy")))
        configured = parser.value(QStringLiteral("proxy"));
    if (parser.isSet(QStringLiteral("no-proxy")))
        configured = QString();
    ProxyRoute::Choice choice = ProxyRoute::choose(configured, environment);
    if (!choice.route)
        return choice.error;
    options.proxies = *choice.route;
    return {};
}

// The window's choices, read as the window reads them; a value it would not
// offer leaves the program's default.
void applyStored(const CliOptions::StoredSetting &stored, CliOptions &options)
{
    const QString multiple = stored(QStringLiteral("SpeedMultiple"), {});
    if (isWholeNumberIn(multiple, 1, 4))
        options.settings.speedMultiple = multiple.toInt();
    const QString keepAlive = lowerTrim(stored(QStringLiteral("KeepAlive"), {}));
    options.settings.keepAlive
            = keepAlive != QLatin1String("false") && keepAlive != QLatin1String("0");
    if (stored(QStringLiteral("SiteScheme"), {}).trimmed() == QLatin1String("https"))
        options.site.scheme = Scheme::Https;
    const QString maxImages = lowerTrim(stored(QStringLiteral("MaxImages"), {}));
    if (maxImages == QLatin1String("max") || isWholeNumberIn(maxImages, 1, INT_MAX))
        options.settings.maxImages = maxImages;
}

}

CliOptions::Parsed CliOptions::parse(const QStringList &arguments, const StoredSetting &stored,
                                     const QProcessEnvironment &environment)
{
    QCommandLineParser parser;
    addOptions(parser);
    if (!parser.parse(arguments))
        return {std::nullopt, parser.errorText(), 2};
    if (parser.isSet(QStringLiteral("help")))
        return {std::nullopt, parser.helpText(), 0};
    if (parser.isSet(QStringLiteral("version")))
        return {std::nullopt,
                QStringLiteral("mosscatch-cli ") + QLatin1String(ProductVersion) + QLatin1Char('\n')
                        + QLatin1String(ProductLicence),
                0};

    CliOptions options;
    options.keywords = parser.positionalArguments();
    if (options.keywords.isEmpty())
        return {std::nullopt, QStringLiteral("no keywords given (try --help)"), 2};
    const StoredSetting none = [](const QString &, const QString &fallback) { return fallback; };
    const StoredSetting &window = parser.isSet(QStringLiteral("no-settings")) ? none : stored;
    applyStored(window, options);
    options.settings.saveFolder
            = parser.isSet(QStringLiteral("folder"))
                      ? parser.value(QStringLiteral("folder"))
                      : window(QStringLiteral("tdir"), HarvestSettings::defaultSaveFolder());
    if (options.settings.saveFolder.trimmed().isEmpty())
        return {std::nullopt, QStringLiteral("the save folder must not be empty"), 2};
    for (const QString &error :
         {applyNumbers(parser, options), applySwitches(parser, options), applySite(parser, options),
          applyProxy(parser, window, environment, options)}) {
        if (!error.isEmpty())
            return {std::nullopt, error, 2};
    }
    return {options, {}, 0};
}

}
