#pragma once

#include "engine/harvestsettings.h"
#include "engine/siteconfiguration.h"
#include "net/hostmap.h"
#include "net/proxyroute.h"
#include "net/tlspolicy.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace mosscatch {

// What the command line asks for, checked and ready to run.
struct CliOptions
{
    QStringList keywords;
    HarvestSettings settings;
    bool demo = false;
    bool quiet = false;
    QString summaryJson;
    // Where the addresses found on each page are written, one a line.
    QString logFile;
    SiteConfiguration site;
    HostMap hostMap;
    TlsPolicy tls;
    ProxyRoute proxies;

    struct Parsed;
    // The window's stored value of key, fallback when it has none.
    using StoredSetting = std::function<QString(const QString &key, const QString &fallback)>;
    // The options, or a one-line error; help and version texts come back as
    // "exit with this text" results. The window's settings are the defaults
    // unless --no-settings is given; the environment is read for its proxies.
    static Parsed parse(const QStringList &arguments, const StoredSetting &stored,
                        const QProcessEnvironment &environment = {});
};

struct CliOptions::Parsed
{
    std::optional<CliOptions> options;
    QString message;
    int exitCode = 0;
};

}
