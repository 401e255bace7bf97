#pragma once

#include "engine/harvestsettings.h"
#include "engine/siteconfiguration.h"
#include "net/hostmap.h"
#include "net/tlspolicy.h"

#include <QString>
#include <QStringList>

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

    struct Parsed;
    // The options, or a one-line error; help and version texts come back as
    // "exit with this text" results.
    static Parsed parse(const QStringList &arguments, const QString &storedFolder);
};

struct CliOptions::Parsed
{
    std::optional<CliOptions> options;
    QString message;
    int exitCode = 0;
};

}
