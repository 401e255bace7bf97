#include "clirun.h"

#include <QSignalSpy>

namespace mosscatch {

void Cli::start(QProcess &process, const QStringList &arguments) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("MOSSCATCH_TEST_INTERVALS"), intervals);
    // The machine's own proxies take no part unless a test names one.
    for (const char *name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
                             "no_proxy", "NO_PROXY"})
        environment.remove(QLatin1String(name));
    for (auto variable = this->environment.cbegin(); variable != this->environment.cend();
         ++variable)
        environment.insert(variable.key(), variable.value());
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingDirectory);
    if (!terminal)
        return process.start(QStringLiteral(MOSSCATCH_CLI), arguments);
    QString command = QStringLiteral("stty cols 100; exec ") + QStringLiteral(MOSSCATCH_CLI);
    for (const QString &argument : arguments)
        command += QStringLiteral(" '") + argument + QLatin1Char('\'');
    process.start(QStringLiteral("script"), {"-qfec", command, "/dev/null"});
}

CliRun Cli::run(const QStringList &arguments) const
{
    QProcess process;
    QSignalSpy finished(&process, &QProcess::finished);
    start(process, arguments);
    if (!finished.wait(180000))
        process.kill();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

}
