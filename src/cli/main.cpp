#include "cli/clioptions.h"
#include "cli/progressprinter.h"
#include "cli/runrecorder.h"
#include "common/product.h"
#include "common/settingsstore.h"
#include "common/stopsignals.h"
#include "common/text.h"
#include "engine/harvestengine.h"
#include "net/tcpconnection.h"
#include "photosite/photosite.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryFile>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <unistd.h>

using namespace mosscatch;

namespace {

int fail(const QString &message, int exitCode = 2)
{
    QTextStream(stderr) << "mosscatch-cli: " << message << Qt::endl;
    return exitCode;
}

// Where the engine will write: after its own normalisation (backslashes are
// separators), absolute and clean, so the folder checked, created and reported
// is the one the images go to.
QString engineSaveFolder(const QString &given)
{
    return QDir::cleanPath(QDir(RunDriver::normalisedSaveFolder(given)).absolutePath());
}

// Checked before anything is fetched, so a run never works for nothing.
QString saveFolderProblem(const QString &folder)
{
    if (!QDir(folder).exists() && !QDir().mkpath(folder))
        return QStringLiteral("cannot create the save folder \"%1\"").arg(folder);
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".mosscatch-probe-XXXXXX")));
    if (!probe.open())
        return QStringLiteral("the save folder \"%1\" is not writable").arg(folder);
    return {};
}

bool writeSummary(const QString &path, const RunRecorder &recorder, const ProxyRoute &proxies)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QJsonObject summary = recorder.summary();
    summary.insert(QStringLiteral("proxy"), proxies.isDirect() ? QJsonValue(QJsonValue::Null)
                                                               : QJsonValue(proxies.description()));
    return file.write(QJsonDocument(summary).toJson()) > 0;
}

// Only for tests, so a stalled transfer does not cost minutes:
// MOSSCATCH_TEST_INTERVALS="next,stats,speed,timeout" in milliseconds.
void applyTestIntervals(HarvestEngine &engine)
{
    const QStringList parts
            = qEnvironmentVariable("MOSSCATCH_TEST_INTERVALS").split(QLatin1Char(','));
    if (parts.size() != 4)
        return;
    engine.setIntervals({parts[0].toInt(), parts[1].toInt(), parts[2].toInt(), parts[3].toInt()});
}

