#include "siteprocess.h"

#include <QCoreApplication>

namespace mosscatch {

SiteProcess::SiteProcess(const QStringList &arguments)
{
    m_process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/mosscatch-photosite"),
                    QStringList{QStringLiteral("--port"), QStringLiteral("0")} + arguments);
    if (!m_process.waitForStarted() || !m_process.waitForReadyRead(10000))
        return;
    const QByteArray line = m_process.readLine().trimmed();
    m_port = quint16(line.mid(line.lastIndexOf(':') + 1).toUInt());
}

SiteProcess::~SiteProcess()
{
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(5000);
}

}
