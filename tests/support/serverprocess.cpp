#include "serverprocess.h"

#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace mosscatch {

ServerProcess::ServerProcess()
{
    QTcpServer server;
    if (server.listen(QHostAddress::LocalHost))
        m_port = server.serverPort();
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(path(QStringLiteral("output.log")));
    // Run as root, servers work as another user, which must reach the folder.
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                                | QFileDevice::WriteOther | QFileDevice::ExeOther);
}

ServerProcess::~ServerProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000))
        m_process.kill();
    m_process.waitForFinished();
}

QByteArray ServerProcess::log() const
{
    QByteArray text;
    for (const QString &name : QDir(m_dir.path()).entryList({QStringLiteral("*.log")}))
        text += name.toUtf8() + ":\n" + lines(name).join('\n');
    return text;
}

QByteArrayList ServerProcess::lines(const QString &name) const
{
    QFile file(path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QByteArrayList();
}

bool ServerProcess::writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(path(name));
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush()
        && file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner
                               | QFileDevice::ReadOther))
        return true;
    m_problem = QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
    return false;
}

bool ServerProcess::writeConfiguration(const QString &name, QMap<QString, QString> values)
{
    QFile source(QStringLiteral(":/%1.in").arg(name));
    if (!source.open(QIODevice::ReadOnly)) {
        m_problem = source.fileName() + QStringLiteral(" is not among the resources");
        return false;
    }
    QString text = QString::fromUtf8(source.readAll());
    values.insert(QStringLiteral("PORT"), QString::number(m_port));
    values.insert(QStringLiteral("DIR"), m_dir.path());
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        text.replace(QLatin1Char('@') + it.key() + QLatin1Char('@'), it.value());
    return writeFile(name, text.toUtf8());
}

bool ServerProcess::launch(const QString &program, const QStringList &arguments)
{
    if (!QFile::exists(program)) {
        m_problem = program + QStringLiteral(" is missing: scripts/install-deps installs it");
        return false;
    }
    m_process.start(program, arguments);
    const auto accepts = [this] {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_port);
        return socket.waitForConnected(1000);
    };
    if (QTest::qWaitFor([&] { return accepts() || m_process.state() == QProcess::NotRunning; },
                        20000)
        && accepts())
        return true;
    m_problem = QStringLiteral("%1 did not start:\n%2").arg(program, QString::fromUtf8(log()));
    return false;
}

}
