#pragma once

#include <QProcess>
#include <QTcpServer>

namespace mosscatch {

// A server a test starts as a child process: asked to stop when it goes,
// killed when it will not.
class ServerProcess : public QProcess
{
public:
    ~ServerProcess() override
    {
        if (state() == QProcess::NotRunning)
            return;
        terminate();
        if (!waitForFinished(10000))
            kill();
        waitForFinished();
    }

    // A port on 127.0.0.1 nothing listens on just now; 0 when none was found.
    static quint16 freePort()
    {
        QTcpServer server;
        return server.listen(QHostAddress::LocalHost) ? server.serverPort() : 0;
    }
};

}
