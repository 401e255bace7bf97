#include "clirun.h"
#include "photosite/photosite.h"
#include "rows.h"
#include "savedfiles.h"
#include "testcertificates.h"
#include "testmain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

using namespace mosscatch;

namespace {

// The exit code of a row whose run is killed (SIGKILL).
constexpr int Killed = -1;

// Whether the running process has a file open in folder or below: an image being written.
bool writesInto(const QProcess &process, const QString &folder)
{
    const QDir handles(QStringLiteral("/proc/%1/fd").arg(process.processId()));
    const QStringList entries
            = handles.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    return std::ranges::any_of(entries, [&](const QString &handle) {
        return QFile::symLinkTarget(handles.filePath(handle)).startsWith(folder + QLatin1Char('/'));
    });
}

}

Q_DECLARE_METATYPE(mosscatch::TestCertificates::Kind)

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void harvestsTwoKeywordsWithSummary_data()
    {
        QTest::addColumn<bool>("terminal");
        QTest::newRow("into a pipe") << false;
        QTest::newRow("on a terminal") << true;
    }

    void harvestsTwoKeywordsWithSummary()
    {
        QFETCH(bool, terminal);
        QTemporaryDir folder;
        const QString saveFolder = folder.filePath(QStringLiteral("images"));
        // On a terminal transfers start at a slower pace, so the bar is drawn in between.
        const Cli cli{.home = m_home.path(),
                      .intervals = terminal ? "20,20,200,400" : m_cli.intervals,
                      .terminal = terminal};
        const CliRun run = cli.run({"--demo", "--folder", saveFolder, "--largest", "--summary-json",
                                    folder.filePath("summary.json"), "--log",
                                    folder.filePath("found.log"), "count12", "count5"});
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QVERIFY(run.out.indexOf("count12") < run.out.indexOf("count5"));
        QVERIFY(run.out.contains("done count12"));
        static const QRegularExpression bar(
                QStringLiteral("count12 \\[#*-*\\] \\d+/~36 \\d+% .* ETA (\\d+:\\d\\d|--:--)"));
        const QStringList redraws = QString::fromUtf8(run.out).split(QStringLiteral("\r\x1b[K"));
        QCOMPARE(std::any_of(redraws.begin(), redraws.end(),
                             [](const QString &line) { return bar.match(line).hasMatch(); }),
                 terminal);
        // A pipe gets no bar nor any control character but line feeds; on a terminal the bar
        // fits the line.
        static const QRegularExpression control(QStringLiteral("[\\x00-\\x09\\x0b-\\x1f\\x7f]"));
        QVERIFY(terminal
                || (!QString::fromUtf8(run.out).contains(control) && !run.out.contains("ETA")
                    && !run.out.contains('%')));
        QVERIFY(!terminal || std::all_of(redraws.begin(), redraws.end(), [](const QString &line) {
            const QString live = line.section(QLatin1Char('\n'), 0, 0).trimmed();
            return live.startsWith(QStringLiteral("done")) || live.size() < 100;
        }));

        PhotoCatalog catalog;
        auto expected = imageAddresses("count12", catalog.photosOnPage("count12", false, 1));
        expected.insert(imageAddresses("count5", catalog.photosOnPage("count5", false, 1)));
        QCOMPARE(filesUnder(saveFolder).keys(), expected.keys());

        // One line per address found: each photo page yields its standard image.
        const QMap<QString, QByteArray> written = filesUnder(folder.path());
        const QByteArrayList logLines = written.value("found.log").split('\n');
        QCOMPARE(logLines.constLast(), QByteArray());
        for (const Photo &photo : catalog.photosOnPage("count12", false, 1)) {
            const QByteArray line
                    = "www.photosite.example.com" + photo.pagePath + " --: " + photo.standardImage;
            QVERIFY2(logLines.contains(line), line.constData());
        }

        const QJsonObject summary = QJsonDocument::fromJson(written.value("summary.json")).object();
        const QJsonArray keywords = summary["keywords"].toArray();
        QCOMPARE(keywords.size(), 2);
        QCOMPARE(keywords[0]["keyword"].toString(), QStringLiteral("count12"));
        const int thumbnails = int(filesUnder(saveFolder + "/count12/thumbnails").size());
        QCOMPARE(keywords[0]["images"].toObject(),
                 (QJsonObject{{"thumbnails", thumbnails}, {"standard", 12}, {"largest", 12}}));
        QVERIFY(keywords[0]["pages"].toInt() >= 2 && keywords[0]["bytesReceived"].toDouble() > 0);
        QCOMPARE(keywords[0]["expectedImages"].toInt(), 36);
        QVERIFY(keywords[0]["expectedImagesApproximate"].toBool());
        const QJsonObject totals = summary["totals"].toObject();
        QCOMPARE(totals["images"]["standard"].toInt(), 17);
        QVERIFY(totals["transfersPerSecond"].toDouble() > 0);
    }

    void refusesBadInput_data()
    {
        const auto row = columns<QStringList, QByteArray>("arguments", "message");
        row("no keywords", {"--demo"}, "no keywords");
        row("unknown option", {"--colour", "cats"}, "colour");
        row("malformed resolve", {"--resolve", "example.com:80", "cats"}, "--resolve");
        row("max images below 1", {"--max-images", "0", "cats"}, "--max-images");
        row("max images holding max", {"--max-images", "nomax", "cats"}, "--max-images");
        row("speed multiple 0", {"--speed-multiple", "0", "cats"}, "--speed-multiple");
        row("speed multiple above 4", {"--speed-multiple", "5", "cats"}, "--speed-multiple");
        row("contradicting sizes", {"--largest", "--no-largest", "cats"}, "contradict");
        row("save folder is a file", {"--folder", "/proc/version/x", "cats"}, "save folder");
        row("log in no folder", {"--log", "/proc/version/x", "cats"}, "log");
        row("unknown site scheme", {"--site-scheme", "ftp", "cats"}, "--site-scheme");
        row("CA file without certificates", {"--ca-file", "/proc/version", "cats"}, "--ca-file");
    }

    void refusesBadInput()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, message);
        // Should a check give way, the run that follows still reaches nothing but loopback.
        const CliRun run
                = m_cli.run(QStringList{"--resolve", "*.example.com=127.0.0.1:1"} + arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(message), run.err.constData());
        QCOMPARE(run.err.count('\n'), 1);
    }

    // The window's settings are the defaults, the options win, and --no-settings ignores them,
    // the stored save folder too.
    void takesTheWindowsSettings_data()
    {
        const auto row = columns<QStringList, int, QString>("arguments", "speedMultiple", "folder");
        row("stored", {}, 3, "stored");
        row("option wins", {"--speed-multiple", "1"}, 1, "stored");
        row("no settings", {"--no-settings"}, 1, "Mosscatch");
    }

    void takesTheWindowsSettings()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, speedMultiple);
        QFETCH(QString, folder);
        QTemporaryDir home;
        QSettings settings(home.filePath(".config/Coalvesper/Coalvesper.conf"),
                           QSettings::IniFormat);
        settings.setValue("Settings/SpeedMultiple", "3");
        settings.setValue("Settings/tdir", home.filePath("stored"));
        settings.sync();
        const QString summary = home.filePath("summary.json");
        const CliRun run = Cli{home.path()}.run(
                arguments + QStringList{"--demo", "--summary-json", summary, "count3"});
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QVERIFY2(run.out.startsWith("saving into " + home.filePath(folder).toUtf8() + "/\n"),
                 run.out.constData());
        const QJsonObject written
                = QJsonDocument::fromJson(filesUnder(home.path()).value("summary.json")).object();
        QCOMPARE(written["speedMultiple"].toInt(), speedMultiple);
        QCOMPARE(written["connections"].toInt(), 2 * speedMultiple);
    }

    void failsWhenNothingCanBeFetched_data()
    {
        using Kind = TestCertificates::Kind;
        // The server is nothing, silent (never answers) or TLS; attempts are the connections
        // it accepted.
        const auto row = columns<QString, Kind, bool, QByteArray, int>(
                "server", "certificate", "trustTestCa", "message", "attempts");
        row("connection refused", "nothing", Kind::Trusted, true,
            "no transfer succeeded: www.photosite.example.com: connection refused", 0);
        row("handshake never ends", "silent", Kind::Trusted, true, "no transfer succeeded", 4);
        const QByteArray certificate = "certificate for www.photosite.example.com ";
        row("unknown issuer", "TLS", Kind::Trusted, false, certificate + "is signed by an unknown",
            1);
        row("wrong name", "TLS", Kind::WrongName, true, certificate + "is made out to another", 1);
        row("expired", "TLS", Kind::Expired, true, certificate + "has expired", 1);
        row("self-signed", "TLS", Kind::SelfSigned, true, certificate + "is self-signed", 1);
    }

    void failsWhenNothingCanBeFetched()
    {
        QFETCH(QString, server);
        QFETCH(TestCertificates::Kind, certificate);
        QFETCH(bool, trustTestCa);
        const TestCertificates certificates;
        QVERIFY(certificates.isValid());
        PhotoSite site;
        QTcpServer silent;
        int accepted = 0;
        connect(&silent, &QTcpServer::newConnection, this, [&] {
            while (silent.nextPendingConnection())
                ++accepted;
        });
        quint16 port = 1; // nothing listens on port 1 of the loopback address
        if (server == "TLS") {
            site.serveTls(certificates.server(certificate));
            QVERIFY(site.listen());
            port = site.serverPort();
        } else if (server == "silent") {
            QVERIFY(silent.listen(QHostAddress::LocalHost));
            port = silent.serverPort();
        }
        const QString folder = m_home.filePath("untrusted");
        const QString resolve = QStringLiteral("*.example.com=127.0.0.1:%1").arg(port);
        QStringList arguments{"--folder",      folder,  "--resolve", resolve,
                              "--site-scheme", "https", "--quiet",   "cats"};
        if (trustTestCa)
            arguments << "--ca-file" << certificates.caFile();
        const CliRun run = m_cli.run(arguments);

        QCOMPARE(run.exitCode, 1);
        QFETCH(QByteArray, message);
        // The keyword's own failure may come first; the run ends on the reason.
        QVERIFY2(run.err.trimmed().split('\n').constLast().contains(message), run.err.constData());
        QVERIFY(run.out.isEmpty());
        QCOMPARE(filesUnder(folder).keys(), QStringList());
        QCOMPARE(site.requests().size(), 0);
        QFETCH(int, attempts);
        QCOMPARE(server == "TLS" ? site.handshakes() : accepted, attempts);
    }

    // The system's CA store is trusted (here the one SSL_CERT_FILE or SSL_CERT_DIR names, as
    // OpenSSL reads it), and --ca-file adds to it, never replaces it.
    void trustsTheSystemStore_data()
    {
        const auto row = columns<QString, bool>("variable", "otherCaFile");
        row("SSL_CERT_FILE", "SSL_CERT_FILE", false);
        row("SSL_CERT_DIR", "SSL_CERT_DIR", false);
        row("--ca-file beside SSL_CERT_FILE", "SSL_CERT_FILE", true);
    }

    void trustsTheSystemStore()
    {
        QFETCH(QString, variable);
        QFETCH(bool, otherCaFile);
        const TestCertificates certificates;
        QVERIFY(certificates.isValid());
        PhotoSite site;
        site.serveTls(certificates.server(TestCertificates::Kind::Trusted));
        QVERIFY(site.listen());
        QTemporaryDir store;
        QVERIFY(QFile::copy(certificates.caFile(), store.filePath("ca.pem")));
        const QString named = variable == "SSL_CERT_DIR" ? store.path() : store.filePath("ca.pem");
        const Cli cli{.home = m_home.path(), .environment = {{variable, named}}};
        QStringList arguments{"--folder",
                              store.filePath("saved"),
                              "--quiet",
                              "--site-scheme",
                              "https",
                              "--resolve",
                              QStringLiteral("*.example.com=127.0.0.1:%1").arg(site.serverPort()),
                              "count3"};
        // A CA that signed nothing here: the store's own must still be trusted.
        if (otherCaFile) {
            QVERIFY(m_otherCa.isValid());
            arguments << "--ca-file" << m_otherCa.caFile();
        }
        const CliRun run = cli.run(arguments);
        QVERIFY2(run.exitCode == 0, run.err.constData());
        const auto photos = PhotoCatalog().photosOnPage("count3", false, 1);
        QCOMPARE(filesUnder(store.filePath("saved")).keys(),
                 imageAddresses("count3", photos, QStringLiteral("ts")).keys());
    }

    // Image hosts that do not answer, or whose certificates we do not trust, are given up for
    // the keyword after three failed opens or at once: each said in one line, counted in the
    // summary, and a run that saved no image for them fails. The stall watch is the usual
    // 20 s, so only a failure seen at once ends such a run in time.
    void imageHostsThatRefuseUs_data()
    {
        const auto row = columns<bool, QByteArray>("tls", "fault");
        row("closed port", false, " is not answering (connection refused): ");
        row("certificate for another name", true, " is made out to another name: ");
    }

    void imageHostsThatRefuseUs()
    {
        QFETCH(bool, tls);
        QFETCH(QByteArray, fault);
        const TestCertificates certificates;
        QVERIFY(certificates.isValid());
        PhotoSite site, imageHosts;
        if (tls) {
            site.serveTls(certificates.server(TestCertificates::Kind::Trusted));
            imageHosts.serveTls(certificates.server(TestCertificates::Kind::WrongName));
            QVERIFY(imageHosts.listen());
        }
        QVERIFY(site.listen());
        const quint16 imagePort = tls ? imageHosts.serverPort() : 1;
        QTemporaryDir folder;
        const Cli cli{.home = m_home.path(), .intervals = QStringLiteral("2,20,200,20000")};
        QStringList arguments{
                "--folder",
                folder.filePath("saved"),
                "--quiet",
                "--no-thumbnails",
                "--summary-json",
                folder.filePath("summary.json"),
                "--resolve",
                QStringLiteral("*.static.photosite.example.com=127.0.0.1:%1").arg(imagePort),
                "--resolve",
                QStringLiteral("*.example.com=127.0.0.1:%1").arg(site.serverPort()),
                "count60"};
        if (tls)
            arguments << "--site-scheme"
                      << "https"
                      << "--ca-file" << certificates.caFile();
        const CliRun run = cli.run(arguments);

        QCOMPARE(run.exitCode, 1);
        QSet<QByteArray> hosts;
        for (const Photo &photo : PhotoCatalog().photosOnPage("count60", false, 1))
            hosts.insert(photo.imageHost);
        QByteArrayList lines = run.err.trimmed().split('\n');
        QVERIFY2(lines.takeLast().startsWith("mosscatch-cli: no image saved: "),
                 run.err.constData());
        QCOMPARE(lines.size(), hosts.size());
        for (const QByteArray &line : lines)
            QVERIFY2(line.contains(fault) && hosts.contains(line.split(' ').value(tls ? 3 : 1)),
                     line.constData());
        const QJsonArray down
                = QJsonDocument::fromJson(
                          filesUnder(folder.path()).value("summary.json"))["totals"]["hostsDown"]
                          .toArray();
        int givenUp = 0;
        for (const QJsonValue &host : down)
            givenUp += host["givenUp"].toInt();
        QCOMPARE(down.size(), hosts.size());
        QCOMPARE(givenUp, 60);
        QCOMPARE(site.requests().size(), 62);
        // Each untrusted host sees at most a connection opened ahead and one transfer's own.
        QVERIFY(imageHosts.handshakes() <= 2 * hosts.size());
    }

    // Whatever stops the run, an interrupt, a write that fails or a kill in the middle of an
    // image, it ends with its own exit code and at most one line saying why, and leaves only
    // whole images (a kill where unnamed files cannot be had leaves its temporary file, which
    // the next run removes); once nothing stops it, the same harvest run again completes.
    void stoppedRuns_data()
    {
        const auto row = columns<int, QByteArray, bool>("exitCode", "reason", "named");
        row("terminated", 128 + SIGTERM, "terminated; unfinished files removed", false);
        row("Ctrl-C, temporary names", 128 + SIGINT, "interrupted; unfinished files removed", true);
        row("file size limit", 4, "File too large", false);
        row("keyword folder removed", 0, "", false);
        row("killed while an image trickles in", Killed, "", false);
        row("killed while an image trickles in, temporary names", Killed, "", true);
    }

    void stoppedRuns()
    {
        QFETCH(int, exitCode);
        QFETCH(QByteArray, reason);
        QFETCH(bool, named);
        QTemporaryDir folder;
        const QString keywordFolder = folder.filePath(QStringLiteral("count40"));
        const QString summaryPath = m_home.filePath(QStringLiteral("summary.json"));
        QFile::remove(summaryPath);
        // A stop comes while every image trickles in from a site of the test's own; the other
        // runs harvest from the built-in site.
        const bool stopped = exitCode == Killed || exitCode > 128;
        PhotoSite site;
        QVERIFY(site.listen());
        FaultRule trickle = FaultRule::wildcard("*.jpg", FaultRule::Kind::Trickle);
        trickle.chunkBytes = 64;
        site.addFault(trickle);
        const QStringList arguments
                = QStringList{"--folder", folder.path(), "--largest", "--summary-json", summaryPath}
                  + (stopped ? QStringList{"--resolve", QStringLiteral("*.example.com=127.0.0.1:%1")
                                                                .arg(site.serverPort())}
                             : QStringList{"--demo"})
                  + QStringList{"count40"};
        QProcess process;
        if (exitCode == 4) {
            process.setChildProcessModifier([] {
                std::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{40000, 40000};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            });
        }
        // A stall watch of seconds, not 400 ms, so a loaded machine gives up nothing.
        Cli cli{m_home.path(), QStringLiteral("2,20,200,4000")};
        if (named)
            cli.environment.insert(QStringLiteral("MOSSCATCH_TEST_NAMED_TEMPORARIES"), "1");
        cli.start(process, arguments);
        QVERIFY(process.waitForStarted());
        // Stopped in the middle of the harvest, with an image on its way.
        const auto temporaries = [&] {
            return std::ranges::count_if(filesUnder(folder.path()).keys(), [](const QString &file) {
                return file.endsWith(QLatin1String(".part"));
            });
        };
        if (stopped)
            QTRY_VERIFY_WITH_TIMEOUT(writesInto(process, keywordFolder), 60000);
        // Named, an unfinished image can be seen on disk before the stop.
        if (stopped && named)
            QTRY_VERIFY_WITH_TIMEOUT(temporaries() > 0, 60000);
        else if (exitCode != 4)
            QTRY_VERIFY_WITH_TIMEOUT(filesUnder(keywordFolder).size() > 10, 60000);
        if (exitCode == Killed)
            process.kill();
        else if (exitCode == 128 + SIGTERM)
            process.terminate();
        else if (exitCode == 128 + SIGINT)
            ::kill(pid_t(process.processId()), SIGINT);
        else if (exitCode == 0) // the run may make the folder again in between
            QTRY_VERIFY(QDir(keywordFolder).removeRecursively());
        QVERIFY(process.waitForFinished(120000));
        QCOMPARE(process.exitStatus() == QProcess::NormalExit ? process.exitCode() : Killed,
                 exitCode);
        const QByteArray err = process.readAllStandardError();
        QVERIFY2(err.count('\n') == (reason.isEmpty() ? 0 : 1) && err.contains(reason),
                 err.constData());
        const QJsonValue writeError = QJsonDocument::fromJson(
                filesUnder(m_home.path()).value("summary.json"))["writeError"];
        if (exitCode == 4) {
            QVERIFY2(err.startsWith("mosscatch-cli: cannot write into " + keywordFolder.toUtf8())
                             && err.contains(": " + reason + "; "),
                     err.constData());
            QCOMPARE(writeError["reason"].toString().toUtf8(), reason);
            QVERIFY(writeError["path"].toString().startsWith(keywordFolder));
        } else {
            // A killed run writes no summary at all.
            QVERIFY(exitCode == Killed ? writeError.isUndefined() : writeError.isNull());
        }

        PhotoCatalog catalog;
        const auto served = imageAddresses("count40", catalog.photos("count40", false));
        const QMap<QString, QByteArray> files = filesUnder(folder.path());
        QVERIFY(!stopped || files.size() < served.size());
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            QVERIFY2(it.key().endsWith(QLatin1String(".part"))
                             || it.value() == catalog.imageBytes(served.value(it.key())),
                     qPrintable("not whole: " + it.key()));
        }
        // Only a kill leaves a named temporary behind.
        QCOMPARE(temporaries() > 0, named && exitCode == Killed);
        site.clearFaults();
        const CliRun again = cli.run(arguments);
        QVERIFY2(again.exitCode == 0, again.err.constData());
        QCOMPARE(filesUnder(folder.path()).keys(), served.keys());
    }

private:
    QTemporaryDir m_home;
    const TestCertificates m_otherCa;
    const Cli m_cli{m_home.path()};
};

MOSSCATCH_TEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