// Runs the harvest to its end; the engine is gone (and with it every
// unfinished temporary file) before the outcome is reported.
int harvest(CliOptions cli)
{
    std::unique_ptr<PhotoSite> site;
    if (cli.demo) {
        site = std::make_unique<PhotoSite>();
        if (!site->listen(QHostAddress::LocalHost, 0))
            return fail(QStringLiteral("cannot start the built-in photo site"), 1);
        cli.hostMap.addLocalSite(site->serverPort());
    }
    QFile log(cli.logFile);
    if (!cli.logFile.isEmpty() && !log.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(QStringLiteral("cannot write the log to \"%1\"").arg(cli.logFile));
    // The stop signal that ended the run, 0 for none.
    int stoppedBy = 0;
    bool anySucceeded = false;
    bool anyStarted = false;
    bool anyFailed = false;
    std::optional<WriteError> writeError;
    int imagesSaved = 0;
    QString certificateProblem;
    QString connectionFailure;
    bool noImageSaved = false;
    QString imageFailure;
    {
        HarvestEngine engine(cli.site, TcpConnection::factory(cli.hostMap, cli.tls, cli.proxies));
        engine.options().apply(cli.settings);
        engine.addKeywordsInOrder(cli.keywords);
        applyTestIntervals(engine);
        if (log.isOpen()) {
            QObject::connect(&engine, &HarvestEngine::logLine,
                             [&log](const QByteArray &line) { log.write(line + '\n'); });
        }

        RunRecorder recorder(engine);
        std::unique_ptr<ProgressPrinter> printer;
        if (!cli.quiet)
            printer = std::make_unique<ProgressPrinter>(engine, recorder,
                                                        ::isatty(STDOUT_FILENO) == 1);
        StopSignals stopSignals;
        QObject::connect(&engine, &HarvestEngine::keywordFailed,
                         [](const QString &keyword, const QString &reason) {
                             QTextStream(stderr)
                                     << QStringLiteral("mosscatch-cli: keyword \"%1\" failed: %2")
                                                .arg(escapedControls(keyword), reason)
                                     << Qt::endl;
                         });
        QObject::connect(&engine, &HarvestEngine::keywordCutShort, [&engine] {
            QTextStream(stderr) << QStringLiteral("mosscatch-cli: keyword \"%1\" cut short: the "
                                                  "site offered more than one keyword may fetch")
                                           .arg(engine.driver()->currentKeyword())
                                << Qt::endl;
        });
        QObject::connect(
                &recorder, &RunRecorder::keywordFinished, [](const KeywordFigures &figures) {
                    for (const HostsDown::Entry &host : figures.hostsDown)
                        QTextStream(stderr) << "mosscatch-cli: " << host.statement() << Qt::endl;
                });
        QObject::connect(&recorder, &RunRecorder::runFinished, qApp, &QCoreApplication::quit);
        QObject::connect(&engine, &HarvestEngine::writingStopped, qApp, &QCoreApplication::quit);
        QObject::connect(&stopSignals, &StopSignals::stopRequested, qApp, [&stoppedBy](int signal) {
            stoppedBy = signal;
            QCoreApplication::quit();
        });

        engine.start();
        QCoreApplication::exec();
        recorder.finishRun();
        anySucceeded = recorder.anyTransferSucceeded();
        anyStarted = recorder.anyTransferStarted();
        anyFailed = recorder.anyKeywordFailed();
        writeError = recorder.writeError();
        imagesSaved = recorder.imagesSaved();
        certificateProblem = recorder.certificateProblem();
        connectionFailure = recorder.connectionFailure();
        noImageSaved = recorder.noImageSaved();
        imageFailure = recorder.commonestImageFailure();
        if (!cli.summaryJson.isEmpty() && !writeSummary(cli.summaryJson, recorder, cli.proxies))
            return fail(QStringLiteral("cannot write the summary to \"%1\"").arg(cli.summaryJson),
                        1);
    }
    if (stoppedBy == SIGTERM)
        return fail(QStringLiteral("terminated; unfinished files removed"), 128 + SIGTERM);
    if (stoppedBy != 0)
        return fail(QStringLiteral("interrupted; unfinished files removed"), 128 + SIGINT);
    if (writeError)
        return fail(QStringLiteral("cannot write into %1: %2; %3 images saved, run again once %4")
                            .arg(writeError->folder, writeError->reason())
                            .arg(imagesSaved)
                            .arg(writeError->isLackOfRoom() ? QStringLiteral("there is room")
                                                            : QStringLiteral("it can be written")),
                    4);
    if (!anySucceeded && anyStarted && !certificateProblem.isEmpty())
        return fail(QStringLiteral("nothing fetched: %1").arg(certificateProblem), 1);
    if (!anySucceeded && anyStarted && !connectionFailure.isEmpty())
        return fail(QStringLiteral("no transfer succeeded: %1").arg(connectionFailure), 1);
    if (!anySucceeded && anyStarted)
        return fail(QStringLiteral("no transfer succeeded: is the photo site reachable?"), 1);
    if (noImageSaved && !imageFailure.isEmpty())
        return fail(QStringLiteral("no image saved: %1").arg(imageFailure), 1);
    if (noImageSaved)
        return fail(QStringLiteral("no image saved: every image found was given up"), 1);
    if (anyFailed)
        return fail(QStringLiteral("some keywords failed"), 3);
    return 0;
}

}

int main(int argc, char *argv[])
{
    StopSignals::block();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("mosscatch-cli"));
    QCoreApplication::setApplicationVersion(QLatin1String(ProductVersion));

    const SettingsStore store;
    const CliOptions::Parsed parsed = CliOptions::parse(
            app.arguments(),
            [&store](const QString &key, const QString &fallback) {
                return store.readSettingValue(key, fallback);
            },
            QProcessEnvironment::systemEnvironment());
    if (!parsed.options) {
        if (parsed.exitCode == 0) {
            QTextStream(stdout) << parsed.message << Qt::endl;
            return 0;
        }
        return fail(parsed.message, parsed.exitCode);
    }
    CliOptions cli = *parsed.options;
    cli.settings.saveFolder = engineSaveFolder(cli.settings.saveFolder);
    if (const QString problem = saveFolderProblem(cli.settings.saveFolder); !problem.isEmpty())
        return fail(problem);
    if (cli.tls.insecure)
        QTextStream(stdout) << QStringLiteral("insecure: certificates are not verified; anyone "
                                              "on the way can read and change what is fetched")
                            << Qt::endl;
    if (!cli.quiet)
        QTextStream(stdout) << QStringLiteral("saving into %1/").arg(cli.settings.saveFolder)
                            << (cli.proxies.isDirect()
                                        ? QString()
                                        : QStringLiteral(" via proxy ") + cli.proxies.description())
                            << Qt::endl;

    return harvest(cli);
}
