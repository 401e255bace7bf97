#pragma once

#include <QByteArrayList>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

namespace mosscatch {

// A server a test starts as a child process on a free port of 127.0.0.1, with
// its configuration, logs and what it prints in a folder of its own: asked to
// stop when it goes, killed when it will not.
class ServerProcess
{
public:
    ServerProcess();
    ~ServerProcess();

    quint16 port() const { return m_port; }
    // Why it could not start (not installed, say).
    QString problem() const { return m_problem; }
    // Every log in its folder, what it printed among them.
    QByteArray log() const;

protected:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QByteArrayList lines(const QString &name) const;
    bool writeFile(const QString &name, const QByteArray &bytes);
    // Writes name from the resource name.in, with each @KEY@ of values, @PORT@
    // and @DIR@ (its folder) filled in.
    bool writeConfiguration(const QString &name, QMap<QString, QString> values);
    // Starts program and waits until it accepts connections.
    bool launch(const QString &program, const QStringList &arguments);

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_problem;
};

}
