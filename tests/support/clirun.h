#pragma once

#include <QMap>
#include <QProcess>
#include <QStringList>

namespace mosscatch {

struct CliRun
{
    int exitCode = -1; // -1 when it crashed or had to be killed
    QByteArray out;
    QByteArray err;
};

// mosscatch-cli with its settings under home and short timer intervals.
struct Cli
{
    QString home;
    QString intervals = QStringLiteral("2,20,200,400");
    QString workingDirectory = {};
    bool terminal = false; // on a pseudo-terminal 100 columns wide, from script(1)
    QMap<QString, QString> environment = {}; // set for the run, beside the usual ones

    void start(QProcess &process, const QStringList &arguments) const;
    // The event loop turns while it runs, so a site in the test's own process answers.
    CliRun run(const QStringList &arguments) const;
};

}
